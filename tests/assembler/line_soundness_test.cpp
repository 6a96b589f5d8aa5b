// Whole lines as users write them: comments after code, labels before it, strings that hold
// ";" and ":", words that are no operand. Every line assembles to what it says or is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "assembler/compile.h"
#include "base/text.h"
#include "support/disasm.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;
using test::Spaced_Hex;

std::string Source(std::string_view lines) {
  std::string s;
  for (char c : lines) s += (c == '|') ? std::string("\r\n") : std::string(1, c);
  return s;
}

struct SoundCase {
  std::string_view source;  // lines joined by "|"
  std::string_view hex;     // the code image, no frame
  std::string_view disasm;  // what the last line's bytes decode to ("" when data)
};

class SoundLines : public testing::TestWithParam<SoundCase> {};

TEST_P(SoundLines, AssembleToWhatTheySay) {
  Recorder rec;
  CompileSession s;
  const SoundCase& c = GetParam();
  ASSERT_EQ(s.Compile(Source(c.source), {}), CompileOutcome::Finished) << c.source;
  EXPECT_TRUE(rec.Messages().empty()) << rec.Messages()[0].text;
  EXPECT_FALSE(s.Failed());
  EXPECT_EQ(Spaced_Hex(s.Image().Bytes()), Spaced_Hex(Hex_Bytes(c.hex))) << c.source;
  if (!c.disasm.empty()) {
    ASSERT_TRUE(test::Have_Disassembler());
    // The last line's bytes as pass 3 left them, decoded as if at address 0: a jump shows its
    // distance from its own first byte.
    const std::size_t length = s.Listing_().Raw_Bytes(s.Listing_().Line_Count() - 1).size();
    const std::string& image = s.Image().Bytes();
    EXPECT_EQ(test::Disassemble32(std::string_view(image).substr(image.size() - length)), c.disasm)
        << c.source;
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Comments, SoundLines, testing::Values(
    SoundCase{"MOV EAX,EBX ; copy",          "89D8",       "mov eax, ebx"},
    SoundCase{"PUSH EAX ; save",             "50",         "push eax"},
    SoundCase{"PUSH EAX\t",                  "50",         "push eax"},
    SoundCase{"PUSH EAX \t \t",              "50",         "push eax"},
    SoundCase{"MOV EAX,1;one",               "B801000000", "mov eax, 1"},
    SoundCase{"MOV ECX,[EBX+4]\t; field",    "8B4B04",     "mov ecx, dword ptr [ebx + 4]"},
    SoundCase{"INT 3 ;",                     "CC",         "int3"},
    SoundCase{"NOP ; see: below",            "90",         "nop"},
    SoundCase{"NOP ; \"quoted; text\"",      "90",         "nop"},
    SoundCase{"\t; a comment after a TAB|NOP", "90",       "nop"},
    SoundCase{"\t|NOP",                      "90",         "nop"},
    SoundCase{"CONST N=5 ; five|MOV EAX,N",  "B805000000", "mov eax, 5"},
    SoundCase{"DB \"a;b\",0 ; c",            "613B6200",   ""},
    SoundCase{"DB \";\"",                    "3B",         ""}
));

INSTANTIATE_TEST_SUITE_P(LabelLines, SoundLines, testing::Values(
    SoundCase{"next: MOV EAX,1",             "B801000000", "mov eax, 1"},
    SoundCase{"tab: DB 1,2",                 "0102",       ""},
    SoundCase{"a:NOP",                       "90",         "nop"},
    SoundCase{"a:\tNOP",                     "90",         "nop"},
    SoundCase{"a: b DB 1|MOV EAX,a|MOV EAX,b", "01 B800000000 B800000000", "mov eax, 0"},
    SoundCase{"a: ; only a comment|NOP|JMP a", "90 E9FAFFFFFF", "jmp 0xffffffff"},
    SoundCase{"NOP|x: JMP x",                "90 E9FBFFFFFF", "jmp 0"},
    SoundCase{"x: JZ x",                     "0F84FAFFFFFF", "je 0"},
    SoundCase{"x: LOOPNZ x",                 "E0FE",       "loopne 0"},
    SoundCase{"_start: NOP|JMP _start",      "90 E9FAFFFFFF", "jmp 0xffffffff"},
    SoundCase{"CALL next|next: POP EBX",     "E800000000 5B", "pop ebx"},
    SoundCase{"JMP L|DB 1|L: ADD EAX,L",     "E901000000 01 0506000000", "add eax, 6"}
));

// Text inside double quotes is data: no constant is put into it and no colon makes a label.
INSTANTIATE_TEST_SUITE_P(Strings, SoundLines, testing::Values(
    SoundCase{"CONST SRC=5|MSG DB \"SRC\",SRC",   "535243 05",    ""},
    SoundCase{"CONST A=1|DB \"A:A\",A ; A",       "413A41 01",    ""},
    SoundCase{"DB \"a:b\"",                       "613A62",       ""},
    SoundCase{"DB \"x\",\"y\"",                   "7879",         ""},
    SoundCase{"CONST R=EBX|PUSH R ; R",           "53",           "push ebx"}
));
// clang-format on

TEST(SoundLines, CommentsStayInThePreCodeColumnAsWritten) {
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile(Source("CONST R=EBX|PUSH R ; R stays|  NOP\t; tab|; alone"), {}),
            CompileOutcome::Finished);
  EXPECT_EQ(s.Listing_().PreCode_Line(1), "PUSH EBX ; R stays");
  EXPECT_EQ(s.Listing_().PreCode_Line(2), "NOP\t; tab");
  EXPECT_EQ(s.Listing_().PreCode_Line(3), "");
  EXPECT_EQ(s.Listing_().Hex_Entry(1), "53");
}

TEST(SoundLines, LabelLineWithCodeShowsItsAddressAndBytes) {
  Recorder rec;
  CompileSession s;
  CompileOptions o;
  o.stack = true;
  ASSERT_EQ(s.Compile(Source("NOP|msg: DB 7,8|go: MOV EAX,msg"), o), CompileOutcome::Finished);
  const Listing& l = s.Listing_();
  EXPECT_EQ(l.Address_Decimal(1), "7");
  EXPECT_EQ(l.Hex_Entry(1), "7/8");
  EXPECT_EQ(l.Address_Decimal(2), "9");
  EXPECT_EQ(l.Hex_Entry(2), "B8/7/0/0/0");  // msg + 6 with the prologue
  EXPECT_EQ(s.Labels().Find_Label("go"), 3);
}

struct RefusedCase {
  std::string_view source;
  std::string_view text;  // the first box's text
  std::size_t line;       // and its line
  CompileOutcome outcome;
};

class RefusedLines : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedLines, ShowABoxForTheLineAndFail) {
  Recorder rec;
  CompileSession s;
  const RefusedCase& c = GetParam();
  EXPECT_EQ(s.Compile(Source(c.source), {}), c.outcome) << c.source;
  EXPECT_TRUE(s.Failed());
  ASSERT_FALSE(s.Boxes().empty()) << c.source;
  EXPECT_EQ(s.Boxes()[0].text, c.text) << c.source;
  EXPECT_EQ(s.Boxes()[0].line, c.line) << c.source;
  // The record holds every box shown, in the order shown.
  ASSERT_EQ(s.Boxes().size(), rec.Messages().size());
  for (std::size_t i = 0; i < s.Boxes().size(); ++i) EXPECT_EQ(s.Boxes()[i].text, rec.Messages()[i].text);
}

constexpr auto kStopped = CompileOutcome::Stopped;
constexpr auto kFailed = CompileOutcome::Failed;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Words, RefusedLines, testing::Values(
    RefusedCase{"NOP|MOV EAX,XYZ",        "Label not found: XYZ", 1, kFailed},
    RefusedCase{"PUSH XYZ ; a name",      "Label not found: XYZ", 0, kFailed},
    RefusedCase{"ADD EAX,XYZ",            "Label not found: XYZ", 0, kFailed},
    RefusedCase{"JZ XYZ",                 "Label not found: XYZ", 0, kFailed},
    RefusedCase{"CALL XYZ",               "Label not found: XYZ", 0, kFailed},
    RefusedCase{"NOP|JMP _nowhere",       "Label not found: _nowhere", 1, kFailed},
    RefusedCase{"MOV EAX,CR0",            "Invalid operand(s)\rMOV r32,", 0, kStopped},
    RefusedCase{"MOV EAX,XMM0",           "Invalid operand(s)\rMOV r32,", 0, kStopped},
    RefusedCase{"MOV EAX,RAX",            "Invalid operand(s)\rMOV r32,", 0, kStopped},
    RefusedCase{"MOV EAX,DWORD [EBX]",    "Syntax Error:\rMOV EAX,DWORD [EBX]\r\rShow help?", 0, kStopped},
    RefusedCase{"L:|MOV EAX,OFFSET L",    "Syntax Error:\rMOV EAX,OFFSET L\r\rShow help?", 1, kStopped},
    RefusedCase{"L:|MOV EAX,L+4",         "Invalid operand(s)\rMOV r32,", 1, kStopped},
    RefusedCase{"L:|MOV EAX,-L",          "Invalid operand(s)\rMOV r32,", 1, kStopped},
    RefusedCase{"L:|PUSH -L",             "Syntax Error:\rPUSH -L\r\rShow help?", 1, kStopped},
    RefusedCase{"L:|MOV BYTE PTR [EBX],L", "Invalid use of label:\r\tMOV BYTE PTR [EBX],L", 1, kFailed},
    RefusedCase{"L:|MOV AL,L",            "Invalid use of label:\r\tMOV AL,L", 1, kFailed},
    RefusedCase{"L:|TEST AX,L",           "Invalid use of label:\r\tTEST AX,L", 1, kFailed},
    // A label among extra operands would stay a zero: the line is refused for its operand count.
    RefusedCase{"L:|MOV EAX,0,L ; x",     "Syntax Error:\rMOV EAX,0,L ; x\r\rShow help?", 1, kStopped},
    RefusedCase{"LBL:|PUSH 0&,LBL",       "Syntax Error:\rPUSH 0&,LBL\r\rShow help?", 1, kStopped}
));

INSTANTIATE_TEST_SUITE_P(JumpTargets, RefusedLines, testing::Values(
    RefusedCase{"LOOP",                   "Syntax Error:\rLOOP\r\rShow help?", 0, kStopped},
    RefusedCase{"NOP|JZ",                 "Syntax Error:\rJZ\r\rShow help?", 1, kStopped},
    RefusedCase{"JNZ EAX",                "Syntax Error:\rJNZ EAX\r\rShow help?", 0, kStopped},
    RefusedCase{"JC 5",                   "Syntax Error:\rJC 5\r\rShow help?", 0, kStopped},
    RefusedCase{"L:|LOOP 5",              "Syntax Error:\rLOOP 5\r\rShow help?", 1, kStopped},
    RefusedCase{"L:|JECXZ [L]",           "Invalid use of label: L\r\rA label cannot be part of an address.", 1, kStopped},
    RefusedCase{"L:|JZ L,L",              "Syntax Error:\rJZ L,L\r\rShow help?", 1, kStopped},
    RefusedCase{"LOOP away ; back|DB 1", "Label not found: away", 0, kFailed},
    RefusedCase{"LOOP far",               "Syntax Error:\rLOOP far\r\rShow help?", 0, kStopped}
));

INSTANTIATE_TEST_SUITE_P(LabelLines, RefusedLines, testing::Values(
    RefusedCase{"L: FROB",                "Syntax Error:\rL: FROB\r\rShow help?", 0, kStopped},
    RefusedCase{"NOP|L: 5",               "Syntax Error:\rL: 5\r\rShow help?", 1, kStopped},
    RefusedCase{"L: M:",                  "Syntax Error:\rL: M:\r\rShow help?", 0, kStopped},
    RefusedCase{"my label: NOP",          "Invalid LABEL:\r\tmy label: NOP", 0, kStopped},
    RefusedCase{"CR0: NOP",               "Invalid LABEL:\r\tCR0: NOP", 0, kStopped},
    RefusedCase{"x-y: NOP",               "Invalid LABEL:\r\tx-y: NOP", 0, kStopped},
    RefusedCase{"rax DB 1",               "Invalid LABEL:\r\trax DB 1", 0, kStopped}
));

// Boxes of the first two passes carry their lines too.
INSTANTIATE_TEST_SUITE_P(EarlyPasses, RefusedLines, testing::Values(
    RefusedCase{"NOP|CONST X 5|NOP",      "Error in CONST\r\r\tUSAGE:\rCONST ConstName=Expression\rCONST ConstName EQU Expression", 1, kFailed},
    RefusedCase{"NOP|NOP|CONST EAX=1",    "\tError in Const:\rRegister is not a valid name of constant.", 2, kFailed},
    RefusedCase{"NOP|FROB ; x",           "Syntax Error:\rFROB ; x\r\rShow help?", 1, kStopped}
));
// A LOCK alone on its line prefixes the next line that assembles to bytes; blank and comment
// lines between change nothing.
INSTANTIATE_TEST_SUITE_P(LockLines, SoundLines, testing::Values(
    SoundCase{"LOCK|ADD [EBX],EAX",                 "F0 0103",   "add dword ptr [ebx], eax"},
    SoundCase{"lock ; atomic|INC DWORD PTR [ECX]",  "F0 FF01",   "inc dword ptr [ecx]"},
    SoundCase{"LOCK||; next|\t|XCHG EAX,[EBX]",     "F0 8703",   "xchg dword ptr [ebx], eax"},
    SoundCase{"CONST Q EQU [ESI]|LOCK|CMPXCHG Q,ECX","F0 0FB10E", "cmpxchg dword ptr [esi], ecx"},
    SoundCase{"again: LOCK|BTS [EBX],EAX|JC again", "F0 0FAB03 0F82F6FFFFFF", "jb 0xfffffffc"},
    SoundCase{"LOCK|SUB BYTE PTR [EDI],5|LOCK ADD [EBX],EAX", "F0 802F05 F00103", "lock add dword ptr [ebx], eax"}
));
// clang-format on

constexpr std::string_view kLockUsage =
    "\r\rSyntax:\r\tLOCK Instruction m8/m16/m32,...\r Instruction - ADC, ADD, AND, BTC, BTR, BTS, CMPXCHG, "
    "DEC, INC, NEG, NOT, OR, SBB, SUB, XCHG, XOR";

// F0h before anything but a read-modify-write with a memory destination raises #UD: the LOCK
// line gets the LOCK box and its Syntax Error box, and the compile stops.
TEST(LockLines, BeforeAnythingElseAreRefused) {
  struct Row {
    std::string_view source;
    std::string_view shown;  // what the box says LOCK cannot prefix
    std::size_t lock_line;
  };
  static constexpr Row kRows[] = {
      {"LOCK|MOV EAX,EBX", "MOV EAX,EBX", 0},
      {"NOP|LOCK|ADD EAX,EBX", "ADD EAX,EBX", 1},
      {"LOCK|CMP [EBX],EAX", "CMP [EBX],EAX", 0},
      {"LOCK|; comment||NOP", "NOP", 0},
      {"LOCK|DB 1,3", "DB 1,3", 0},
      {"LOCK|END", "END", 0},
      {"LOCK|LOCK|ADD [EBX],EAX", "LOCK", 0},
      {"LOCK|LOCK ADD [EBX],EAX", "LOCK ADD [EBX],EAX", 0},
      {"CONST R=EAX|LOCK|INC R", "INC EAX", 1},
      // A label between would be a way in that skips the prefix.
      {"LOCK|L: ADD [EBX],EAX", "L: ADD [EBX],EAX", 0},
      {"LOCK|L:|ADD [EBX],EAX", "L:", 0},
      // On the last code line it would prefix whatever the code runs into.
      {"ADD [EBX],EAX|LOCK", "no instruction after LOCK", 1},
      {"LOCK|; the end", "no instruction after LOCK", 0},
  };
  for (const Row& row : kRows) {
    Recorder rec;
    CompileSession s;
    EXPECT_EQ(s.Compile(Source(row.source), {}), CompileOutcome::Stopped) << row.source;
    ASSERT_EQ(s.Boxes().size(), 2u) << row.source;
    EXPECT_EQ(s.Boxes()[0].text,
              "Error in LOCK:\r\tNot supported: " + std::string(row.shown) + std::string(kLockUsage))
        << row.source;
    EXPECT_EQ(s.Boxes()[0].line, row.lock_line) << row.source;
    EXPECT_EQ(s.Boxes()[1].line, row.lock_line) << row.source;
    EXPECT_EQ(s.Boxes()[1].title, "LINE: " + std::to_string(row.lock_line + 1)) << row.source;
    EXPECT_TRUE(s.Boxes()[1].text.starts_with("Syntax Error:\rLOCK")) << s.Boxes()[1].text;
  }
}

// The prefix and its instruction decode as one locked instruction.
TEST(LockLines, PrefixAndNextLineDecodeAsOne) {
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile(Source("LOCK|; between|ADD [EBX],EAX"), {}), CompileOutcome::Finished);
  ASSERT_TRUE(test::Have_Disassembler());
  EXPECT_EQ(test::Disassemble32(s.Image().Bytes()), "lock add dword ptr [ebx], eax");
}

TEST(CompileBoxes, EveryPassThreeErrorIsRecordedInOrder) {
  Recorder rec;
  CompileSession s;
  std::string src = "JZ Nowhere|L:|DB 1";
  for (int i = 0; i < 140; ++i) src += ",1";
  src += "|LOOP L|PUSH Other|NOP";
  ASSERT_EQ(s.Compile(Source(src), {}), CompileOutcome::Failed);
  ASSERT_EQ(s.Boxes().size(), 3u);
  EXPECT_EQ(s.Boxes()[0].line, 0u);
  EXPECT_EQ(s.Boxes()[0].title, "JUMP error (JZ)");
  EXPECT_EQ(s.Boxes()[1].line, 3u);
  EXPECT_EQ(s.Boxes()[1].text, "Jump out of range:\r\tLOOP L");
  EXPECT_EQ(s.Boxes()[2].line, 4u);
  EXPECT_EQ(s.Boxes()[2].text, "Label not found: OTHER");
  EXPECT_EQ(s.Boxes()[2].title, "");
  // The listing is complete; the next compile starts with an empty record.
  EXPECT_EQ(s.Listing_().Address_Decimal(5), "154");
  ASSERT_EQ(s.Compile("NOP", {}), CompileOutcome::Finished);
  EXPECT_TRUE(s.Boxes().empty());
  EXPECT_FALSE(s.Failed());
}

TEST(CompileBoxes, FailedCompileIsNeitherWrappedNorSaved) {
  Recorder rec;
  CompileSession s;
  CompileOptions o;
  o.stack = true;
  o.write_code_file = true;
  o.code_file_path = testing::TempDir() + "orvo-line-soundness-never-written.bin";
  std::remove(o.code_file_path.c_str());
  ASSERT_EQ(s.Compile("NOP\r\nJMP away", o), CompileOutcome::Failed);
  EXPECT_EQ(s.Image().Bytes(), Hex_Bytes("90 E900000000"));
  EXPECT_EQ(s.Listing_().Address_Decimal(1), "7");
  EXPECT_EQ(s.Listing_().Hex_Entry(1), "E9/0/0/0/0");
  EXPECT_FALSE(std::ifstream(o.code_file_path).good());
}

}  // namespace
}  // namespace orvo

namespace orvo {
namespace {

// Every instruction line of the stored examples, once as written and once behind a label of
// its own and before a comment that holds quotes, ";" and ":": the bytes must not change.
TEST(SoundLines, LabelsAndCommentsAroundStoredLinesChangeNoByte) {
  for (const char* name : {"default.asm", "all_two_operand.asm"}) {
    std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    ASSERT_TRUE(in.good()) << name;
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::string plain, decorated;
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      plain += line + "\r\n";
      const std::string_view t = Trim(line);
      const bool code = !t.empty() && t[0] != ';' && t[0] != '\'' && !Starts_With_NoCase(t, "REM ") &&
                        !Starts_With_NoCase(t, "CONST ") && t.find(':') == std::string_view::npos;
      if (code) {
        decorated += "_L" + std::to_string(count++) + ": " + line + "\t ; note: \"a;b\" 'c' x:y\r\n";
      } else {
        decorated += line + "\r\n";
      }
    }
    ASSERT_GE(count, 5u) << name;
    Recorder rec;
    CompileSession a, b;
    ASSERT_EQ(a.Compile(plain, {}), CompileOutcome::Finished) << name;
    ASSERT_EQ(b.Compile(decorated, {}), CompileOutcome::Finished) << name;
    EXPECT_EQ(Spaced_Hex(a.Image().Bytes()), Spaced_Hex(b.Image().Bytes())) << name;
    EXPECT_TRUE(rec.Messages().empty()) << name;
  }
}

}  // namespace
}  // namespace orvo

namespace orvo {
namespace {

TEST(LineParts, CodeLabelAndInstruction) {
  struct Row {
    std::string_view line;  // trimmed
    std::string_view code;
    std::string_view instruction;
    bool label;
  };
  // clang-format off
  const Row rows[] = {
      {"NOP",                    "NOP",                 "NOP",         false},
      {"NOP ; x",                "NOP",                 "NOP",         false},
      {"NOP\t \t",               "NOP",                 "NOP",         false},
      {"NOP\t;\t",               "NOP",                 "NOP",         false},
      {"; all of it",            "",                    "",            false},
      {"DB \";\" ; c",           "DB \";\"",            "DB \";\"",    false},
      {"DB \"a\";\"b\"",         "DB \"a\"",            "DB \"a\"",    false},
      {"DB \"a;b",               "DB \"a;b",            "DB \"a;b",    false},  // an open string holds the rest
      {"L:",                     "L:",                  "",            true},
      {"L: ; c",                 "L:",                  "",            true},
      {"L:NOP",                  "L:NOP",               "NOP",         true},
      {"L: \tMOV EAX,1 ; one",   "L: \tMOV EAX,1",      "MOV EAX,1",   true},
      {"DB \"a:b\"",             "DB \"a:b\"",          "DB \"a:b\"",  false},
      {"NOP ; x:y",              "NOP",                 "NOP",         false},
      {"MOV AL,[X:Y]",           "MOV AL,[X:Y]",        "Y]",          true},   // the driver refuses it
  };
  // clang-format on
  for (const Row& r : rows) {
    EXPECT_EQ(Code_Part(r.line), r.code) << r.line;
    EXPECT_EQ(Instruction_Part(r.line), r.instruction) << r.line;
    EXPECT_EQ(Find_LabelColon(Code_Part(r.line)) != std::string_view::npos, r.label) << r.line;
  }
}

}  // namespace
}  // namespace orvo

namespace orvo {
namespace {

// Random lines from a grammar wider than the language: label operands, names no label has,
// registers of other modes, label expressions, other assemblers' operand words, each with and
// without a label of its own and a comment. A line that names something the language does not
// have never compiles; a line that compiles holds its label's value exactly where the
// instruction reads it, and decoration changes no byte.
TEST(SoundLines, GeneratedLinesAreRefusedOrHoldTheirLabel) {
  const char* const forms[] = {"MOV EAX,@",  "PUSH @",    "ADD ECX,@", "CMP EDX,@",           "TEST EBX,@",
                               "JMP @",      "JZ @",      "CALL @",    "LOOP @",              "MOV [ESI],@",
                               "MOV AX,@",   "AND AL,@",  "SUB @,1",   "MOV BYTE PTR [EBX],@"};
  struct Operand {
    const char* text;
    bool names_label;  // LBL or _lbl2
    bool foreign;      // nothing the language has: never compiles
  };
  const Operand operands[] = {
      {"LBL", true, false},         {"_lbl2", true, false},      {"lbl", true, false},
      {"XYZ", false, true},         {"_nowhere", false, true},   {"CR0", false, true},
      {"XMM1", false, true},        {"RAX", false, true},        {"R9D", false, true},
      {"ST0", false, true},         {"LBL+4", false, true},      {"-LBL", false, true},
      {"OFFSET LBL", false, true},  {"DWORD [EBX]", false, true}, {"SHORT LBL", false, true},
      {"LBL[EBX]", false, true},    {"5", false, false},         {"EBX", false, false},
      {"[EBX]", false, false},
  };
  std::mt19937 rnd(14);
  int compiled = 0, refused = 0;
  for (int n = 0; n < 600; ++n) {
    const std::string form = forms[rnd() % std::size(forms)];
    const Operand& op = operands[rnd() % std::size(operands)];
    std::string line = form;
    line.replace(line.find('@'), 1, op.text);
    const std::string decorated = "here" + std::to_string(n) + ": " + line + " \t; note: \"x;y\" LBL";
    Recorder rec;
    CompileSession plain, dressed;
    const auto outcome = plain.Compile("NOP\r\nNOP\r\nLBL: NOP\r\n" + line + "\r\n_lbl2: NOP", {});
    EXPECT_EQ(dressed.Compile("NOP\r\nNOP\r\nLBL: NOP\r\n" + decorated + "\r\n_lbl2: NOP", {}), outcome) << line;
    if (op.foreign) {
      EXPECT_NE(outcome, CompileOutcome::Finished) << line;
    }
    if (outcome != CompileOutcome::Finished) {
      EXPECT_TRUE(plain.Failed()) << line;
      ++refused;
      continue;
    }
    ++compiled;
    EXPECT_EQ(plain.Image().Bytes(), dressed.Image().Bytes()) << line;
    const std::string& image = plain.Image().Bytes();
    const std::string_view bytes = std::string_view(image).substr(3, image.size() - 4);
    if (test::Have_Disassembler()) {
      EXPECT_EQ(test::Instruction_Length(bytes), static_cast<int>(bytes.size())) << line;
    }
    if (!op.names_label) continue;
    const std::int32_t label = Equals_NoCase(op.text, "_lbl2") ? static_cast<std::int32_t>(3 + bytes.size()) : 2;
    const std::int32_t end = static_cast<std::int32_t>(3 + bytes.size());
    if (form.starts_with("LOOP")) {
      EXPECT_EQ(end + static_cast<std::int8_t>(bytes.back()), label) << line;
    } else if (form.starts_with("J") || form.starts_with("CALL")) {
      EXPECT_EQ(end + static_cast<std::int32_t>(Read_LE32(bytes, bytes.size() - 4)), label) << line;
    } else {
      EXPECT_EQ(Read_LE32(bytes, bytes.size() - 4), static_cast<std::uint32_t>(label)) << line;
    }
  }
  EXPECT_GT(compiled, 100);
  EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace orvo
