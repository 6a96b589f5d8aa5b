// Operand-level soundness: memory operands with base, index, scale and displacement in any
// order, the number notations, and the ranges of counts, ports, vectors and one-byte
// displacements. Each line assembles to exactly what it says (bytes checked against NASM on
// the same line) or is refused with one box that says why.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "line_rows.h"

namespace orvo::test {
namespace {

TEST(OperandSoundness, SoundLinesAndTheirBytes) {
  static constexpr BytesRow kRows[] = {
      {"MOV EAX,[ESI+ECX]", "8B 04 0E"},
      {"MOV EAX,[EBX+ESI*2+8]", "8B 44 73 08"},
      {"MOV EAX,[4+EBX]", "8B 43 04"},
      {"MOV EAX,[ESI*2+EBX]", "8B 04 73"},
      {"MOV EAX,[8+ESI*2+EBX]", "8B 44 73 08"},
      {"MOV EAX,[2*ESI+EBX]", "8B 04 73"},
      {"MOV EAX,[EBX+0x18]", "8B 43 18"},
      {"MOV EAX,[ECX+1Ah]", "8B 41 1A"},
      {"MOV EAX,[EBX+ESP]", "8B 04 1C"},
      {"MOV EAX,[ESP+EBX*2]", "8B 04 5C"},
      {"MOV EAX,[EBP+ECX*8-4]", "8B 44 CD FC"},
      {"MOV EAX,[ECX*4+100000]", "8B 04 8D A0 86 01 00"},
      {"MOV EAX,[EDI*8-8]", "8B 04 FD F8 FF FF FF"},
      {"MOV [EBX+EDI*4+200],ECX", "89 8C BB C8 00 00 00"},
      {"MOV BYTE PTR [ESI+EAX],7", "C6 04 06 07"},
      {"MOV WORD PTR [EDX*2+6],300", "66 C7 04 55 06 00 00 00 2C 01"},
      {"ADD [EAX+EAX*1],EDX", "01 14 00"},
      {"LEA EAX,[EBX+ECX*4+12]", "8D 44 8B 0C"},
      {"MOVZX EAX,BYTE PTR [ESI+ECX]", "0F B6 04 0E"},
      {"MOVSX ECX,WORD PTR [EBX+EAX*2-2]", "0F BF 4C 43 FE"},
      {"XCHG [EBX+ESI],AL", "86 04 33"},
      {"BT DWORD PTR [EAX+ECX*4],3", "0F BA 24 88 03"},
      {"CMPXCHG [EDI+EDX*2],ECX", "0F B1 0C 57"},
      {"TEST BYTE PTR [EBX+ESI],1", "F6 04 33 01"},
      {"INC DWORD PTR [EBX+ESI*4+8]", "FF 44 B3 08"},
      {"PUSH DWORD PTR [EBP+ECX*4+8]", "FF 74 8D 08"},
      {"POP DWORD PTR [ESP+EAX]", "8F 04 04"},
      {"JMP DWORD PTR [EAX*4+1000]", "FF 24 85 E8 03 00 00"},
      {"CALL DWORD PTR [EBX+ESI]", "FF 14 33"},
      {"SETZ BYTE PTR [EBX+ECX]", "0F 94 04 0B"},
      {"SHL DWORD PTR [EBX+ESI*2],3", "C1 24 73 03"},
      {"SAR BYTE PTR [EDI+EBP],CL", "D2 3C 2F"},
      {"MOV EAX,[EBP+ESI*4+127]", "8B 44 B5 7F"},
      {"MOV EAX,[EBP+ESI*4+128]", "8B 84 B5 80 00 00 00"},
      {"MOV EAX,[EBP+ESI*4-129]", "8B 84 B5 7F FF FF FF"},
      {"MOV EAX,[EBX+ 4 ]", "8B 43 04"},
      {"MOV EAX,[ ESI * 4 + EBX ]", "8B 04 B3"},
      {"MOV EAX,[-8+EBX]", "8B 43 F8"},
      {"MOV EAX,0x2D", "B8 2D 00 00 00"},
      {"MOV EAX,2Dh", "B8 2D 00 00 00"},
      {"INT 28h", "CD 28"},
      {"MOV ECX,0FFFFFFFFh", "B9 FF FF FF FF"},
      {"TEST EAX,11b", "A9 03 00 00 00"},
      {"MOV EAX,0b101", "B8 05 00 00 00"},
      {"MOV AL,0FFh", "B0 FF"},
      {"MOV AX,0x1234", "66 B8 34 12"},
      {"ADD ECX,0x10", "81 C1 10 00 00 00"},
      {"PUSH 10h", "6A 10"},
      {"MOV EAX,-0x10", "B8 F0 FF FF FF"},
      {"CMP BL,1111b", "80 FB 0F"},
      {"OUT 0FFh,AL", "E6 FF"},
      {"IN AL,80h", "E4 80"},
      {"SHL ECX,1Fh", "C1 E1 1F"},
      {"ENTER 10h,0", "C8 10 00 00"},
      {"RET 8h", "C2 08 00"},
      {"MOV EAX,1E2", "B8 64 00 00 00"},
      {"MOV EAX,1 000", "B8 E8 03 00 00"},
      {"MOV EAX,&B101", "B8 05 00 00 00"},
      {"MOV EAX,-&B101", "B8 FB FF FF FF"},
      {"INT 255", "CD FF"},
      {"INT 0", "CD 00"},
      {"SHL ECX,0", "C1 E1 00"},
      {"OUT 0,AL", "E6 00"},
      {"MOV EAX,[ECX*4]", "8B 04 8D 00 00 00 00"},
      {"MOV EAX,[EBP+ESI]", "8B 44 35 00"},
      {"LEA ESI,[ESI*8]", "8D 34 F5 00 00 00 00"},
      {"NEG BYTE PTR [ECX*2]", "F6 1C 4D 00 00 00 00"},
      {"MOV EAX,[EBX+ESI*2+8&]", "8B 84 73 08 00 00 00"},
      {"MOV EAX,[EBX+ESI*2+100?]", "8B 44 73 64"},
      {"MOV EAX,[EBX-128?]", "8B 43 80"},
      {"MOV EAX,[ECX*1]", "8B 04 0D 00 00 00 00"},
  };
  Expect_Bytes(kRows);
}

constexpr std::string_view kLabelInAddress = "\r\rA label cannot be part of an address.";

TEST(OperandSoundness, MemoryOperandsRefused) {
  static constexpr BoxRow kRows[] = {
      {"MOV EAX,[EAX+4*2]", "Invalid memory operand: [EAX+4*2]\r\rNot a term of an address: 4*2"},
      {"MOV EAX,[ECX--8]", "Invalid memory operand: [ECX--8]\r\rA term is missing"},
      {"MOV EAX,[EBX+-4]", "Invalid memory operand: [EBX+-4]\r\rA term is missing"},
      {"MOV EAX,[EBX+]", "Invalid memory operand: [EBX+]\r\rA term is missing"},
      {"MOV EAX,[]", "Invalid memory operand: []\r\rA term is missing"},
      {"MOV EAX,[EBX+1abc]", "Not a number: 1abc"},
      {"MOV EAX,[EBX+0x]", "Not a number: 0x"},
      {"MOV EAX,[EBX+4+8]", "Invalid memory operand: [EBX+4+8]\r\rA second displacement: 8"},
      {"MOV EAX,[ESP*2]", "Invalid memory operand: [ESP*2]\r\rESP cannot be an index register"},
      {"MOV EAX,[ESP+ESP]", "Invalid memory operand: [ESP+ESP]\r\rESP cannot be an index register"},
      {"MOV EAX,[EBX+ESP*4]", "Invalid memory operand: [EBX+ESP*4]\r\rESP cannot be an index register"},
      {"MOV EAX,[EBX+ESI+EDI]",
       "Invalid memory operand: [EBX+ESI+EDI]\r\rAt most a base and an index register"},
      {"MOV EAX,[EBX*2+ESI*2]",
       "Invalid memory operand: [EBX*2+ESI*2]\r\rAt most a base and an index register"},
      {"MOV EAX,[EBX*3]", "Invalid memory operand: [EBX*3]\r\rThe scale must be 1, 2, 4 or 8: 3"},
      {"MOV EAX,[EBX*0]", "Invalid memory operand: [EBX*0]\r\rThe scale must be 1, 2, 4 or 8: 0"},
      {"MOV EAX,[EBX-ESI]", "Invalid memory operand: [EBX-ESI]\r\rA register cannot be subtracted: ESI"},
      {"MOV EAX,[-EBX]", "Invalid memory operand: [-EBX]\r\rA register cannot be subtracted: EBX"},
      {"MOV EAX,[AX]", "Invalid memory operand: [AX]\r\rNot a 32-bit register: AX"},
      {"MOV EAX,[EBX+DS]", "Invalid memory operand: [EBX+DS]\r\rNot a 32-bit register: DS"},
      {"MOV EAX,[1000]", "Invalid memory operand: [1000]\r\rNo base or index register"},
      {"MOV EAX,[ECX*4+8?]",
       "Invalid memory operand: [ECX*4+8?]\r\rWithout a base register the displacement is 32 bits: 8?"},
      {"MOV EAX,[EBX+ESI*2*2]", "Invalid memory operand: [EBX+ESI*2*2]\r\rNot a term of an address: ESI*2*2"},
      {"MOV EAX,[EBX+(4)]", "Invalid memory operand: [EBX+(4)]\r\rNot a term of an address: (4)"},
      {"MOV EAX,[EBX]+4", "Invalid memory operand: [EBX]+4\r\rText after the closing bracket: +4"},
      {"MOV EAX,DWORD PTR EBX+4", "Invalid memory operand: EBX+4\r\rNot a term of an address: EBX+4"},
      {"MOV EAX,[EBX+XYZ]", "Invalid use of label: XYZ\r\rA label cannot be part of an address."},
      {"INC DWORD PTR [EBX+ESI*3]",
       "Invalid memory operand: [EBX+ESI*3]\r\rThe scale must be 1, 2, 4 or 8: 3"},
      {"PUSH DWORD PTR [EAX+EBX+ECX]",
       "Invalid memory operand: [EAX+EBX+ECX]\r\rAt most a base and an index register"},
      {"SETZ BYTE PTR [EBX+4*2]", "Invalid memory operand: [EBX+4*2]\r\rNot a term of an address: 4*2"},
  };
  Expect_Boxes(kRows);
}

TEST(OperandSoundness, LabelsInAnAddressAreRefusedInEveryEncoder) {
  for (const std::string_view line :
       {"MOV EAX,[EBX+XYZ]", "MOV [XYZ],EAX", "LEA EAX,[ECX*4+LBL]", "INC DWORD PTR [LBL+EAX]",
        "PUSH DWORD PTR [EBX+_x]", "MOVZX EAX,BYTE PTR [Table+ESI]", "BT DWORD PTR [EAX+Bits],3"}) {
    Recorder rec;
    EXPECT_EQ(Assemble_Line(line), "") << line;
    ASSERT_EQ(rec.Messages().size(), 1u) << line;
    EXPECT_TRUE(rec.Messages()[0].text.starts_with("Invalid use of label: ")) << line;
    EXPECT_TRUE(rec.Messages()[0].text.ends_with(kLabelInAddress)) << line;
  }
}

// A displacement forced to one byte must fit -128..127, and the refusal is the same whatever
// the instruction.
TEST(OperandSoundness, ForcedByteDisplacementIsOneBoxEverywhere) {
  for (const std::string_view disp : {"-300?", "-256?", "128?", "200?", "-129?"}) {
    const std::string operand = "[EBX" + std::string(disp[0] == '-' ? "" : "+") + std::string(disp) + "]";
    const std::string why = "Displacement out of byte range: " + std::string(disp) +
                            "\r\rA one-byte displacement is -128 to 127.";
    for (const std::string& line :
         {"MOV EAX," + operand, "MOV " + operand + ",EAX", "ADD DWORD PTR " + operand + ",5",
          "INC DWORD PTR " + operand, "NEG BYTE PTR " + operand, "PUSH DWORD PTR " + operand,
          "POP DWORD PTR " + operand, "LEA EAX," + operand, "SETC BYTE PTR " + operand,
          "SHL DWORD PTR " + operand + ",3", "BT DWORD PTR " + operand + ",1",
          "MOVZX EAX,BYTE PTR " + operand, "XCHG " + operand + ",ECX", "JMP DWORD PTR " + operand}) {
      Recorder rec;
      EXPECT_EQ(Assemble_Line(line), "") << line;
      ASSERT_EQ(rec.Messages().size(), 1u) << line;
      EXPECT_EQ(rec.Messages()[0].text, why) << line;
    }
  }
  static constexpr BytesRow kFits[] = {
      {"MOV EAX,[EBX-128?]", "8B 43 80"},
      {"MOV EAX,[EBX+127?]", "8B 43 7F"},
      {"INC DWORD PTR [EBX-128?]", "FF 43 80"},
      {"PUSH DWORD PTR [ESP+127?]", "FF 74 24 7F"},
  };
  Expect_Bytes(kFits);
}

TEST(OperandSoundness, NumbersReadWholeOrRefused) {
  static constexpr BoxRow kRows[] = {
      {"MOV EAX,1_000", "Not a number: 1_000"},
      {"MOV EAX,1abc", "Not a number: 1abc"},
      {"MOV EAX,&HG", "Not a number: &HG"},
      {"MOV EAX,&H", "Not a number: &H"},
      {"MOV EAX,&H1 2", "Not a number: &H1 2"},
      {"MOV EAX,&B102", "Not a number: &B102"},
      {"MOV EAX,5-", "Not a number: 5-"},
      {"SUB EAX,65-13", "Not a number: 65-13"},
      {"MOV EAX,0x", "Not a number: 0x"},
      {"MOV EAX,0x1G", "Not a number: 0x1G"},
      {"MOV EAX,1.5", "Not a number: 1.5"},
      {"MOV EAX,1E", "Not a number: 1E"},
      {"MOV EAX,12b", "Not a number: 12b"},
      {"MOV EAX,0b102", "Not a number: 0b102"},
      {"MOV EAX,2Gh", "Not a number: 2Gh"},
      {"MOV AL,-&", "Not a number: -&"},
      {"PUSH 1abc", "Not a number: 1abc"},
      {"INT 28x", "Not a number: 28x"},
      {"JMP 5x", "Not a number: 5x"},
      {"OUT 1abc,AL", "Not a number: 1abc"},
      {"DD 0,1,48 DUP(0)", "Error in DD:\r\tNot a number: 48 DUP(0)\r\rSyntax:\r\tDD Value(0-4294967295)"},
      {"DB 0x1G", "Error in DB:\r\tNot a number: 0x1G\r\rSyntax:\r\tDB Value(0-255)"},
      {"DW 1abc", "Error in DW:\r\tNot a number: 1abc\r\rSyntax:\r\tDW Value(0-65535)"},
  };
  Expect_Boxes(kRows);
  static constexpr BytesRow kData[] = {
      {"DB 0FFh,0x10,11b,0b1", "FF 10 03 01"},
      {"DW 0x1234,10h", "34 12 10 00"},
      {"DD 0FFFFFFFFh,0x10", "FF FF FF FF 10 00 00 00"},
      {"DB &H7F,&B11,-1", "7F 03 FF"},
  };
  Expect_Bytes(kData);
}

TEST(OperandSoundness, CountsPortsAndVectorsAreUnsigned) {
  const std::string why = "\r\rThe value must be 0 to 255.";
  static constexpr BoxRow kRows[] = {
      {"INT -26", "", "INT -26"},
      {"INT -1", "", "INT -1"},
      {"INT - 3", "", "INT - 3"},
      {"SHL ECX,-26", "", "SHL ECX,-26"},
      {"ROL BYTE PTR [EBX],-1", "", "ROL BYTE PTR [EBX],-1"},
      {"SAR DWORD PTR [EBX+ESI*4],-0x1", "", "SAR DWORD PTR [EBX+ESI*4],-0x1"},
      {"OUT -129,AL", "", "OUT -129,AL"},
      {"OUT -1,EAX", "", "OUT -1,EAX"},
      {"IN AL,-1", "", "IN AL,-1"},
      {"ENTER 8,-1", "", "ENTER 8,-1"},
  };
  for (const BoxRow& row : kRows) {
    Recorder rec;
    EXPECT_EQ(Assemble_Line(row.line), "") << row.line;
    ASSERT_EQ(rec.Messages().size(), 1u) << row.line;
    const std::string_view value = row.line.substr(row.line.find_first_of("-"));
    const std::string_view shown = value.substr(0, value.find(','));
    EXPECT_EQ(rec.Messages()[0].text, "Out of range: " + std::string(shown) + why) << row.line;
    EXPECT_EQ(rec.Messages()[0].title, std::optional<std::string>(std::string(*row.title))) << row.line;
  }
  // Stack counts and frame sizes are 0..65535.
  for (const std::string_view line : {"RET -4", "ENTER -8,0"}) {
    Recorder rec;
    EXPECT_EQ(Assemble_Line(line), "") << line;
    ASSERT_EQ(rec.Messages().size(), 1u) << line;
    const std::string_view value = line.substr(line.find('-'));
    EXPECT_EQ(rec.Messages()[0].text, "Out of range: " + std::string(value.substr(0, value.find(','))) +
                                          "\r\rThe value must be 0 to 65535.")
        << line;
  }
  static constexpr BytesRow kEdges[] = {
      {"RET 65535", "C2 FF FF"}, {"RET 0", "C2 00 00"},       {"ENTER 65535,255", "C8 FF FF FF"},
      {"INT 0", "CD 00"},        {"INT 255", "CD FF"},        {"INT 0FFh", "CD FF"},
      {"SHL ECX,0", "C1 E1 00"}, {"SHL ECX,255", "C1 E1 FF"}, {"OUT 0,AL", "E6 00"},
      {"OUT 255,AL", "E6 FF"},   {"IN EAX,0xFF", "E5 FF"},
  };
  Expect_Bytes(kEdges);
}

}  // namespace
}  // namespace orvo::test
