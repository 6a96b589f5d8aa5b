#include "encoders/messages.h"

#include "base/text.h"

namespace orvo {

std::string Usage_Block(std::string_view head, std::string_view forms) {
  std::string s;
  s += kCR;
  s += kCR;
  s += kTab;
  s += "USAGE:";
  s += kCR;
  s += head;
  s += forms;
  return s;
}

void Report_Usage(Diagnostics& sink, std::string_view mnemonic, std::string_view forms) {
  std::string text = "Error in ";
  text += mnemonic;
  text += Usage_Block(mnemonic, forms);
  sink.Add(text);
}

void Report_InvalidOperands(Diagnostics& sink, std::string_view mnemonic, OpType dst, OpType src) {
  std::string text = "Invalid operand(s)";
  text += kCR;
  text += mnemonic;
  text += ' ';
  text += Type_Code(dst);
  text += ',';
  text += Type_Code(src);
  sink.Add(text);
}

void Report_InvalidOperand(Diagnostics& sink, std::string_view mnemonic, OpType type,
                           std::string_view forms) {
  std::string text = "Error in ";
  text += mnemonic;
  text += ':';
  text += kCR;
  text += kTab;
  text += "Invalid operand: ";
  text += Type_Code(type);
  text += kCR;
  text += kCR;
  text += "USAGE: ";
  text += mnemonic;
  text += forms;
  sink.Add(text);
}

void Report_OperandForms(Diagnostics& sink, std::string_view instruction, std::string_view which,
                         std::string_view heading, std::string_view forms) {
  std::string text = "Error in ";
  text += instruction;
  text += kCR;
  text += which;
  text += kCR;
  text += kCR;
  text += heading;
  text += kCR;
  text += kTab;
  text += forms;
  sink.Add(text);
}

std::string Range_Text(std::uint32_t max) { return "0 to " + std::to_string(max); }
std::string Range_Syntax(std::uint32_t max) { return "0-" + std::to_string(max); }

void Report_OutOfRange(Diagnostics& sink, std::string_view value_text, std::string_view instruction,
                       std::uint32_t max) {
  std::string text = "Out of range: ";
  text += Trim(value_text);
  text += kCR;
  text += kCR;
  text += "The value must be ";
  text += Range_Text(max);
  text += '.';
  sink.Add(text, MsgStyle::Ok, instruction);
}

}  // namespace orvo
