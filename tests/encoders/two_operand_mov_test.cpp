#include <optional>

#include "encoders/encoders.h"
#include "operands/detail.h"
#include "support/shown.h"
#include "two_operand_support.h"

namespace orvo::test {
namespace {

TEST(Mov, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"MOV EAX,EBX", "89 D8"},
      {"MOV AX,BX", "66 89 D8"},
      {"MOV AL,BL", "8A C3"},
      {"MOV EAX,5", "B8 05 00 00 00"},
      {"MOV AX,5", "66 B8 05 00"},
      {"MOV AL,5", "B0 05"},
      {"MOV ECX,-1", "B9 FF FF FF FF"},
      {"MOV BH,&HFF", "B7 FF"},
      {"MOV [EBX],EAX", "89 03"},
      {"MOV [ESP],EAX", "89 04 24"},
      {"MOV [EBP],EAX", "89 45 00"},
      {"MOV EAX,[EBX+4]", "8B 43 04"},
      {"MOV EAX,[EBX-128]", "8B 43 80"},
      {"MOV EAX,[EBX+128]", "8B 83 80 00 00 00"},
      {"MOV EAX,[EBX+4&]", "8B 83 04 00 00 00"},
      {"MOV EAX,[EBX+100?]", "8B 43 64"},
      {"MOV ECX,[ESP+8]", "8B 4C 24 08"},
      {"MOV DX,WORD PTR [ESI]", "66 8B 16"},
      {"MOV BYTE PTR [EBX],5", "C6 03 05"},
      {"MOV WORD PTR [EBX],5", "66 C7 03 05 00"},
      {"MOV [EBX],5", "C7 03 05 00 00 00"},
      {"MOV [EBX],5?", "C6 03 05"},  // the suffix sizes a memory destination
      {"MOV [EBP+8],300%", "66 C7 45 08 2C 01"},
      {"MOV AL,BYTE PTR [EBX]", "8A 03"},
      {"MOV EAX,MYLABEL", "B8 00 00 00 00"},
      {"MOV [EBX],MYLABEL", "C7 03 00 00 00 00"},
      {"MOV EAX,&HFF&", "B8 FF 00 00 00"},
      {"mov eax , [ebx + 4]", "8B 43 04"},
  });
}

// The encoder reads each operand once and keeps the reading while the text stays as read: spaces
// around an operand, a size prefix cut off, a type suffix taken off and a label replaced by its
// placeholder all rewrite the text, and the bytes must be those of the rewritten text.
TEST(TwoOperand, ReadingFollowsRewrittenOperands) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"MOV EAX,  [EBX+4]", "8B 43 04"},
      {"MOV   DWORD PTR  [ESP+8] ,  ECX", "89 4C 24 08"},
      {"BT DWORD PTR [EBX],  3?", "0F BA 23 03"},
      {"BTS  AX ,  CX", "66 0F AB C8"},
      {"MOV  ECX,  MYLABEL", "B9 00 00 00 00"},
      {"ADD BYTE PTR [EBP],  5", "80 45 00 05"},
      {"MOV AL, BYTE PTR [EBX]", "8A 03"},
      {"MOV  AX , WORD PTR  [ESI-8]", "66 8B 46 F8"},
      {"ADD   EAX ,  7", "05 07 00 00 00"},
      {"MOV  [ EBP ] , EAX", "89 45 00"},
      {"CMP  WORD PTR [EAX+1], BX", "66 39 58 01"},
      {"TEST  [ESP] ,  MYLABEL", "F7 04 24 00 00 00 00"},
  });
}

TEST(Mov, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"MOV [EBX],[ECX]", "\tNot Supported:\rMOV m32, m32"},
           {"MOV AX,70000", "imm16 is out of range", MsgStyle::OkExclamation, "MOV AX,70000"},
           {"MOV BL,300", "Invalid operand(s)\rMOV r8,imm16"},
           {"MOV AL,300", "Invalid operand(s)\rMOV AL,imm16"},
           {"MOV EAX,CS", "Invalid operand(s)\rMOV r32,"},
           {"MOV DS,AX", "Invalid operand(s)\rMOV ,r16"},
           {"MOV EAX,BX", "Invalid operand(s)\rMOV r32,r16"},
           {"MOV EAX,[SI]", "Invalid memory operand: [SI]\r\rNot a 32-bit register: SI"},
           {"MOV AL,DWORD PTR [EBX]", "Invalid operand(s)\rMOV r8,m32"},  // a written size must agree
           {"MOV EAX,&H123456789", "Not a valid imm32", MsgStyle::OkExclamation, "MOV EAX,&H123456789"},
           {"MOV EAX,[EBX+300?]",
            "Displacement out of byte range: 300?\r\rA one-byte displacement is -128 to 127."},
           {"MOV EAX,[EBX+200?]",
            "Displacement out of byte range: 200?\r\rA one-byte displacement is -128 to 127."},
       })
    Expect_Refusal(row);
}

TEST(Mov, FaultIsReportedAndRefusesTheLine) {
  // 4294967295 has no signed 32-bit hex text: the conversion faults (overflow, 6).
  Recorder rec;
  EXPECT_EQ(Assemble_Line("MOV EAX,4294967295"), "");
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].text, "Overflow\r\rMOV EAX,4294967295");
  EXPECT_EQ(rec.Messages()[0].title, std::optional<std::string>("6"));
}

TEST(Mov, DisplacementBeyond32BitsIsRefusedFirst) {
  // The memory operand is read before anything else: its box is the only one, on the line and
  // in the encoder alike.
  const std::string why = "Invalid memory operand: [EBX+4294967296]\r\rDisplacement out of range: 4294967296";
  for (const bool whole_line : {true, false}) {
    Recorder rec;
    EXPECT_EQ(whole_line ? Assemble_Line("MOV WORD PTR [EBX+4294967296],70000")
                         : Encode_TwoOperand("MOV", "WORD PTR [EBX+4294967296]", "70000"),
              "");
    ASSERT_EQ(rec.Messages().size(), 1u);
    EXPECT_EQ(rec.Messages()[0].text, why);
  }
  // 4294967295 is FFFFFFFFh: a 32-bit displacement holds it.
  Recorder rec;
  EXPECT_EQ(Spaced_Hex(Assemble_Line("MOV WORD PTR [EBX+4294967295],7")), "66 C7 83 FF FF FF FF 07 00");
}

TEST(Mov, LabelFixUpCallForm) {
  // Pass 3 re-encodes a label line with "0" as its source.
  Recorder rec;
  EXPECT_EQ(Spaced_Hex(Encode_TwoOperand("CMP", "EDI", "0")), "81 FF 00 00 00 00");
  EXPECT_EQ(Encode_TwoOperand("NOPE", "EAX", "1"), "");
  EXPECT_TRUE(rec.Messages().empty());
}

}  // namespace
// The encoder given the operand check's reading of a memory operand emits what it emits when it
// reads the operand itself, for every addressing shape, width and operand order.
TEST(Mov, CheckedReadingGivesTheSameBytes) {
  struct Row {
    const char* mnemonic;
    const char* first;
    const char* second;
  };
  const Row rows[] = {
      {"MOV", "EAX", "[EBX+ESI*4+8]"},       {"MOV", "[ECX*2-300]", "EDX"},
      {"MOV", "DWORD PTR [EBP]", "7"},       {"MOV", "BYTE PTR [ESP+1]", "AL"},
      {"ADD", "EAX", "[EBX+0x18]"},          {"SUB", " WORD PTR [EDI+1Ah] ", "BX"},
      {"CMP", "[ESI+EBP]", "-5"},            {"XOR", "ECX", "DWORD PTR EBX"},
      {"TEST", "[EAX+127]", "EDX"},          {"MOV", "AL", "[EBX+100?]"},
      {"MOV", "[EBX+4&]", "EAX"},            {"SBB", "dword ptr [8*EDX+EAX-1]", "ESI"},
      {"LEA", "ESI", "[EBX+ECX*2-8]"},       {"LEA", "DI", "BYTE PTR [EBP+0x10]"},
  };
  for (const Row& r : rows) {
    std::optional<detail::MemRef> first, second;
    ASSERT_EQ(detail::Operand_Refusal(r.first, first), "") << r.first;
    ASSERT_EQ(detail::Operand_Refusal(r.second, second), "") << r.second;
    ASSERT_TRUE(first || second) << r.first << "," << r.second;
    const std::string read_again = Encode_TwoOperand(r.mnemonic, r.first, r.second);
    EXPECT_FALSE(read_again.empty()) << r.mnemonic << " " << r.first << "," << r.second;
    EXPECT_EQ(Encode_TwoOperand(r.mnemonic, r.first, r.second, first ? &*first : nullptr,
                                second ? &*second : nullptr),
              read_again)
        << r.mnemonic << " " << r.first << "," << r.second;
  }
}

// The shapes most lines have (register pairs, a register beside memory, a plain decimal into a
// register or sized memory) at the edges where the bytes change or the line is refused.
TEST(Mov, CommonShapesAtTheirEdges) {
  static constexpr BytesRow kBytes[] = {
      {"MOV AX,00001", "66 B8 01 00"},
      {"MOV AL,000", "B0 00"},
      {"MOV EBP,[EBP]", "8B 6D 00"},
      {"MOV [ESP],ESP", "89 24 24"},
      {"MOV ECX,DWORD PTR EBX", "8B 0B"},
      {"MOV BYTE PTR [EBX],255", "C6 03 FF"},
      {"MOV WORD PTR [EBX],65535", "66 C7 03 FF FF"},
      {"MOV [EBX],5", "C7 03 05 00 00 00"},
      {"MOV [EBX],AX", "66 89 03"},
      {"mov dx , word ptr [esi]", "66 8B 16"},
      {"MOV SI,DI", "66 89 FE"},
      {"MOV BH,CL", "8A F9"},
      {"ADD EDI,999999999", "81 C7 FF C9 9A 3B"},
      {"CMP AL,[ECX+EAX*2]", "3A 04 41"},
      {"XOR BYTE PTR [EDX],CL", "30 0A"},
      {"SUB AX,65535", "66 2D FF FF"},
      {"AND DWORD PTR [ESP+8],0", "81 64 24 08 00 00 00 00"},
  };
  Expect_Bytes(kBytes);
  for (const RefusalRow& row : {
           RefusalRow{"MOV AX,000001", "imm16 is out of range", MsgStyle::OkExclamation, "MOV AX,000001"},
           {"MOV BYTE PTR [EBX],256", "Invalid operand(s)\rMOV m8,imm16"},
           {"MOV DWORD PTR [EBX],AL", "Invalid operand(s)\rMOV m32,r8"},
           {"MOV AL,BX", "Invalid operand(s)\rMOV r8,r16"},
           {"ADD CL,256", "Invalid operand(s)\rADD r8,imm16"},
           {"MOV [EBX],[ECX]", "\tNot Supported:\rMOV m32, m32"},
       })
    Expect_Refusal(row);
}

}  // namespace orvo::test
