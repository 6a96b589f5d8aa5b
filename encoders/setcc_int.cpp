// SETcc (0Fh 90h..9Fh on r/m8), INT, BSWAP and VERR/VERW.

#include <array>
#include <string>
#include <string_view>

#include "base/text.h"
#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/one_operand.h"
#include "operands/operands.h"

namespace orvo {
namespace {

struct SetccRow {
  std::string_view mnemonic;
  std::uint8_t opcode;  // second byte after 0Fh
};

// clang-format off
constexpr std::array kSetccRows{
    SetccRow{"SETO",   0x90},
    SetccRow{"SETNO",  0x91},
    SetccRow{"SETB",   0x92}, SetccRow{"SETNAE", 0x92}, SetccRow{"SETC",  0x92},
    SetccRow{"SETNC",  0x93}, SetccRow{"SETAE",  0x93}, SetccRow{"SETNB", 0x93},
    SetccRow{"SETE",   0x94}, SetccRow{"SETZ",   0x94},
    SetccRow{"SETNE",  0x95}, SetccRow{"SETNZ",  0x95},
    SetccRow{"SETBE",  0x96}, SetccRow{"SETNA",  0x96},
    SetccRow{"SETA",   0x97},
    SetccRow{"SETS",   0x98},
    SetccRow{"SETNS",  0x99},
    SetccRow{"SETP",   0x9A}, SetccRow{"SETPE",  0x9A},
    SetccRow{"SETNP",  0x9B}, SetccRow{"SETPO",  0x9B},
    SetccRow{"SETL",   0x9C}, SetccRow{"SETNGE", 0x9C},
    SetccRow{"SETGE",  0x9D}, SetccRow{"SETNL",  0x9D},
    SetccRow{"SETLE",  0x9E}, SetccRow{"SETNG",  0x9E},
    SetccRow{"SETG",   0x9F}, SetccRow{"SETNLE", 0x9F},
};
// clang-format on

constexpr auto kSetccIndex = Sort_ByMnemonic(kSetccRows);

constexpr std::string_view kVer16("\x66\x0F\x00", 3);
constexpr std::string_view kVer32("\x0F\x00", 2);

void Report_IntUsage(Diagnostics& sink, std::string_view first_line) {
  sink.Add(std::string(first_line) + kCR + kCR + kTab + "Usage:" + kCR + "INT imm8");
}

}  // namespace

void Add_SetccMnemonics(std::vector<std::string_view>& names) {
  for (const SetccRow& row : kSetccRows) names.push_back(row.mnemonic);
}

std::uint8_t Get_SetccByte(std::string_view mnemonic) {
  const SetccRow* row = Find_Mnemonic(kSetccIndex, mnemonic);
  return row ? row->opcode : 0;
}

std::optional<std::string> Get_SetccName(std::string_view mnemonic) {
  std::string m = Trim_Upper(mnemonic);
  if (Get_SetccByte(m) == 0) return std::nullopt;
  return m;
}

std::uint8_t Get_SetccOpcode(std::string_view mnemonic, OpType type, std::string& opcode) {
  opcode.clear();
  const std::uint8_t second = Get_SetccByte(Trim_Upper(mnemonic));
  if (second == 0 || (type != OpType::M8 && type != OpType::R8)) return 0;
  opcode = {'\x0F', static_cast<char>(second)};
  return type == OpType::R8 ? 0xC0 : 0x00;  // reg field 0
}

ByteString Assemble_Setcc(std::string_view mnemonic, std::string_view first, Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  return Guard_Faults(sink, m, first, {}, [&]() -> ByteString {
    const OpType t = Get_OperandType(first, sink);
    if (t == OpType::R8 || t == OpType::M8) return Encode_OneOperand(m, first, {}, sink);
    Report_InvalidOperand(sink, m, t, " r/m8");
    return {};
  });
}

ByteString Assemble_Int(std::string_view first, Diagnostics& sink) {
  return Guard_Faults(sink, "INT", first, {}, [&]() -> ByteString {
    std::string op(first);
    OpType t = Get_ImmSuffix(op);
    if (t != OpType::None && t != OpType::Imm8) {
      Report_IntUsage(sink, "Invalid type identifier");
      return {};
    }
    // "?" sets the width of a number; a name or nothing with it is still no interrupt number.
    if (t == OpType::Imm8 && !Is_Number(op, sink)) t = OpType::None;
    if (t == OpType::Imm8 && !Is_Imm8(op, sink)) {
      sink.Add("Out of Byte", MsgStyle::Ok, "INT " + op);
      return {};
    }
    if (t == OpType::None && Get_OperandType(op, sink) != OpType::Imm8) {
      Report_IntUsage(sink, "Invalid operand: " + op);
      return {};
    }
    if (!Check_Unsigned8(op, "INT " + op, sink)) return {};
    if (Signed_Value(op, sink) == 3) return ByteString("\xCC");  // the one-byte breakpoint form
    const ByteString vector = To_Byte(op, sink);
    if (vector.size() != 1) {
      sink.Add("Out of Byte", MsgStyle::Ok, "INT " + op);
      return {};
    }
    return '\xCD' + vector;
  });
}

ByteString Assemble_Bswap(std::string_view first) {
  const std::uint8_t r = Get_Reg32Code(first);
  if (r == kNoRegister) return {};
  return ByteString{'\x0F', static_cast<char>(0xC8 + r)};
}

std::uint8_t Get_VerOpcode(std::string_view mnemonic, OpType type, std::string& opcode) {
  opcode.clear();
  const GroupDigit g = Get_GroupDigit(Trim_Upper(mnemonic));
  if (g.family != GroupFamily::Ver) return 0;
  switch (type) {
    case OpType::M16:
      opcode = kVer16;
      return g.digit;
    case OpType::R16:
      opcode = kVer16;
      return 0xC0 + g.digit;
    case OpType::M32:
      opcode = kVer32;
      return g.digit;
    case OpType::R32:
      opcode = kVer32;
      return 0xC0 + g.digit;
    default:
      return 0;
  }
}

ByteString Assemble_VerrVerw(std::string_view mnemonic, std::string_view first, Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  return Guard_Faults(sink, m, first, {}, [&]() -> ByteString {
    const OpType t = Get_OperandType(first, sink);
    if (t == OpType::R16 || t == OpType::M16 || t == OpType::R32 || t == OpType::M32)
      return Encode_OneOperand(m, first, {}, sink);
    Report_InvalidOperand(sink, m, t, " r/m16(32)");
    return {};
  });
}

}  // namespace orvo
