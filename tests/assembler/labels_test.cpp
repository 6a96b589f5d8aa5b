#include "assembler/labels.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;
using test::Spaced_Hex;

// A label table with labels at the given offsets, built the way pass 2 builds it.
LabelTable Labels_At(std::vector<std::pair<std::string, std::int32_t>> labels, std::int32_t code_size) {
  LabelTable t;
  std::int32_t at = 0;
  for (const auto& [name, offset] : labels) {
    if (offset > at) t.Add_Length(offset - at);
    at = std::max(at, offset);
    t.Add_LabelEntry(name, true);
  }
  if (code_size > at) t.Add_Length(code_size - at);
  return t;
}

TEST(FindLabel, FirstDefinitionAnyCaseAndOffsets) {
  LabelTable t;
  t.Add_Length(4);
  t.Add_LabelEntry(" loop1 ", true);
  t.Add_LabelEntry("Twice", true);  // two labels before one instruction share its offset
  t.Add_LabelEntry("3", false);
  t.Add_LabelEntry("TWICE", true);
  t.Add_Length(2);
  EXPECT_EQ(t.Find_Label("LOOP1"), 4);
  EXPECT_EQ(t.Find_Label(" twice"), 4);
  EXPECT_EQ(t.Find_Label("NOWHERE"), -1);
  t.Add_Length(5);  // unnamed slots are summed, not kept
  t.Add_LabelEntry("", true);
  t.Add_Length(1);
  EXPECT_EQ(t.Total(), 15);
  const std::vector<LabelTable::Slot> slots = t.Slots();
  ASSERT_EQ(slots.size(), 3u);
  const std::tuple<std::string, std::int32_t, std::int32_t> expected[] = {
      {"LOOP1", 4, 0},
      {"TWICE", 4, 3},  // the count went into the pending label slot
      {"TWICE", 7, 2},
  };
  for (std::size_t i = 0; i < slots.size(); ++i)
    EXPECT_EQ(std::tie(slots[i].name, slots[i].offset, slots[i].length), expected[i]) << i;
}

// A count goes into the label just before it only while that label has none; later counts, and
// those after an empty name, are unnamed slots that move the next label on.
TEST(FindLabel, PendingLabelTakesOneCount) {
  LabelTable t;
  t.Add_LabelEntry("A", true);
  t.Add_Length(0);  // still pending
  t.Add_Length(3);
  t.Add_Length(2);
  t.Add_LabelEntry("", true);
  t.Add_Length(1);
  t.Add_LabelEntry("B", true);
  EXPECT_EQ(t.Find_Label("A"), 0);
  EXPECT_EQ(t.Find_Label(""), 3);
  EXPECT_EQ(t.Find_Label("B"), 6);
  const std::vector<LabelTable::Slot> slots = t.Slots();
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0].length, 3);
  EXPECT_EQ(slots[1].offset, 6);
  EXPECT_EQ(slots[1].length, 0);
}

// The lookup folds the case of letters only, without copying the name: '[' and '{' differ by the
// bit that separates 'A' and 'a', yet they are different names.
TEST(FindLabel, FoldsLettersOnly) {
  LabelTable t;
  t.Add_LabelEntry("a[b", true);
  t.Add_Length(1);
  t.Add_LabelEntry("A{B", true);
  t.Add_Length(2);
  t.Add_Length(3);  // an unnamed slot at 3
  for (const auto& [name, offset] : std::initializer_list<std::pair<std::string_view, std::int32_t>>{
           {"A[B", 0}, {" a[b ", 0}, {"a{b", 1}, {"A{b", 1}, {"", 3}, {"  ", 3}, {"A[", -1}, {"a[bb", -1}})
    EXPECT_EQ(t.Find_Label(name), offset) << name;
}

TEST(ValidLabelDefinition, RegistersNumbersAndSymbolsRefused) {
  for (auto ok : {"L1", "loop", "Data_1", "_x", "_start", "__9", " x9 ", "EAXX", "CR16", "R16", "XMM32", "ST8",
                  "R8X", "mm", "CR", "K1"})
    EXPECT_TRUE(Is_ValidLabelDefinition(ok)) << ok;
  for (auto bad : {"", "1L", "[X", "&H1", "a b", "a-b", "a.b", "A+4", "X?", "EAX", "cs", "cr0", "DR7", "XMM15",
                   "ymm0", "ZMM31", "r8", "R15D", "r9w", "R10B", "RSP", "RIP", "EIP", "ST0", "MM7", "PTR", "dword",
                   "OFFSET", "short", "\xC4X", "X\tY"})
    EXPECT_FALSE(Is_ValidLabelDefinition(bad)) << bad;
}

struct JumpCase {
  std::string_view key;
  std::string_view placeholder;  // pass-2 bytes of the line
  std::int32_t line;
  std::int32_t label;
  std::string_view expected;  // line bytes after the fix-up
};

class RelativeJumps : public testing::TestWithParam<JumpCase> {};

TEST_P(RelativeJumps, PatchesDisplacement) {
  Recorder rec;
  const JumpCase& c = GetParam();
  const std::string placeholder = Hex_Bytes(c.placeholder);
  const std::int32_t size = std::max(c.line + static_cast<std::int32_t>(placeholder.size()), c.label) + 4;
  CodeImage image;
  image.Append_Code(std::string(static_cast<std::size_t>(c.line), '\x90'));
  image.Append_Code(placeholder);
  image.Append_Code(std::string(static_cast<std::size_t>(size) - image.Size(), '\x90'));
  const LabelTable labels = Labels_At({{"TARGET", c.label}}, size);
  const FixLine line{c.line, static_cast<std::int32_t>(placeholder.size()), "X TARGET"};
  const bool loop = c.key.starts_with("LOOP") || c.key == "JCXZ" || c.key == "JECXZ";
  const std::string got = loop ? Fix_LoopJump(image, labels, c.key, "target", line)
                               : Fix_Jump(image, labels, c.key, "target", line);
  EXPECT_EQ(Spaced_Hex(got), Spaced_Hex(Hex_Bytes(c.expected)));
  EXPECT_EQ(Spaced_Hex(image.Read(static_cast<std::size_t>(c.line), placeholder.size())),
            Spaced_Hex(Hex_Bytes(c.expected)));
  EXPECT_TRUE(rec.Messages().empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, RelativeJumps, testing::Values(
    JumpCase{"JNZ",   "0F8500000000", 4,  20, "0F850A000000"},   // forward: 20 - 10
    JumpCase{"JMP",   "E900000000",   10, 0,  "E9F1FFFFFF"},     // backward: 0 - 15
    JumpCase{"LOOP",  "E200",         8,  0,  "E2F6"},           // 256 + 0 - 10
    JumpCase{"JCXZ",  "67E300",       0,  10, "67E307"},
    JumpCase{"JECXZ", "E300",         0,  10, "E308"},
    JumpCase{"LOOPNZ","E000",         0,  129, "E07F"},          // +127, the farthest forward
    JumpCase{"LOOP",  "E200",         128, 2, "E280"}            // -128, the farthest back
));
// clang-format on

TEST(FixJump, Failures) {
  Recorder rec;
  CodeImage image;
  image.Append_Code(Hex_Bytes("E900000000 0F8500000000"));
  const LabelTable labels = Labels_At({{"HERE", 0}}, 11);
  // A jump to its own offset is the idle loop: rel32 = -5.
  EXPECT_EQ(Fix_Jump(image, labels, "JMP", "HERE", {0, 5, "JMP HERE"}), Hex_Bytes("E9FBFFFFFF"));
  EXPECT_EQ(Fix_Jump(image, labels, "JNZ", "Nowhere", {5, 6, "JNZ Nowhere"}), "");
  EXPECT_EQ(Fix_Jump(image, labels, "JMP", "EAX", {0, 5, "JMP EAX"}), "");  // not a label: complete already
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0],
            (Message{"Label not found: Nowhere", MsgStyle::OkCritical, "JUMP error (JNZ)"}));
  EXPECT_EQ(image.Bytes(), Hex_Bytes("E9FBFFFFFF 0F8500000000"));
}

TEST(FixLoopJump, OutOfRangeIsReportedAndNothingWritten) {
  Recorder rec;
  CodeImage image;
  image.Append_Code(Hex_Bytes("E200"));
  image.Append_Code(std::string(300, '\x90'));
  const LabelTable labels = Labels_At({{"FAR", 300}}, 302);
  EXPECT_EQ(Fix_LoopJump(image, labels, "LOOP", "FAR", {0, 2, "LOOP FAR"}), "");
  EXPECT_EQ(Fix_LoopJump(image, labels, "LOOP", "NONE", {0, 2, "LOOP NONE"}), "");
  ASSERT_EQ(rec.Messages().size(), 2u);
  EXPECT_EQ(rec.Messages()[0], (Message{"Jump out of range:\r\tLOOP FAR", MsgStyle::OkCritical, "LOOP FAR"}));
  EXPECT_EQ(rec.Messages()[1], (Message{"Label not found: NONE", MsgStyle::OkCritical, "LOOP NONE"}));
  EXPECT_EQ(image.Read(0, 2), Hex_Bytes("E200"));
}

TEST(FixAbsolute, PushAndMovWithAndWithoutFrame) {
  for (bool stack : {false, true}) {
    CodeImage image;
    image.Append_Code(Hex_Bytes("6800000000 BE00000000 50"));
    EXPECT_EQ(Fix_PushLabel(image, 12, {0, 5, "PUSH Data"}, stack),
              Hex_Bytes(stack ? "6812000000" : "680C000000"));
    EXPECT_EQ(Fix_MovLabel(image, 12, {5, 5, "MOV ESI,Data"}, stack),
              Hex_Bytes(stack ? "BE12000000" : "BE0C000000"));
    // No placeholder there (PUSH EAX is one byte): nothing may be written.
    EXPECT_EQ(Fix_PushLabel(image, 12, {10, 1, "PUSH EAX"}, stack), "");
    EXPECT_EQ(Fix_PushLabel(image, -1, {0, 5, "PUSH 0"}, stack), Hex_Bytes(stack ? "" : ""));
    EXPECT_EQ(image.Read(10, 1), Hex_Bytes("50"));
  }
}

}  // namespace
}  // namespace orvo
