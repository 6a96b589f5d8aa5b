#pragma once
// Length of one IA-32 instruction in 32-bit code, from its bytes: prefixes, opcode, ModRM/SIB,
// displacement and immediate. Used to count the instructions a run completed inside the block
// it stopped in.

#include <cstddef>
#include <string_view>

namespace orvo {

// 0 when the bytes end before the instruction does.
std::size_t Instruction_Length(std::string_view bytes);

}  // namespace orvo
