// Splitting a line in one look against the steps pass 2 takes otherwise (trim, cut the comment,
// look for a label colon, form the line terms): random lines of blanks, mnemonics of every length,
// operands and commas, with the characters that need the steps mixed in. Where the one look takes
// a line, every piece must be the same piece of the same text.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <tuple>

#include "assembler/compile.h"
#include "assembler/constants.h"
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

namespace orvo {
namespace {

NamePairs Pairs_Of(std::initializer_list<const char*> firsts) {
  NamePairs pairs;
  for (const char* two : firsts) {
    std::fill(std::begin(pairs.first[pairs.count]), std::end(pairs.first[pairs.count]), two[0] | 0x20);
    std::fill(std::begin(pairs.second[pairs.count]), std::end(pairs.second[pairs.count]), two[1] | 0x20);
    ++pairs.count;
  }
  return pairs;
}

// The one look taken byte by byte: whether a line splits, and whether two neighbouring bytes, in
// either case, are a pair. The byte after the line counts, read from the text when the line is read
// where it stands and as zero from a copy.
struct OneLookModel {
  bool split = false;
  bool may_hold_name = true;
};

OneLookModel Model_OneLook(std::string_view raw, std::size_t readable, const NamePairs& pairs) {
  OneLookModel model;
  const std::size_t n = raw.size();
  const char after = readable >= 64 ? raw.data()[n] : '\0';
  model.may_hold_name = pairs.count == 0;
  for (std::size_t p = 0; p < n; ++p) {
    const char second = p + 1 < n ? raw[p + 1] : after;
    for (std::size_t k = 0; k < pairs.count; ++k)
      if ((raw[p] | 0x20) == pairs.first[k][0] && (second | 0x20) == pairs.second[k][0])
        model.may_hold_name = true;
  }
  const std::string_view trimmed = Trim(raw);
  model.split = n <= 48 && !trimmed.empty() && raw.find_first_of(";:\"\t") == std::string_view::npos &&
                trimmed.substr(0, trimmed.find(' ')).size() <= 15;
  return model;
}

// Every piece of two splits as the same place in its own text.
void Expect_SameTerms(const LineTerms& got, std::string_view got_text, const LineTerms& want,
                      std::string_view want_text, std::string_view raw) {
  EXPECT_EQ(got.key.view(), want.key.view()) << raw;
  EXPECT_EQ(Place(got.mnemonic, got_text), Place(want.mnemonic, want_text)) << raw;
  EXPECT_EQ(Place(got.operand, got_text), Place(want.operand, want_text)) << raw;
  EXPECT_EQ(Place(got.first, got_text), Place(want.first, want_text)) << raw;
  EXPECT_EQ(Place(got.second, got_text), Place(want.second, want_text)) << raw;
}

// Lines of every length around the sixteen-byte blocks, pairs anywhere in them (across a block's
// end, on the last byte, the first half on the last byte and the second after the line), read
// from a copy and where they stand, with one to eight pairs.
TEST(PlainLine, OneLookMatchesTheByteModel) {
  const NamePairs pair_sets[] = {Pairs_Of({"CV"}),
                                 Pairs_Of({"CV", "OF"}),
                                 Pairs_Of({"CV", "OF", "CX"}),
                                 Pairs_Of({"AB", "CV", "OF", "_Q"}),
                                 Pairs_Of({"AB", "CV", "OF", "_Q", "ZZ"}),
                                 Pairs_Of({"AB", "CV", "OF", "_Q", "ZZ", "Q1", "@X", "V "}),
                                 NamePairs{}};
  const char alphabet[] = "CVOFcvofXQ_1 ,,  AZBbz@\r;";
  std::mt19937 rnd(23);
  int named = 0, clear = 0, split_count = 0;
  for (int n = 0; n < 200000; ++n) {
    const NamePairs& pairs = pair_sets[rnd() % std::size(pair_sets)];
    const std::size_t size = rnd() % 4 == 0 ? 14 + rnd() % 4 + 16 * (rnd() % 3) : rnd() % 52;
    std::string raw;
    for (std::size_t k = 0; k < size; ++k) raw += alphabet[rnd() % (std::size(alphabet) - 1)];
    if (rnd() % 8 == 0)
      raw = (std::string(12 + rnd() % 6, 'M') + raw).substr(0, size);  // a first word of 15 or more
    // The same line read from a copy, and where it stands with text after it.
    std::string text = raw;
    for (int k = 0; k < 64; ++k) text += alphabet[rnd() % (std::size(alphabet) - 1)];
    const std::string_view in_text = std::string_view(text).substr(0, raw.size());
    for (const auto& [view, readable, whole] :
         {std::tuple{std::string_view(raw), raw.size(), std::string_view(raw)},
          std::tuple{in_text, text.size(), std::string_view(text)}}) {
      const OneLookModel model = Model_OneLook(view, readable, pairs);
      std::string_view line;
      LineTerms terms;
      bool may_hold_name = false;
      const bool split = Split_PlainLine(view, readable, line, terms, pairs, may_hold_name);
      ASSERT_EQ(split, model.split) << raw;
      if (!view.empty() && view.size() <= 48) {
        ASSERT_EQ(may_hold_name, model.may_hold_name) << raw << " read " << readable;
        (model.may_hold_name ? named : clear)++;
      } else {
        EXPECT_FALSE(may_hold_name) << raw;  // left as it was
      }
      if (!split) continue;
      ++split_count;
      // The pairs change nothing else.
      std::string_view plain_line;
      LineTerms plain;
      ASSERT_TRUE(Split_PlainLine(view, readable, plain_line, plain));
      EXPECT_EQ(Place(line, whole), Place(plain_line, whole)) << raw;
      Expect_SameTerms(terms, whole, plain, whole, raw);
      const LineTerms steps = Get_LineTerms(Trim(view));
      Expect_SameTerms(terms, whole, steps, whole, raw);
    }
  }
  EXPECT_GT(named, 20000);
  EXPECT_GT(clear, 20000);
  EXPECT_GT(split_count, 50000);
}

// A line of `size` bytes: head, then A's, then tail.
std::string Filled(std::string_view head, std::size_t size, std::string_view tail) {
  return std::string(head) + std::string(size - head.size() - tail.size(), 'A') + std::string(tail);
}

TEST(PlainLine, PairsAtTheBlockEdges) {
  const NamePairs pairs = Pairs_Of({"CV", "OF"});
  struct Row {
    std::string line;
    char after;      // the text's byte after the line when read where it stands
    bool in_place;   // may hold a name, read where it stands
    bool from_copy;  // the same, read from a copy
  };
  const Row rows[] = {
      {Filled("D ", 16, "CV"), ' ', true, true},  // the pair ends the first block
      {Filled("D ", 17, "CV"), ' ', true, true},  // across the first block's end
      {Filled("D ", 16, "C"), 'v', true, false},  // its second half after the line
      {Filled("D ", 16, "C"), ' ', false, false},
      {Filled("D ", 32, "O"), 'F', true, false},
      {Filled("D ", 33, "OF"), ' ', true, true},  // across the second block's end
      {Filled("D ", 47, "C"), 'V', true, false},
      {Filled("D ", 48, "cv"), ' ', true, true},  // the last two bytes looked at
      {Filled("D ", 48, "AC"), 'V', true, false},
      {Filled("D ", 48, "AC"), 'x', false, false},
      {Filled("D ", 49, "cv"), ' ', false, false},  // too long to look at: left as it was
      {"D VC,FO", ' ', false, false},
      {"D C V,O F", ' ', false, false},
      {"MOV ECX,OFFSET", ' ', true, true},
  };
  for (const Row& row : rows) {
    const std::string text = row.line + row.after + std::string(63, ' ');
    const bool looked_at = row.line.size() <= 48;
    std::string_view line;
    LineTerms terms;
    bool may_hold_name = false;
    EXPECT_EQ(Split_PlainLine(std::string_view(text).substr(0, row.line.size()), text.size(), line, terms,
                              pairs, may_hold_name),
              looked_at)
        << row.line;
    EXPECT_EQ(may_hold_name, row.in_place) << row.line;
    may_hold_name = false;
    EXPECT_EQ(Split_PlainLine(row.line, row.line.size(), line, terms, pairs, may_hold_name), looked_at)
        << row.line;
    EXPECT_EQ(may_hold_name, row.from_copy) << row.line;
  }
}

// Only 'a' to 'z' become capitals in the key; their neighbours and bytes above 127 stay.
TEST(PlainLine, KeyCapitalsOnlySmallLetters) {
  const char* const words[] = {"`abyz{", "@ABYZ[", "\x80\xff\xe1\xfax", "mOv", "a", "z", "\x7f\x01~"};
  for (const char* word : words) {
    const std::string raw = std::string(" ") + word + " EAX,1";
    std::string_view line;
    LineTerms terms;
    ASSERT_TRUE(Split_PlainLine(raw, line, terms)) << raw;
    EXPECT_EQ(terms.key.view(), Get_LineTerms(Trim(raw)).key.view()) << raw;
  }
}

}  // namespace
}  // namespace orvo
