#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "encoders/encoders.h"
#include "line_rows.h"
#include "support/shown.h"

namespace orvo::test {
namespace {

TEST(OneOperand, GroupForms) {
  static constexpr BytesRow kRows[] = {
      {"NOT EAX", "F7 D0", "not eax"},
      {"not eax", "F7 D0"},
      {"NEG BYTE PTR [ESI]", "F6 1E", "neg byte ptr [esi]"},
      {"MUL CX", "66 F7 E1", "mul cx"},
      {"IMUL BH", "F6 EF", "imul bh"},
      {"IDIV DWORD PTR [EBP-4]", "F7 7D FC", "idiv dword ptr [ebp - 4]"},
      {"DIV [ESP]", "F7 34 24", "div dword ptr [esp]"},
      {"IMUL [EBP]", "F7 6D 00", "imul dword ptr [ebp]"},
      {"MUL BYTE PTR [ESP+8]", "F6 64 24 08", "mul byte ptr [esp + 8]"},
      {"INC EAX", "FF C0", "inc eax"},  // never the one-byte 40h+r form
      {"DEC AL", "FE C8", "dec al"},
      {"INC WORD PTR [EBX+300]", "66 FF 83 2C 01 00 00", "inc word ptr [ebx + 0x12c]"},
      {"INC DWORD PTR [EAX+8&]", "FF 80 08 00 00 00", "inc dword ptr [eax + 8]"},
      {"DEC BYTE PTR [EBX+4?]", "FE 4B 04", "dec byte ptr [ebx + 4]"},
      {"NEG DWORD PTR [EBX+100?]", "F7 5B 64"},
      {"NOT [EBX+127]", "F7 53 7F"},
      {"NOT [EBX-128]", "F7 53 80"},
      {"NOT [EBX+128]", "F7 93 80 00 00 00"},
      {"NOT [EBX-129]", "F7 93 7F FF FF FF"},
      {"INC DWORD PTR EBX", "FF 03", "inc dword ptr [ebx]"},
  };
  Expect_Bytes(kRows);
}

TEST(OneOperand, Shifts) {
  static constexpr BytesRow kRows[] = {
      {"SHL EAX", "D1 E0", "shl eax, 1"},
      {"SHL EAX,1", "D1 E0", "shl eax, 1"},
      {"SHR AL,CL", "D2 E8", "shr al, cl"},
      {"SAR EDX,4", "C1 FA 04", "sar edx, 4"},
      {"ROL WORD PTR [EAX+8],3", "66 C1 40 08 03", "rol word ptr [eax + 8], 3"},
      {"SAL ECX,2", "C1 E1 02", "shl ecx, 2"},
      {"RCL BL,1", "D0 D3", "rcl bl, 1"},
      {"RCR DWORD PTR [EBP],CL", "D3 5D 00", "rcr dword ptr [ebp], cl"},
      {"ROR SI,&H1", "66 D1 CE", "ror si, 1"},
      {"SHR DWORD PTR [ESP+4],255", "C1 6C 24 04 FF"},
  };
  Expect_Bytes(kRows);
}

TEST(OneOperand, Refusals) {
  static constexpr BoxRow kRows[] = {
      {"RCR EBX,BL",
       "Invalid 2-nd operand in RCR r32,BL\r\r\tSyntax:\rRCRr/m8(16/32)\rRCRr/m8(16/32),1(CL,imm8)"},
      {"SHL EAX,300",
       "Invalid 2-nd operand in SHL r32,300\r\r\tSyntax:\rSHLr/m8(16/32)\rSHLr/m8(16/32),1(CL,imm8)"},
      {"NOT 5", ""},
      {"INC COUNTER", ""},
      {"SHL 5", ""},
      {"NOT [XYZ]", "Invalid use of label: XYZ\r\rA label cannot be part of an address."},
      // "?" forces one displacement byte: 200 and 300 do not fit it (-128..127).
      {"INC [EBX+300?]", "Displacement out of byte range: 300?\r\rA one-byte displacement is -128 to 127."},
      {"NEG DWORD PTR [EBX+200?]",
       "Displacement out of byte range: 200?\r\rA one-byte displacement is -128 to 127."},
      // Nine hex digits: more than a doubleword.
      {"INC [EBX+&H123456789]",
       "Invalid memory operand: [EBX+&H123456789]\r\rDisplacement out of range: &H123456789"},
      {"INC DWORD PTR [EAX+4294967296]",
       "Invalid memory operand: [EAX+4294967296]\r\rDisplacement out of range: 4294967296"},
  };
  Expect_Boxes(kRows);
}

TEST(OneOperand, EmptyOperandNamesNothing) {
  Recorder rec;
  EXPECT_EQ(Encode_OneOperand("NOT", "", ""), "");
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].text, "Invalid operand: ()\r\rSupported: \r\tNOT r/m8(16,32)");
}

// ---- Generated cross-check: every register, every base, the displacement boundaries ----------

struct Operand {
  std::string source;
  std::string decoded;
  int bits;
};

constexpr std::array<std::array<const char*, 8>, 3> kRegisters{{
    {"AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH"},
    {"AX", "CX", "DX", "BX", "SP", "BP", "SI", "DI"},
    {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"},
}};

// Displacement as the decoder prints it: decimal below 10, else 0x hex.
std::string Decoded_Disp(long v) {
  if (v == 0) return "";
  const long m = v < 0 ? -v : v;
  char buf[32];
  std::snprintf(buf, sizeof buf, m < 10 ? "%ld" : "0x%lx", m);
  return std::string(v < 0 ? " - " : " + ") + buf;
}

std::vector<Operand> Operands() {
  std::vector<Operand> ops;
  for (int w = 0; w < 3; ++w)
    for (const char* r : kRegisters[w]) ops.push_back({r, Lower(r), 8 << w});
  struct Disp {
    const char* text;
    long value;
  };
  static constexpr Disp kDisps[] = {{"", 0},        {"+4", 4},      {"-4", -4},       {"+127", 127},
                                    {"-128", -128}, {"+128", 128},  {"-129", -129},   {"+4?", 4},
                                    {"+4&", 4},     {"+&H7F", 127}, {"+70000", 70000}};
  static constexpr const char* kSizes[] = {"BYTE PTR ", "WORD PTR ", "DWORD PTR ", ""};
  static constexpr const char* kDecodedSizes[] = {"byte ptr ", "word ptr ", "dword ptr ", "dword ptr "};
  for (int s = 0; s < 4; ++s)
    for (const char* base : kRegisters[2])
      for (const Disp& d : kDisps)
        ops.push_back({std::string(kSizes[s]) + "[" + base + d.text + "]",
                       std::string(kDecodedSizes[s]) + "[" + Lower(base) + Decoded_Disp(d.value) + "]",
                       s == 3 ? 32 : 8 << s});
  return ops;
}

void Expect_Generated(std::string_view mnemonic, std::string_view decoded_mnemonic, const Operand& op,
                      std::string_view count = {}, std::string_view decoded_count = {}) {
  std::string line = std::string(mnemonic) + " " + op.source;
  if (!count.empty()) line += "," + std::string(count);
  Recorder rec;
  const std::string bytes = Assemble_Line(line);
  ASSERT_FALSE(bytes.empty()) << line;
  EXPECT_TRUE(rec.Messages().empty()) << line;
  Expect_Decodes(line, bytes, std::string(decoded_mnemonic) + " " + op.decoded + std::string(decoded_count));
}

TEST(OneOperand, GeneratedFormsDecodeAsWritten) {
  ASSERT_TRUE(Have_Disassembler()) << "the tests need Capstone (libcapstone-dev)";
  const std::vector<Operand> ops = Operands();
  for (const char* m : {"NOT", "NEG", "MUL", "IMUL", "DIV", "IDIV", "INC", "DEC"})
    for (const Operand& op : ops) Expect_Generated(m, Lower(m), op);
  struct Count {
    const char* source;
    const char* decoded;
  };
  static constexpr Count kCounts[] = {
      {"", ", 1"}, {"1", ", 1"}, {"CL", ", cl"}, {"5", ", 5"}, {"&HFF", ", 0xff"}};
  for (const char* m : {"ROL", "ROR", "RCL", "RCR", "SHL", "SHR", "SAR"})
    for (const Operand& op : ops)
      for (const Count& c : kCounts) Expect_Generated(m, Lower(m), op, c.source, c.decoded);
  for (const Operand& op : ops) {
    if (op.bits == 8) {
      Expect_Generated("SETE", "sete", op);
      continue;
    }
    for (const char* m : {"PUSH", "POP", "CALL", "JMP"}) Expect_Generated(m, Lower(m), op);
  }
}

TEST(OneOperand, ByteFormsOfCallJmpPushAreRefused) {
  static constexpr BoxRow kRows[] = {
      {"CALL AL", "Invalid operand: AL(r8)\r\rSupported: \r\tCALL r/m16(32)"},
      {"JMP BYTE PTR [EBX]", "Invalid operand: BYTE PTR [EBX](m8)\r\rSupported: \r\tJMP r/m16(32)"},
      {"PUSH BH", "Invalid operand: BH(r8)\r\rSupported: \r\tPUSH r/m16(32)"},
  };
  Expect_Boxes(kRows);
}

}  // namespace
}  // namespace orvo::test
