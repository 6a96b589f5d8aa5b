// Control transfer: JMP, the conditional jumps, CALL, RET/RETN/RETF and the LOOP family. Jumps
// to labels get a zero displacement of their final width; the label pass writes it later.

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

struct JumpRow {
  std::string_view mnemonic;
  std::uint8_t opcode;  // second byte after 0Fh
};

// clang-format off
constexpr std::array kJumpRows{
    JumpRow{"JO",   0x80},
    JumpRow{"JNO",  0x81},
    JumpRow{"JB",   0x82}, JumpRow{"JC",   0x82}, JumpRow{"JNAE", 0x82},
    JumpRow{"JAE",  0x83}, JumpRow{"JNB",  0x83}, JumpRow{"JNC",  0x83},
    JumpRow{"JE",   0x84}, JumpRow{"JZ",   0x84},
    JumpRow{"JNE",  0x85}, JumpRow{"JNZ",  0x85},
    JumpRow{"JBE",  0x86}, JumpRow{"JNA",  0x86},
    JumpRow{"JA",   0x87}, JumpRow{"JNBE", 0x87},
    JumpRow{"JS",   0x88},
    JumpRow{"JNS",  0x89},
    JumpRow{"JP",   0x8A}, JumpRow{"JPE",  0x8A},
    JumpRow{"JPO",  0x8B}, JumpRow{"JNP",  0x8B},
    JumpRow{"JL",   0x8C}, JumpRow{"JNGE", 0x8C},
    JumpRow{"JGE",  0x8D}, JumpRow{"JNL",  0x8D},
    JumpRow{"JLE",  0x8E}, JumpRow{"JNG",  0x8E},
    JumpRow{"JG",   0x8F}, JumpRow{"JNLE", 0x8F},
};

struct LoopRow {
  std::string_view mnemonic;
  std::string_view bytes;  // opcode, then the rel8 placeholder
};

constexpr std::array kLoopRows{
    LoopRow{"LOOP",   std::string_view("\xE2\x00", 2)},
    LoopRow{"LOOPE",  std::string_view("\xE1\x00", 2)},
    LoopRow{"LOOPZ",  std::string_view("\xE1\x00", 2)},
    LoopRow{"LOOPNE", std::string_view("\xE0\x00", 2)},
    LoopRow{"LOOPNZ", std::string_view("\xE0\x00", 2)},
    LoopRow{"JCXZ",   std::string_view("\x67\xE3\x00", 3)},  // 67h: test CX, not ECX
    LoopRow{"JECXZ",  std::string_view("\xE3\x00", 2)},
};
// clang-format on

constexpr auto kJumpIndex = Sort_ByMnemonic(kJumpRows);
constexpr auto kLoopIndex = Sort_ByMnemonic(kLoopRows);

constexpr std::string_view kRel32Placeholder("\0\0\0\0", 4);

}  // namespace

void Add_JumpMnemonics(std::vector<std::string_view>& names) {
  for (const JumpRow& row : kJumpRows) names.push_back(row.mnemonic);
}

ByteString Get_JumpOpcode(std::string_view mnemonic) {
  if (Equals_NoCase(mnemonic, "JMP")) return ByteString("\xE9");
  if (const JumpRow* row = Find_Mnemonic_NoCase(kJumpIndex, mnemonic))
    return ByteString{'\x0F', static_cast<char>(row->opcode)};
  return {};
}

ByteString Assemble_Jmp(std::string_view first, Diagnostics& sink) {
  return Guard_Faults(sink, "JMP", first, {}, [&]() -> ByteString {
    if (Is_LabelName(first)) return ByteString("\xE9") + ByteString(kRel32Placeholder);
    if (Is_OneOperandType(Get_OperandType(first, sink))) return Encode_OneOperand("JMP", first, {}, sink);
    return {};
  });
}

ByteString Assemble_Call(std::string_view operand, Diagnostics& sink) {
  const std::string op = Trim_Upper(operand);
  return Guard_Faults(sink, "CALL", op, {}, [&]() -> ByteString {
    if (const std::uint8_t r = Get_Reg32Code(op); r != kNoRegister)
      return ByteString{'\xFF', static_cast<char>(0xD0 + r)};
    // A label name is an imm32: E8h and a zero rel32 for the label pass. A line without an
    // operand hands over its mnemonic, which is no call target.
    if (op != "CALL" && Is_OneOperandType(Get_OperandType(op, sink)))
      return Encode_OneOperand("CALL", op, {}, sink);
    sink.Add(std::string("Error in CALL.") + kCR + kCR + "USAGE: CALL Register32/imm" + kCR +
             "   Register32 - EAX,ECX,EDX,EBX,ESP,EBP,ESI,EDI." + kCR + "   imm - imm8,imm16,imm32");
    return {};
  });
}

namespace {

// RET, RETN and RETF: the bare form, or the one that also releases an imm16 count of stack bytes.
ByteString Encode_Return(std::string_view mnemonic, std::string_view operand, char bare, char with_count,
                         Diagnostics& sink) {
  const std::string_view t = Trim(operand);
  return Guard_Faults(sink, mnemonic, t, {}, [&]() -> ByteString {
    if (t.empty() || Equals_NoCase(t, mnemonic)) return ByteString(1, bare);
    std::string op(t);
    OpType type = Get_ImmSuffix(op);
    // A suffix sets the width of a number only; on anything else the operand keeps its own type.
    if (type == OpType::None || !Is_Number(op, sink)) type = Get_OperandType(op, sink);
    switch (type) {
      case OpType::Imm8:
      case OpType::Imm16: {
        if (!Check_Unsigned16(op, std::string(mnemonic) + " " + std::string(t), sink)) return {};
        const bool fits = type == OpType::Imm8 ? Is_Imm8(op, sink) : Is_Imm16(op, sink);
        const ByteString count = fits ? To_Word(op, sink) : ByteString();
        if (count.size() == 2) return with_count + count;  // an 8-bit count is widened
        sink.Add(type == OpType::Imm8 ? "Out of Byte in Ret imm8" : "Out of Word in Ret imm16");
        return {};
      }
      case OpType::Imm32:
        sink.Add("Not a valid imm type: imm32" + Usage_Block(mnemonic, " imm16.") + kCR + kCR +
                 "imm8 will converted automaticaly.");
        return {};
      default:
        return {};
    }
  });
}

}  // namespace

ByteString Assemble_Ret(std::string_view operand, Diagnostics& sink) {
  return Encode_Return("RET", operand, '\xC3', '\xC2', sink);
}

ByteString Assemble_RetnRetf(std::string_view mnemonic, std::string_view operand, Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  if (m == "RETN") return Encode_Return("RETN", operand, '\xC3', '\xC2', sink);
  if (m == "RETF") return Encode_Return("RETF", operand, '\xCB', '\xCA', sink);
  return {};
}

ByteString Assemble_Loop(std::string_view mnemonic) {
  const LoopRow* row = Find_Mnemonic_NoCase(kLoopIndex, Trim(mnemonic));
  return row ? ByteString(row->bytes) : ByteString();
}

bool Is_LoopMnemonic(std::string_view key) { return Find_Mnemonic_NoCase(kLoopIndex, Trim(key)) != nullptr; }

}  // namespace orvo
