// The one-operand group: NOT NEG MUL IMUL DIV IDIV INC DEC, and the r/m and immediate forms that
// CALL, JMP, PUSH, POP, the shifts, SETcc and VERR/VERW share. The family tables choose opcode
// and reg digit; the encoder joins opcode, ModRM, SIB and displacement.

#include "encoders/one_operand.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {
namespace {

struct GroupRow {
  std::string_view mnemonic;
  GroupFamily family;
  std::uint8_t digit;  // reg field, already times 8
};

// clang-format off
constexpr std::array kGroupRows{
    // mnemonic  family                digit
    GroupRow{"NOT",  GroupFamily::MulDiv, 0x10},
    GroupRow{"NEG",  GroupFamily::MulDiv, 0x18},
    GroupRow{"MUL",  GroupFamily::MulDiv, 0x20},
    GroupRow{"IMUL", GroupFamily::MulDiv, 0x28},
    GroupRow{"DIV",  GroupFamily::MulDiv, 0x30},
    GroupRow{"IDIV", GroupFamily::MulDiv, 0x38},

    GroupRow{"INC",  GroupFamily::IncDec, 0x00},
    GroupRow{"DEC",  GroupFamily::IncDec, 0x08},
    GroupRow{"CALL", GroupFamily::IncDec, 0x10},
    GroupRow{"JMP",  GroupFamily::IncDec, 0x20},
    GroupRow{"PUSH", GroupFamily::IncDec, 0x30},

    GroupRow{"ROL",  GroupFamily::Shift,  0x00},
    GroupRow{"ROR",  GroupFamily::Shift,  0x08},
    GroupRow{"RCL",  GroupFamily::Shift,  0x10},
    GroupRow{"RCR",  GroupFamily::Shift,  0x18},
    GroupRow{"SHL",  GroupFamily::Shift,  0x20},
    GroupRow{"SAL",  GroupFamily::Shift,  0x20},
    GroupRow{"SHR",  GroupFamily::Shift,  0x28},
    GroupRow{"SAR",  GroupFamily::Shift,  0x38},

    GroupRow{"VERR", GroupFamily::Ver,    0x20},
    GroupRow{"VERW", GroupFamily::Ver,    0x28},

    GroupRow{"POP",  GroupFamily::Pop,    0x00},
};

// Opcode of the 8-bit form and of the 16/32-bit form (66h in front for 16 bits).
struct GroupOpcodes {
  std::uint8_t byte_form;
  std::uint8_t word_form;
};
//                                byte  word/dword
constexpr GroupOpcodes kMulDivOps{0xF6, 0xF7};
constexpr GroupOpcodes kIncDecOps{0xFE, 0xFF};
// clang-format on

constexpr auto kGroupIndex = Sort_ByMnemonic(kGroupRows);

// An immediate or displacement whose bytes do not fit the width the instruction gives them.
void Report_OutOf(Diagnostics& sink, std::string_view what, std::string_view mnemonic,
                  std::string_view operand) {
  sink.Add(what, MsgStyle::Ok, std::string(mnemonic) + " " + std::string(operand));
}

bool Is_JmpOrPush(std::string_view m) { return m == "JMP" || m == "PUSH"; }

// The digits of a literal after "&H" / "&B", leading zeros dropped, or npos for a decimal one.
std::size_t Significant_Digits(std::string_view text, std::string_view radix_prefix) {
  std::string_view t = Trim(text);
  if (!t.empty() && t.front() == '-') t = Trim_Left(t.substr(1));
  if (!Starts_With_NoCase(t, radix_prefix)) return std::string_view::npos;
  t = Trim_Left(t.substr(2));
  while (!t.empty() && t.front() == '0') t.remove_prefix(1);
  return t.size();
}

ByteString Encode_Group(const std::string& m, std::string_view operand, std::string_view count,
                        Diagnostics& sink) {
  const detail::OperandReading reading = detail::Read_Operand(operand, sink);
  const OpType type = detail::Operand_Type(reading, sink);
  if (Is_Imm(type)) return Encode_ImmOperand(m, operand, sink);
  if (reading.size != 0 && reading.ref.error != detail::MemError::None) {
    sink.Add(detail::Mem_ErrorText(reading.ref, reading.rest));
    return {};
  }
  const std::string base(reading.rest);

  // A memory operand's register goes in with its own ModRM, SIB and displacement bytes.
  std::uint8_t code = kNoRegister;
  switch (type) {
    case OpType::R8:
      code = reading.reg.Code(8);
      break;
    case OpType::R16:
      code = reading.reg.Code(16);
      break;
    case OpType::R32:
      code = reading.reg.Code(32);
      break;
    case OpType::M8:
    case OpType::M16:
    case OpType::M32:
      code = 0;
      break;
    default:
      sink.Add(std::string("Invalid operand: ") + base + "(" + std::string(Type_Code(type)) + ")" + kCR +
               kCR + "Supported: " + kCR + kTab + m + " r/m8(16,32)");
      return {};
  }
  if (code == kNoRegister) {
    sink.Add("Invalid operand: " + base, MsgStyle::Ok, m);
    return {};
  }

  std::string opcode;
  std::uint8_t table = 0;
  const GroupDigit group = Get_GroupDigit(m);
  switch (group.family) {
    case GroupFamily::MulDiv:
      table = Get_MulDivOpcode(m, type, opcode, sink);
      break;
    case GroupFamily::IncDec:
      // FEh is defined only for INC (/0) and DEC (/1): CALL, JMP and PUSH have no byte form.
      if (group.digit > 0x08 && (type == OpType::R8 || type == OpType::M8)) {
        sink.Add(std::string("Invalid operand: ") + std::string(Trim(operand)) + "(" +
                 std::string(Type_Code(type)) + ")" + kCR + kCR + "Supported: " + kCR + kTab + m +
                 " r/m16(32)");
        return {};
      }
      table = Get_IncDecOpcode(m, type, opcode, sink);
      break;
    case GroupFamily::Shift:
      table = Get_ShiftOpcode(m, type, count, opcode, sink);
      break;
    case GroupFamily::Ver:
      table = Get_VerOpcode(m, type, opcode);
      break;
    case GroupFamily::Pop:
      table = Get_PopOpcode(type, opcode);
      break;
    case GroupFamily::None:
      if (Get_SetccByte(m) != 0) table = Get_SetccOpcode(m, type, opcode);
      break;
  }
  if (opcode.empty() && table == 0) return {};

  const unsigned modrm = unsigned{table} + code;
  if (modrm > 0xFF) Raise_Overflow();
  ByteString out = opcode;
  if (Is_Mem(type))
    detail::Append_MemBytes(out, static_cast<std::uint8_t>(modrm), reading.ref);
  else
    out.push_back(static_cast<char>(modrm));
  return out;
}

std::uint8_t Family_Opcode(GroupFamily family, GroupOpcodes ops, std::string_view mnemonic, OpType type,
                           std::string& opcode, Diagnostics& sink) {
  const GroupDigit g = Get_GroupDigit(Trim_Upper(mnemonic));
  if (g.family != family) {
    opcode.clear();
    Report_OpcodeMissing(sink, mnemonic);
    return 0;
  }
  return Get_GroupForm(ops.byte_form, ops.word_form, g.digit, type, opcode);
}

}  // namespace

void Report_OpcodeMissing(Diagnostics& sink, std::string_view mnemonic) {
  sink.Add(std::string("Syntax error: ") + kCR + std::string(mnemonic), MsgStyle::Ok,
           std::string("Opcode for: ") + std::string(mnemonic));
}

std::uint8_t Put_GroupForm(std::uint8_t byte_form, std::uint8_t word_form, std::uint8_t digit, OpType type,
                           InstructionBytes& opcode) {
  switch (type) {
    case OpType::M8:
      opcode.Put(byte_form);
      return digit;
    case OpType::R8:
      opcode.Put(byte_form);
      return 0xC0 + digit;
    case OpType::M16:
      opcode.Put(0x66);
      opcode.Put(word_form);
      return digit;
    case OpType::R16:
      opcode.Put(0x66);
      opcode.Put(word_form);
      return 0xC0 + digit;
    case OpType::M32:
      opcode.Put(word_form);
      return digit;
    case OpType::R32:
      opcode.Put(word_form);
      return 0xC0 + digit;
    default:
      return 0;
  }
}

std::uint8_t Get_GroupForm(std::uint8_t byte_form, std::uint8_t word_form, std::uint8_t digit, OpType type,
                           std::string& opcode) {
  InstructionBytes bytes;
  const std::uint8_t table = Put_GroupForm(byte_form, word_form, digit, type, bytes);
  opcode.assign(bytes.View());
  return table;
}

GroupDigit Get_GroupDigit(std::string_view mnemonic) {
  const GroupRow* row = Find_Mnemonic(kGroupIndex, mnemonic);
  return row ? GroupDigit{row->family, row->digit} : GroupDigit{};
}

std::uint8_t Get_MulDivOpcode(std::string_view mnemonic, OpType type, std::string& opcode,
                              Diagnostics& sink) {
  return Family_Opcode(GroupFamily::MulDiv, kMulDivOps, mnemonic, type, opcode, sink);
}

std::uint8_t Get_IncDecOpcode(std::string_view mnemonic, OpType type, std::string& opcode,
                              Diagnostics& sink) {
  return Family_Opcode(GroupFamily::IncDec, kIncDecOps, mnemonic, type, opcode, sink);
}

bool Encode_OneOperand_Plain(std::string_view key, std::string_view operand, ShiftCount count,
                             std::uint8_t count_byte, LineBytes& out) {
  detail::PlainOperand o;
  if (!detail::Read_Plain(operand, o) || o.kind == detail::PlainOperand::Kind::Number) return false;
  const GroupDigit g = Get_GroupDigit(key);
  std::uint8_t byte_form = 0, word_form = 0;
  switch (g.family) {
    case GroupFamily::MulDiv:
      byte_form = kMulDivOps.byte_form, word_form = kMulDivOps.word_form;
      break;
    case GroupFamily::IncDec:
      // CALL and JMP share the group but have forms of their own; PUSH has no byte form.
      if (g.digit > 0x08 && (key != "PUSH" || o.kind == detail::PlainOperand::Kind::Register ||
                             o.size == 1))
        return false;
      byte_form = kIncDecOps.byte_form, word_form = kIncDecOps.word_form;
      break;
    case GroupFamily::Pop: {
      // POP m16/m32 and r16 (58h+r behind 66h); there is no byte form.
      const OpType type = detail::Plain_Type(o);
      if (type != OpType::M16 && type != OpType::M32 && type != OpType::R16) return false;
      InstructionBytes bytes;
      const unsigned code = unsigned{Put_PopOpcode(type, bytes)} + (type == OpType::R16 ? o.reg.code : 0);
      if (type == OpType::R16)
        bytes.Put(static_cast<std::uint8_t>(code));
      else
        detail::Put_MemBytes(bytes, static_cast<std::uint8_t>(code), o.ref);
      out.Put(bytes);
      return true;
    }
    case GroupFamily::Shift: {
      const ShiftOpcodes* row = Find_ShiftOpcodes(count);
      if (row == nullptr) return false;
      byte_form = row->byte_form, word_form = row->word_form;
      break;
    }
    default:
      return false;
  }
  const bool memory = o.kind == detail::PlainOperand::Kind::Memory;
  InstructionBytes bytes;
  const std::uint8_t table = Put_GroupForm(byte_form, word_form, g.digit, detail::Plain_Type(o), bytes);
  const unsigned modrm = unsigned{table} + (memory ? 0 : o.reg.code);
  // A byte sum that carries, or bits beside a memory operand's reg field, is left to the steps.
  if (modrm > 0xFF || (memory && (modrm & 0xC7) != 0)) return false;
  if (memory)
    detail::Put_MemBytes(bytes, static_cast<std::uint8_t>(modrm), o.ref);
  else
    bytes.Put(static_cast<std::uint8_t>(modrm));
  if (count == ShiftCount::Imm8) bytes.Put(count_byte);
  out.Put(bytes);
  return true;
}

ByteString Encode_OneOperand(std::string_view key, std::string_view operand, std::string_view count,
                             Diagnostics& sink) {
  const std::string m = Trim_Upper(key);
  return Guard_Faults(sink, m, operand, count, [&] { return Encode_Group(m, operand, count, sink); });
}

ByteString Get_ImmOpcode(std::string_view mnemonic, OpType imm_type, Diagnostics& sink) {
  struct ImmRow {
    std::string_view mnemonic, imm8, imm16, imm32;
  };
  // clang-format off
  static constexpr std::array kImmRows{
      //     mnemonic  imm8      imm16        imm32
      ImmRow{"JMP",    "\xEB",   "\x66\xE9",  "\xE9"},
      ImmRow{"CALL",   "",       "\x66\xE8",  "\xE8"},  // no rel8 call exists
      ImmRow{"PUSH",   "\x6A",   "\x66\x68",  "\x68"},
  };
  // clang-format on
  const std::string m = Trim_Upper(mnemonic);
  for (const ImmRow& row : kImmRows) {
    if (row.mnemonic != m) continue;
    switch (imm_type) {
      case OpType::Imm8:
        if (row.imm8.empty()) sink.Add(std::string("Not supported:") + kCR + kTab + "CALL rel8");
        return ByteString(row.imm8);
      case OpType::Imm16:
        return ByteString(row.imm16);
      case OpType::Imm32:
        return ByteString(row.imm32);
      default:
        return {};
    }
  }
  return {};
}

ByteString Encode_ImmOperand(std::string_view mnemonic, std::string_view operand, Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  std::string op(operand);
  if (Is_LabelName(op)) op = "0&";  // the label pass writes the address into this imm32
  OpType type = Get_ImmType(op, sink);
  const OpType forced = Get_ImmSuffix(op);
  if (forced != OpType::None) {
    type = forced;
  } else if (Is_JmpOrPush(m) && type == OpType::Imm8) {
    // EBh and 6Ah sign-extend their byte: 128..255 and -129..-255 need the 32-bit form.
    const double v = Signed_Value(op, sink);
    if (v < -128 || v > 127) type = OpType::Imm32;
  }
  const ByteString oc = Get_ImmOpcode(m, type, sink);
  if (oc.empty()) return {};

  switch (type) {
    case OpType::Imm8: {
      const ByteString b = Is_Imm8(op, sink) ? To_Byte(op, sink) : ByteString();
      if (b.size() != 1) break;
      return oc + b;
    }
    case OpType::Imm16: {
      const ByteString w = Is_Imm16(op, sink) ? To_Word(op, sink) : ByteString();
      if (w.size() != 2) break;
      return oc + w;
    }
    case OpType::Imm32: {
      ByteString d;
      if (!Is_Number(op, sink) || !Checked_Dword(op, d, sink)) break;
      return oc + d;
    }
    default:
      return {};
  }
  const std::string_view what =
      type == OpType::Imm8 ? "Out of Byte" : (type == OpType::Imm16 ? "Out of Word" : "Out of Dword");
  Report_OutOf(sink, what, m, op);
  return {};
}

double Signed_Value(std::string_view text, Diagnostics& sink) {
  std::string t = Normalize_Number(text, sink);
  const bool negative = Strip_Minus(t);
  const double v = Leading_Value(t);
  return negative ? -v : v;
}

namespace {
bool Check_Unsigned(std::string_view value_text, std::string_view instruction, std::uint32_t max,
                    Diagnostics& sink) {
  std::string digits(value_text);
  Get_ImmSuffix(digits);
  if (Signed_Value(digits, sink) >= 0) return true;
  Report_OutOfRange(sink, value_text, instruction, max);
  return false;
}
}  // namespace

bool Check_Unsigned8(std::string_view value_text, std::string_view instruction, Diagnostics& sink) {
  return Check_Unsigned(value_text, instruction, kByteMax, sink);
}
bool Check_Unsigned16(std::string_view value_text, std::string_view instruction, Diagnostics& sink) {
  return Check_Unsigned(value_text, instruction, kWordMax, sink);
}

bool Checked_Dword(std::string_view text, ByteString& out, Diagnostics& sink) {
  // 0x / ...h literals count their digits in the &H form they are read in.
  const detail::NormalLiteral literal(text, sink);
  const std::size_t hex = Significant_Digits(literal.view(), "&H");
  const std::size_t bin = Significant_Digits(text, "&B");
  if ((hex != std::string_view::npos && hex > 8) || (bin != std::string_view::npos && bin > 32)) return false;
  out = To_Dword(text, sink);
  // Leading zero digits may add zero bytes at the high end: the value itself fits.
  if (out.size() < 4) return false;
  out.resize(4);
  return true;
}

}  // namespace orvo
