#include "run/insn_length.h"

#include <capstone/capstone.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace orvo {
namespace {

struct LengthRow {
  const char* hex;
  std::size_t length;
};

// clang-format off
constexpr LengthRow kRows[] = {
    {"90",                   1},  // NOP
    {"55",                   1},  // PUSH EBP
    {"89E5",                 2},  // MOV EBP,ESP
    {"B80F000000",           5},  // MOV EAX,15
    {"66B8FFFF",             4},  // MOV AX,-1
    {"B07F",                 2},  // MOV AL,7Fh
    {"FF750C",               3},  // PUSH [EBP+12]
    {"FF5508",               3},  // CALL [EBP+8]
    {"8B442404",             4},  // MOV EAX,[ESP+4]
    {"8B048500000000",       7},  // MOV EAX,[EAX*4+0]
    {"A100000000",           5},  // MOV EAX,[0]
    {"67A10000",             4},  // MOV EAX,[0] with 16-bit address
    {"C7058000010000000000", 10}, // MOV DWORD [10080h],0
    {"C6050800400000",       7},  // MOV BYTE [400008h],0 with imm8 -> 7
    {"81C300010000",         6},  // ADD EBX,256
    {"83C301",               3},  // ADD EBX,1
    {"F7F1",                 2},  // DIV ECX
    {"F7C101000000",         6},  // TEST ECX,1
    {"F6C101",               3},  // TEST CL,1
    {"C21000",               3},  // RET 16
    {"C8100001",             4},  // ENTER 16,1
    {"E8FBFFFFFF",           5},  // CALL $
    {"EBFE",                 2},  // JMP $
    {"0F8500000000",         6},  // JNZ rel32
    {"0FB6C0",               3},  // MOVZX EAX,AL
    {"0FBA E005",            4},  // BT EAX,5
    {"0F0B",                 2},  // UD2
    {"0FC8",                 2},  // BSWAP EAX
    {"0FA2",                 2},  // CPUID
    {"F3A4",                 2},  // REP MOVSB
    {"E460",                 2},  // IN AL,60h
    {"EC",                   1},  // IN AL,DX
    {"CD21",                 2},  // INT 21h
    {"6A09",                 2},  // PUSH 9
    {"6809000000",           5},  // PUSH 9 (imm32)
    {"6BC003",               3},  // IMUL EAX,EAX,3
    {"69C000010000",         6},  // IMUL EAX,EAX,256
    {"0000",                 2},  // ADD [EAX],AL
    {"8B",                   0},  // cut short
};
// clang-format on

TEST(InstructionLength, Table) {
  for (const LengthRow& row : kRows)
    EXPECT_EQ(Instruction_Length(test::Hex_Bytes(row.hex)), row.length) << row.hex;
}

TEST(InstructionLength, AgreesWithCapstone) {
  csh cs;
  ASSERT_EQ(cs_open(CS_ARCH_X86, CS_MODE_32, &cs), CS_ERR_OK);
  for (const LengthRow& row : kRows) {
    if (row.length == 0) continue;
    const std::string bytes = test::Hex_Bytes(row.hex);
    cs_insn* insn = nullptr;
    const size_t n =
        cs_disasm(cs, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0x400000, 1, &insn);
    ASSERT_EQ(n, 1u) << row.hex;
    EXPECT_EQ(insn[0].size, Instruction_Length(bytes)) << row.hex;
    cs_free(insn, n);
  }
  cs_close(&cs);
}

}  // namespace
}  // namespace orvo
