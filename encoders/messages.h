#pragma once
// The usage and invalid-operand boxes of the encoders, formatted in one place. The ranges they
// quote come from the limits the operand checks use (kByteMax, kWordMax, kDwordMax).

#include <cstdint>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "operands/operands.h"

namespace orvo {

// The block that closes a usage error: CR CR TAB "USAGE:" CR, then head and forms.
std::string Usage_Block(std::string_view head, std::string_view forms = {});
// "Error in " + mnemonic, then the usage block of mnemonic and forms.
void Report_Usage(Diagnostics& sink, std::string_view mnemonic, std::string_view forms);
// "Invalid operand(s)" CR mnemonic " " dst "," src.
void Report_InvalidOperands(Diagnostics& sink, std::string_view mnemonic, OpType dst, OpType src);
// "Error in " mnemonic ":" CR TAB "Invalid operand: " type CR CR "USAGE: " mnemonic forms.
void Report_InvalidOperand(Diagnostics& sink, std::string_view mnemonic, OpType type, std::string_view forms);
// "Error in " instruction CR which CR CR heading CR TAB forms: an operand and the forms it may take.
void Report_OperandForms(Diagnostics& sink, std::string_view instruction, std::string_view which,
                         std::string_view heading, std::string_view forms);
// "0 to " + max, and "0-" + max as syntax lines write it.
std::string Range_Text(std::uint32_t max);
std::string Range_Syntax(std::uint32_t max);
// "Out of range: " value CR CR "The value must be 0 to " max ".", titled with the instruction.
void Report_OutOfRange(Diagnostics& sink, std::string_view value_text, std::string_view instruction,
                       std::uint32_t max);

}  // namespace orvo
