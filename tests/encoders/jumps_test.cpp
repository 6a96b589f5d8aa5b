#include <gtest/gtest.h>

#include "encoders/encoders.h"
#include "line_rows.h"

namespace orvo::test {
namespace {

TEST(Jumps, Forms) {
  static constexpr BytesRow kRows[] = {
      {"JMP label", "E9 00 00 00 00"},
      {"JZ label", "0F 84 00 00 00 00"},
      {"jnz Next", "0F 85 00 00 00 00"},
      {"JNAE label", "0F 82 00 00 00 00"},
      {"JC label", "0F 82 00 00 00 00"},
      {"JNLE x", "0F 8F 00 00 00 00"},
      {"JMP EAX", "FF E0", "jmp eax"},
      {"JMP DWORD PTR [EBX+4]", "FF 63 04", "jmp dword ptr [ebx + 4]"},
      {"JMP AX", "66 FF E0", "jmp ax"},
      {"JMP 5", "EB 05", "jmp 7"},
      {"JMP -2", "EB FE", "jmp 0"},
      {"JMP 200", "E9 C8 00 00 00", "jmp 0xcd"},  // EBh would sign-extend C8h
      {"JMP 200?", "EB C8"},
      {"JMP 5&", "E9 05 00 00 00", "jmp 0xa"},
      {"JMP 300", "66 E9 2C 01"},
      {"call edx", "FF D2", "call edx"},
      {"CALL [EBP+8]", "FF 55 08", "call dword ptr [ebp + 8]"},
      {"CALL [ESP+8]", "FF 54 24 08", "call dword ptr [esp + 8]"},
      {"CALL BX", "66 FF D3", "call bx"},
      {"CALL 5&", "E8 05 00 00 00", "call 0xa"},
      {"CALL 300", "66 E8 2C 01"},
      {"CALL Routine", "E8 00 00 00 00"},  // rel32 written by the label pass
      {"RET", "C3", "ret"},
      {"ret", "C3"},
      {"RET 8", "C2 08 00", "ret 8"},
      {"RET 16%", "C2 10 00", "ret 0x10"},
      {"RET 300", "C2 2C 01", "ret 0x12c"},
      {"RET 8?", "C2 08 00"},
      {"RETN", "C3"},
      {"RETF", "CB", "retf"},
      {"RETF 8", "CA 08 00", "retf 8"},
      {"RETF 300", "CA 2C 01", "retf 0x12c"},
      {"RETN 8", "C2 08 00", "ret 8"},
      {"LOOP x", "E2 00"},
      {"LOOPE x", "E1 00"},
      {"LOOPZ x", "E1 00"},
      {"LOOPNE x", "E0 00"},
      {"LOOPNZ x", "E0 00"},
      {"JCXZ x", "67 E3 00"},
      {"JECXZ x", "E3 00"},
      {"CALL _x", "E8 00 00 00 00"},  // a label may begin with "_"
      {"JMP _x", "E9 00 00 00 00"},
  };
  Expect_Bytes(kRows);
}

TEST(Jumps, Refusals) {
  static constexpr BoxRow kRows[] = {
      {"CALL 5", "Not supported:\r\tCALL rel8"},
      {"CALL x-y",
       "Error in CALL.\r\rUSAGE: CALL Register32/imm\r   Register32 - EAX,ECX,EDX,EBX,ESP,EBP,ESI,EDI.\r   "
       "imm - "
       "imm8,imm16,imm32"},
      {"CALL 70000%", "Out of Word", "CALL 70000"},
      {"JMP 300?", "Out of Byte", "JMP 300"},
      {"JMP x-y", ""},
      {"JMP -x", ""},
      {"JMP", ""},
      {"CALL",
       "Error in CALL.\r\rUSAGE: CALL Register32/imm\r   Register32 - EAX,ECX,EDX,EBX,ESP,EBP,ESI,EDI.\r   "
       "imm - "
       "imm8,imm16,imm32"},
      {"RET 70000",
       "Not a valid imm type: imm32\r\r\tUSAGE:\rRET imm16.\r\rimm8 will converted automaticaly."},
      {"RET 8&", "Not a valid imm type: imm32\r\r\tUSAGE:\rRET imm16.\r\rimm8 will converted automaticaly."},
      {"RET 300?", "Out of Byte in Ret imm8"},
      {"RET 70000%", "Out of Word in Ret imm16"},
      {"RET EAX", ""},
      {"JNQ Next", ""},
      {"JTAB DB 1", ""},
  };
  Expect_Boxes(kRows);
}

TEST(Jumps, ConditionalOpcodeTable) {
  struct Row {
    const char* mnemonic;
    const char* hex;
  };
  static constexpr Row kRows[] = {
      {"JO", "0F80"}, {"JNO", "0F81"},  {"JB", "0F82"},  {"JAE", "0F83"}, {"JNB", "0F83"}, {"JNC", "0F83"},
      {"JE", "0F84"}, {"JNE", "0F85"},  {"JBE", "0F86"}, {"JNA", "0F86"}, {"JA", "0F87"},  {"JNBE", "0F87"},
      {"JS", "0F88"}, {"JNS", "0F89"},  {"JP", "0F8A"},  {"JPE", "0F8A"}, {"JPO", "0F8B"}, {"JNP", "0F8B"},
      {"JL", "0F8C"}, {"jnge", "0F8C"}, {"JGE", "0F8D"}, {"JNL", "0F8D"}, {"JLE", "0F8E"}, {"JNG", "0F8E"},
      {"JG", "0F8F"}, {"JMP", "E9"},    {"JCXZ", ""},    {"JQ", ""},      {" JZ", ""},
  };
  for (const Row& row : kRows)
    EXPECT_EQ(Spaced_Hex(Get_JumpOpcode(row.mnemonic)), Spaced_Hex(Hex_Bytes(row.hex))) << row.mnemonic;
}

TEST(Jumps, LoopMnemonics) {
  for (const char* m : {"LOOP", "loope", "LOOPZ", "LOOPNE", "LOOPNZ", "JCXZ", " JECXZ "})
    EXPECT_TRUE(Is_LoopMnemonic(m)) << m;
  for (const char* m : {"JMP", "LOOPX", "", "JNZ"}) EXPECT_FALSE(Is_LoopMnemonic(m)) << m;
}

}  // namespace
}  // namespace orvo::test
