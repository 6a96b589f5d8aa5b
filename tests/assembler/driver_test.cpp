#include <gtest/gtest.h>

#include "assembler/compile.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;

TEST(SplitLines, SplitsAtCrLfOnly) {
  EXPECT_TRUE(Split_Lines("").empty());
  EXPECT_EQ(Split_Lines("\r\n"), (std::vector<std::string_view>{"", ""}));
  EXPECT_EQ(Split_Lines("A\rB\nC\r\nD"), (std::vector<std::string_view>{"A\rB\nC", "D"}));
}

TEST(Compile, FixedInstructionsWithAndWithoutFrame) {
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile("PUSHAD\r\nCLC\r\nPOPAD\r\nEND", {}), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("60 F8 61 5F5E5B89EC5DC21000"));
  CompileOptions stack;
  stack.stack = true;
  ASSERT_EQ(s.Compile("PUSHAD\r\nCLC\r\nPOPAD\r\nEND", stack), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("5589E5535657 60 F8 61 5F5E5B89EC5DC21000 5F5E5B89EC5DC21000"));
  EXPECT_TRUE(rec.Messages().empty());
}

}  // namespace
}  // namespace orvo
