#include "base/hex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace orvo {
namespace {

TEST(HexText, BothFormsOfKnownBytes) {
  struct Row {
    std::string bytes;
    std::string_view hex;
    std::string_view view;
  };
  const Row rows[] = {
      {"", "", ""},
      {std::string(1, '\0'), "00", "0"},
      {std::string("\xB8\x01\x00\x00\x00", 5), "B801000000", "B8/1/0/0/0"},
      {"\x0F\x10\xFF\xA5\x5A", "0F10FFA55A", "F/10/FF/A5/5A"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Hex_Text(row.bytes), row.hex);
    EXPECT_EQ(ViewOpCodes_Bin2Hex(row.bytes), row.view);
  }
}

// Every byte value, in its place among others: two capital digits each.
TEST(HexText, EveryByteIsTwoCapitalDigits) {
  std::string bytes, expected;
  for (int b = 0; b < 256; ++b) {
    bytes.push_back(static_cast<char>(b));
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", b);
    expected += digits;
  }
  EXPECT_EQ(Hex_Text(bytes), expected);
}

}  // namespace
}  // namespace orvo
