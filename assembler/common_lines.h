#pragma once
// The commonest instruction lines, encoded without the general operand model: MOV and the ALU
// group on 32-bit registers, plain decimal immediates and [reg], [reg+disp], [reg-disp];
// PUSH and POP of a 32-bit register; DB with plain decimal bytes. Every other spelling goes to
// the general dispatch. For the lines it takes the bytes are those the general dispatch gives,
// no box can be shown, and the pass-3 fix-up has nothing to do (no operand can name a label).

#include <string>
#include <string_view>

namespace orvo {

// line: trimmed, not empty, without a colon. Returns false (bytes unspecified) when the line is
// not one of the common shapes.
bool Encode_CommonLine(std::string_view line, std::string& bytes);

}  // namespace orvo
