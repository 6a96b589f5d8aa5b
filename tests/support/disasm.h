#pragma once
// Independent decoding of the bytes we produce, for cross-checks by meaning: Capstone in
// 32-bit x86 mode, Intel syntax. Without Capstone both functions report failure ("" and 0).

#include <cstdint>
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

// Text in lower case (ASCII letters), as the disassembler writes mnemonics and registers.
std::string Lower(std::string_view text);
// A number as the disassembler writes it: 0..9 in decimal, larger ones as 0x hex.
std::string Cs_Number(std::uint64_t value);

}  // namespace orvo::test
