// The short-cut encoder of the common lines against the general dispatch: for every line it
// takes, the same bytes, no box, and a pass-3 fix-up that changes nothing.
#include "assembler/common_lines.h"

#include <gtest/gtest.h>

#include <random>

#include "assembler/compile.h"
#include "assembler/dispatch.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;
using test::Spaced_Hex;

// Checks one line; returns whether the short cut took it.
bool Check_Line(const std::string& line) {
  std::string fast;
  if (!Encode_CommonLine(line, fast)) return false;
  Recorder boxes;
  LabelTable labels;
  labels.Add_LabelEntry("L1", true);
  labels.Add_Length(5);
  bool invalid_label = false;
  const std::string general = Dispatch_Line(Get_LineTerms(line), labels, invalid_label);
  EXPECT_FALSE(invalid_label) << line;
  EXPECT_EQ(Spaced_Hex(fast), Spaced_Hex(general)) << line;
  EXPECT_TRUE(boxes.Messages().empty()) << line;
  CodeImage image;
  image.Append_Code(general);
  const FixLine fix{0, static_cast<std::int32_t>(general.size()), line};
  EXPECT_EQ(Dispatch_FixUp(Get_LineTerms(line), image, labels, fix, false), "") << line;
  EXPECT_EQ(image.Bytes(), general) << line;
  EXPECT_TRUE(boxes.Messages().empty()) << line;
  return true;
}

const char* const kRegs[] = {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI", "eax", "Esp", "ebP"};
const char* const kNumbers[] = {"0",          "1",           "5",           "127",        "128",
                                "255",        "256",         "-1",          "-128",       "-129",
                                "79618",      "2147483647",  "-2147483647", "2147483648", "-2147483648",
                                "4294967295", "99999999999", "007",         "-0",         "+5",
                                "&HFF",       "12h",         "1e3",         "5&",         ""};
const char* const kDisps[] = {"",     "+0",   "+4",   "-4",          "+127",        "-128",        "+128",
                              "-129", "+200", "-200", "+2147483647", "-2147483647", "+2147483648", "+07",
                              "+-4",  "+EAX", "*2",   "+",           "-0"};

std::vector<std::string> Memory_Forms() {
  std::vector<std::string> forms;
  for (const char* r : kRegs)
    for (const char* d : kDisps) forms.push_back(std::string("[") + r + d + "]");
  forms.push_back("[EAX+EBX]");
  forms.push_back("DWORD PTR [EAX]");
  forms.push_back("[ EAX]");
  return forms;
}

TEST(CommonLines, TwoOperandShapesMatchTheGeneralEncoder) {
  const char* mnemonics[] = {"MOV", "ADD", "OR",  "ADC", "SBB",  "AND", "SUB",
                             "XOR", "CMP", "mov", "Xor", "TEST", "LEA"};
  const std::vector<std::string> mem = Memory_Forms();
  std::vector<std::string> operands;
  for (const char* r : kRegs) operands.push_back(r);
  for (const char* n : kNumbers) operands.push_back(n);
  operands.insert(operands.end(), mem.begin(), mem.end());
  for (const char* odd : {"AL", "AX", "ES", "L1", "CV1", "EAXX"}) operands.push_back(odd);
  int taken = 0, lines = 0;
  for (const char* m : mnemonics)
    for (const std::string& a : operands)
      for (const std::string& b : operands) {
        // Memory against memory only for a sample: the general encoder refuses them all alike.
        if (a[0] == '[' && b[0] == '[' && (a.size() + b.size()) % 17 != 0) continue;
        ++lines;
        taken += Check_Line(std::string(m) + " " + a + "," + b);
      }
  EXPECT_GT(taken, lines / 10);  // the short cut does take the common shapes
}

TEST(CommonLines, PushPopAndDataMatchTheGeneralEncoder) {
  int taken = 0;
  for (const char* m : {"PUSH", "POP", "push", "Pop"})
    for (const char* r : kRegs) taken += Check_Line(std::string(m) + " " + r);
  for (const char* line :
       {"DB 1,2,3,4", "DB 0", "DB 255", "db 7,0,255", "DB 256", "DB -1", "DB 1,,2", "DB 1,", "DB 01",
        "DB &HFF", "DB \"A\"", "DB 1, 2", "PUSH 5", "POP [EAX]", "PUSH L1", "PUSH AX"})
    taken += Check_Line(line);
  EXPECT_GE(taken, 4 * 11 + 4);
}

TEST(CommonLines, SpellingsLeftToTheGeneralPath) {
  std::string bytes;
  for (const char* line : {"MOV  EAX,1", "MOV EAX, 1", "MOV EAX,1 ", "MOV EAX", "MOV", "MOV EAX,1,2",
                           "MOVX EAX,1", "MOV AL,1", "MOV EAX,CV1", "MOV [EAX],1", "DB", "DW 1", "JMP L1"})
    EXPECT_FALSE(Encode_CommonLine(line, bytes)) << line;
}

TEST(CommonLines, JumpsMatchTheGeneralEncoderAndFixUp) {
  // Labels at 0 and 20; the code is 40 bytes of jumps at offsets 0, 10 and 20.
  LabelTable labels;
  labels.Add_LabelEntry("START", true);
  labels.Add_Length(20);
  labels.Add_LabelEntry("Mid_1", true);
  labels.Add_Length(20);
  const char* const mnemonics[] = {"JMP", "jmp", "JZ",  "JNZ", "jne", "JC", "JNC",  "JG",    "JL",  "JA",
                                   "JB",  "JGE", "JLE", "JAE", "JBE", "JO", "JNO",  "JS",    "JNS", "JP",
                                   "JPE", "JPO", "JNP", "JNA", "JNB", "JE", "JCXZ", "JECXZ", "JX",  "J"};
  const char* const targets[] = {"START", "mid_1", "MID_1", "NOWHERE", "EAX", "AL",
                                 "5",     "&H10",  "L1,2",  "[EAX]",   "_X"};
  int taken = 0;
  for (const char* m : mnemonics)
    for (const char* t : targets) {
      const std::string line = std::string(m) + " " + t;
      std::string fast;
      if (!Encode_CommonJump(line, fast)) continue;
      ++taken;
      Recorder boxes;
      LabelTable scratch;
      bool invalid = false;
      const std::string general = Dispatch_Line(Get_LineTerms(line), scratch, invalid);
      EXPECT_EQ(Spaced_Hex(fast), Spaced_Hex(general)) << line;
      EXPECT_TRUE(boxes.Messages().empty()) << line;
      for (std::int32_t offset : {0, 10, 20}) {
        CodeImage expected, actual;
        for (CodeImage* image : {&expected, &actual}) {
          image->Append_Code(std::string(static_cast<std::size_t>(offset), '\x90'));
          image->Append_Code(general);
          image->Append_Code(std::string(40 - offset - general.size(), '\x90'));
        }
        const auto length = static_cast<std::int32_t>(general.size());
        boxes.Clear();
        if (!Fix_CommonJump(line, actual, labels, offset, length)) {
          EXPECT_EQ(actual.Bytes(), expected.Bytes()) << line;  // left to the general fix-up
          continue;
        }
        const std::string fixed =
            Dispatch_FixUp(Get_LineTerms(line), expected, labels, FixLine{offset, length, line}, false);
        EXPECT_TRUE(boxes.Messages().empty()) << line << " at " << offset;
        EXPECT_EQ(Spaced_Hex(actual.Bytes()), Spaced_Hex(expected.Bytes())) << line << " at " << offset;
        EXPECT_EQ(Spaced_Hex(fixed),
                  Spaced_Hex(actual.Read(static_cast<std::size_t>(offset), general.size())));
      }
    }
  EXPECT_GT(taken, 50);
}

// Whole compiles with and without the short cut's shapes give the same image and listing.
TEST(CommonLines, RandomProgramsCompileAsBefore) {
  std::mt19937 rnd(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rnd() % n); };
  std::vector<std::string> mem;
  for (const char* r : kRegs)
    for (std::size_t d = 0; d < 12; ++d) mem.push_back(std::string("[") + r + kDisps[d] + "]");
  std::string program = "CONST K1 EQU 12\r\nCONST K2 = [EBX+8]\r\n";
  for (int i = 0; i < 3000; ++i) {
    const std::string r1 = kRegs[pick(8)], r2 = kRegs[pick(11)];
    switch (pick(8)) {
      case 0:
        program += "MOV " + r1 + "," + kNumbers[pick(13)];
        break;
      case 1:
        program += "ADD " + r1 + "," + mem[pick(mem.size())];
        break;
      case 2:
        program += "XOR " + mem[pick(mem.size())] + "," + r2;
        break;
      case 3:
        program += "CMP " + r1 + ",K1";
        break;
      case 4:
        program += "MOV " + r1 + ",K2";
        break;
      case 5:
        program += "L" + std::to_string(i) + ":\r\nNOP\r\nJMP L" + std::to_string(i);
        break;
      case 6:
        program += "DB " + std::to_string(pick(256)) + "," + std::to_string(pick(256));
        break;
      default:
        program += "PUSH " + r2 + "\r\nPOP " + r1;
        break;
    }
    program += "\r\n";
  }
  Recorder boxes;
  CompileSession session;
  session.Compile(program, {});
  // Reassemble each line on its own with the general dispatch and compare the rows.
  const Listing& listing = session.Listing_();
  ASSERT_TRUE(listing.Has_Addresses());
  EXPECT_TRUE(boxes.Messages().empty());
  for (std::size_t i = 0; i < listing.Line_Count(); ++i) {
    const std::string_view line = listing.PreCode_Line(i);
    if (line.empty() || line.find(':') != std::string_view::npos || line.substr(0, 4) == "JMP ") continue;
    std::string fast;
    if (!Encode_CommonLine(line, fast)) continue;
    LabelTable labels;
    bool invalid = false;
    EXPECT_EQ(Spaced_Hex(listing.Raw_Bytes(i)),
              Spaced_Hex(Dispatch_Line(Get_LineTerms(line), labels, invalid)))
        << line;
  }
}

}  // namespace
}  // namespace orvo
