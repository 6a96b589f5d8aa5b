// The plain encoders against the full ones, line by line: random lines of every mnemonic that has
// a plain encoder, with operands of every kind the full encoders read (registers of each width,
// addresses with and without size words, numbers in every notation and their near misses, names,
// stray text). Dispatch with the plain encoders first and without them must give the same bytes,
// the same boxes in the same order and the same fix-up.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "assembler/dispatch.h"
#include "assembler/labels.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

struct Outcome {
  std::string bytes;
  FixUp fixup = FixUp::None;
  bool invalid_label = false;
  std::vector<std::string> boxes;
};

Outcome Dispatch_Both(const std::string& line, bool plain_first) {
  test::Recorder rec;
  LabelTable labels;
  Outcome o;
  const LineTerms terms = Get_LineTerms(line);
  o.bytes = plain_first ? Dispatch_Line(terms, labels, o.invalid_label, o.fixup)
                        : Dispatch_Line_Full(terms, labels, o.invalid_label, o.fixup);
  for (const Message& m : rec.Messages()) o.boxes.push_back(m.title.value_or("") + "|" + m.text);
  return o;
}

TEST(PlainEncoders, GiveWhatTheFullEncodersGive) {
  const char* const mnemonics[] = {"MOV",  "ADD",   "OR",    "ADC", "SBB", "AND",  "SUB", "XOR",  "CMP",
                                   "TEST", "LEA",   "INC",   "DEC", "NOT", "NEG",  "MUL", "IMUL", "DIV",
                                   "IDIV", "ROL",   "ROR",   "RCL", "RCR", "SHL",  "SAL", "SHR",  "SAR",
                                   "PUSH", "POP",   "MOVZX", "MOVSX", "BSF", "BSR", "DB",  "DW",   "DD",
                                   "JMP",  "JZ",    "JNC",   "LOOP", "JECXZ", "mov", "Add"};
  const char* const operands[] = {
      // registers
      "EAX", "ECX", "ESP", "EBP", "AX", "SI", "AL", "CL", "AH", "BH", "eax", "CS", "DS", "CR0", "RAX",
      // addresses
      "[EBX]", "[EBP]", "[ESP]", "[EAX+4]", "[ESI-128]", "[EDI+127]", "[EDX+128]", "[EBX+ECX*2]",
      "[ESI+EDX*8-77330]", "[ECX*4+0x10]", "[EBX+0FFh]", "[EBX+&H7F]", "[EBX+&H07F]", "[EAX-&B101]",
      "[EBX+0b1111111]", "[EBX+1Fh]", "[EBX+5?]", "[EBX+5&]", "[EBX+ESP]", "[ESP*2]", "[EBX+]", "[EBX] 5",
      "[EBX+LBL]", "[EBX+4294967296]", "BYTE PTR [EBX]", "WORD PTR [ESI+4]", "DWORD PTR [EBP-8]",
      "BYTE PTR EBX", "DWORD PTR [EAX+EBX*4+12]", "WORD PTR [ECX]",
      // numbers
      "0", "1", "5", "127", "128", "255", "256", "0255", "65535", "65536", "2147483647", "2147483648",
      "4294967295", "123456789", "1234567890", "0x7F", "0x80", "0xFF", "0x00FF", "0x100", "0xFFFF", "0x10000",
      "0xFFFFFFFF", "0x000000001", "0x100000000", "&HFF", "&H0FF", "&HFFFF", "&HFFFFFFFF", "&H100000000",
      "&B1", "&B11111111", "&B000000001", "&B1111111111111111", "0b101", "0b11111111", "101b",
      "1111111111111111b", "2Dh", "0FFh", "0FFFFh", "0ABCDEF01h", "-1", "-128", "-129", "-&H80", "5?", "300%",
      "7&", "1E2", "1 2", "&HG", "0x", "0b2", "1abc", "12h3",
      // names and stray text
      "LBL", "_x", "L1", "EAX EBX", "5,6", "", " EAX ", "\tEAX", "ABh", "L1x", "l1", "PUSH", "PTR", "DWORD",
      "ES", "FS", "ST0", "EIP", "_", " L1", "L1 ", "L 1", "AX1", "1L"};
  std::mt19937 rnd(2026);
  int plain_lines = 0;
  for (int n = 0; n < 100000; ++n) {
    std::string line = mnemonics[rnd() % std::size(mnemonics)];
    const int count = static_cast<int>(rnd() % 4);
    for (int k = 0; k < count; ++k) {
      line += k == 0 ? " " : ",";
      line += operands[rnd() % std::size(operands)];
    }
    const Outcome full = Dispatch_Both(line, false);
    const Outcome plain = Dispatch_Both(line, true);
    EXPECT_EQ(test::Spaced_Hex(plain.bytes), test::Spaced_Hex(full.bytes)) << line;
    EXPECT_EQ(plain.boxes, full.boxes) << line;
    EXPECT_EQ(plain.fixup, full.fixup) << line;
    EXPECT_EQ(plain.invalid_label, full.invalid_label) << line;
    if (!full.bytes.empty() && full.boxes.empty()) ++plain_lines;
  }
  // Enough lines assemble for the comparison to cover the plain shapes, not only refusals.
  EXPECT_GT(plain_lines, 5000);
}

}  // namespace
}  // namespace orvo
