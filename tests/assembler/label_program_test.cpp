// Whole programs whose labels are resolved in pass 3: jumps, loops, absolute label values,
// failures that run pass 3 to its end and fail the compile.
#include <gtest/gtest.h>

#include "assembler/compile.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;
using test::Spaced_Hex;

struct ProgramCase {
  std::string_view name;
  std::string_view source;  // lines joined by "|"
  bool stack;
  std::string_view hex;     // the code image (without the frame)
};

std::string Source(std::string_view lines) {
  std::string s;
  for (char c : lines) s += (c == '|') ? std::string("\r\n") : std::string(1, c);
  return s;
}

class LabelPrograms : public testing::TestWithParam<ProgramCase> {};

TEST_P(LabelPrograms, AssembleToBytes) {
  Recorder rec;
  CompileSession s;
  CompileOptions o;
  o.stack = GetParam().stack;
  ASSERT_EQ(s.Compile(Source(GetParam().source), o), CompileOutcome::Finished);
  std::string image = s.Image().Bytes();
  if (o.stack) image = image.substr(6, image.size() - 15);
  EXPECT_EQ(Spaced_Hex(image), Spaced_Hex(Hex_Bytes(GetParam().hex)));
  EXPECT_TRUE(rec.Messages().empty()) << rec.Messages()[0].text;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, LabelPrograms, testing::Values(
    ProgramCase{"ForwardJcc",    "NOP|NOP|NOP|NOP|JNZ Next|DB 0,0,0,0,0,0,0,0,0,0|Next:|NOP", false,
                "90909090 0F850A000000 00000000000000000000 90"},
    ProgramCase{"BackwardJmp",   "Top:|DB 1,2,3,4,5,6,7,8,9,10|JMP top", false, "0102030405060708090A E9F1FFFFFF"},
    ProgramCase{"LoopBack",      "L0:|DB 1,2,3,4,5,6,7,8|LOOP L0", false, "0102030405060708 E2F6"},
    ProgramCase{"Jcxz",          "JCXZ Done|DB 1,2,3,4,5,6,7|Done:", false, "67E307 01020304050607"},
    ProgramCase{"PushLabel",     "PUSH Data|MOV ESI,Data|NOP|NOP|Data:|DB 7", false, "680C000000 BE0C000000 9090 07"},
    ProgramCase{"PushLabelFrame","PUSH Data|MOV ESI,Data|NOP|NOP|Data:|DB 7", true,  "6812000000 BE12000000 9090 07"},
    ProgramCase{"AluLabel",      "ADD EAX,Data|CMP ECX,Data|Data:", false, "050B000000 81F90B000000"},
    ProgramCase{"NamedData",     "MOV EAX,Table|Table DB 1,2", false, "B805000000 0102"},
    ProgramCase{"MovMemLabel",   "MOV [EBX],Data|Data:", false, "C70306000000"},
    ProgramCase{"TestLabel",     "TEST EAX,Data|Data:", false, "A905000000"},
    ProgramCase{"CallLabel",     "CALL Sub|RET|Sub:|RET", false, "E801000000 C3 C3"},
    ProgramCase{"CaseAndDup",    "loop1:|NOP|LOOP1:|JMP Loop1", false, "90 E9FAFFFFFF"},
    ProgramCase{"LastLineLabel", "MOV EAX,End|End:", true, "B80B000000"},
    ProgramCase{"NoLabelLeftAlone", "PUSH EAX|MOV EAX,EBX", false, "50 89D8"},
    // A jump to its own line: the usual idle loop.
    ProgramCase{"JmpToItself",   "L:|JMP L", false, "E9FBFFFFFF"},
    ProgramCase{"JmpToItselfOneLine", "NOP|L: JMP L", false, "90 E9FBFFFFFF"},
    ProgramCase{"JccToItself",   "L: JNZ L|W: JO W", false, "0F85FAFFFFFF 0F80FAFFFFFF"},
    ProgramCase{"LoopToItself",  "L: LOOP L|M: JECXZ M|N: JCXZ N", false, "E2FE E3FE 67E3FD"},
    ProgramCase{"CallToItself",  "L: CALL L", false, "E8FBFFFFFF"},
    // Label lines that carry code: the label names the line's first byte.
    ProgramCase{"LabelWithCode", "CALL next|next: POP EBX|tab: DB 1,2|MOV EAX,tab", false,
                "E800000000 5B 0102 B806000000"},
    ProgramCase{"LabelWithCodeFrame", "JMP over|msg: DB 7|over: MOV EAX,msg", true, "E901000000 07 B80B000000"},
    ProgramCase{"Underscore",    "_start: NOP|JMP _start|MOV EAX,_start|__x_1: DD 5|PUSH __X_1", false,
                "90 E9FAFFFFFF B800000000 05000000 680B000000"},
    ProgramCase{"CommentsAfterCode", "JMP end ; skip: the data|DB \"a;b:c\" ; text|end: NOP ; done", false,
                "E905000000 613B623A63 90"}
), [](const auto& row) { return std::string(row.param.name); });
// clang-format on

struct FailCase {
  std::string_view source;
  Message box;
  std::string_view hex;  // the code image keeps its placeholder
  std::size_t line;      // the line the box belongs to
};

class LabelFailures : public testing::TestWithParam<FailCase> {};

TEST_P(LabelFailures, ReportAndFail) {
  Recorder rec;
  CompileSession s;
  ASSERT_EQ(s.Compile(Source(GetParam().source), {}), CompileOutcome::Failed);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0], GetParam().box);
  EXPECT_TRUE(s.Failed());
  ASSERT_EQ(s.Boxes().size(), 1u);
  EXPECT_EQ(s.Boxes()[0].text, GetParam().box.text);
  EXPECT_TRUE(s.Boxes()[0].error);
  EXPECT_EQ(s.Boxes()[0].line, GetParam().line);
  EXPECT_EQ(Spaced_Hex(s.Image().Bytes()), Spaced_Hex(Hex_Bytes(GetParam().hex)));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, LabelFailures, testing::Values(
    FailCase{"JNZ Nowhere", {"Label not found: Nowhere", MsgStyle::OkCritical, "JUMP error (JNZ)"}, "0F8500000000", 0},
    FailCase{"ADD AL,Data|Data:", {"Invalid use of label:\r\tADD AL,Data", MsgStyle::OkCritical, "Label addres"}, "0400", 0},
    FailCase{"ADD WORD PTR [EBX],Data|Data:",
             {"Invalid usage of label:\r\tADD WORD PTR [EBX],Data\r\rDestination too short:\r\tm16", MsgStyle::OkCritical, "Label addres"},
             "81 03 00 00 00 00", 0},
    FailCase{"SUB EAX,Missing", {"Label not found: MISSING", MsgStyle::Ok, std::nullopt}, "2D00000000", 0},
    FailCase{"LOOP Missing", {"Label not found: Missing", MsgStyle::OkCritical, "LOOP Missing"}, "E200", 0},
    FailCase{"MOV AX,Data|Data:", {"Invalid use of label:\r\tMOV AX,Data", MsgStyle::OkCritical, "Label addres"}, "66B80000", 0},
    FailCase{"Data:|MOV BYTE PTR [EBX],Data", {"Invalid use of label:\r\tMOV BYTE PTR [EBX],Data", MsgStyle::OkCritical, "Label addres"}, "C70300000000", 1},
    FailCase{"NOP|MOV EAX,XYZ", {"Label not found: XYZ", MsgStyle::Ok, std::nullopt}, "90 B800000000", 1},
    FailCase{"NOP|PUSH _xyz", {"Label not found: _XYZ", MsgStyle::Ok, std::nullopt}, "90 6800000000", 1},
    FailCase{"NOP|CALL Xyz", {"Label not found: Xyz", MsgStyle::OkCritical, "JUMP error (CALL)"}, "90 E800000000", 1},
    FailCase{"NOP|JZ Xyz ; a comment", {"Label not found: Xyz", MsgStyle::OkCritical, "JUMP error (JZ)"}, "90 0F8400000000", 1},
    FailCase{"L: MOV AL,L", {"Invalid use of label:\r\tMOV AL,L", MsgStyle::OkCritical, "Label addres"}, "B000", 0},
    FailCase{"NOP|x: TEST EAX,Data", {"Label not found: DATA", MsgStyle::Ok, std::nullopt}, "90 A900000000", 1}
));
// clang-format on

TEST(LabelPrograms, LoopFarAwayIsRefusedWithoutWritingAByte) {
  Recorder rec;
  CompileSession s;
  std::string src = "Top:\r\nDB 1";
  for (int i = 0; i < 299; ++i) src += ",1";
  src += "\r\nLOOP Top";
  ASSERT_EQ(s.Compile(src, {}), CompileOutcome::Failed);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0], (Message{"Jump out of range:\r\tLOOP Top", MsgStyle::OkCritical, "LOOP Top"}));
  EXPECT_EQ(s.Image().Bytes().substr(300), Hex_Bytes("E200"));
}

TEST(LabelPrograms, ListingShowsPatchedBytes) {
  Recorder rec;
  CompileSession s;
  CompileOptions o;
  o.stack = true;
  ASSERT_EQ(s.Compile(Source("JMP Done|NOP|Done:"), o), CompileOutcome::Finished);
  EXPECT_EQ(s.Listing_().Hex_Entry(0), "E9/1/0/0/0");
  EXPECT_EQ(s.Listing_().Raw_Bytes(0), Hex_Bytes("E900000000"));  // the raw column keeps pass 2's bytes
  EXPECT_EQ(s.Listing_().Address_Decimal(1), "11");
}

// The listing columns of every row after pass 3 patched some of them in place: the raw column
// keeps pass 2's bytes, the hex column the patched ones, and addresses follow the frame even
// when the compile failed.
struct ListingCase {
  std::string_view source;
  bool stack;
  CompileOutcome outcome;
  std::vector<std::string_view> raw;   // Raw_Bytes per row, hex
  std::vector<std::string_view> hex;   // Hex_Entry per row
  std::vector<std::string_view> list;  // Address_Decimal per row
};

TEST(LabelPrograms, ListingColumnsPerRow) {
  const ListingCase cases[] = {
      {"L:|JMP Back|Back: NOP|LOOP L|PUSH Back",
       false,
       CompileOutcome::Finished,
       {"", "E900000000", "90", "E200", "6800000000"},
       {"", "E9/0/0/0/0", "90", "E2/F8", "68/5/0/0/0"},
       {"", "0", "5", "6", "8"}},
      {"L:|JMP Back|Back: NOP|LOOP L|PUSH Back",
       true,
       CompileOutcome::Finished,
       {"", "E900000000", "90", "E200", "6800000000"},
       {"", "E9/0/0/0/0", "90", "E2/F8", "68/B/0/0/0"},
       {"", "6", "11", "12", "14"}},
      // A label not found fails the compile after pass 3 ran to its end: no frame, but the
      // addresses still count it, and the rows after the failure are patched.
      {"JMP Nowhere|; note|MOV EAX,Here|Here: RET",
       true,
       CompileOutcome::Failed,
       {"E900000000", "", "B800000000", "C3"},
       {"E9/0/0/0/0", "", "B8/10/0/0/0", "C3"},
       {"6", "", "11", "16"}},
  };
  for (const ListingCase& c : cases) {
    Recorder rec;
    CompileSession s;
    CompileOptions o;
    o.stack = c.stack;
    ASSERT_EQ(s.Compile(Source(c.source), o), c.outcome) << c.source;
    const Listing& l = s.Listing_();
    ASSERT_EQ(l.Line_Count(), c.raw.size()) << c.source;
    std::string text2;
    for (std::size_t i = 0; i < l.Line_Count(); ++i) {
      EXPECT_EQ(Spaced_Hex(l.Raw_Bytes(i)), Spaced_Hex(Hex_Bytes(c.raw[i]))) << c.source << " row " << i;
      EXPECT_EQ(l.Hex_Entry(i), c.hex[i]) << c.source << " row " << i;
      EXPECT_EQ(l.Address_Decimal(i), c.list[i]) << c.source << " row " << i;
      text2.append(l.Raw_Bytes(i)).append("\r\n");
    }
    EXPECT_EQ(l.Raw_Bytes_Text(), text2) << c.source;
  }
}

TEST(LabelPrograms, RegisterAndSegmentNamesAreNoLabels) {
  for (auto src : {"EAX:", "cs:", "ah:", "EAX DB 1", "CR0:", "rax:", "XMM0: NOP", "r8d DB 1", "my-label:",
                   "a.b:", "1abc: NOP", "PTR:", "OFFSET DD 1"}) {
    Recorder rec;
    CompileSession s;
    EXPECT_EQ(s.Compile(src, {}), CompileOutcome::Stopped) << src;
    ASSERT_EQ(rec.Messages().size(), 1u) << src;
    EXPECT_EQ(rec.Messages()[0].text.substr(0, 15), "Invalid LABEL:\r") << src;
  }
}

}  // namespace
}  // namespace orvo
