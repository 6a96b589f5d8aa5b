#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "operands/operands.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;
using test::Spaced_Hex;

// Bytes of a conversion, or "fault" when it raised an overflow.
template <typename F>
std::string Bytes_Or_Fault(F convert, std::string_view text) {
  try {
    return Spaced_Hex(convert(text));
  } catch (const Fault& f) {
    EXPECT_EQ(f.number(), 6);
    EXPECT_EQ(f.description(), "Overflow");
    return "fault";
  }
}

struct ConvRow {
  const char* text;
  const char* bytes;  // spaced hex, or "fault"
};

void Check_Conversions(std::string (*convert)(std::string_view), std::initializer_list<ConvRow> rows) {
  for (const ConvRow& r : rows) {
    Recorder rec;
    const std::string expected =
        std::string_view(r.bytes) == "fault" ? "fault" : Spaced_Hex(Hex_Bytes(r.bytes));
    EXPECT_EQ(Bytes_Or_Fault(convert, r.text), expected) << r.text;
    EXPECT_TRUE(rec.Messages().empty()) << r.text;
  }
}

TEST(NormalizeNumber, Base2Rewrite) {
  struct Row {
    const char* in;
    const char* out;
  };
  const Row rows[] = {
      {"&B1", "&H1"},
      {"&b10000", "&H10"},
      {"&B000011111111", "&H0FF"},
      {"&B00001111", "&H0F"},
      {"&B101", "&H5"},
      {" &B 11 ", "&H3"},
      {"&B", "&H0"},
      {" &hff ", "&HFF"},
      {" 12abc ", "12ABC"},
      {"-&b1", "-&H1"},
      {"- &B110", "-&H6"},
      // Digits outside base 2 make no base-2 literal: the text stays as written.
      {"&B2", "&B2"},
      {"&B9999", "&B9999"},
      {"&B102", "&B102"},
      // The notations of other assemblers are read in &H form, without leading zeros.
      {"0x2D", "&H2D"},
      {"0X002d", "&H2D"},
      {"2Dh", "&H2D"},
      {"0FFh", "&HFF"},
      {"0FFFFFFFFh", "&HFFFFFFFF"},
      {"0b101", "&H5"},
      {"101b", "&H5"},
      {"11b", "&H3"},
      {"0B1H", "&HB1"},
      {"100000000b", "&H100"},
      {"-0x10", "-&H10"},
      {"0x10&", "&H10&"},
      {"1E2", "1E2"},
      {"ABh", "ABH"},
      {"0x", "0X"},
      {"12b", "12B"},
      {"0xG", "0XG"},
  };
  Recorder rec;
  for (const Row& r : rows) EXPECT_EQ(Normalize_Number(r.in), r.out) << r.in;
  EXPECT_TRUE(rec.Messages().empty());
}

// Literals are normalized again and again on one line; reading them in turns, more of them
// than are kept as recent, gives every time what the first reading gave, and a literal too big
// for its rewrite shows its box at every reading.
TEST(NormalizeNumber, RepeatedReadingsAgree) {
  const char* const literals[] = {"0FFh", "0x1f",   "101b", "0b11", "&B1010", "-&B1",      "- 0FFH",
                                  "12",   "&B0102", "0XG",  "1AH",  "&b 11",  "7fffffffh", "0b1?"};
  std::vector<std::string> first;
  for (const char* text : literals) first.push_back(Normalize_Number(text));
  EXPECT_EQ(first[0], "&HFF");
  EXPECT_EQ(first[2], "&H5");
  EXPECT_EQ(first[4], "&HA");
  Recorder rec;
  for (int round = 0; round < 3; ++round)
    for (std::size_t i = 0; i < std::size(literals); ++i)
      EXPECT_EQ(Normalize_Number(literals[i]), first[i]) << literals[i] << " round " << round;
  EXPECT_TRUE(rec.Messages().empty());
  const std::string too_big = "&B" + std::string(255, '1');
  EXPECT_EQ(Normalize_Number(too_big), "");
  EXPECT_EQ(Normalize_Number(too_big), "");
  EXPECT_EQ(rec.Messages().size(), 2u);
}

TEST(NormalizeNumber, TooBigShowsOverflowBox) {
  {
    Recorder rec;
    EXPECT_EQ(Normalize_Number("&BZZZZ"), "&BZZZZ");  // no base-2 digits: no number, no box
    EXPECT_TRUE(rec.Messages().empty());
  }
  {
    Recorder rec;
    const std::string digits(255, '1');  // padded to 256: one digit too many
    EXPECT_EQ(Normalize_Number("&B" + digits), "");
    ASSERT_EQ(rec.Messages().size(), 1u);
    EXPECT_EQ(rec.Messages()[0], (Message{"Number too big: 0" + digits, MsgStyle::Ok, "Overflow"}));
  }
  {
    Recorder rec;
    const std::string digits(252, '1');
    EXPECT_EQ(Normalize_Number("&B" + digits), "&H" + std::string(63, 'F'));
    EXPECT_TRUE(rec.Messages().empty());
  }
}

TEST(ParseDigits, WeightsAndOverflow) {
  struct Row {
    int base;
    const char* in;
    int value;  // -1: overflow
    const char* after;
  };
  const Row rows[] = {
      {16, "ff", 255, "FF"},
      {16, "0A", 10, "0A"},
      {2, "1111", 15, "1111"},
      {2, "9999", 135, "9999"},
      {16, "G0", -1, "G0"},
      {16, "100", -1, "100"},
      {16, "", 0, ""},
      {16, "-1", 1, "-1"},
      {16, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", -1, nullptr},
  };
  for (const Row& r : rows) {
    std::string d = r.in;
    if (r.value < 0) {
      EXPECT_THROW(Parse_Digits(r.base, d), Fault) << r.in;
    } else {
      EXPECT_EQ(Parse_Digits(r.base, d), r.value) << r.in;
    }
    if (r.after) {
      EXPECT_EQ(d, r.after);
    }
  }
}

TEST(StripMinus, TrimsAndRemovesOneMinus) {
  struct Row {
    const char* in;
    bool removed;
    const char* out;
  };
  const Row rows[] = {
      {" -  5 ", true, "5"}, {"5", false, "5"}, {"--5", true, "-5"}, {" - ", true, ""}, {"", false, ""}};
  for (const Row& r : rows) {
    std::string t = r.in;
    EXPECT_EQ(Strip_Minus(t), r.removed) << r.in;
    EXPECT_EQ(t, r.out) << r.in;
  }
}

TEST(RangeTests, NumberImm8Imm16) {
  struct Row {
    const char* text;
    bool number, imm8, imm16;
  };
  const Row rows[] = {
      {"5", true, true, true},
      {"-5", true, true, true},
      {"&H1F", true, true, true},
      {"&B101", true, true, true},
      {"1abc", false, false, true},
      {"A5", false, true, true},
      {"_5", false, true, true},
      {"", false, true, true},
      {"255", true, true, true},
      {"-255", true, true, true},
      {"&HFF", true, true, true},
      {"-&HFF", true, true, true},
      {"1E2", true, true, true},
      {"256", true, false, true},
      {"0255", true, false, true},
      {"&H0FF", true, false, true},
      {"65535", true, false, true},
      {"&HFFFF", true, false, true},
      {"&H100", true, false, true},
      {"65536", true, false, false},
      {"&H0FFFF", true, false, false},
      {"065535", true, false, false},
      {"-65535", true, false, true},
      {"-300", true, false, true},
      {" - 200 ", true, true, true},
      {"1E9", true, false, false},
      {"&h", false, true, true},
      // Other notations are sized by their value; texts read by a leading part are no numbers.
      {"0FFh", true, true, true},
      {"0x100", true, false, true},
      {"0x0000FF", true, true, true},
      {"11b", true, true, true},
      {"0b1111", true, true, true},
      {"-0x80", true, true, true},
      {"0x10000", true, false, false},
      {"5?", true, true, true},
      {"5 &", true, true, true},
      {"1 000", true, false, true},
      {"1.0", true, true, true},
      {"15E-1", false, false, true},
      {"&B102", false, false, true},
      {"1_000", false, false, true},
      {"5-", false, true, true},
      {"65-13", false, false, true},
      {"0x", false, true, true},
      {"ABh", false, true, true},
  };
  Recorder rec;
  for (const Row& r : rows) {
    EXPECT_EQ(Is_Number(r.text), r.number) << r.text;
    EXPECT_EQ(Is_Imm8(r.text), r.imm8) << r.text;
    EXPECT_EQ(Is_Imm16(r.text), r.imm16) << r.text;
  }
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(LeadingValue, DecimalAndHex) {
  struct Row {
    const char* text;
    double value;
  };
  const Row rows[] = {
      {"", 0},
      {"abc", 0},
      {"12", 12},
      {"  1 2 3", 123},
      {"1abc", 1},
      {"-5", -5},
      {"- 5", -5},
      {"+7", 7},
      {"1.5", 1.5},
      {".25x", 0.25},
      {"1E2", 100},
      {"1e-2", 0.01},
      {"1 E 2", 100},
      {"2E", 2},
      {"2E+", 2},
      {"3.", 3},
      {"--5", 0},
      {"E5", 0},
      {"&HFF", 255},
      {"&hff", 255},
      {"&H", 0},
      {"&HFFFFFFFF", 4294967295.0},
      {"-&H38", -56},
      {"&H1G", 1},
      {"1234567890123456789", 1234567890123456789.0},
      {"123456789012345 ", 123456789012345},
      {"1E-400", 0},
      {"007", 7},
      {"0.000", 0},
      {"5 ,6", 5},
      {"\t5", 0},
  };
  for (const Row& r : rows) EXPECT_DOUBLE_EQ(Leading_Value(r.text), r.value) << r.text;
  EXPECT_EQ(Leading_Value("1E999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Leading_Value("-" + std::string(1000, '9')), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(Leading_Value("&H" + std::string(300, 'F')), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Leading_Value("0.0000000001E99999999999999999999"), std::numeric_limits<double>::infinity());
}

TEST(HexTextOf, RoundedSigned32) {
  struct Row {
    double value;
    const char* text;  // nullptr: overflow
  };
  const Row rows[] = {
      {0, "0"},
      {255, "FF"},
      {-1, "FFFFFFFF"},
      {-56, "FFFFFFC8"},
      {2.5, "2"},
      {3.5, "4"},
      {-0.5, "0"},
      {2147483647, "7FFFFFFF"},
      {-2147483648.0, "80000000"},
      {2147483647.5, nullptr},
      {2147483648.0, nullptr},
      {-2147483649.0, nullptr},
      {1e300, nullptr},
      {std::numeric_limits<double>::infinity(), nullptr},
      {std::numeric_limits<double>::quiet_NaN(), nullptr},
  };
  for (const Row& r : rows) {
    if (r.text) {
      EXPECT_EQ(Hex_Text_Of(r.value), r.text) << r.value;
    } else {
      EXPECT_THROW(Hex_Text_Of(r.value), Fault) << r.value;
    }
  }
}

TEST(ToByte, Conversions) {
  Check_Conversions(To_Byte, {
                                 {"200", "C8"},
                                 {"-1", "FF"},
                                 {"-128", "80"},
                                 {"-200", "38"},
                                 {"-256", "00"},
                                 {"-0", "00"},
                                 {"&HFF", "FF"},
                                 {"-&H38", "C8"},
                                 {"&B101", "05"},
                                 {"-&B101", "FB"},
                                 {" - 5 ", "FB"},
                                 {"300", "2C 01"},
                                 {"0", "00"},
                                 {"&HZZ", "fault"},
                                 {"1E10", "fault"},
                             });
}

TEST(ToByte, ConversionErrorBox) {
  Recorder rec;
  EXPECT_EQ(To_Byte("-300"), "");
  EXPECT_EQ(To_Byte("-&H101"), "");
  EXPECT_EQ(To_Byte("-300.5"), "");
  EXPECT_EQ(rec.Messages(), (std::vector<Message>{
                                {"Conversion error\r\r-44 is out of byte.", MsgStyle::Ok, std::nullopt},
                                {"Conversion error\r\r-1 is out of byte.", MsgStyle::Ok, std::nullopt},
                                {"Conversion error\r\r-44.5 is out of byte.", MsgStyle::Ok, std::nullopt},
                            }));
  EXPECT_THROW(To_Byte("-1E999"), Fault);  // no finite value to show
}

TEST(ToWord, Conversions) {
  Check_Conversions(To_Word, {
                                 {"300", "2C 01"},
                                 {"-1", "FF FF"},
                                 {"&HABCD", "CD AB"},
                                 {"-2", "FE FF"},
                                 {"1000", "E8 03"},
                                 {"-65536", "00 00"},
                                 {"-0", "00 00"},
                                 {"5", "05 00"},
                                 {"&H1", "01 00"},
                                 {"-&H38", "C8 FF"},
                                 {"-0.5", "00 00"},
                                 {"&H12345", "45 23"},
                                 {"&H123456", "56 34 12"},
                                 {"&B1111", "0F 00"},
                                 {"4294967296", "fault"},
                             });
}

TEST(ToWord, ConversionErrorBox) {
  Recorder rec;
  EXPECT_EQ(To_Word("-65537"), "");
  EXPECT_EQ(rec.Messages(),
            (std::vector<Message>{{"Conversion error\r\r-1 is out of word.", MsgStyle::Ok, std::nullopt}}));
}

TEST(ToDword, Conversions) {
  Check_Conversions(To_Dword,
                    {
                        {"0", "00 00 00 00"},
                        {"-2", "FE FF FF FF"},
                        {"&HFFFFFFFF", "FF FF FF FF"},
                        {"&B1111", "0F 00 00 00"},
                        {"-1", "FF FF FF FF"},
                        {"10", "0A 00 00 00"},
                        {"&H12345678", "78 56 34 12"},
                        {"2147483647", "FF FF FF 7F"},
                        {"-2147483648", "00 00 00 80"},
                        // A minus in front of a hexadecimal or base-2 literal gives the two's complement.
                        {"-&H1", "FF FF FF FF"},
                        {"-&H38", "C8 FF FF FF"},
                        {"- &h80000000", "00 00 00 80"},
                        {"-&B101", "FB FF FF FF"},
                        {"-&HFFFFFFFF", "fault"},
                        {"4294967295", "fault"},
                        {"2147483648", "fault"},
                        {"99999999999999999999999", "fault"},
                        {"&H123456789", "89 67 45 23"},
                        {"&H0123456789", "89 67 45 23 01"},
                        {"&HFG", "fault"},
                    });
}

TEST(ToBytes, Conversions) {
  Check_Conversions(To_Bytes, {
                                  {"&H123", "23 01"},
                                  {"65535", "FF FF"},
                                  {"&H1234567", "67 45 23 01"},
                                  {"&H1234", "34 12"},
                                  {"300", "2C 01"},
                                  {"0", "00"},
                                  {"-1", "FF FF FF FF"},
                                  {"&H", ""},
                                  {"&H123456789", "89 67 45 23"},
                              });
}

// Up to nine digits convert without their hex text; ten digits, leading zeros and spaces
// around a minus must come out as the general reading gives them.
TEST(Conversions, PlainDecimalsOnBothSidesOfTheShortRead) {
  Check_Conversions(To_Dword, {
                                  {"999999999", "FF C9 9A 3B"},
                                  {"1000000000", "00 CA 9A 3B"},
                                  {"-999999999", "01 36 65 C4"},
                                  {"-1000000000", "00 36 65 C4"},
                                  {" 000000007 ", "07 00 00 00"},
                                  {"- 5", "FB FF FF FF"},
                                  {"-0", "00 00 00 00"},
                              });
  Check_Conversions(To_Bytes, {
                                  {"999999999", "FF C9 9A 3B"},
                                  {"16777215", "FF FF FF"},
                                  {"16777216", "00 00 00 01"},
                                  {"65536", "00 00 01"},
                                  {"255", "FF"},
                                  {"-0", "00"},
                                  {"-5", "FB FF FF FF"},
                              });
  Check_Conversions(To_Byte, {
                                 {"000000255", "FF"},
                                 {"0000000256", "00 01"},
                                 {" 007 ", "07"},
                                 {"- 256", "00"},
                                 {"-255", "01"},
                                 {"-000000001", "FF"},
                             });
  for (const char* text : {"255", "007", "-255"}) EXPECT_TRUE(Is_Imm8(text)) << text;
  for (const char* text : {"256", "0255", "000000255", "999999999"}) EXPECT_FALSE(Is_Imm8(text)) << text;
  EXPECT_TRUE(Is_Imm16("65535"));
  EXPECT_FALSE(Is_Imm16("65536"));
  EXPECT_FALSE(Is_Imm16("065535"));
}

TEST(Conversions, HugeInputsReturnOrFault) {
  Recorder rec;
  const std::string mega(1 << 20, '7');
  EXPECT_THROW(To_Dword(mega), Fault);
  EXPECT_THROW(To_Word(mega), Fault);
  EXPECT_THROW(To_Byte("-" + mega), Fault);
  EXPECT_EQ(Get_OperandType(mega), OpType::Imm32);
  EXPECT_EQ(To_Dword("&H" + std::string(1 << 20, '1')).size(), std::size_t{1} << 19);
  EXPECT_EQ(Normalize_Number("&B" + std::string(300, '1')), "");
  EXPECT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(Get_OperandType(std::string(1 << 20, 'A')), OpType::Imm32);
  EXPECT_EQ(Get_OperandType("[" + mega + "]"), OpType::None);
}

}  // namespace
}  // namespace orvo
