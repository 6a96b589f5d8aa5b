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

// Every byte value at every place of a sixteen-byte step, and texts of every length around the
// steps: two capital digits each.
TEST(HexText, EveryByteIsTwoCapitalDigits) {
  for (int shift = 0; shift < 17; ++shift) {
    std::string bytes(static_cast<std::size_t>(shift), 'x'), expected;
    for (int i = 0; i < shift; ++i) expected += "78";
    for (int b = 0; b < 256; ++b) {
      bytes.push_back(static_cast<char>(b));
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02X", b);
      expected += digits;
    }
    EXPECT_EQ(Hex_Text(bytes), expected) << shift;
    for (std::size_t size = 0; size < 40; ++size)
      EXPECT_EQ(Hex_Text(std::string_view(bytes).substr(0, size)), expected.substr(0, 2 * size)) << size;
  }
}

}  // namespace
}  // namespace orvo
