// Shifts and rotates: ROL ROR RCL RCR SHL SAL SHR SAR with a count of 1, CL or an imm8.

#include <array>
#include <string>
#include <string_view>

#include "base/text.h"
#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {
namespace {

}  // namespace

ShiftCount Get_ShiftCountType(std::string_view count, Diagnostics& sink) {
  if (Trim(count).empty()) return ShiftCount::One;  // SHL EAX shifts by one
  const OpType type = Get_OperandType(count, sink);
  if (type == OpType::Imm8) return Signed_Value(count, sink) == 1 ? ShiftCount::One : ShiftCount::Imm8;
  if (type == OpType::R8 && Get_Reg8Code(count) == 1) return ShiftCount::CL;
  return ShiftCount::Invalid;
}

std::uint8_t Get_ShiftOpcode(std::string_view mnemonic, OpType type, std::string_view count,
                             std::string& opcode, Diagnostics& sink) {
  opcode.clear();
  const std::string m = Trim_Upper(mnemonic);
  const ShiftCount form = Get_ShiftCountType(count, sink);
  if (form == ShiftCount::Invalid) {
    sink.Add(std::string("Invalid 2-nd operand in ") + m + " " + std::string(Type_Code(type)) + "," +
             std::string(count) + kCR + kCR + kTab + "Syntax:" + kCR + m + "r/m8(16/32)" + kCR + m +
             "r/m8(16/32),1(CL,imm8)");
    return 0;
  }
  const GroupDigit g = Get_GroupDigit(m);
  if (g.family != GroupFamily::Shift) {
    Report_OpcodeMissing(sink, m);
    return 0;
  }
  if (const ShiftOpcodes* row = Find_ShiftOpcodes(form))
    return Get_GroupForm(row->byte_form, row->word_form, g.digit, type, opcode);
  return 0;
}

const ShiftOpcodes* Find_ShiftOpcodes(ShiftCount count) {
  for (const ShiftOpcodes& row : kShiftOpcodes)
    if (row.count == count) return &row;
  return nullptr;
}

bool Assemble_Shift_Plain(std::string_view key, std::string_view first, std::string_view second,
                          LineBytes& out) {
  // No count is a count of one; 1 takes the short form, CL its own, any other byte follows.
  ShiftCount count = ShiftCount::One;
  detail::PlainOperand c;
  if (second.data() != nullptr) {
    if (!detail::Read_Plain(second, c)) return false;
    if (c.kind == detail::PlainOperand::Kind::Register) {
      if (c.reg.width != 8 || c.reg.code != 1) return false;
      count = ShiftCount::CL;
    } else if (c.kind == detail::PlainOperand::Kind::Number) {
      if (!detail::Plain_Fits(c.number, OpType::Imm8)) return false;
      count = c.number.value == 1 ? ShiftCount::One : ShiftCount::Imm8;
    } else {
      return false;
    }
  }
  return Encode_OneOperand_Plain(key, first, count, static_cast<std::uint8_t>(c.number.value), out);
}

ByteString Assemble_Shift(std::string_view mnemonic, std::string_view first, std::string_view second,
                          Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  return Guard_Faults(sink, m, first, second, [&]() -> ByteString {
    ByteString r = Encode_OneOperand(m, first, second, sink);
    if (r.empty() || Get_ShiftCountType(second, sink) != ShiftCount::Imm8) return r;
    if (!Check_Unsigned8(second, m + " " + std::string(first) + "," + std::string(second), sink)) return {};
    // The count byte comes last, after any displacement.
    const ByteString count = To_Byte(second, sink);
    if (count.size() != 1) {
      sink.Add("Out of Byte", MsgStyle::Ok, m + " " + std::string(first) + "," + std::string(second));
      return {};
    }
    return r + count;
  });
}

}  // namespace orvo
