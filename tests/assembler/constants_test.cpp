#include <gtest/gtest.h>

#include "assembler/constants.h"
#include "base/text.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;

struct ConstCase {
  std::vector<std::string_view> definitions;  // texts after "CONST "
  std::string_view line;
  std::string_view expected;
};

class ReplaceConsts : public testing::TestWithParam<ConstCase> {};

TEST_P(ReplaceConsts, RewritesLine) {
  Diagnostics boxes;
  ConstTable table;
  for (auto d : GetParam().definitions) table.Define_Const(d, boxes);
  std::string line(GetParam().line);
  table.Replace_Consts(line, boxes);
  EXPECT_EQ(line, GetParam().expected);
  EXPECT_TRUE(boxes.items().empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, ReplaceConsts, testing::Values(
    ConstCase{{"Arg1 EQU [ebp+8]"},            "PUSH Arg1",          "PUSH [ebp+8]"},
    ConstCase{{"arg1 equ [ebp+8]"},            "push ARG1",          "push [ebp+8]"},
    ConstCase{{"N=5"},                         "MOV EAX,N",          "MOV EAX,5"},
    ConstCase{{"N = 5"},                       "MOV EAX,N",          "MOV EAX, 5"},
    ConstCase{{"SIZE EQU 4"},                  "MOV EAX,MY_SIZE",    "MOV EAX,MY_4"},
    ConstCase{{"SIZE EQU 4"},                  "MOV EAX,SIZE2",      "MOV EAX,SIZE2"},
    ConstCase{{"A EQU 1"},                     "MOV AL,A",           "MOV AL,1"},       // the A in AL is another word
    ConstCase{{"M EQU 7"},                     "MOV EAX,M",          "MOV EAX,7"},      // so is the M of MOV
    ConstCase{{"A EQU 1"},                     "DD A,BA,A,AB,A",     "DD 1,BA,1,AB,1"},
    ConstCase{{"AB EQU 2"},                    "DD ABAB,AB",         "DD ABAB,2"},
    ConstCase{{"A EQU B", "B EQU 5"},          "MOV ECX,A",          "MOV ECX,5"},
    ConstCase{{"A EQU B", "B EQU 5"},          "MOV EAX,A",          "MOV EAX,5"},
    ConstCase{{"B EQU 5", "A EQU B"},          "MOV ECX,A",          "MOV ECX,B"},
    ConstCase{{"X EQU 1", "X EQU 2"},          "PUSH X",             "PUSH 1"},
    ConstCase{{"X EQU X+1"},                   "PUSH X",             "PUSH X+1"},
    ConstCase{{"GO EQU NOP"},                  "GO",                 "NOP"},
    ConstCase{{"MAX SIZE EQU 10"},             "MOV EAX,MAX SIZE",   "MOV EAX,10"},
    ConstCase{{"CS=1"},                        "PUSH CS",            "PUSH 1"},
    ConstCase{{"K=7"},                         "  ADD EAX,K  ",      "ADD EAX,7"},
    ConstCase{{"K=7"},                         "MOV EAX,K,K",        "MOV EAX,7,7"},
    ConstCase{{"L=\xC4"},                      "DB L,\xC4L",         "DB \xC4,\xC4\xC4"},  // 80h-FFh are no letters
    // Text in double quotes is data: names inside strings stay.
    ConstCase{{"SRC=5"},                       "MSG DB \"SRC\",SRC",  "MSG DB \"SRC\",5"},
    ConstCase{{"A=1"},                         "DB A,\"A\",A,\"xAx A\"", "DB 1,\"A\",1,\"xAx A\""},
    ConstCase{{"A=1"},                         "DB \"A",             "DB \"A"},        // an open string runs to the end
    ConstCase{{"Q=\"x\""},                     "DB Q,\"Q\"",          "DB \"x\",\"Q\""},
    ConstCase{{"A=1"},                         " DB \"\" ,A ",        "DB \"\" ,1"}
));
// clang-format on

TEST(ReplaceConsts, NoConstantsLeavesLineUntouched) {
  Diagnostics boxes;
  ConstTable table;
  std::string line = "  NOP  ";
  EXPECT_FALSE(table.Replace_Consts(line, boxes));
  EXPECT_EQ(line, "  NOP  ");
}

TEST(DefineConst, RefusalsRecordTheirBoxes) {
  Diagnostics boxes;
  ConstTable table;
  table.Define_Const("X 5", boxes);
  table.Define_Const("EAX EQU 5", boxes);
  table.Define_Const("al=1", boxes);
  table.Define_Const("=1", boxes);
  ASSERT_EQ(boxes.items().size(), 4u);
  EXPECT_EQ(boxes.items()[0],
            (Message{"Error in CONST\r\r\tUSAGE:\rCONST ConstName=Expression\rCONST ConstName EQU Expression",
                     MsgStyle::Ok, "CONST X 5"}));
  EXPECT_EQ(boxes.items()[1], (Message{"\tError in Const:\rRegister is not a valid name of constant.",
                                       MsgStyle::Ok, "EAX EQU 5"}));
  EXPECT_EQ(boxes.items()[2].title, "al=1");
  EXPECT_EQ(boxes.items()[3].title, "CONST =1");
  EXPECT_EQ(table.Size(), 0u);
}

TEST(ReplaceConsts, SelfReferenceIsBoundedAndReportedOnce) {
  Diagnostics boxes;
  ConstTable table;
  table.Define_Const("X = X", boxes);
  std::string line = "PUSH X";
  table.Replace_Consts(line, boxes);
  EXPECT_LE(line.size(), kMaxSubstitutedLine);
  std::string again = "PUSH X";
  table.Replace_Consts(again, boxes);
  ASSERT_EQ(boxes.items().size(), 1u);
  EXPECT_EQ(boxes.items()[0].title, "CONST X");
}

TEST(ReplaceConsts, DoublingChainIsBounded) {
  Diagnostics boxes;
  ConstTable table;
  for (int i = 0; i < 40; ++i)
    table.Define_Const(
        "C" + std::to_string(i) + " EQU C" + std::to_string(i + 1) + " C" + std::to_string(i + 1), boxes);
  std::string line = "PUSH C0";
  table.Replace_Consts(line, boxes);
  EXPECT_LE(line.size(), kMaxSubstitutedLine);
  EXPECT_EQ(boxes.items().size(), 1u);
}

// The matcher only chooses which constants to try; the result must equal the plain rule (every
// whole-word occurrence, left to right) applied to every constant in order. Lines built from names, their pieces and separators.
TEST(ReplaceConsts, MatcherAgreesWithPlainRule) {
  Diagnostics boxes;
  const std::vector<std::string> defs = {"A EQU B", "AB EQU X", "B EQU 5", "BA=AB", "X EQU A A", "EA=1", "L1=L2", "L2=[EBP+8]"};
  const std::vector<std::string> pieces = {"A", "B", "AB", "BA", "X", "EA", "EAX", "L1", "L2", ",", " ", "+", "_", "1"};
  ConstTable table;
  for (const auto& d : defs) table.Define_Const(d, boxes);
  // The plain rule, written out independently.
  auto plain = [&](std::string line) {
    line = std::string(Trim(line));
    for (std::size_t c = 1; c <= table.Size(); ++c) {
      const std::string& name = table.Names()[c];
      std::size_t from = 0;
      for (int guard = 0; guard < 1000; ++guard) {
        const std::size_t pos = Find_NoCase(line, name, from);
        if (pos == std::string::npos) break;
        const std::size_t end = pos + name.size();
        from = pos + 1;
        if (!((pos == 0 || !Is_AlphaNumeric(line[pos - 1])) && (end >= line.size() || !Is_AlphaNumeric(line[end]))))
          continue;
        // No value here holds its own name, so the occurrence found is the one replaced.
        line.replace(pos, name.size(), table.Values()[c]);
      }
    }
    return line;
  };
  std::uint32_t seed = 12345;
  for (int n = 0; n < 3000; ++n) {
    std::string line = "MOV ";
    const int len = 1 + static_cast<int>(seed % 6);
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      line += pieces[(seed >> 16) % pieces.size()];
    }
    std::string fast = line;
    table.Replace_Consts(fast, boxes);
    ASSERT_EQ(fast, plain(line)) << line;
  }
}

// A table of few names is matched through a byte-indexed automaton and a line holding one name
// is rewritten in one scan; a table of many names takes the general steps. Unused names added at
// the end change nothing, so both tables must give the same lines and the same boxes.
ConstTable With_UnusedNames(const std::vector<std::string>& defs, bool pad) {
  Diagnostics boxes;
  ConstTable table;
  for (const auto& d : defs) table.Define_Const(d, boxes);
  if (pad)
    for (int i = 0; i < 600; ++i) table.Define_Const("ZZQ" + std::to_string(i) + "=0", boxes);
  return table;
}

TEST(ReplaceConsts, OneScanAgreesWithGeneralSteps) {
  const std::vector<std::string> defs = {"A EQU B", "AB EQU X", "B EQU 5",    "BA=AB",     "X EQU A A", "EA=1",
                                         "L1=L2",   "L2=[EBP+8]", "Y EQU Y+1", "W=EAX",     "P+=Q",      "Q=7"};
  const std::vector<std::string> pieces = {"A", "B", "AB", "BA", "X", "EA", "EAX", "L1", "L2", "Y",
                                           "W", "P", "Q",  "+",  ",", " ",  "_",   "1",  "\"", "[", "]"};
  Diagnostics boxes;
  const ConstTable few = With_UnusedNames(defs, false);
  const ConstTable many = With_UnusedNames(defs, true);
  std::uint32_t seed = 777;
  for (int n = 0; n < 5000; ++n) {
    std::string line = n % 2 ? "PUSH " : "";
    const int len = 1 + static_cast<int>(seed % 5);
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      line += pieces[(seed >> 16) % pieces.size()];
    }
    std::string one_scan = line;
    std::string general = line;
    const std::size_t before = boxes.items().size();
    few.Replace_Consts(one_scan, boxes);
    const std::size_t between = boxes.items().size();
    many.Replace_Consts(general, boxes);
    ASSERT_EQ(one_scan, general) << line;
    ASSERT_EQ(between - before, boxes.items().size() - between) << line;
    for (std::size_t m = before; m < between; ++m)
      ASSERT_EQ(boxes.items()[m], boxes.items()[m - before + between]);
  }
  // The runaway of Y was met, once by each table.
  EXPECT_EQ(boxes.items().size(), 2u);
}

// The work of a compile is counted alike either way: the box for too much work comes on the same
// line, and the lines after it stay as written.
TEST(ReplaceConsts, WorkBoundReachedOnTheSameLine) {
  const std::vector<std::string> defs = {"BIG EQU " + std::string(60000, 'x'), "K=1"};
  // The long line holds the name only inside a longer word: it is searched through, not changed.
  const std::vector<std::string> lines = {"PUSH BIG", "DB BIGGER," + std::string(50000, '1'), "MOV EAX,K",
                                          "DD K,BIG", "NOP"};
  std::vector<std::size_t> box_at;
  std::vector<std::vector<std::string>> results(2);
  for (const bool pad : {false, true}) {
    Diagnostics boxes;
    const ConstTable table = With_UnusedNames(defs, pad);
    std::size_t first_box = 0;
    for (std::size_t n = 0; n < 3000; ++n) {
      std::string line = lines[n % lines.size()];
      table.Replace_Consts(line, boxes);
      results[pad ? 1 : 0].push_back(line.size() > 40 ? std::to_string(line.size()) : line);
      if (first_box == 0 && !boxes.items().empty()) first_box = n + 1;
    }
    ASSERT_EQ(boxes.items().size(), 1u);
    EXPECT_NE(boxes.items()[0].text.find("takes too long"), std::string::npos);
    box_at.push_back(first_box);
  }
  EXPECT_GT(box_at[0], 100u);
  EXPECT_EQ(box_at[0], box_at[1]);
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(results[0].back(), lines[2999 % lines.size()]);
}

// The quick question asks whether any name occurs anywhere in the line, in any case, inside
// words too: lines of every length around the automaton's steps of eight, with the names at the
// ends and across them.
TEST(MayReplace, TrueExactlyWhenANameOccurs) {
  Diagnostics boxes;
  const std::vector<std::string> defs = {"CV0 EQU 1", "OFS1=2", "AB=3", "Q9Z=4", "X_Y=5"};
  const std::vector<std::string> pieces = {"cv0", "Cv", "0", "ofS1", "OF", "a",   "B",  "q9",   "Z",   "x_",
                                           "Y",   ",",  "[", "+",    " ",  "EAX", "\t", "\x80", "\xC1"};
  ConstTable table;
  for (const auto& d : defs) table.Define_Const(d, boxes);
  auto plain = [&](std::string_view line) {
    line = Trim(line);
    for (std::size_t c = 1; c <= table.Size(); ++c)
      if (Find_NoCase(line, table.Names()[c]) != std::string_view::npos) return true;
    return false;
  };
  std::uint32_t seed = 99;
  int hits = 0;
  for (int n = 0; n < 4000; ++n) {
    std::string line;
    seed = seed * 1103515245u + 12345u;
    const int len = static_cast<int>((seed >> 16) % 12);
    for (int k = 0; k < len; ++k) {
      seed = seed * 1103515245u + 12345u;
      line += pieces[(seed >> 16) % pieces.size()];
    }
    const bool expected = plain(line);
    hits += expected;
    ASSERT_EQ(table.May_Replace(line), expected) << testing::PrintToString(line);
  }
  EXPECT_GT(hits, 400);
  EXPECT_LT(hits, 3600);
}

// A copied table answers as the original did, after the original is gone: its automaton is its own.
TEST(MayReplace, CopyOutlivesTheOriginal) {
  Diagnostics boxes;
  ConstTable copy;
  {
    ConstTable original;
    original.Define_Const("WIDTH EQU 80", boxes);
    original.Define_Const("HEIGHT EQU 25", boxes);
    ASSERT_TRUE(original.May_Replace("MOV EAX,WIDTH"));
    copy = original;
    ConstTable scratch = original;
    scratch.Define_Const("DEPTH EQU 3", boxes);
    ASSERT_TRUE(scratch.May_Replace("PUSH depth"));
  }
  EXPECT_TRUE(copy.May_Replace("MOV EAX,height+1"));
  EXPECT_FALSE(copy.May_Replace("MOV EAX,WIDT+HEIGH"));
  EXPECT_FALSE(copy.May_Replace("PUSH DEPTH"));
  std::string line = "MOV EAX,WIDTH*HEIGHT";
  copy.Replace_Consts(line, boxes);
  EXPECT_EQ(line, "MOV EAX,80*25");
}

}  // namespace
}  // namespace orvo
