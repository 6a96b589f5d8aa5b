// The pass-3 skip test against the fix-up dispatch: a line Line_FixUp lets pass 3 skip must come
// through the fix-up unchanged and without a box, whatever the label table holds.
#include "assembler/dispatch.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;

// Labels a fix-up could find: named slots in any spelling the lines use and an unnamed slot
// (found by an empty name).
LabelTable Busy_Labels() {
  LabelTable labels;
  labels.Add_Length(3);
  for (const char* name : {"L1", "X", "CV1", "EAXX", "JUNK", "LOOPY"}) {
    labels.Add_LabelEntry(name, true);
    labels.Add_Length(7);
  }
  return labels;
}

std::vector<std::string> Lines() {
  const char* const mnemonics[] = {"MOV", "mov", "ADD",  "Xor", "CMP",  "TEST", "PUSH",
                                   "POP", "JMP", "JNZ",  "jc",  "LOOP", "JCXZ", "CALL",
                                   "INC", "LEA", "XCHG", "DB",  "JUNK", "LOOPY"};
  std::vector<std::string> operands = {"EAX",
                                       "ebx",
                                       "AL",
                                       "AX",
                                       "ES",
                                       "5",
                                       "-5",
                                       "&HFF",
                                       "L1",
                                       "l1",
                                       "X",
                                       " X ",
                                       "CV1",
                                       "EAXX",
                                       "[EAX]",
                                       "[EBX+4]",
                                       "[L1]",
                                       "",
                                       "DB 1",
                                       "1.5",
                                       "L2",
                                       "NOWHERE",
                                       "DWORD PTR [EAX]",
                                       "&B101",
                                       "-L1",
                                       "- X"};
  operands.push_back("&B" + std::string(300, '1'));  // normalizing it shows a box
  std::vector<std::string> lines;
  for (const char* m : mnemonics)
    for (const std::string& a : operands) {
      lines.push_back(std::string(m) + " " + a);
      for (const std::string& b : operands) lines.push_back(std::string(m) + " " + a + "," + b);
    }
  return lines;
}

TEST(Dispatch, LinesPassThreeSkipsNeedNoFixUp) {
  const LabelTable labels = Busy_Labels();
  int skipped = 0, kept = 0;
  for (const std::string& line : Lines()) {
    const LineTerms terms = Get_LineTerms(line);
    Recorder boxes;
    const bool may = Line_FixUp(terms) != FixUp::None;
    EXPECT_TRUE(boxes.Messages().empty()) << line;  // the test itself shows nothing
    if (may) {
      ++kept;
      continue;
    }
    ++skipped;
    // Pass-2 bytes when the line has any, else a placeholder the fix-up could write into.
    LabelTable scratch;
    bool invalid = false;
    std::string bytes = Dispatch_Line(terms, scratch, invalid);
    if (bytes.empty()) bytes = std::string("\xB8\0\0\0\0", 5);
    for (const std::int32_t offset : {0, 3, 10}) {
      CodeImage image;
      image.Append_Code(std::string(static_cast<std::size_t>(offset), '\x90'));
      image.Append_Code(bytes);
      const std::string before = image.Bytes();
      boxes.Clear();
      const FixLine fix{offset, static_cast<std::int32_t>(bytes.size()), line};
      for (const bool stack : {false, true}) {
        EXPECT_EQ(Dispatch_FixUp(terms, image, labels, fix, stack), "") << line;
        EXPECT_EQ(image.Bytes(), before) << line;
      }
      EXPECT_TRUE(boxes.Messages().empty()) << line;
    }
  }
  // Both answers occur: most register and number lines are skipped, label lines are kept.
  EXPECT_GT(skipped, 1000);
  EXPECT_GT(kept, 1000);
}

TEST(Dispatch, LinesThatMayNameALabelAreKept) {
  for (const char* line : {"JMP L1", "JNZ NOWHERE", "jc EAX", "LOOP L1", "JCXZ L1", "CALL L1", "CALL EAX",
                           "MOV EAX,L1", "MOV EAX,", "MOV EAX,nowhere", "mov ebx, X", "PUSH L1", "PUSH",
                           "PUSH ", "ADD EAX,L1", "XOR [EAX],X", "MOV [EAX],L1", "TEST EAX,L1", "JUNK DB 1"})
    EXPECT_NE(Line_FixUp(Get_LineTerms(line)), FixUp::None) << line;
  for (const char* line :
       {"MOV EAX,EBX", "MOV EAX,5", "MOV EAX,[EBX+4]", "MOV EAX,ES", "PUSH EAX", "PUSH 5", "POP L1",
        "ADD EAX,5", "ADD EAX,EBX", "CMP [EAX],EBX", "INC L1", "DB 1,2", "LEA EAX,[L1]"})
    EXPECT_EQ(Line_FixUp(Get_LineTerms(line)), FixUp::None) << line;
}

// The fix-up column of each row, and the operand rule that lets pass 3 skip a line.
TEST(Dispatch, FixUpColumnPerRow) {
  const struct {
    const char* line;
    FixUp fixup;
  } rows[] = {
      {"JMP L1", FixUp::Jump},         {"jnz L1", FixUp::Jump},    {"JCXZ L1", FixUp::Loop},
      {"JECXZ L1", FixUp::Loop},       {"LOOPNE L1", FixUp::Loop}, {"CALL L1", FixUp::Call},
      {"PUSH L1", FixUp::Push},        {"PUSH 5", FixUp::None},    {"MOV EAX,L1", FixUp::Mov},
      {"MOV [EAX],L1", FixUp::Mov},    {"MOV AL,5", FixUp::None},  {"SBB EAX,L1", FixUp::Alu},
      {"TEST EAX,L1", FixUp::Alu},     {"ADD EAX,5", FixUp::None}, {"LOCK ADD [EAX],L1", FixUp::Lock},
      {"LOCK INC [EAX]", FixUp::None}, {"LOCK", FixUp::None},      {"INC L1", FixUp::None},
      {"SETZ AL", FixUp::None},        {"X DB 1,L1", FixUp::None}, {"LEA EAX,[L1]", FixUp::None},
  };
  for (const auto& row : rows) EXPECT_EQ(Line_FixUp(Get_LineTerms(row.line)), row.fixup) << row.line;
}

// The structure-aware fuzz target writes its lines from this list: every row once, in capitals,
// first and last rows included, and no mnemonic that is assembled by rule.
TEST(Dispatch, MnemonicListHasEveryRowOnce) {
  const std::vector<std::string_view> names = Dispatch_Mnemonics();
  std::set<std::string_view> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), names.size());
  for (std::string_view name : names) {
    EXPECT_FALSE(name.empty());
    for (char c : name) EXPECT_TRUE((c >= 'A' && c <= 'Z')) << name;
  }
  for (std::string_view row : {"MOV", "MOVZX", "DB", "LOOPNZ", "STOSD", "LOCK", "XCHG", "VERR", "VERW"})
    EXPECT_EQ(unique.count(row), 1u) << row;
  for (std::string_view rule : {"JNZ", "JA", "SETC", "SETNLE", "ADDX", ""}) EXPECT_EQ(unique.count(rule), 0u) << rule;
}

}  // namespace
}  // namespace orvo
