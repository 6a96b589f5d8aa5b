// Lines that the dispatch rows' plain encoders take (registers, whole addresses, plain numbers in
// every notation) beside the near misses they must leave to the full encoders: a number one digit
// too wide, a size word that contradicts its register, a count or source the form has not. The
// taken ones assemble to what they say; the others keep the box the full encoders show.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "assembler/compile.h"
#include "support/disasm.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;
using test::Spaced_Hex;

struct PlainCase {
  std::string_view line;
  std::string_view hex;     // the line's bytes, "" when it is refused
  std::string_view expect;  // what the bytes decode to, or the start of the refusal's first box
};

class PlainLines : public testing::TestWithParam<PlainCase> {};

TEST_P(PlainLines, AssembleToWhatTheySayOrKeepTheirBox) {
  const PlainCase& c = GetParam();
  Recorder rec;
  CompileSession s;
  const CompileOutcome outcome = s.Compile(std::string(c.line), {});
  if (c.hex.empty()) {
    EXPECT_NE(outcome, CompileOutcome::Finished) << c.line;
    ASSERT_FALSE(rec.Messages().empty()) << c.line;
    EXPECT_EQ(rec.Messages()[0].text.substr(0, c.expect.size()), c.expect) << c.line;
    return;
  }
  ASSERT_EQ(outcome, CompileOutcome::Finished) << c.line;
  EXPECT_TRUE(rec.Messages().empty()) << c.line << ": " << rec.Messages()[0].text;
  EXPECT_EQ(Spaced_Hex(s.Image().Bytes()), Spaced_Hex(Hex_Bytes(c.hex))) << c.line;
  if (!c.expect.empty()) {
    ASSERT_TRUE(test::Have_Disassembler());
    EXPECT_EQ(test::Disassemble32(s.Image().Bytes()), c.expect) << c.line;
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Numbers, PlainLines, testing::Values(
    // A byte counts the hex digits of the &H form: 0FFh and 0x00FF lose their leading zeros,
    // &H0FF keeps three digits and is no byte.
    PlainCase{"MOV BL,0FFh",                 "B3FF",       "mov bl, 0xff"},
    PlainCase{"MOV BL,0x00FF",               "B3FF",       "mov bl, 0xff"},
    PlainCase{"MOV BL,&H0FF",                "",           "Invalid operand(s)"},
    PlainCase{"MOV AX,0b1111000011110000",   "66B8F0F0",   "mov ax, 0xf0f0"},
    PlainCase{"MOV AX,&B00001",              "66B80100",   "mov ax, 1"},
    PlainCase{"MOV ECX,2147483647",          "B9FFFFFF7F", "mov ecx, 0x7fffffff"},
    PlainCase{"MOV ECX,2147483648",          "",           "Overflow"},
    PlainCase{"MOV ECX,&HFFFFFFFF",          "B9FFFFFFFF", "mov ecx, 0xffffffff"},
    PlainCase{"MOV ECX,0x000000001",         "B901000000", "mov ecx, 1"},
    PlainCase{"ADD AL,&HB6",                 "04B6",       "add al, 0xb6"},
    PlainCase{"SUB WORD PTR [EBX+80h],65535", "6681AB80000000FFFF", "sub word ptr [ebx + 0x80], 0xffff"},
    PlainCase{"SUB WORD PTR [EBX+80h],65536", "",          "imm16 is out of range"},
    PlainCase{"ADD BYTE PTR [EDI+0b110101],&HB6", "804735B6", "add byte ptr [edi + 0x35], 0xb6"},
    PlainCase{"CMP DWORD PTR [ESI+EDX*8-77330],0FFFFh", "81BCD6EED1FEFFFFFF0000",
              "cmp dword ptr [esi + edx*8 - 0x12e12], 0xffff"},
    PlainCase{"DB &B111000,5Eh,148,85,10000010b", "385E945582", ""},
    PlainCase{"DB 0x0FF",                    "FF",         ""},
    PlainCase{"DB 256",                      "",           "Error in DB:"},
    PlainCase{"DB 1,,2",                     "",           "Error in DB:"},
    PlainCase{"DW 0x28,1001100100001100b",   "28000C99",   ""},
    PlainCase{"DD 6742,0xDAF2B69,&HFFFFFFFF", "561A0000692BAF0DFFFFFFFF", ""},
    // A named data line's first word is its label, however long.
    PlainCase{"ABCDEFGHIJKLMNO DB 5",        "05",         ""},
    PlainCase{"ABCDEFGHIJKLMNOPQRSTUVWXYZ DW 0x1234", "3412", ""}
));

INSTANTIATE_TEST_SUITE_P(Shapes, PlainLines, testing::Values(
    PlainCase{"TEST AH,1",                   "F6C401",     "test ah, 1"},
    PlainCase{"TEST ECX,[EBX]",              "",           "Error in TEST."},
    PlainCase{"LEA EDI,[ESI-0Bh]",           "8D7EF5",     "lea edi, [esi - 0xb]"},
    PlainCase{"LEA BX,[EBX+ECX*2+&H7F]",     "668D5C4B7F", "lea bx, [ebx + ecx*2 + 0x7f]"},
    PlainCase{"LEA BL,[EAX]",                "",           "Error in LEA"},
    PlainCase{"XOR [EBP],ESI",               "317500",     "xor dword ptr [ebp], esi"},
    PlainCase{"MOV EAX,WORD PTR [EBX]",      "",           "Invalid operand(s)"},
    PlainCase{"INC BYTE PTR [EAX-109]",      "FE4093",     "inc byte ptr [eax - 0x6d]"},
    PlainCase{"DEC DH",                      "FECE",       "dec dh"},
    PlainCase{"NEG WORD PTR [ESP]",          "66F71C24",   "neg word ptr [esp]"},
    PlainCase{"IMUL DWORD PTR [EBP+8]",      "F76D08",     "imul dword ptr [ebp + 8]"},
    PlainCase{"SHL EAX",                     "D1E0",       "shl eax, 1"},
    PlainCase{"SAR WORD PTR [EBX],&H01",     "66D13B",     "sar word ptr [ebx], 1"},
    PlainCase{"ROL ECX,CL",                  "D3C1",       "rol ecx, cl"},
    PlainCase{"RCR EDX,CX",                  "",           "Invalid 2-nd operand in RCR"},
    PlainCase{"SHL DWORD PTR [ESI+4],0x1F",  "C166041F",   "shl dword ptr [esi + 4], 0x1f"},
    PlainCase{"SHL EAX,256",                 "",           "Invalid 2-nd operand in SHL"},
    PlainCase{"POP EDI",                     "5F",         "pop edi"},
    PlainCase{"PUSH AX",                     "66FFF0",     "push ax"},
    PlainCase{"POP AX",                      "6658",       "pop ax"},
    PlainCase{"PUSH DWORD PTR [EBP]",        "FF7500",     "push dword ptr [ebp]"},
    PlainCase{"PUSH WORD PTR [EBX]",         "66FF33",     "push word ptr [ebx]"},
    PlainCase{"POP WORD PTR [ESI+4]",        "668F4604",   "pop word ptr [esi + 4]"},
    PlainCase{"PUSH BYTE PTR [EBX]",         "",           "Invalid operand: BYTE PTR [EBX](m8)"},
    // 6Ah sign-extends its byte: 128 and up take 68h and four bytes.
    PlainCase{"PUSH 0x7F",                   "6A7F",       "push 0x7f"},
    PlainCase{"PUSH &HFF",                   "68FF000000", "push 0xff"},
    PlainCase{"PUSH 65536",                  "6800000100", "push 0x10000"},
    PlainCase{"MOVZX EAX,BYTE PTR [EBX+1]",  "0FB64301",   "movzx eax, byte ptr [ebx + 1]"},
    PlainCase{"MOVZX EAX,[EBX]",             "",           "Error in MOVZX"},
    PlainCase{"MOVSX CX,DL",                 "660FBECA",   "movsx cx, dl"},
    PlainCase{"BSF EAX,[EBX]",               "0FBC03",     "bsf eax, dword ptr [ebx]"},
    PlainCase{"BSR EAX,WORD PTR [EBX]",      "",           "Invalid operand(s)"},
    PlainCase{"IMUL ECX,EDX,0x10",           "69CA10000000", "imul ecx, edx, 0x10"},
    PlainCase{"IMUL CX,DX,65535",            "6669CAFFFF", "imul cx, dx, 0xffff"},
    PlainCase{"IMUL CX,DX,65536",            "",           "Error in IMUL"},
    PlainCase{"IMUL EBX,&H7FFFFFFF",         "69DBFFFFFF7F", "imul ebx, ebx, 0x7fffffff"}
));
// clang-format on

}  // namespace
}  // namespace orvo
