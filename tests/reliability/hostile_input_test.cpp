// Hostile sources: each gets clear boxes and a compile that ends, never a crash, a hang or
// memory that grows with the damage a line could do.
#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

#include "assembler/compile.h"
#include "support/cli_runner.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;

std::string Repeat(std::string_view piece, std::size_t n) {
  std::string s;
  s.reserve(piece.size() * n);
  for (std::size_t i = 0; i < n; ++i) s.append(piece);
  return s;
}

std::string Syntax_Error(std::string_view line) {
  return "Syntax Error:\r" + std::string(line) + "\r\rShow help?";
}

struct StopRow {
  std::string name;
  std::string source;
  std::string first_text;  // text of the first box ("" = not checked)
  std::size_t line;        // one-based line of the "Syntax Error:" box
};

// Every row stops with "Syntax Error:" on its line, after the encoder's own box, with and
// without the stack frame.
TEST(HostileInput, BadLinesStopWithTheirBoxes) {
  const std::string ones300 = Repeat("1", 300);
  const StopRow rows[] = {
      {"NUL in an operand", "NOP\r\nMOV EAX,\0\r\nNOP"s, "Invalid operand(s)\rMOV r32,", 2},
      {"NUL as a mnemonic", "\0\0\0"s, "", 1},
      {"bytes 80h-FFh", "MOV EAX,\x80\xFF", "Invalid operand(s)\rMOV r32,", 1},
      {"&B with 300 digits", "MOV EAX,&B" + ones300, "Number too big: " + ones300, 1},
      {"decimal far beyond 32 bits", "MOV EAX,99999999999999999999999999",
       "Overflow\r\rMOV EAX,99999999999999999999999999", 1},
      {"negative far beyond 32 bits", "PUSH -99999999999999999999999", "", 1},
      {"decimal just beyond 32 bits", "PUSH 4294967296", "Overflow\r\rPUSH 4294967296", 1},
      {"hexadecimal far beyond 32 bits", "MOV EAX,&H123456789ABCDEF0123", "Not a valid imm32", 1},
      {"DD beyond 32 bits", "DD 99999999999999999999", "", 1},
      {"DW beyond 16 bits", "DW &HFFFFFFFFFF", "Error in DW:\r\tOut of range\r\rSyntax:\r\tDW Value(0-65535)",
       1},
      {"displacement beyond 32 bits", "MOV EAX,[EBX+99999999999999999999]", "", 1},
      {"open bracket", "MOV EAX,[EBX+4", "Invalid memory operand: [EBX+4\r\rNot a term of an address: [EBX+4",
       1},
      {"double brackets", "MOV EAX,[[EBX]]",
       "Invalid memory operand: [[EBX]]\r\rNot a term of an address: [EBX]", 1},
      {"brackets the wrong way", "MOV EAX,][", "Invalid operand(s)\rMOV r32,", 1},
      {"bracket only", "MOV [,EAX", "", 1},
      {"open double quote", "DB \"abc", "", 1},
      {"open single quote", "DB 'a", "", 1},
      {"lone quote", "DB \"", "Error in DB:\r\tEmpty character item\r\rSyntax:\r\tDB Value(0-255)", 1},
      {"quote in an operand", "MOV EAX,\"A", "", 1},
      {"commas only", "MOV ,,,,", "", 1},
      // A literal with no digits is no number: refused, never a truncated instruction.
      {"PUSH of a bare &H", "PUSH &H", "Not a number: &H", 1},
      {"JMP to a bare &H", "JMP &H", "Not a number: &H", 1},
      {"INT of a bare &H", "INT &H", "Not a number: &H", 1},
      {"shift count of a bare &H", "SHL EAX,&H", "Not a number: &H", 1},
      {"displacement of a bare &H", "NOT [EBX+&H]", "Not a number: &H", 1},
      {"byte immediate of a bare &H", "MOV AL,&H", "Not a number: &H", 1},
      {"byte displacement of a bare &H", "MOV AL,[EBX+&H]", "Not a number: &H", 1},
      {"ENTER level of a bare &H", "ENTER 8,&H", "Not a number: &H", 1},
      {"ENTER size beyond a digit pair", "ENTER &HZZ,0", "Not a number: &HZZ", 1},
      {"forced byte displacement out of range", "MOV EAX,[EBX-300?]",
       "Displacement out of byte range: -300?\r\rA one-byte displacement is -128 to 127.", 1},
      {"displacement of nine hex digits", "MOV EAX,[EBX+&H123456789]",
       "Invalid memory operand: [EBX+&H123456789]\r\rDisplacement out of range: &H123456789", 1},
      // A size suffix only sets the width of a number: a name or a register keeps its own type.
      {"RET of a suffixed name", "RET X?",
       "Not a valid imm type: imm32\r\r\tUSAGE:\rRET imm16.\r\rimm8 will converted automaticaly.", 1},
      {"RET of a suffixed register", "RET EAX?", "", 1},
  };
  for (const bool stack : {false, true}) {
    for (const StopRow& row : rows) {
      Recorder rec;
      CompileSession s;
      CompileOptions o;
      o.stack = stack;
      EXPECT_EQ(s.Compile(row.source, o), CompileOutcome::Stopped) << row.name;
      ASSERT_FALSE(rec.Messages().empty()) << row.name;
      ASSERT_LE(rec.Messages().size(), 4u) << row.name;
      const Message& last = rec.Messages().back();
      EXPECT_EQ(last.style, MsgStyle::YesNoCritical) << row.name;
      EXPECT_EQ(last.title, "LINE: " + std::to_string(row.line)) << row.name;
      if (!row.first_text.empty()) {
        EXPECT_EQ(rec.Messages()[0].text, row.first_text) << row.name;
      }
    }
  }
}

TEST(HostileInput, NulAndHighBytesSurviveIntoBoxesAndData) {
  Recorder rec;
  CompileSession s;
  const std::string line = "MOV EAX,\0\x80\xFF"s;
  EXPECT_EQ(s.Compile(line, {}), CompileOutcome::Stopped);
  EXPECT_EQ(rec.Messages().back().text, Syntax_Error(line));

  rec.Clear();
  EXPECT_EQ(s.Compile("DB \"\x80\xFF\xC4\"\r\nDB 255,128", {}), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("80 FF C4 FF 80"));
  EXPECT_TRUE(rec.Messages().empty());

  // A name made of bytes above 7Fh is no label.
  EXPECT_EQ(s.Compile("\xC4\xD6: NOP", {}), CompileOutcome::Stopped);
  EXPECT_EQ(rec.Messages().back(), (Message{"Invalid LABEL:\r\t\xC4\xD6: NOP", MsgStyle::Ok, "LINE: 0"}));
}

TEST(HostileInput, MegabyteLines) {
  Recorder rec;
  CompileSession s;
  // A valid one: half a million data bytes on one line.
  const std::string data = "DB 1" + Repeat(",2", 512 * 1024);
  ASSERT_EQ(s.Compile(data, {}), CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Size(), 512 * 1024 + 1u);
  EXPECT_TRUE(rec.Messages().empty());

  // An operand of a million digits: a conversion box and the syntax error.
  const std::string digits = "MOV EAX," + Repeat("1", 1 << 20);
  EXPECT_EQ(s.Compile("NOP\r\n" + digits, {}), CompileOutcome::Stopped);
  EXPECT_EQ(rec.Messages().back(), (Message{Syntax_Error(digits), MsgStyle::YesNoCritical, "LINE: 2"}));
  EXPECT_LE(rec.Messages().size(), 3u);

  // A million spaces around a NOP, and a megabyte comment.
  rec.Clear();
  ASSERT_EQ(
      s.Compile(Repeat(" ", 1 << 20) + "NOP" + Repeat(" ", 1 << 20) + "\r\n;" + Repeat("x", 1 << 20), {}),
      CompileOutcome::Finished);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("90"));
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(HostileInput, TwentyThousandLabels) {
  const int n = 20000;
  std::string src = "JMP L" + std::to_string(n - 1) + "\r\n";
  for (int i = 0; i < n; ++i) src += "L" + std::to_string(i) + ":\r\nNOP\r\n";
  src += "JMP L0\r\nLOOP L" + std::to_string(n - 1);
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile(src, {}), CompileOutcome::Finished);
  EXPECT_TRUE(rec.Messages().empty());
  const std::string& b = s.Image().Bytes();
  ASSERT_EQ(b.size(), 5u + n + 5u + 2u);
  EXPECT_EQ(b.substr(0, 5), Hex_Bytes("E9") + std::string("\x1F\x4E\x00\x00", 4));  // to 5 + 19999
  // JMP L0 at 5 + n jumps back to 5: rel32 = 5 - (5 + n + 5).
  EXPECT_EQ(b.substr(5 + n, 5), Hex_Bytes("E9 DB B1 FF FF"));
  EXPECT_EQ(b.substr(5 + n + 5), Hex_Bytes("E2 F8"));  // L19999 is 8 bytes back
}

TEST(HostileInput, LoopOutOfRel8RangeIsReported) {
  const std::string src = "START:\r\n" + Repeat("NOP\r\n", 300) + "LOOP START\r\nJCXZ FWD\r\n" +
                          Repeat("NOP\r\n", 300) + "FWD:\r\nLOOPNZ START";
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile(src, {}), CompileOutcome::Failed);
  ASSERT_EQ(rec.Messages().size(), 3u);
  EXPECT_EQ(rec.Messages()[0],
            (Message{"Jump out of range:\r\tLOOP START", MsgStyle::OkCritical, "LOOP START"}));
  EXPECT_EQ(rec.Messages()[1], (Message{"Jump out of range:\r\tJCXZ FWD", MsgStyle::OkCritical, "JCXZ FWD"}));
  EXPECT_EQ(rec.Messages()[2].text, "Jump out of range:\r\tLOOPNZ START");
  // The lines keep their zero placeholders.
  EXPECT_EQ(s.Image().Bytes().substr(300, 2), Hex_Bytes("E2 00"));
}

const char kRunaway[] = "does not end.\rA line may grow to 65536 characters and take 10000 replacements.";

TEST(HostileInput, DoublingChainOfFortyConstants) {
  std::string src;
  for (int i = 0; i < 40; ++i)
    src += "CONST D" + std::to_string(i) + " = D" + std::to_string(i + 1) + ",D" + std::to_string(i + 1) +
           "\r\n";
  src += "DB D0\r\nNOP";
  for (const bool stack : {false, true}) {
    Recorder rec;
    CompileSession s;
    CompileOptions o;
    o.stack = stack;
    s.Compile(src, o);
    ASSERT_FALSE(rec.Messages().empty());
    EXPECT_EQ(rec.Messages()[0].style, MsgStyle::OkExclamation);
    EXPECT_EQ(rec.Messages()[0].title.value_or("").rfind("CONST D", 0), 0u);
    EXPECT_NE(rec.Messages()[0].text.find(kRunaway), std::string::npos) << rec.Messages()[0].text;
    for (std::size_t i = 0; i < s.Lines().Size(); ++i) EXPECT_LE(s.Lines()[i].size(), kMaxSubstitutedLine);
  }
}

// Fuzzing found CONST X = X taking over a second per line: every replacement searched the
// growing line from its start again. Now one box for the whole compile, and fast.
TEST(HostileInput, SelfReferenceOnManyLinesOneBox) {
  // Text after a label's colon is code, so the lines are substituted as the compile does it.
  ConstTable consts;
  Diagnostics boxes;
  consts.Define_Const("X = X", boxes);
  for (int i = 0; i < 300; ++i) {
    std::string line = "L" + std::to_string(i) + ": X";
    consts.Replace_Consts(line, boxes);
    EXPECT_LE(line.size(), kMaxSubstitutedLine);
  }
  ASSERT_EQ(boxes.items().size(), 1u);
  EXPECT_EQ(boxes.items()[0], (Message{std::string("Error in CONST:\rThe substitution of X ") + kRunaway,
                                       MsgStyle::OkExclamation, "CONST X"}));
  // In a compile the box fails it, and the first such line is refused.
  CompileSession s;
  Recorder rec;
  EXPECT_EQ(s.Compile("CONST X = X\r\nL0: X\r\nNOP", {}), CompileOutcome::Stopped);
  EXPECT_EQ(rec.Messages()[0].title, "CONST X");
}

// The same search from the line's start, on a long line with many occurrences of a name that
// does not grow: quadratic before.
TEST(HostileInput, ManyOccurrencesAfterALongPrefix) {
  std::string src = "CONST X=1\r\n";
  for (int i = 0; i < 100; ++i)
    src += "L" + std::to_string(i) + ": DB 1" + Repeat(" ", 50000) + Repeat(",X", 5000) + "\r\n";
  src += "CONST N=7\r\nDB " + Repeat("1,", 30000) + "N";
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile(src, {}), CompileOutcome::Finished);
  EXPECT_TRUE(rec.Messages().empty());
  EXPECT_EQ(s.Image().Size(), 100u * 5001u + 30001u);
  EXPECT_EQ(s.Image().Bytes().back(), 7);
}

// A source line beyond the bound that a constant would only make shorter is substituted; one that
// it would lengthen gets the box.
TEST(HostileInput, LongLinesAndConstants) {
  const std::string ones = Repeat("1,", 40000);
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile("CONST LONGNAME=2\r\nDB " + ones + "LONGNAME", {}), CompileOutcome::Finished);
  EXPECT_TRUE(rec.Messages().empty());
  EXPECT_EQ(s.Image().Bytes().back(), 2);
  EXPECT_EQ(s.Compile("CONST N=22\r\nDB " + ones + "N", {}), CompileOutcome::Stopped);
  ASSERT_FALSE(rec.Messages().empty());
  EXPECT_EQ(rec.Messages()[0].title, "CONST N");
}

// A chain of constants each handing the line to the next: the work of one compile is bounded.
TEST(HostileInput, LongChainsOnManyLinesAreBounded) {
  std::string src;
  const int n = 9000;
  for (int i = 0; i < n; ++i) src += "CONST K" + std::to_string(i) + "=K" + std::to_string(i + 1) + "\r\n";
  src += "CONST K" + std::to_string(n) + "=5\r\n";
  for (int i = 0; i < 40; ++i) src += "DB " + Repeat("1,", 30000) + "K0\r\n";
  Recorder rec;
  CompileSession s;
  s.Compile(src, {});
  ASSERT_FALSE(rec.Messages().empty());
  const Message& box = rec.Messages()[0];
  EXPECT_EQ(box.title.value_or("").rfind("CONST K", 0), 0u);
  EXPECT_EQ(box.text,
            "Error in CONST:\rThe substitution of " + box.title->substr(6) +
                " takes too long.\rOne compile may search and move 100000000 characters for its constants.");
  EXPECT_EQ(box.style, MsgStyle::OkExclamation);
}

// ---- the command line end to end

TEST(HostileInputCli, ReportsAndExitsCleanly) {
  struct Row {
    std::string name;
    std::string input;
    int status;
    std::string in_err;  // expected somewhere in stderr
  };
  std::string doubling;
  for (int i = 0; i < 40; ++i)
    doubling +=
        "CONST D" + std::to_string(i) + " = D" + std::to_string(i + 1) + " D" + std::to_string(i + 1) + "\n";
  const Row rows[] = {
      {"NUL bytes", "NOP\n\0\0\n"s, 1, "\"title\": \"LINE: 2\""},
      {"high bytes", "MOV EAX,\x80\xFF\n", 1, "\\u0080\\u00FF"},
      {"megabyte line", "MOV EAX," + Repeat("9", 1 << 20) + "\n", 1, "\"title\": \"LINE: 1\""},
      // An error box fails the compile even when every line assembled.
      {"doubling chain", doubling + "PUSH D0\n", 1, "does not end."},
      {"self reference", "CONST X = X\nPUSH X\n", 1, "\"title\": \"CONST X\""},
      {"loop out of range", "A:\n" + Repeat("NOP\n", 300) + "LOOP A\n", 1, "Jump out of range:\\r\\tLOOP A"},
  };
  for (const Row& row : rows) {
    const test::CliResult r = test::Run_Orvo("build --messages json -", row.input);
    EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.err.substr(0, 500);
    EXPECT_NE(r.err.find(row.in_err), std::string::npos) << row.name << "\n" << r.err.substr(0, 500);
  }
}

}  // namespace
}  // namespace orvo
