#pragma once
// Independent decoding of the bytes we produce, for cross-checks by meaning: Capstone in
// 32-bit x86 mode, Intel syntax. Without Capstone both functions report failure ("" and 0).

#include <string>
#include <string_view>

namespace orvo::test {

// True when the tests were built with Capstone.
bool Have_Disassembler();
// "mnemonic op_str" of the first instruction ("mov eax, dword ptr [ebx + 4]"), "" when the bytes
// do not decode.
std::string Disassemble32(std::string_view bytes);
// Length in bytes of the first instruction, 0 when the bytes do not decode.
int Instruction_Length(std::string_view bytes);

}  // namespace orvo::test
