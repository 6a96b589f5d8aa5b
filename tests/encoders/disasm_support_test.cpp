#include <gtest/gtest.h>

#include "support/disasm.h"
#include "support/test_support.h"

namespace orvo::test {
namespace {

TEST(Disassemble32, DecodesFirstInstruction) {
  ASSERT_TRUE(Have_Disassembler()) << "the tests need Capstone (libcapstone-dev)";
  EXPECT_EQ(Disassemble32(Hex_Bytes("8B 43 04 90")), "mov eax, dword ptr [ebx + 4]");
  EXPECT_EQ(Instruction_Length(Hex_Bytes("8B 43 04 90")), 3);
  EXPECT_EQ(Disassemble32(Hex_Bytes("90")), "nop");
  EXPECT_EQ(Disassemble32(""), "");
  EXPECT_EQ(Instruction_Length(Hex_Bytes("0F")), 0);
}

}  // namespace
}  // namespace orvo::test
