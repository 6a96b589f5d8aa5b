#include "encoders/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;

TEST(EncoderMessages, Texts) {
  struct Row {
    std::string got, expected;
  };
  const Row rows[] = {
      {Usage_Block("BT", " r/m16(32),imm8"), "\r\r\tUSAGE:\rBT r/m16(32),imm8"},
      {Usage_Block("BOUND r16,m16&16"), "\r\r\tUSAGE:\rBOUND r16,m16&16"},
      {Range_Text(kByteMax), "0 to 255"},
      {Range_Text(kWordMax), "0 to 65535"},
      {Range_Syntax(kDwordMax), "0-4294967295"},
  };
  for (const Row& r : rows) EXPECT_EQ(r.got, r.expected);
}

TEST(EncoderMessages, Boxes) {
  // Recorded in order into the sink given; nothing is shown.
  Recorder rec;
  Diagnostics sink;
  Report_Usage(sink, "MOVZX", " r16,r/m8");
  Report_InvalidOperands(sink, "ADD", OpType::M8, OpType::Imm16);
  Report_OutOfRange(sink, " -1 ", "RET -1", kWordMax);
  Report_InvalidOperand(sink, "SETE", OpType::R32, " r/m8");
  Report_OperandForms(sink, "IN", " invalid source operand.", "Must be:", "imm8 or DX.");
  const std::vector<Message> expected = {
      {"Error in MOVZX\r\r\tUSAGE:\rMOVZX r16,r/m8", MsgStyle::Ok, std::nullopt},
      {"Invalid operand(s)\rADD m8,imm16", MsgStyle::Ok, std::nullopt},
      {"Out of range: -1\r\rThe value must be 0 to 65535.", MsgStyle::Ok, "RET -1"},
      {"Error in SETE:\r\tInvalid operand: r32\r\rUSAGE: SETE r/m8", MsgStyle::Ok, std::nullopt},
      {"Error in IN\r invalid source operand.\r\rMust be:\r\timm8 or DX.", MsgStyle::Ok, std::nullopt},
  };
  EXPECT_EQ(sink.items(), expected);
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(EncoderMessages, QuotedLimitsAreTheLimitsTested) {
  // A box quoting a limit must quote the one the range test applies.
  EXPECT_TRUE(Is_Imm8(std::to_string(kByteMax)));
  EXPECT_FALSE(Is_Imm8(std::to_string(kByteMax + 1)));
  EXPECT_TRUE(Is_Imm16(std::to_string(kWordMax)));
  EXPECT_FALSE(Is_Imm16(std::to_string(kWordMax + 1)));
}

}  // namespace
}  // namespace orvo
