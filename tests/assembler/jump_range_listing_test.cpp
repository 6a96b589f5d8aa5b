// Boundaries a wrong comparison would move: the short jumps' reach of -128..+127 bytes, and the
// listing's hexadecimal text of bytes around 10h.
#include <gtest/gtest.h>

#include <string>

#include "assembler/compile.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;

std::string Nops(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "NOP\r\n";
  return s;
}

TEST(ShortJumpReach, EdgesOfTheByteDisplacement) {
  struct Row {
    std::string mnemonic;
    int nops;
    bool forward;
    std::string bytes;  // "" = out of range
  };
  const Row rows[] = {
      {"LOOP", 127, true, "E2 7F"},    {"LOOP", 128, true, ""},        {"LOOP", 126, false, "E2 80"},
      {"LOOP", 127, false, ""},        {"LOOPNZ", 127, true, "E0 7F"}, {"LOOPZ", 126, false, "E1 80"},
      {"JCXZ", 127, true, "67 E3 7F"}, {"JCXZ", 128, true, ""},        {"JECXZ", 126, false, "E3 80"},
      {"LOOP", 0, true, "E2 00"},
  };
  for (const Row& row : rows) {
    const std::string jump = row.mnemonic + " T";
    const std::string src = row.forward ? jump + "\r\n" + Nops(row.nops) + "T:\r\nNOP"
                                        : "T:\r\n" + Nops(row.nops) + jump + "\r\nNOP";
    Recorder rec;
    CompileSession s;
    s.Compile(src, {});
    const std::size_t at = row.forward ? 0 : static_cast<std::size_t>(row.nops);
    const std::string name =
        jump + " over " + std::to_string(row.nops) + (row.forward ? " forward" : " back");
    if (row.bytes.empty()) {
      ASSERT_EQ(rec.Messages().size(), 1u) << name;
      EXPECT_EQ(rec.Messages()[0].text, "Jump out of range:\r\t" + jump) << name;
    } else {
      EXPECT_TRUE(rec.Messages().empty()) << name << ": " << rec.Messages().front().text;
      const std::string expected = Hex_Bytes(row.bytes);
      ASSERT_GE(s.Image().Bytes().size(), at + expected.size()) << name;
      EXPECT_EQ(s.Image().Bytes().substr(at, expected.size()), expected) << name;
    }
  }
}

TEST(ListingHex, BytesAroundSixteen) {
  struct Row {
    std::string line;
    std::string hex;
  };
  const Row rows[] = {
      {"DB 0", "0"},          {"DB 15", "F"},   {"DB 16", "10"},
      {"DB 17", "11"},        {"DB 255", "FF"}, {"DB 1,16,17", "1/10/11"},
      {"DW &H1010", "10/10"},
  };
  std::string src;
  for (const Row& row : rows) src += row.line + "\r\n";
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile(src, {}), CompileOutcome::Finished);
  std::string text3;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(s.Listing_().Hex_Entry(i), rows[i].hex) << rows[i].line;
    text3 += rows[i].hex + "\r\n";
  }
  EXPECT_EQ(s.Listing_().Hex_Text(), text3);
}

}  // namespace
}  // namespace orvo
