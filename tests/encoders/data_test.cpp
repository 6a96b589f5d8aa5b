#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "line_rows.h"

namespace orvo::test {
namespace {

TEST(Data, Directives) {
  static constexpr BytesRow kRows[] = {
      {"DB 1,2,3", "01 02 03"},
      {"db 1, 2 ,3", "01 02 03"},
      {"DW 1,&H1234", "01 00 34 12"},
      {"DD 1", "01 00 00 00"},
      {"DD -1", "FF FF FF FF"},
      {"DD &HFFFFFFFF", "FF FF FF FF"},
      {"DD &B1111", "0F 00 00 00"},
      {"DB -1", "FF"},
      {"DB 255", "FF"},
      {"DW 65535", "FF FF"},
      {"DB \"Hi\",0", "48 69 00"},
      {"DB 1, \"AB\"", "01 41 42"},
      {"DW \"AB\"", "41 00 42 00"},
      {"DD \"A\"", "41 00 00 00"},
      {"DB \",\"", "2C"},
      {"DB \"a,b\"", "61 2C 62"},
      {"DB \" \"", "20"},
      {"DB \"\xE9\"", "E9"},  // a code-page character above 7Fh
  };
  Expect_Bytes(kRows);
}

constexpr std::string_view kDbOutOfRange = "Error in DB:\r\tOut of range\r\rSyntax:\r\tDB Value(0-255)";

TEST(Data, Refusals) {
  static constexpr BoxRow kRows[] = {
      {"DB 1,300,2", kDbOutOfRange},
      {"DB 256", kDbOutOfRange},
      {"DW 70000", "Error in DW:\r\tOut of range\r\rSyntax:\r\tDW Value(0-65535)"},
      {"DD &H123456789", "Error in DD:\r\tOut of range\r\rSyntax:\r\tDD Value(0-4294967295)"},
      {"DB \"\"", "Error in DB:\r\tEmpty character item\r\rSyntax:\r\tDB Value(0-255)"},
      {"DW 1,\"", "Error in DW:\r\tEmpty character item\r\rSyntax:\r\tDW Value(0-65535)"},
      // Names and empty items have no value: storing 0 for them would be a wrong constant.
      {"DB 1,Count", "Error in DB:\r\tNot a number: Count\r\rSyntax:\r\tDB Value(0-255)"},
      {"DB 1,", "Error in DB:\r\tEmpty item\r\rSyntax:\r\tDB Value(0-255)"},
      {"DB \"ab", "Error in DB:\r\tNot a number: \"ab\r\rSyntax:\r\tDB Value(0-255)"},
      {"DD 4294967295", "Overflow\r\rDD 4294967295", "6"},
  };
  Expect_Boxes(kRows);
}

TEST(Data, NamedDataLine) {
  Recorder rec;
  LabelTable labels;
  bool invalid = false;
  EXPECT_EQ(Dispatch_Line(Get_LineTerms("TABLE DB 5,6"), labels, invalid), Hex_Bytes("05 06"));
  EXPECT_EQ(Assemble_DataLine("dw 7"), Hex_Bytes("07 00"));
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(Data, SplitKeepsQuotedCommas) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(Split_DataList(""), V{""});
  EXPECT_EQ(Split_DataList("1,"), (V{"1", ""}));
  EXPECT_EQ(Split_DataList("1, \"a,b\" ,2"), (V{"1", " \"a,b\" ", "2"}));
  EXPECT_EQ(Split_DataList("\",\""), V{"\",\""});
}

}  // namespace
}  // namespace orvo::test
