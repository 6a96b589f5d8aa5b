// The boxes of refused lines: recorded below the driver in the order raised, shown by the driver
// right after each call, with the line they belong to.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "assembler/compile.h"
#include "assembler/constants.h"
#include "assembler/dispatch.h"
#include "base/diagnostics.h"
#include "output/export.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;

// Fails the test for any box shown while it is installed.
class NoBoxesShown : public MessageHandler {
 public:
  NoBoxesShown() : scope_(*this) {}
  MsgAnswer Show(const Message& message) override {
    ADD_FAILURE() << "shown below the driver: " << message.text;
    return MsgAnswer::Ok;
  }

 private:
  ScopedMessageHandler scope_;
};

Message Box(std::string text, MsgStyle style = MsgStyle::Ok,
            std::optional<std::string> title = std::nullopt) {
  return Message{std::move(text), style, std::move(title)};
}

// A base-2 literal of 260 digits: too many for its digit count, so each reading of it raises
// "Number too big" before the instruction's own box.
const std::string kLongBinary = "&B" + std::string(260, '1');
const Message kNumberTooBig = Box("Number too big: " + std::string(260, '1'), MsgStyle::Ok, "Overflow");

struct LineRow {
  std::string line;
  std::vector<Message> boxes;  // recorded by the line's dispatch, in order
};

std::vector<LineRow> Refused_Lines() {
  const std::string lock_box =
      "Error in LOCK:\r\tNot supported: MOV EAX,1\r\rSyntax:\r\tLOCK Instruction m8/m16/m32,...\r "
      "Instruction - "
      "ADC, ADD, AND, BTC, BTR, BTS, CMPXCHG, DEC, INC, NEG, NOT, OR, SBB, SUB, XCHG, XOR";
  return {
      {"MOV EAX," + kLongBinary, {kNumberTooBig, Box("Invalid operand(s)\rMOV r32,")}},
      {"SHL EAX," + kLongBinary,
       {kNumberTooBig, Box("Invalid 2-nd operand in SHL r32," + kLongBinary +
                           "\r\r\tSyntax:\rSHLr/m8(16/32)\rSHLr/m8(16/32),1(CL,imm8)")}},
      {"INT " + kLongBinary,
       {kNumberTooBig, Box("Invalid operand: " + kLongBinary + "\r\r\tUsage:\rINT imm8")}},
      {"DB 1," + kLongBinary,
       {kNumberTooBig,
        Box("Error in DB:\r\tNot a number: " + kLongBinary + "\r\rSyntax:\r\tDB Value(0-255)")}},
      {"INT -1", {Box("Out of range: -1\r\rThe value must be 0 to 255.", MsgStyle::Ok, "INT -1")}},
      {"ADD AX,-70000", {Box("imm16 is out of range", MsgStyle::OkExclamation, "ADD AX,-70000")}},
      {"TEST BYTE PTR [EAX],-300",
       {Box("Error in TEST.\r\r\tNot supported:\rTEST m8,imm16", MsgStyle::OkExclamation)}},
      {"IN AL,300", {Box("Error in IN\r invalid source operand.\r\rMust be:\r\timm8 or DX.")}},
      {"MOV [EAX+EBX+ECX],1",
       {Box("Invalid memory operand: [EAX+EBX+ECX]\r\rAt most a base and an index register")}},
      {"MOV EAX,99999999999", {Box("Overflow\r\rMOV EAX,99999999999", MsgStyle::Ok, "6")}},
      {"LOCK MOV EAX,1", {Box(lock_box)}},
      {"ENTER 1,2,3", {}},  // refused by its operand count alone: the driver's box only
  };
}

Message Syntax_Error(std::string_view line, int number) {
  return {"Syntax Error:\r" + std::string(line) + "\r\rShow help?", MsgStyle::YesNoCritical,
          "LINE: " + std::to_string(number)};
}

// A refused line alone: its own boxes in the order raised, then the driver's Syntax Error, all
// on line 0.
TEST(BoxesThroughTheDriver, RefusedLineShowsItsBoxesThenTheSyntaxError) {
  for (const LineRow& row : Refused_Lines()) {
    Recorder rec;
    CompileSession session;
    EXPECT_EQ(session.Compile(row.line, {}), CompileOutcome::Stopped) << row.line;
    std::vector<Message> expected = row.boxes;
    expected.push_back(Syntax_Error(row.line, 1));
    EXPECT_EQ(rec.Messages(), expected) << row.line;
    for (const CompileBox& box : session.Boxes()) EXPECT_EQ(box.line, 0u) << row.line;
  }
}

// Below the driver nothing is shown: the same boxes are in the sink the dispatch was given.
TEST(BoxesThroughTheDriver, DispatchRecordsWithoutShowing) {
  for (const LineRow& row : Refused_Lines()) {
    NoBoxesShown no_boxes;
    Diagnostics sink;
    LabelTable labels;
    bool invalid_label = false;
    FixUp fixup = FixUp::None;
    EXPECT_EQ(Dispatch_Line(Get_LineTerms(row.line), labels, invalid_label, fixup, sink), "") << row.line;
    EXPECT_EQ(sink.items(), row.boxes) << row.line;
    // The full encoders without the plain ones record the same.
    Diagnostics full;
    EXPECT_EQ(Dispatch_Line_Full(Get_LineTerms(row.line), labels, invalid_label, fixup, full), "")
        << row.line;
    EXPECT_EQ(full.items(), row.boxes) << row.line;
  }
}

struct ProgramRow {
  std::string name;
  std::string source;
  CompileOutcome outcome;
  std::vector<std::pair<std::size_t, Message>> boxes;  // 0-based line, box
};

// Boxes raised by the passes over several lines keep their order and their lines: the constants
// of pass 1, a pending LOCK refused on a later line, substitution in pass 2, fix-ups in pass 3.
TEST(BoxesThroughTheDriver, ProgramsKeepOrderAndLines) {
  const std::string lock_box =
      "Error in LOCK:\r\tNot supported: MOV EAX,1\r\rSyntax:\r\tLOCK Instruction m8/m16/m32,...\r "
      "Instruction - "
      "ADC, ADD, AND, BTC, BTR, BTS, CMPXCHG, DEC, INC, NEG, NOT, OR, SBB, SUB, XCHG, XOR";
  std::string zeros = "DB 0";
  for (int i = 0; i < 200; ++i) zeros += ",0";
  const std::vector<ProgramRow> rows = {
      {"pending LOCK",
       "NOP\r\nLOCK\r\nMOV EAX,1",
       CompileOutcome::Stopped,
       {{1, Box(lock_box)}, {1, Syntax_Error("LOCK", 2)}}},
      {"refused constants",
       "CONST EAX=1\r\nCONST X\r\nNOP",
       CompileOutcome::Failed,
       {{0, Box("\tError in Const:\rRegister is not a valid name of constant.", MsgStyle::Ok, "EAX=1")},
        {1, Box("Error in CONST\r\r\tUSAGE:\rCONST ConstName=Expression\rCONST ConstName EQU Expression",
                MsgStyle::Ok, "CONST X")}}},
      {"fix-ups",
       "JMP nowhere\r\nLOOP away\r\n" + zeros + "\r\naway:\r\nNOP",
       CompileOutcome::Failed,
       {{0, Box("Label not found: nowhere", MsgStyle::OkCritical, "JUMP error (JMP)")},
        {1, Box("Jump out of range:\r\tLOOP away", MsgStyle::OkCritical, "LOOP away")}}},
      {"runaway constant, then its name as a label",
       "CONST X = X\r\nMOV EAX,X",
       CompileOutcome::Failed,
       {{1,
         Box("Error in CONST:\rThe substitution of X does not end.\rA line may grow to 65536 characters and "
             "take 10000 replacements.",
             MsgStyle::OkExclamation, "CONST X")},
        {1, Box("Label not found: X")}}},
  };
  for (const ProgramRow& row : rows) {
    Recorder rec;
    CompileSession session;
    EXPECT_EQ(session.Compile(row.source, {}), row.outcome) << row.name;
    std::vector<Message> expected;
    for (const auto& [line, box] : row.boxes) expected.push_back(box);
    EXPECT_EQ(rec.Messages(), expected) << row.name;
    ASSERT_EQ(session.Boxes().size(), row.boxes.size()) << row.name;
    for (std::size_t i = 0; i < row.boxes.size(); ++i) {
      EXPECT_EQ(session.Boxes()[i].line, row.boxes[i].first) << row.name << " box " << i;
      EXPECT_EQ(session.Boxes()[i].text, row.boxes[i].second.text) << row.name << " box " << i;
    }
  }
}

// The other operations below the driver record as well: fix-ups, constants, the code file and
// the export.
TEST(BoxesThroughTheDriver, OtherOperationsRecordWithoutShowing) {
  NoBoxesShown no_boxes;
  Diagnostics sink;

  CodeImage image;
  image.Append_Code(std::string("\xE9\0\0\0\0", 5));
  LabelTable labels;
  const FixLine line{0, 5, "JMP nowhere"};
  EXPECT_EQ(Dispatch_FixUp(Get_LineTerms("JMP nowhere"), image, labels, line, false, sink), "");

  ConstTable consts;
  consts.Define_Const("=1", sink);
  consts.Define_Const("X = X", sink);
  std::string text = "MOV EAX,X";
  consts.Replace_Consts(text, sink);

  const std::string missing =
      (std::filesystem::temp_directory_path() / "orvo-no-such-folder" / "deeper" / "CODE.BIN").string();
  Save_CodeImage(image, missing, sink);
  EXPECT_FALSE(Export_CodeImage(image, missing, true, sink));

  const std::vector<std::string> titles = {"JUMP error (JMP)", "CONST =1", "CONST X",
                                           "SAVE TO FILE: ORVOIDE.BIN", "Save: " + missing};
  ASSERT_GE(sink.items().size(), titles.size());
  std::size_t next = 0;
  for (const Message& box : sink.items())
    if (next < titles.size() && box.title == titles[next]) ++next;
  EXPECT_EQ(next, titles.size()) << "titles out of order or missing";
}

}  // namespace
}  // namespace orvo
