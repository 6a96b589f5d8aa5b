// ENTER frame size (imm16), nesting level (imm8): C8h iw ib.

#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "encoders/two_operand_tables.h"
#include "base/message_box.h"

namespace orvo {
namespace {

// The suffix names the type; without one the literal's own type.
OpType Enter_Type(std::string& operand) {
  const OpType suffix = Get_ImmSuffix(operand);
  return suffix != OpType::None ? suffix : Get_OperandType(operand);
}

}  // namespace

ByteString Assemble_Enter(std::string_view first_in, std::string_view second_in) {
  return Guard_Entry("ENTER", first_in, second_in, [&]() -> ByteString {
    std::string first(first_in), second(second_in);
    OpType t1 = Enter_Type(first);
    const OpType t2 = Enter_Type(second);
    if (t1 == OpType::Imm8) t1 = OpType::Imm16;  // a small frame size is still a word
    if (t1 != OpType::Imm16 || t2 != OpType::Imm8) {
      std::string text = "Invalid operands:";
      text += kCR;
      text += kCR;
      text += "ENTER ";
      text += Type_Code(t1);
      text += ',';
      text += Type_Code(t2);
      Show_Message(text);
      return {};
    }
    const std::string line = "ENTER " + std::string(first_in) + "," + std::string(second_in);
    if (!Check_Unsigned16(first, line) || !Check_Unsigned8(second, line)) return {};
    if (!Is_Imm16(first) || !Is_Imm8(second)) {
      Show_Message("Out of range");
      return {};
    }
    const std::string size = To_Word(first);
    const std::string level = To_Byte(second);
    if (size.size() != 2 || level.size() != 1) return {};  // a conversion box has been shown
    return "\xC8" + size + level;
  });
}

}  // namespace orvo
