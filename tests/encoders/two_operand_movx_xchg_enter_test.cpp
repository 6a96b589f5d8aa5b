#include "two_operand_support.h"

namespace orvo::test {
namespace {

TEST(MovxBitScan, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"MOVZX EAX,BL", "0F B6 C3"},
      {"MOVZX AX,BL", "66 0F B6 C3"},
      {"MOVSX EAX,CX", "0F BF C1"},
      {"MOVZX EAX,BYTE PTR [EBX]", "0F B6 03"},
      {"MOVSX ECX,WORD PTR [ESI+4]", "0F BF 4E 04"},
      {"MOVZX EDX,BYTE PTR [ESP]", "0F B6 14 24"},
      {"MOVSX DI,BYTE PTR [EBP]", "66 0F BE 7D 00"},
      {"BSF EAX,EBX", "0F BC C3"},
      {"BSR AX,[EBX]", "66 0F BD 03"},
      {"BSF ECX,[ESP]", "0F BC 0C 24"},
      {"BSR EDI,[EBP+128]", "0F BD BD 80 00 00 00"},
  });
}

constexpr std::string_view kMovzx = "Error in MOVZX\r\r\tUSAGE:\rMOVZX r16,r/m8 or r32,r/m8 or r32,r/m16";

TEST(MovxBitScan, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"MOVZX EAX,[EBX]", kMovzx},
           {"MOVZX AX,WORD PTR [EBX]", kMovzx},
           {"movzx eax,eax", kMovzx},
           {"MOVSX EAX,5", "Error in MOVSX\r\r\tUSAGE:\rMOVSX r16,r/m8 or r32,r/m8 or r32,r/m16"},
           {"BSF AL,BL", "Error in BSF\r\r\tUSAGE:\rBSF r16,r/m16 or r32,r/m32"},
           {"BSR EAX,BX", "Error in BSR\r\r\tUSAGE:\rBSR r16,r/m16 or r32,r/m32"},
       })
    Expect_Refusal(row);
}

TEST(BoundCmpxchgXchgLar, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"BOUND EAX,[EBX]", "62 03"},
      {"BOUND AX,[EBX]", "66 62 03"},
      {"CMPXCHG [EBX],ECX", "0F B1 0B"},
      {"CMPXCHG BYTE PTR [ESI],AL", "0F B0 06"},
      {"CMPXCHG ECX,EDX", "0F B1 D1"},
      {"CMPXCHG AL,BL", "0F B0 D8"},
      {"CMPXCHG AX,BX", "66 0F B1 D8"},
      {"XCHG EAX,EBX", "87 C3"},
      {"XCHG [EBX],ECX", "87 0B"},
      {"XCHG ECX,[EBX]", "87 0B"},
      {"XCHG AL,BL", "86 C3"},
      {"XCHG AX,BX", "66 87 C3"},
      {"XCHG [ESP+4],DL", "86 54 24 04"},
      {"LAR EAX,EBX", "0F 02 C3"},
      {"LAR AX,[EBX]", "66 0F 02 03"},
      {"LAR EAX,[EBX]", "0F 02 03"},
  });
}

constexpr std::string_view kBoundUsage = "Error in BOUND\r\r\tUSAGE:\rBOUND r16,m16&16 or r32,m32&32";

TEST(BoundCmpxchgXchgLar, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"BOUND AL,[EBX]", kBoundUsage},
           // The bounds pair is read from memory: 62 with mod 11 raises #UD.
           {"BOUND EAX,EBX", kBoundUsage},
           {"BOUND AX,BX", kBoundUsage},
           {"BOUND EAX,5", kBoundUsage},
           {"CMPXCHG EAX,[EBX]", "Error in CMPXCHG\r\r\tUSAGE:\rCMPXCHG r/m8(16/32),r8(16/32)"},
           {"XCHG EAX,5", "Error in XCHG\r\r\tUSAGE:\rXCHG r/m8(16/32),r8(16/32) or r8(16/32),r/m8(16/32)"},
           {"LAR EAX,BX", "Error in LAR\r\r\tUSAGE:\rLAR r16/(32),r/m16(32)"},
       })
    Expect_Refusal(row);
}

TEST(Enter, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"ENTER 8,0", "C8 08 00 00"},
      {"ENTER &H1000,1", "C8 00 10 01"},
      {"ENTER 300,2", "C8 2C 01 02"},
      {"ENTER 300?,0", "C8 2C 01 00"},
  });
}

TEST(Enter, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"ENTER 16,1%", "Invalid operands:\r\rENTER imm16,imm16"},
           {"ENTER 70000,0", "Invalid operands:\r\rENTER imm32,imm8"},
           {"ENTER 70000%,0", "Out of range"},
           {"ENTER 8,300?", "Out of range"},
           {"ENTER 8", "Invalid operands:\r\rENTER imm16,"},
       })
    Expect_Refusal(row);
}

}  // namespace
}  // namespace orvo::test
