// The operand reads record their faults instead of showing them: nothing reaches the message
// handler, and each read of a bad literal records its box exactly once.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "operands/detail.h"
#include "operands/operands.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;

const std::string kOnes(255, '1');  // padded to 256 digits: one too many for a literal
const Message kTooBig{"Number too big: 0" + kOnes, MsgStyle::Ok, "Overflow"};
const Message kByteError{"Conversion error\r\r-44 is out of byte.", MsgStyle::Ok, std::nullopt};
const Message kWordError{"Conversion error\r\r-1 is out of word.", MsgStyle::Ok, std::nullopt};

struct Row {
  const char* what;
  std::function<std::string(Diagnostics&)> read;  // the read's result, as text
  std::string result;
  std::vector<Message> recorded;
};

std::string Type_Text(OpType t) { return std::string(Type_Code(t)); }
std::string Bool_Text(bool b) { return b ? "yes" : "no"; }

TEST(RaisedAsValues, ReadsRecordOnceAndShowNothing) {
  const std::string big = "&B" + kOnes;
  const Row rows[] = {
      {"Is_Imm8 good", [](Diagnostics& s) { return Bool_Text(Is_Imm8("&B1", s)); }, "yes", {}},
      {"Is_Imm8 big", [&](Diagnostics& s) { return Bool_Text(Is_Imm8(big, s)); }, "yes", {kTooBig}},
      {"Is_Imm16 big", [&](Diagnostics& s) { return Bool_Text(Is_Imm16(big, s)); }, "yes", {kTooBig}},
      {"Is_Number big", [&](Diagnostics& s) { return Bool_Text(Is_Number(big, s)); }, "no", {kTooBig}},
      {"Is_Number minus big",
       [&](Diagnostics& s) { return Bool_Text(Is_Number("-" + big, s)); },
       "no",
       {kTooBig}},
      {"Normalize_Number big", [&](Diagnostics& s) { return Normalize_Number(big, s); }, "", {kTooBig}},
      // One normalization serves the number and the label test.
      {"Get_OperandType big",
       [&](Diagnostics& s) { return Type_Text(Get_OperandType(big, s)); },
       "",
       {kTooBig}},
      {"Get_OperandType good",
       [](Diagnostics& s) { return Type_Text(Get_OperandType("&B11", s)); },
       "imm8",
       {}},
      {"Get_ImmType big", [&](Diagnostics& s) { return Type_Text(Get_ImmType(big, s)); }, "imm8", {kTooBig}},
      {"memory displacement big",
       [&](Diagnostics& s) { return Type_Text(Get_OperandType("DWORD PTR [EBX+" + big + "]", s)); },
       "",
       {kTooBig}},
      {"Operand_Refusal big",
       [&](Diagnostics& s) { return Operand_Refusal("[EBX+" + big + "]", s); },
       "Not a number: " + big,
       {kTooBig}},
      {"To_Byte negative",
       [](Diagnostics& s) { return test::Spaced_Hex(To_Byte("-300", s)); },
       "",
       {kByteError}},
      {"To_Word negative",
       [](Diagnostics& s) { return test::Spaced_Hex(To_Word("-&H10001", s)); },
       "",
       {kWordError}},
      {"To_Byte good", [](Diagnostics& s) { return test::Spaced_Hex(To_Byte("-1", s)); }, "FF", {}},
  };
  for (const Row& r : rows) {
    Recorder rec;
    Diagnostics sink;
    EXPECT_EQ(r.read(sink), r.result) << r.what;
    EXPECT_EQ(sink.items(), r.recorded) << r.what;
    EXPECT_TRUE(rec.Messages().empty()) << r.what;
  }
}

TEST(RaisedAsValues, EveryReadOfABadLiteralRecordsAgain) {
  // A literal that raised is not kept among the recent rewrites: the next read raises again, as
  // each of today's reads showed its box.
  Diagnostics sink;
  const std::string big = "&B" + kOnes;
  Is_Imm8(big, sink);
  Is_Imm8(big, sink);
  EXPECT_EQ(sink.items(), (std::vector<Message>{kTooBig, kTooBig}));
}

}  // namespace
}  // namespace orvo
