#include "encoders/encoders.h"
#include "two_operand_support.h"

namespace orvo::test {
namespace {

TEST(Alu, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"ADD EAX,5", "05 05 00 00 00"},
      {"ADD AX,5", "66 05 05 00"},
      {"ADD AL,5", "04 05"},
      {"ADD EBX,5", "81 C3 05 00 00 00"},
      {"ADD EBX,1", "81 C3 01 00 00 00"},  // no sign-extended imm8 form
      {"CMP ECX,5", "81 F9 05 00 00 00"},
      {"OR BYTE PTR [EBX],1", "80 0B 01"},
      {"ADD [EBX],5", "81 03 05 00 00 00"},
      {"SUB ECX,EDX", "2B CA"},
      {"XOR EAX,EAX", "33 C0"},
      {"XOR AL,[ESI]", "32 06"},
      {"AND AX,[EBX]", "66 23 03"},
      {"ADC [EBX+8],EAX", "11 43 08"},
      {"CMP [EBX],AL", "38 03"},
      {"SBB DX,CX", "66 1B D1"},
      {"SUB WORD PTR [ESP+4],BX", "66 29 5C 24 04"},
      {"AND CL,&H0F", "80 E1 0F"},
      {"CMP AX,-1", "66 3D FF FF"},
      {"XOR DWORD PTR [EBP],7", "81 75 00 07 00 00 00"},
      {"ADD EAX,MYLABEL", "05 00 00 00 00"},
      {"CMP ESI,MYLABEL", "81 FE 00 00 00 00"},
      {"SUB [EDI+&H10],300%", "66 81 6F 10 2C 01"},
  });
}

TEST(Alu, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"CMP AL,300", "Invalid operand(s)\rCMP AL,imm16"},
           {"ADD BL,300", "Invalid operand(s)\rADD r8,imm16"},
           {"ADD EAX,CX", "Invalid operand(s)\rADD r32,r16"},
           {"SUB [EBX],[ECX]", "\tNot Supported:\rSUB m32, m32"},
           {"ADD AX,70000", "imm16 is out of range", MsgStyle::OkExclamation, "ADD AX,70000"},
       })
    Expect_Refusal(row);
}

// Decimal immediates at the edges of each width: the digits written count as well as the
// value (0255 is no imm8), and the bytes follow the value.
TEST(Alu, DecimalImmediatesAtTheEdges) {
  static constexpr BytesRow kFits[] = {
      {"ADD AL,255", "04 FF"},
      {"ADD AL,000", "04 00"},
      {"ADD AX,65535", "66 05 FF FF"},
      {"ADD AX,0", "66 05 00 00"},
      {"MOV EAX,999999999", "B8 FF C9 9A 3B"},
      {"MOV EAX,0000000001", "B8 01 00 00 00"},
      {"ADD EAX,128", "05 80 00 00 00"},
      {"CMP BYTE PTR [EAX],255", "80 38 FF"},
      {"CMP WORD PTR [EAX],65535", "66 81 38 FF FF"},
      {"OUT 255,AL", "E6 FF"},
      {"TEST AL,255", "A8 FF"},
      {"MOV CL,9", "B1 09"},
  };
  Expect_Bytes(kFits);
  for (const char* line : {"ADD AL,256", "ADD AL,0255", "ADD AX,65536", "ADD AX,065535",
                           "CMP WORD PTR [EAX],99999", "IN AL,256", "TEST AL,300"}) {
    Recorder rec;
    EXPECT_EQ(Assemble_Line(line), "") << line;
    EXPECT_EQ(rec.Messages().size(), 1u) << line;
  }
}

TEST(Alu, IsAluLine) {
  EXPECT_TRUE(Is_AluLine("or eax,1"));
  EXPECT_TRUE(Is_AluLine("  CMP EAX,Next"));
  EXPECT_TRUE(Is_AluLine("Sbb eax,1"));
  EXPECT_FALSE(Is_AluLine("ORX EAX,1"));
  EXPECT_FALSE(Is_AluLine("ADD"));
  EXPECT_FALSE(Is_AluLine("ADD\tEAX,1"));  // a TAB is no blank
  EXPECT_FALSE(Is_AluLine("MOV EAX,1"));
}

}  // namespace
}  // namespace orvo::test
