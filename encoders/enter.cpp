// ENTER frame size (imm16), nesting level (imm8): C8h iw ib.

#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "encoders/two_operand_tables.h"

namespace orvo {
namespace {

// The suffix names the type; without one the literal's own type.
OpType Enter_Type(std::string& operand, Diagnostics& sink) {
  const OpType suffix = Get_ImmSuffix(operand);
  return suffix != OpType::None ? suffix : Get_OperandType(operand, sink);
}

}  // namespace

ByteString Assemble_Enter(std::string_view first_in, std::string_view second_in, Diagnostics& sink) {
  return Guard_Entry(sink, "ENTER", first_in, second_in, [&]() -> ByteString {
    std::string first(first_in), second(second_in);
    OpType t1 = Enter_Type(first, sink);
    const OpType t2 = Enter_Type(second, sink);
    if (t1 == OpType::Imm8) t1 = OpType::Imm16;  // a small frame size is still a word
    if (t1 != OpType::Imm16 || t2 != OpType::Imm8) {
      std::string text = "Invalid operands:";
      text += kCR;
      text += kCR;
      text += "ENTER ";
      text += Type_Code(t1);
      text += ',';
      text += Type_Code(t2);
      sink.Add(text);
      return {};
    }
    const std::string line = "ENTER " + std::string(first_in) + "," + std::string(second_in);
    if (!Check_Unsigned16(first, line, sink) || !Check_Unsigned8(second, line, sink)) return {};
    if (!Is_Imm16(first, sink) || !Is_Imm8(second, sink)) {
      sink.Add("Out of range");
      return {};
    }
    const std::string size = To_Word(first, sink);
    const std::string level = To_Byte(second, sink);
    if (size.size() != 2 || level.size() != 1) return {};  // a conversion box has been recorded
    return "\xC8" + size + level;
  });
}

}  // namespace orvo
