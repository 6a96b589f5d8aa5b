#include <gtest/gtest.h>

#include <string>

#include "encoders/encoders.h"
#include "line_rows.h"

namespace orvo::test {
namespace {

TEST(SetccInt, Forms) {
  static constexpr BytesRow kRows[] = {
      {"INT 3", "CC", "int3"},
      {"INT &H3", "CC"},
      {"INT 3?", "CC"},
      {"INT &H21", "CD 21", "int 0x21"},
      {"INT 0FFh", "CD FF"},
      {"BSWAP EAX", "0F C8", "bswap eax"},
      {"bswap edi", "0F CF", "bswap edi"},
      {"SETZ AL", "0F 94 C0", "sete al"},
      {"SETNAE BL", "0F 92 C3", "setb bl"},
      {"SETG BYTE PTR [EBP-1]", "0F 9F 45 FF", "setg byte ptr [ebp - 1]"},
      {"SETPO CL", "0F 9B C1", "setnp cl"},
      {"setnle byte ptr [esp]", "0F 9F 04 24", "setg byte ptr [esp]"},
      {"VERR AX", "66 0F 00 E0"},
      {"VERW WORD PTR [EBX]", "66 0F 00 2B"},
      {"VERR EAX", "0F 00 E0"},
      {"VERW [ESI+8]", "0F 00 6E 08"},
  };
  Expect_Bytes(kRows);
}

TEST(SetccInt, Refusals) {
  static constexpr BoxRow kRows[] = {
      {"INT 5%", "Invalid type identifier\r\r\tUsage:\rINT imm8"},
      {"INT 300", "Invalid operand: 300\r\r\tUsage:\rINT imm8"},
      {"INT 300?", "Out of Byte", "INT 300"},
      {"INT X?", "Invalid operand: X\r\r\tUsage:\rINT imm8"},
      {"INT EAX", "Invalid operand: EAX\r\r\tUsage:\rINT imm8"},
      {"BSWAP AX", ""},
      {"SETZ EAX", "Error in SETZ:\r\tInvalid operand: r32\r\rUSAGE: SETZ r/m8"},
      {"SETQ AL", ""},
      {"SETE [EBX]", "Error in SETE:\r\tInvalid operand: m32\r\rUSAGE: SETE r/m8"},
      {"VERW AL", "Error in VERW:\r\tInvalid operand: r8\r\rUSAGE: VERW r/m16(32)"},
  };
  Expect_Boxes(kRows);
}

TEST(SetccInt, SetccNames) {
  static constexpr const char* kNames[] = {
      "SETO",  "SETNO", "SETB",   "SETNAE", "SETC",  "SETNC", "SETAE", "SETNB", "SETE",  "SETZ",
      "SETNE", "SETNZ", "SETBE",  "SETNA",  "SETA",  "SETS",  "SETNS", "SETP",  "SETPE", "SETNP",
      "SETPO", "SETL",  "SETNGE", "SETGE",  "SETNL", "SETLE", "SETNG", "SETG",  "SETNLE"};
  static_assert(std::size(kNames) == 29);
  for (const char* name : kNames) EXPECT_EQ(Get_SetccName(name), name);
  EXPECT_EQ(Get_SetccName(" setz "), "SETZ");
  EXPECT_EQ(Get_SetccName("SETNBE"), std::nullopt);
  EXPECT_EQ(Get_SetccName("SET"), std::nullopt);
  EXPECT_EQ(Get_SetccName("SET_Error"), std::nullopt);
}

}  // namespace
}  // namespace orvo::test
