#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "line_rows.h"
#include "support/shown.h"

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

// Items in every notation at the edges of each width, and next to them the spellings the
// short path must leave to the full one (signs, suffixes, blanks, leading zeros): the bytes, or
// none when the item is refused.
TEST(Data, ItemsAtTheEdgesOfEachWidth) {
  struct ItemRow {
    std::string_view directive, item, hex;
  };
  static constexpr ItemRow kRows[] = {
      {"DB", "0", "00"},
      {"DB", "255", "FF"},
      {"DB", "256", ""},
      {"DB", "0255", ""},
      {"DB", "12345", ""},
      {"DB", "65535", ""},
      {"DB", "65536", ""},
      {"DB", "999999999", ""},
      {"DB", "1000000000", ""},
      {"DB", "0FFh", "FF"},
      {"DB", "0ffH", "FF"},
      {"DB", "100h", ""},
      {"DB", "0x9E", "9E"},
      {"DB", "0x0FF", "FF"},
      {"DB", "0x1FF", ""},
      {"DB", "&HFF", "FF"},
      {"DB", "&H0FF", ""},
      {"DB", "&H0FFFF", ""},
      {"DB", "&B11110000", "F0"},
      {"DB", "&B000011110000", ""},
      {"DB", "&B 1010", ""},
      {"DB", "10000010b", "82"},
      {"DB", "0b1010010", "52"},
      {"DB", "0b111111111", ""},
      {"DB", "-1", "FF"},
      {"DB", "-0FFh", "01"},
      {"DB", "&HFF&", ""},
      {"DB", "12%", "0C"},
      {"DB", "1 000", ""},
      {"DB", "7FFFFFFFh", ""},
      {"DB", "0FFFFFFFFh", ""},
      {"DB", "1.5", ""},
      {"DB", "X", ""},
      {"DB", "0001", ""},
      {"DB", "00001", ""},
      {"DW", "0", "0000"},
      {"DW", "255", "FF00"},
      {"DW", "256", "0001"},
      {"DW", "0255", "FF00"},
      {"DW", "12345", "3930"},
      {"DW", "65535", "FFFF"},
      {"DW", "65536", ""},
      {"DW", "999999999", ""},
      {"DW", "1000000000", ""},
      {"DW", "0FFh", "FF00"},
      {"DW", "0ffH", "FF00"},
      {"DW", "100h", "0001"},
      {"DW", "0x9E", "9E00"},
      {"DW", "0x0FF", "FF00"},
      {"DW", "0x1FF", "FF01"},
      {"DW", "&HFF", "FF00"},
      {"DW", "&H0FF", "FF00"},
      {"DW", "&H0FFFF", ""},
      {"DW", "&B11110000", "F000"},
      {"DW", "&B000011110000", "F000"},
      {"DW", "&B 1010", ""},
      {"DW", "10000010b", "8200"},
      {"DW", "0b1010010", "5200"},
      {"DW", "0b111111111", "FF01"},
      {"DW", "-1", "FFFF"},
      {"DW", "-0FFh", "01FF"},
      {"DW", "&HFF&", "F00F"},
      {"DW", "12%", "0C00"},
      {"DW", "1 000", "E803"},
      {"DW", "7FFFFFFFh", ""},
      {"DW", "0FFFFFFFFh", ""},
      {"DW", "1.5", ""},
      {"DW", "X", ""},
      {"DW", "0001", "0100"},
      {"DW", "00001", "0100"},
      {"DD", "0", "00000000"},
      {"DD", "255", "FF000000"},
      {"DD", "256", "00010000"},
      {"DD", "0255", "FF000000"},
      {"DD", "12345", "39300000"},
      {"DD", "65535", "FFFF0000"},
      {"DD", "65536", "00000100"},
      {"DD", "999999999", "FFC99A3B"},
      {"DD", "1000000000", "00CA9A3B"},
      {"DD", "0FFh", "FF000000"},
      {"DD", "0ffH", "FF000000"},
      {"DD", "100h", "00010000"},
      {"DD", "0x9E", "9E000000"},
      {"DD", "0x0FF", "FF000000"},
      {"DD", "0x1FF", "FF010000"},
      {"DD", "&HFF", "FF000000"},
      {"DD", "&H0FF", "FF000000"},
      {"DD", "&H0FFFF", "FFFF0000"},
      {"DD", "&B11110000", "F0000000"},
      {"DD", "&B000011110000", "F0000000"},
      {"DD", "&B 1010", ""},
      {"DD", "10000010b", "82000000"},
      {"DD", "0b1010010", "52000000"},
      {"DD", "0b111111111", "FF010000"},
      {"DD", "-1", "FFFFFFFF"},
      {"DD", "-0FFh", "01FFFFFF"},
      {"DD", "&HFF&", "F00F0000"},
      {"DD", "12%", "0C000000"},
      {"DD", "1 000", "E8030000"},
      {"DD", "7FFFFFFFh", "FFFFFF7F"},
      {"DD", "0FFFFFFFFh", "FFFFFFFF"},
      {"DD", "1.5", ""},
      {"DD", "X", ""},
      {"DD", "0001", "01000000"},
      {"DD", "00001", "01000000"},
  };
  for (const ItemRow& row : kRows) {
    Recorder rec;
    const ByteString bytes = Assemble_Data(row.directive, row.item);
    EXPECT_EQ(Spaced_Hex(bytes), Spaced_Hex(Hex_Bytes(row.hex))) << row.directive << " " << row.item;
    EXPECT_EQ(rec.Messages().empty(), !row.hex.empty()) << row.directive << " " << row.item;
  }
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
