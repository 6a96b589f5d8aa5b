#pragma once
// The commonest instruction lines, encoded without the general operand model: MOV and the ALU
// group on 32-bit registers, plain decimal immediates and [reg], [reg+disp], [reg-disp];
// PUSH and POP of a 32-bit register; DB with plain decimal bytes. Every other spelling goes to
// the general dispatch. For the lines it takes the bytes are those the general dispatch gives,
// no box can be shown, and the pass-3 fix-up has nothing to do (no operand can name a label).

#include <cstdint>
#include <string>
#include <string_view>

#include "assembler/code_image.h"
#include "assembler/labels.h"

namespace orvo {

// line: trimmed, not empty, without a colon. Returns false (bytes unspecified) when the line is
// not one of the common shapes.
bool Encode_CommonLine(std::string_view line, std::string& bytes);

// JMP or a conditional jump to a plain name (letters, digits, underscores): the pass-2 bytes,
// opcode and a zero rel32. Returns false for every other line.
bool Encode_CommonJump(std::string_view line, std::string& bytes);

// Pass 3 of a line Encode_CommonJump took, at offset with its pass-2 length: writes the rel32
// when the label exists and is not the line's own offset, and returns true (the line's bytes
// are then those the general fix-up would give, without a box). Returns false, changing
// nothing, when the general fix-up must run and show its box.
bool Fix_CommonJump(std::string_view line, CodeImage& image, const LabelTable& labels, std::int32_t offset,
                    std::int32_t length);

}  // namespace orvo
