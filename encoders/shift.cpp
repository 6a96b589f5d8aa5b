// Shifts and rotates: ROL ROR RCL RCR SHL SAL SHR SAR with a count of 1, CL or an imm8.

#include <array>
#include <string>
#include <string_view>

#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "base/message_box.h"
#include "operands/operands.h"
#include "base/text.h"

namespace orvo {
namespace {

struct ShiftOpcodes {
  ShiftCount count;
  std::uint8_t byte_form;
  std::uint8_t word_form;
};

// clang-format off
constexpr std::array kShiftOpcodes{
    //           count              byte  word/dword
    ShiftOpcodes{ShiftCount::One,   0xD0, 0xD1},
    ShiftOpcodes{ShiftCount::CL,    0xD2, 0xD3},
    ShiftOpcodes{ShiftCount::Imm8,  0xC0, 0xC1},
};
// clang-format on

}  // namespace

ShiftCount Get_ShiftCountType(std::string_view count) {
  if (Trim(count).empty()) return ShiftCount::One;  // SHL EAX shifts by one
  const OpType type = Get_OperandType(count);
  if (type == OpType::Imm8) return Signed_Value(count) == 1 ? ShiftCount::One : ShiftCount::Imm8;
  if (type == OpType::R8 && Get_Reg8Code(count) == 1) return ShiftCount::CL;
  return ShiftCount::Invalid;
}

std::uint8_t Get_ShiftOpcode(std::string_view mnemonic, OpType type, std::string_view count,
                             std::string& opcode) {
  opcode.clear();
  const std::string m = Trim_Upper(mnemonic);
  const ShiftCount form = Get_ShiftCountType(count);
  if (form == ShiftCount::Invalid) {
    Show_Message(std::string("Invalid 2-nd operand in ") + m + " " + std::string(Type_Code(type)) + "," +
                 std::string(count) + kCR + kCR + kTab + "Syntax:" + kCR + m + "r/m8(16/32)" + kCR + m +
                 "r/m8(16/32),1(CL,imm8)");
    return 0;
  }
  const GroupDigit g = Get_GroupDigit(m);
  if (g.family != GroupFamily::Shift) {
    Show_OpcodeMissing(m);
    return 0;
  }
  for (const ShiftOpcodes& row : kShiftOpcodes)
    if (row.count == form) return Get_GroupForm(row.byte_form, row.word_form, g.digit, type, opcode);
  return 0;
}

ByteString Assemble_Shift(std::string_view mnemonic, std::string_view first, std::string_view second) {
  const std::string m = Trim_Upper(mnemonic);
  return Guard_Faults(m, first, second, [&]() -> ByteString {
    ByteString r = Encode_OneOperand(m, first, second);
    if (r.empty() || Get_ShiftCountType(second) != ShiftCount::Imm8) return r;
    if (!Check_Unsigned8(second, m + " " + std::string(first) + "," + std::string(second))) return {};
    // The count byte comes last, after any displacement.
    const ByteString count = To_Byte(second);
    if (count.size() != 1) {
      Show_Message("Out of Byte", MsgStyle::Ok, m + " " + std::string(first) + "," + std::string(second));
      return {};
    }
    return r + count;
  });
}

}  // namespace orvo
