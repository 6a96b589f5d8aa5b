#include "two_operand_support.h"

namespace orvo::test {
namespace {

TEST(InOut, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"IN AL,96", "E4 60"},
      {"IN AX,96", "66 E5 60"},
      {"IN EAX,96", "E5 60"},
      {"IN AL,DX", "EC"},
      {"IN AX,DX", "66 ED"},
      {"IN EAX,DX", "ED"},
      {"OUT 96,AL", "E6 60"},
      {"OUT 96,AX", "66 E7 60"},
      {"OUT 96,EAX", "E7 60"},
      {"OUT DX,AL", "EE"},
      {"OUT DX,AX", "66 EF"},
      {"OUT DX,EAX", "EF"},
      {"IN AL,&HFF", "E4 FF"},
      {"IN AL,&HF?", "E4 0F"},  // the suffix is no digit
      {"OUT 96?,AL", "E6 60"},
  });
}

constexpr std::string_view kInDst =
    "Error in IN\r invalid destination operand.\r\rMust be:\r\tAL or AX or EAX.";
constexpr std::string_view kInSrc = "Error in IN\r invalid source operand.\r\rMust be:\r\timm8 or DX.";
constexpr std::string_view kOutDst = "Error in OUT\r invalid destination operand.\r\rMust be:\r\tDX or imm8.";
constexpr std::string_view kOutSrc = "Error in OUT\r invalid source operand.\r\rMust be:\r\tAL or AX or EAX.";

TEST(InOut, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"IN BL,DX", kInDst},
           {"OUT CX,AL", kOutDst},
           {"IN AL,CX", kInSrc},
           {"OUT DX,BL", kOutSrc},
           {"IN BL,CX", kInDst},  // destination first, one box only
           {"IN AL,300", kInSrc},
           {"OUT 300,AL", kOutDst},
           {"IN AL,PORT", kInSrc},
           {"IN [EAX],DX", kInDst},
           {"OUT &H60?,AL", kOutDst},  // the suffix counts as a third digit: imm16
       })
    Expect_Refusal(row);
}

TEST(Lea, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"LEA EAX,[EBX+4]", "8D 43 04"},
      {"LEA AX,[EBX]", "66 8D 03"},
      {"LEA ESI,[ESP+8]", "8D 74 24 08"},
      {"LEA EAX,[EBP]", "8D 45 00"},
      {"LEA EDI,BYTE PTR [EDX-200]", "8D BA 38 FF FF FF"},
      {"LEA SI,DWORD PTR [EBP]", "66 8D 75 00"},
      {"LEA ESP,[ESP+ESI*8-128]", "8D 64 F4 80"},
      {"LEA ECX,[EAX*4+1000]", "8D 0C 85 E8 03 00 00"},
  });
}

constexpr std::string_view kLeaDst = "Error in LEA\r invalid destination operand.\r\rMust be:\r\tr16 or r32.";
constexpr std::string_view kLeaImm =
    "Error in LEA\r invalid source operand.\r\rNot supported:\r\timm8 or imm16 or imm32.";
constexpr std::string_view kLeaSrc = "Error in LEA\r invalid source operand.\r\rMust be:\r\tm16 or m32.";

TEST(Lea, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"LEA AL,[EBX]", kLeaDst},
           {"LEA [EBX],EAX", kLeaDst},
           {"LEA EAX,5", kLeaImm},
           {"LEA EAX,MYLABEL", kLeaImm},
           // Without an encoding of their own these would come out as LEA r,[EAX].
           {"LEA EAX,[SI]", "Invalid memory operand: [SI]\r\rNot a 32-bit register: SI"},
           {"LEA EAX,AL", kLeaSrc},
           // A register has no address: 8D with mod 11 raises #UD.
           {"LEA EAX,EBX", kLeaSrc},
           {"LEA AX,BX", kLeaSrc},
           {"LEA ESP,ESP", kLeaSrc},
       })
    Expect_Refusal(row);
}

TEST(Test, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"TEST AL,1", "A8 01"},
      {"TEST AX,1", "66 A9 01 00"},
      {"TEST EAX,1", "A9 01 00 00 00"},
      {"TEST BL,1", "F6 C3 01"},
      {"TEST ECX,1", "F7 C1 01 00 00 00"},
      {"TEST BYTE PTR [EBX],1", "F6 03 01"},
      {"TEST [EBX],1", "F7 03 01 00 00 00"},
      {"TEST [EBX],EAX", "85 03"},
      {"TEST EAX,EBX", "85 C3"},
      {"TEST DX,SI", "66 85 D6"},
      {"TEST EAX,MYLABEL", "A9 00 00 00 00"},
      {"TEST WORD PTR [ESI+4],65535", "66 F7 46 04 FF FF"},
      {"TEST [EDI],CL", "84 0F"},
      {"TEST AX,00255", "66 A9 FF 00"},
  });
}

TEST(Test, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"TEST EAX,[EBX]", "Error in TEST.\r\r\tNot supported:\rTEST r32,m32",
                      MsgStyle::OkExclamation},
           {"TEST AL,300", "Error in TEST.\r\r\tNot supported:\rTEST AL,imm16", MsgStyle::OkExclamation},
           {"TEST DWORD PTR [EBX],AL", "Invalid operand(s)\rTEST m32,r8"},
           {"TEST BYTE PTR [EBX],256", "Error in TEST.\r\r\tNot supported:\rTEST m8,imm16",
            MsgStyle::OkExclamation},
       })
    Expect_Refusal(row);
}

}  // namespace
}  // namespace orvo::test
