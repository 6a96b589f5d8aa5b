#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "assembler/compile.h"
#include "base/file_access.h"
#include "support/test_support.h"
#include "support/file_seams.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;

constexpr std::string_view kEpilogueHex = "5F5E5B89EC5DC21000";

CompileOptions With_Stack(bool stack) {
  CompileOptions o;
  o.stack = stack;
  return o;
}

TEST(SplitLines, SplitsAtCrLfOnly) {
  EXPECT_TRUE(Split_Lines("").empty());
  EXPECT_EQ(Split_Lines("\r\n"), (std::vector<std::string_view>{"", ""}));
  EXPECT_EQ(Split_Lines("A\rB\nC\r\nD"), (std::vector<std::string_view>{"A\rB\nC", "D"}));
}

// The session's line table splits as Split_Lines does, and keeps blanked and rewritten lines
// apart from the text without moving the others.
TEST(SourceLines, SplitLikeSplitLinesAndKeepRewrites) {
  for (const std::string_view text :
       {"", "\r\n", "A\rB\nC\r\nD", "\r\r\n\n\r\n", "\n\r\nX\r\n", "one\r\ntwo\r\n\r\nthree\r\n", "\r"}) {
    SourceLines lines;
    lines.Reset(text);
    const std::vector<std::string_view> expected = Split_Lines(text);
    ASSERT_EQ(lines.Size(), expected.size()) << text;
    for (std::size_t i = 0; i < expected.size(); ++i)
      EXPECT_EQ(lines[i], expected[i]) << text << " line " << i;
  }
  SourceLines lines;
  lines.Reset("a\r\nb\r\nc\r\nd");
  lines.Replace(1, "BB");
  lines.Blank(2);
  lines.Replace(3, "first");
  lines.Replace(3, "second");  // a line rewritten again reads as its last text
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[1], "BB");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "second");
}

// Rewritten lines of every length, many more than fit one block of kept text, each read back
// whole; a view taken early still reads its line after all later rewrites.
TEST(SourceLines, ManyRewritesKeepTheirText) {
  const std::size_t count = 30000;
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += "x\r\n";
  SourceLines lines;
  lines.Reset(text);
  auto rewrite = [](std::size_t i) {
    const std::size_t length = i == 8 ? 200000 : (i % 7 == 0 ? 0 : 1 + i % 97);
    return std::string(length, static_cast<char>('A' + i % 26));
  };
  lines.Replace(1, rewrite(1));
  const std::string_view early = lines[1];
  for (std::size_t i = 2; i < count; i += 2) lines.Replace(i, rewrite(i));
  lines.Replace(count - 1, "last");
  for (std::size_t i = 0; i < count - 1; ++i)
    ASSERT_EQ(lines[i], i == 0 || (i % 2 == 1 && i > 1) ? std::string("x") : rewrite(i)) << i;
  EXPECT_EQ(lines[count - 1], "last");
  EXPECT_EQ(early, rewrite(1));
}

TEST(SplitLine, MnemonicAndOperands) {
  std::string a, b;
  EXPECT_EQ(Split_Line("  mov eax , ebx ", a, b), "MOV");
  EXPECT_EQ(a, "eax ");
  EXPECT_EQ(b, " ebx");
  EXPECT_EQ(Split_Line("nop", a, b), "nop");  // no space: as written
  EXPECT_EQ(a, "");
}

TEST(Compile, FixedInstructionsWithAndWithoutFrame) {
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile("PUSHAD\r\nCLC\r\nPOPAD\r\nEND", With_Stack(false)), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("60 F8 61") + Hex_Bytes(kEpilogueHex));
  ASSERT_EQ(s.Compile("PUSHAD\r\nCLC\r\nPOPAD\r\nEND", With_Stack(true)), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Bytes(),
            Hex_Bytes("5589E5535657 60 F8 61") + Hex_Bytes(kEpilogueHex) + Hex_Bytes(kEpilogueHex));
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(Compile, EndAndExitFunctionGiveTheEpilogue) {
  Recorder rec;
  CompileSession s;
  for (auto src : {"END", "EXIT FUNCTION", "exit function", "Exit  Function"}) {
    ASSERT_EQ(s.Compile(src, With_Stack(false)), CompileOutcome::Finished) << src;
    EXPECT_EQ(s.Image().Bytes(), Hex_Bytes(kEpilogueHex)) << src;
  }
  ASSERT_EQ(s.Compile("END", With_Stack(true)), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Size(), 24u);
  EXPECT_EQ(s.Compile("EXIT", With_Stack(false)), CompileOutcome::Stopped);
}

TEST(Compile, ListingColumnsAndAddresses) {
  Recorder rec;
  CompileSession s;
  const std::string src = "REM first\r\n; second\r\n' third\r\nrem fourth\r\n\r\n   NOP  \r\nstart:\r\nPUSHF\r\nCLC";
  ASSERT_EQ(s.Compile(src, With_Stack(true)), CompileOutcome::Finished);
  const Listing& l = s.Listing_();
  ASSERT_EQ(l.Line_Count(), 9u);
  const std::vector<std::string> list1 = {"", "", "", "", "", "6", "", "7", "9"};
  const std::vector<std::string> hex = {"", "", "", "", "", "90", "", "66/9C", "F8"};
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(l.Address_Decimal(i), list1[i]) << i;
    EXPECT_EQ(l.Address_Hex(i), list1[i]) << i;
    EXPECT_EQ(l.Hex_Entry(i), hex[i]) << i;
  }
  EXPECT_EQ(l.PreCode_Line(5), "NOP");
  EXPECT_EQ(l.PreCode_Line(6), "start:");
  EXPECT_EQ(l.Hex_Text(), "\r\n\r\n\r\n\r\n\r\n90\r\n\r\n66/9C\r\nF8");
  EXPECT_EQ(l.Raw_Bytes_Text(), "\r\n\r\n\r\n\r\n\r\n\x90\r\n\r\n\x66\x9C\r\n\xF8\r\n");
  EXPECT_EQ(l.PreCode_Text(), "\r\n\r\n\r\n\r\n\r\nNOP\r\nstart:\r\nPUSHF\r\nCLC\r\n");
  EXPECT_EQ(s.Labels().Find_Label("START"), 1);
  EXPECT_TRUE(rec.Messages().empty());
}

// Pass 1 blanks comment lines and lines whose code is empty, and takes the CONST lines; every
// other line is left for pass 2, whatever its first character.
TEST(Compile, FirstPassBlanksCommentsAndConstantsOnly) {
  struct Row {
    std::string_view line;
    bool blanked;
    std::size_t consts;
  };
  const Row rows[] = {
      {"\t", true, 0},        {"\t\t; tabbed", true, 0},  {"  ; x", true, 0},   {"'x", true, 0},
      {"rem x", true, 0},     {"Rem  x", true, 0},        {"REMARK", false, 0}, {"REM", false, 0},
      {"const K=2", true, 1}, {"Const K EQU 2", true, 1}, {"CONST", true, 0},   {"CONSTANT", false, 0},
      {"CLC", false, 0},      {"c: CLC", false, 0},       {"\tCLC", false, 0},  {"r:", false, 0},
      {"\"x;y\"", false, 0},  {"NOP ; c", false, 0},      {"   ", true, 0},
  };
  for (const Row& row : rows) {
    Recorder rec;
    CompileSession s;
    s.Compile(std::string(row.line) + "\r\nNOP", {});
    ASSERT_EQ(s.Lines().Size(), 2u) << row.line;
    EXPECT_EQ(s.Lines()[0].empty(), row.blanked) << row.line;
    EXPECT_EQ(s.Consts().Size(), row.consts) << row.line;
  }
}

TEST(Compile, HexAddressesAndLongLines) {
  Recorder rec;
  CompileSession s;
  std::string src;
  for (int i = 0; i < 26; ++i) src += "NOP\r\n";
  src += "CLC";
  ASSERT_EQ(s.Compile(src, With_Stack(false)), CompileOutcome::Finished);
  EXPECT_EQ(s.Listing_().Address_Decimal(26), "26");
  EXPECT_EQ(s.Listing_().Address_Hex(26), "1A");
}

TEST(Compile, OnlyCrLfGivesTwoEmptyRows) {
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile("\r\n", With_Stack(false)), CompileOutcome::Finished);
  EXPECT_EQ(s.Listing_().Line_Count(), 2u);
  EXPECT_EQ(s.Listing_().Hex_Text(), "\r\n");
  ASSERT_EQ(s.Compile("", With_Stack(false)), CompileOutcome::Finished);
  EXPECT_EQ(s.Listing_().Line_Count(), 0u);
  EXPECT_TRUE(s.Image().Bytes().empty());
}

struct StopCase {
  std::string_view source;
  Message box;
  std::size_t pre_code_rows;
  std::size_t text2_rows;
};

class CompileStops : public testing::TestWithParam<StopCase> {};

TEST_P(CompileStops, ShowsTheDriverBoxAndKeepsPartialColumns) {
  Recorder rec;
  CompileSession s;
  const StopCase& c = GetParam();
  EXPECT_EQ(s.Compile(c.source, With_Stack(true)), CompileOutcome::Stopped);
  ASSERT_FALSE(rec.Messages().empty());
  EXPECT_EQ(rec.Messages().back(), c.box);
  EXPECT_EQ(s.Listing_().PreCode_Rows(), c.pre_code_rows);
  EXPECT_EQ(s.Listing_().Raw_Bytes_Rows(), c.text2_rows);
  EXPECT_FALSE(s.Listing_().Has_Addresses());
  EXPECT_EQ(s.Listing_().Hex_Text(), "");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, CompileStops, testing::Values(
    StopCase{"\tNOP",              {"Syntax Error:\r\tNOP\r\rShow help?", MsgStyle::YesNoCritical, "LINE: 1"}, 1, 1},
    StopCase{"NOP\r\nREM",         {"Syntax Error:\rREM\r\rShow help?", MsgStyle::YesNoCritical, "LINE: 2"}, 2, 2},
    StopCase{"MY LABEL:",          {"Invalid LABEL:\r\tMY LABEL:", MsgStyle::Ok, "LINE: 0"}, 1, 0},
    StopCase{"NOP\r\nMOV AL, [X:Y]", {"Invalid LABEL:\r\tMOV AL, [X:Y]", MsgStyle::Ok, "LINE: 1"}, 2, 1},
    StopCase{"CLC\r\nFROB EAX",    {"Syntax Error:\rFROB EAX\r\rShow help?", MsgStyle::YesNoCritical, "LINE: 2"}, 2, 2},
    StopCase{"CLC 1",              {"Syntax Error:\rCLC 1\r\rShow help?", MsgStyle::YesNoCritical, "LINE: 1"}, 1, 1},
    StopCase{"1ABC:",              {"Invalid LABEL:\r\t1ABC:", MsgStyle::Ok, "LINE: 0"}, 1, 0},
    StopCase{":",                  {"Invalid LABEL:\r\t:", MsgStyle::Ok, "LINE: 0"}, 1, 0},
    // Without constants the box shows the line as written; with them, as pass 2 read it: trimmed.
    StopCase{"  CLC 1  ",          {"Syntax Error:\r  CLC 1  \r\rShow help?", MsgStyle::YesNoCritical, "LINE: 1"}, 1, 1},
    StopCase{"CONST K=2\r\n  CLC 1  ; note", {"Syntax Error:\rCLC 1  ; note\r\rShow help?", MsgStyle::YesNoCritical, "LINE: 2"}, 2, 2},
    StopCase{"CONST K=2\r\n  CLC K  ", {"Syntax Error:\rCLC 2\r\rShow help?", MsgStyle::YesNoCritical, "LINE: 2"}, 2, 2}
));
// clang-format on

TEST(Compile, StoppedCompileKeepsBytesSoFarAndHelpOnYes) {
  Recorder rec;
  rec.Script(MsgAnswer::Yes);
  int help_context = 0;
  CompileOptions o;
  o.on_syntax_help = [&](int context) { help_context = context; };
  CompileSession s;
  EXPECT_EQ(s.Compile("PUSHAD\r\nBOGUS", o), CompileOutcome::Stopped);
  EXPECT_EQ(help_context, 3);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("60"));
}

// Pass 2 appends a line's bytes to the image as they are encoded. A quick reading that stops
// halfway (a data item it cannot read) leaves none of its bytes behind: the line is assembled, or
// refused, as if read whole.
TEST(Compile, LineBytesTakenBackWhenTheQuickReadingStops) {
  struct Row {
    const char* source;
    CompileOutcome outcome;
    const char* image;
  };
  const Row rows[] = {
      {"PUSHAD\r\nDB 1,2,-3\r\nCLC", CompileOutcome::Finished, "60 01 02 FD F8"},
      {"PUSHAD\r\nDB 1,2,300\r\nCLC", CompileOutcome::Stopped, "60"},
      {"PUSHAD\r\nDW 5,0x10000\r\nCLC", CompileOutcome::Stopped, "60"},
      {"PUSHAD\r\nDD 1,2,3,4,5,6,7,x\r\nCLC", CompileOutcome::Stopped, "60"},
      {"PUSHAD\r\nDD 1,2,3,4,5,6,7,8\r\nCLC", CompileOutcome::Finished,
       "60 01000000 02000000 03000000 04000000 05000000 06000000 07000000 08000000 F8"},
  };
  for (const Row& row : rows) {
    Recorder rec;
    CompileSession s;
    EXPECT_EQ(s.Compile(row.source, With_Stack(false)), row.outcome) << row.source;
    EXPECT_EQ(s.Image().Bytes(), Hex_Bytes(row.image)) << row.source;
  }
}

TEST(Compile, SyntaxErrorShowsSubstitutedLine) {
  Recorder rec;
  CompileSession s;
  EXPECT_EQ(s.Compile("CONST W = BOGUS\r\nW 1", With_Stack(false)), CompileOutcome::Stopped);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].text, "Syntax Error:\r BOGUS 1\r\rShow help?");
  EXPECT_EQ(s.Listing_().PreCode_Line(1), "BOGUS 1");
}

TEST(Compile, LabelLineAssemblesWhatFollowsItsColon) {
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile("L1: NOP\r\nL2:\r\nCLC", With_Stack(false)), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("90 F8"));
  EXPECT_EQ(s.Labels().Find_Label("l1"), 0);
  EXPECT_EQ(s.Labels().Find_Label("L2"), 1);
  EXPECT_EQ(s.Listing_().Address_Decimal(0), "0");
  EXPECT_EQ(s.Listing_().Hex_Entry(0), "90");
  EXPECT_EQ(s.Listing_().Address_Decimal(1), "");
}

class CodeFile : public testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("orvo-codefile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    path = (dir / "ORVOIDE.BIN").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Contents() {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path dir;
  std::string path;
};

TEST_F(CodeFile, SavedAfterFinishedCompileOnly) {
  Recorder rec;
  CompileSession s;
  CompileOptions o;
  o.write_code_file = true;
  o.code_file_path = path;
  ASSERT_EQ(s.Compile("PUSHAD\r\nPOPAD\r\nNOP", o), CompileOutcome::Finished);
  EXPECT_EQ(Contents(), Hex_Bytes("60 61 90"));
  ASSERT_EQ(s.Compile("CLC", o), CompileOutcome::Finished);
  EXPECT_EQ(Contents(), Hex_Bytes("F8"));  // shorter image: no old bytes remain
  EXPECT_EQ(s.Compile("CLC\r\nBAD", o), CompileOutcome::Stopped);
  EXPECT_EQ(Contents(), Hex_Bytes("F8"));
  ASSERT_EQ(s.Compile("", o), CompileOutcome::Finished);
  EXPECT_EQ(Contents(), "");
}

TEST_F(CodeFile, FailingSaveKeepsPreviousFileAndReportsEachStep) {
  Recorder rec;
  CompileSession s;
  CompileOptions o;
  o.write_code_file = true;
  o.code_file_path = path;
  ASSERT_EQ(s.Compile("NOP", o), CompileOutcome::Finished);
  Inject_FileFailure(FileStep::Write, ENOSPC);
  ASSERT_EQ(s.Compile("CLC\r\nSTC", o), CompileOutcome::Finished);
  EXPECT_EQ(Contents(), Hex_Bytes("90"));
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0],
            (Message{Error_Description(ENOSPC), MsgStyle::OkCritical, "SAVE TO FILE: ORVOIDE.BIN"}));

  // A folder that does not exist: open, write and close each fail, each with its own box.
  rec.Clear();
  o.code_file_path = (dir / "missing" / "ORVOIDE.BIN").string();
  ASSERT_EQ(s.Compile("NOP", o), CompileOutcome::Finished);
  EXPECT_EQ(rec.Messages().size(), 3u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temporary left behind
}

}  // namespace
}  // namespace orvo
