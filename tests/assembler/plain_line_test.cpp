// Splitting a line in one look against the steps pass 2 takes otherwise (trim, cut the comment,
// look for a label colon, form the line terms): random lines of blanks, mnemonics of every length,
// operands and commas, with the characters that need the steps mixed in. Where the one look takes
// a line, every piece must be the same piece of the same text.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "assembler/compile.h"
#include "assembler/dispatch.h"
#include "base/diagnostics.h"
#include "base/text.h"

namespace orvo {
namespace {

// A view as its place in the text: offset and size, or "null" for a view of nothing.
std::string Place(std::string_view piece, std::string_view text) {
  if (piece.data() == nullptr) return "null";
  return std::to_string(piece.data() - text.data()) + "+" + std::to_string(piece.size());
}

TEST(PlainLine, OneLookSplitsAsTheSteps) {
  const char* const words[] = {"MOV", "mov", "Add", "PUSH", "DB", "LOCK", "REP", "X", "ABCDEFGHIJKLMNO",
                               "ABCDEFGHIJKLMNOP", "", "EAX", "EBX", "[ESI+4]", "5", ",", ",,", "0x10", "a;b",
                               "L1:", "\"s\"", "\tEAX", "B'c'", "\r", "DWORD PTR"};
  const char* const gaps[] = {" ", " ", " ", "  ", "", ",", ", ", " ,", "   "};
  std::mt19937 rnd(11);
  int taken = 0;
  for (int n = 0; n < 200000; ++n) {
    std::string raw(rnd() % 4 == 0 ? rnd() % 3 : 0, ' ');
    const int count = static_cast<int>(rnd() % 5);
    for (int k = 0; k < count; ++k) {
      if (k > 0) raw += gaps[rnd() % std::size(gaps)];
      raw += words[rnd() % std::size(words)];
    }
    raw.append(rnd() % 4 == 0 ? rnd() % 3 : 0, ' ');
    if (rnd() % 50 == 0) raw.append(40, 'Q');  // past the longest line taken in one look

    std::string_view line;
    LineTerms quick;
    const bool split = Split_PlainLine(raw, line, quick);
    // Read where it stands, with text after it that must not count.
    const std::string text = raw + std::string(64, rnd() % 2 == 0 ? ' ' : ',');
    std::string_view line_in_text;
    LineTerms in_text;
    ASSERT_EQ(Split_PlainLine(std::string_view(text).substr(0, raw.size()), text.size(), line_in_text, in_text), split)
        << raw;
    if (!split) continue;
    ++taken;
    EXPECT_EQ(Place(line_in_text, text), Place(line, raw)) << raw;
    EXPECT_EQ(in_text.key.view(), quick.key.view()) << raw;
    EXPECT_EQ(Place(in_text.operand, text), Place(quick.operand, raw)) << raw;
    EXPECT_EQ(Place(in_text.second, text), Place(quick.second, raw)) << raw;
    const std::string_view trimmed = Trim(raw);
    ASSERT_EQ(Place(line, raw), Place(trimmed, raw)) << raw;
    ASSERT_EQ(Code_Part(trimmed).size(), trimmed.size()) << raw;
    ASSERT_EQ(Find_LabelColon(trimmed), std::string_view::npos) << raw;
    const LineTerms steps = Get_LineTerms(trimmed);
    EXPECT_EQ(quick.key.view(), steps.key.view()) << raw;
    if (steps.key.size() <= kMaxPackedMnemonic) {
      EXPECT_EQ(quick.key.Packed(), Pack_Mnemonic(steps.key.view())) << raw;
      EXPECT_EQ(steps.key.Packed(), Pack_Mnemonic(steps.key.view())) << raw;
    }
    EXPECT_EQ(Place(quick.mnemonic, raw), Place(steps.mnemonic, raw)) << raw;
    EXPECT_EQ(Place(quick.operand, raw), Place(steps.operand, raw)) << raw;
    EXPECT_EQ(Place(quick.first, raw), Place(steps.first, raw)) << raw;
    EXPECT_EQ(Place(quick.second, raw), Place(steps.second, raw)) << raw;
  }
  EXPECT_GT(taken, 50000);
}

}  // namespace
}  // namespace orvo

namespace orvo {
namespace {

// The first-pair look may send a line on to the full search needlessly, never hold one back.
TEST(PlainLine, NamePairsNeverHideAName) {
  ConstTable consts;
  Diagnostics sink;
  for (const char* definition : {"CV0 EQU 1", "cv1=2", "OFS4 EQU 8", "Of_x=3", "_Q9=4"}) consts.Define_Const(definition, sink);
  ASSERT_TRUE(sink.empty());
  const NamePairs pairs = consts.First_Pairs();
  ASSERT_EQ(pairs.count, 3);  // CV, OF and _Q
  const char* const pieces[] = {"MOV", " ", "EAX", ",", "[ESI+", "]", "CV0", "cV1", "cv", "C", "V", "OF", "oFs4",
                                "of_X", "_q9", "_Q", "XCV0", "OFS", "0F", "Ov", "5", "DWORD PTR "};
  std::mt19937 rnd(5);
  int ruled_out = 0;
  for (int n = 0; n < 100000; ++n) {
    std::string raw;
    for (int k = static_cast<int>(rnd() % 6); k >= 0; --k) raw += pieces[rnd() % std::size(pieces)];
    std::string_view line;
    LineTerms terms;
    bool may_hold_name = true;
    if (!Split_PlainLine(raw, raw.size(), line, terms, pairs, may_hold_name) || may_hold_name) continue;
    ++ruled_out;
    EXPECT_FALSE(consts.May_Replace(line)) << raw;
  }
  EXPECT_GT(ruled_out, 10000);
}

}  // namespace
}  // namespace orvo
