// Every operand a line writes is encoded or the line is refused: counts after RETF/RETN, the base
// of AAM/AAD, LOCK and REP before their instruction, IMUL with two and three operands, no extra
// operands or stray text, and no size word that disagrees with the register beside it.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "assembler/compile.h"
#include "line_rows.h"
#include "two_operand_support.h"

namespace orvo::test {
namespace {

constexpr std::string_view kImulUsage =
    "Error in IMUL\r\r\tUSAGE:\rIMUL r16,r/m16 or r32,r/m32\rIMUL r16,r/m16,imm16 or r32,r/m32,imm32\r"
    "IMUL r16,imm16 or r32,imm32";

TEST(LineMeaning, OperandsThatUsedToBeIgnored) {
  static constexpr BytesRow kRows[] = {
      {"RETF 8", "CA 08 00", "retf 8"},
      {"retf 16%", "CA 10 00", "retf 0x10"},
      {"RETF", "CB", "retf"},
      {"RETN 4", "C2 04 00", "ret 4"},
      {"RETN", "C3", "ret"},
      {"RET 8", "C2 08 00", "ret 8"},
      {"AAM 16", "D4 10", "aam 0x10"},
      {"AAD 16", "D5 10", "aad 0x10"},
      {"AAM &HFF", "D4 FF", "aam 0xff"},
      {"aad 7?", "D5 07", "aad 7"},
      {"AAM", "D4 0A", "aam"},
      {"AAD", "D5 0A", "aad"},
      {"NOP", "90", "nop"},
      {"LOCK", "F0"},  // alone: prefixes the next line's instruction
  };
  Expect_Bytes(kRows);
}

TEST(LineMeaning, AsciiAdjustBaseIsAnUnsignedByte) {
  static constexpr BoxRow kRows[] = {
      {"AAM 256", "Invalid operand: 256\r\r\tUsage:\rAAM\rAAM imm8"},
      {"AAM -1", "Invalid operand: -1\r\r\tUsage:\rAAM\rAAM imm8"},
      {"AAD EAX", "Invalid operand: EAX\r\r\tUsage:\rAAD\rAAD imm8"},
      {"AAD 10%", "Invalid operand: 10%\r\r\tUsage:\rAAD\rAAD imm8"},
      {"AAM Base", "Invalid operand: Base\r\r\tUsage:\rAAM\rAAM imm8"},
      {"RET -8", "Out of range: -8\r\rThe value must be 0 to 65535.", "RET -8"},
      {"RETF -8", "Out of range: -8\r\rThe value must be 0 to 65535.", "RETF -8"},
      {"RETN -300", "Out of range: -300\r\rThe value must be 0 to 65535.", "RETN -300"},
      {"RETF 70000",
       "Not a valid imm type: imm32\r\r\tUSAGE:\rRETF imm16.\r\rimm8 will converted automaticaly."},
  };
  Expect_Boxes(kRows);
}

// Text a mnemonic does not take is refused without an encoder box: the compile then shows its
// "Syntax Error:" box for the line.
TEST(LineMeaning, ExtraOperandsAndStrayTextAreRefused) {
  static constexpr BoxRow kRows[] = {
      {"NOP 1", ""},
      {"CDQ EAX", ""},
      {"PUSHAD 1", ""},
      {"MOVSB 1", ""},
      {"STOSD [EDI]", ""},
      {"ADD EAX,5,6", ""},
      {"MOV EAX,EBX,ECX", ""},
      {"MOV EAX,5 5", ""},
      {"MOV EAX,12 34", ""},
      {"MOV EAX,1 0000", ""},
      {"MOV EAX,EBX ECX", ""},
      {"MOV EAX,[EBX] 4", "Invalid memory operand: [EBX] 4\r\rText after the closing bracket: 4"},
      {"MOV EAX,[EBX]4", "Invalid memory operand: [EBX]4\r\rText after the closing bracket: 4"},
      {"MOV EAX,[EBX][ECX]", "Invalid memory operand: [EBX][ECX]\r\rText after the closing bracket: [ECX]"},
      {"MOV EAX,[EBX+4] [ECX]",
       "Invalid memory operand: [EBX+4] [ECX]\r\rText after the closing bracket: [ECX]"},
      {"MOV EAX,DWORD PTR [EBX] X", "Invalid memory operand: [EBX] X\r\rText after the closing bracket: X"},
      {"PUSH EAX,EBX", ""},
      {"PUSH EAX EBX", ""},
      {"POP EAX,EBX", ""},
      {"INC EAX,1", ""},
      {"NOT EAX EBX", ""},
      {"JMP L1,L2", ""},
      {"JNZ L1 L2", ""},
      {"LOOP L1,L2", ""},
      {"CALL EAX,EBX", ""},
      {"INT 21,1", ""},
      {"SETZ AL,1", ""},
      {"BSWAP EAX,EBX", ""},
      {"SHL EAX,1,2", ""},
      {"IN AL,DX,1", ""},
      {"IMUL EAX,EBX,5,6", ""},
      {"IMUL EAX,EBX,5 6", ""},
      {"RET 8,8", ""},
      {"AAM 1 6", ""},
      {"MOV EAX,5\t5", "Not a number: 5\t5"},
      {"PUSH EAX\tEBX", ""},
      {"MOV EAX,\t5", ""},
      // An address read whole stands for one term only when no TAB sits around or inside it.
      {"MOV EAX,\t[EBX]", ""},
      {"MOV EAX,DWORD PTR\t[EBX]", "Invalid memory operand: \t[EBX]\r\rNot a term of an address: \t[EBX]"},
      {"MOV [EBX]\t,EAX", "Invalid memory operand: [EBX]\t\r\rText after the closing bracket: \t"},
      {"MOV EAX,[EBX+\t4]", "Invalid memory operand: [EBX+\t4]\r\rNot a term of an address: \t4"},
      {"ADD DWORD PTR [EBX] ,\tEAX", ""},
      {"END 1", ""},
      {"EXIT FUNCTION NOW", ""},
      // A jump or loop without its target would jump to the next instruction.
      {"JZ", ""},
      {"JMP", ""},
      {"LOOP", ""},
      {"LOOPNZ", ""},
      {"JECXZ", ""},
  };
  Expect_Boxes(kRows);
}

// Every family, with one operand or term more than it takes: nothing may be assembled.
TEST(LineMeaning, NoFamilyKeepsTextAfterItsOperands) {
  // clang-format off
  static constexpr std::string_view kLines[] = {
      "NOP", "CLC", "PUSHFD", "CDQ", "MOVSB", "REP STOSD", "PUSHAD", "END", "LEAVE", "PUSH EAX",
      "POP [EBX]", "PUSH 5", "INC BYTE PTR [ESI+4]", "NOT EAX", "NEG AX", "MUL ECX", "IMUL ECX",
      "DIV BYTE PTR [EBX]", "JMP EAX", "JMP Top", "CALL [EBP+8]", "CALL Sub", "INT 3", "BSWAP ECX",
      "SETZ AL", "VERR AX", "JZ Top", "LOOP Top", "JECXZ Top", "RET 8", "RETF 8", "RETN 4", "AAM 16",
      "AAD 7", "SHL EAX,CL", "ENTER 8,0", "IN AL,DX", "OUT 96,AL", "LEA EAX,[EBX+4]", "XCHG EAX,EBX",
      "BT ECX,3", "IMUL EAX,EBX,5", "LOCK INC DWORD PTR [EBX]",
  };
  // clang-format on
  static constexpr std::string_view kTails[] = {" 1", " X", " [EBX]", "\t1", ",1,2", ",EAX,EBX"};
  for (const std::string_view line : kLines) {
    ASSERT_FALSE(Assemble_Line(line).empty()) << line;
    for (const std::string_view tail : kTails) {
      const std::string longer = std::string(line) + std::string(tail);
      Recorder rec;
      EXPECT_EQ(Spaced_Hex(Assemble_Line(longer)), "") << longer;
    }
  }
}

// Blanks that keep one term: after the sign, in a size prefix, inside brackets, before a type
// suffix, and between digit groups of three.
TEST(LineMeaning, BlanksThatKeepOneTerm) {
  static constexpr BytesRow kRows[] = {
      {"MOV EAX,1 000", "B8 E8 03 00 00", "mov eax, 0x3e8"},
      {"MOV EAX,12 345 678", "B8 4E 61 BC 00", "mov eax, 0xbc614e"},
      {"MOV EAX,- 5", "B8 FB FF FF FF", "mov eax, 0xfffffffb"},
      {"MOV EAX , [ EBX + 4 ]", "8B 43 04", "mov eax, dword ptr [ebx + 4]"},
      {"MOV BYTE PTR   [EBX],5", "C6 03 05", "mov byte ptr [ebx], 5"},
      {"PUSH 5 &", "68 05 00 00 00", "push 5"},
      {"PUSH DWORD PTR [EBP+8]", "FF 75 08", "push dword ptr [ebp + 8]"},
      {"EXIT FUNCTION", "5F 5E 5B 89 EC 5D C2 10 00"},
  };
  Expect_Bytes(kRows);
}

TEST(LineMeaning, DataItemsHoldOneValueEach) {
  static constexpr BoxRow kRows[] = {
      {"DB 1 2", "Error in DB:\r\tNot a number: 1 2\r\rSyntax:\r\tDB Value(0-255)"},
      {"DD 5 5", "Error in DD:\r\tNot a number: 5 5\r\rSyntax:\r\tDD Value(0-4294967295)"},
      {"DW 1,2 3", "Error in DW:\r\tNot a number: 2 3\r\rSyntax:\r\tDW Value(0-65535)"},
      {"DB 1\t2", "Error in DB:\r\tNot a number: 1\t2\r\rSyntax:\r\tDB Value(0-255)"},
  };
  Expect_Boxes(kRows);
  static constexpr BytesRow kKept[] = {
      {"DW 1 000", "E8 03"},
      {"DB - 1,2", "FF 02"},
      {"DB \"a b\",0", "61 20 62 00"},
  };
  Expect_Bytes(kKept);
}

TEST(LineMeaning, PrefixesOnTheLine) {
  static constexpr BytesRow kRows[] = {
      {"LOCK ADD [EBX],EAX", "F0 01 03", "lock add dword ptr [ebx], eax"},
      {"lock sub byte ptr [esi+4],cl", "F0 28 4E 04", "lock sub byte ptr [esi + 4], cl"},
      {"LOCK OR WORD PTR [EDI],5", "F0 66 81 0F 05 00", "lock or word ptr [edi], 5"},
      {"LOCK INC DWORD PTR [EBX]", "F0 FF 03", "lock inc dword ptr [ebx]"},
      {"LOCK NOT BYTE PTR [EAX]", "F0 F6 10", "lock not byte ptr [eax]"},
      {"LOCK XCHG EAX,[EBX]", "F0 87 03", "lock xchg dword ptr [ebx], eax"},
      {"LOCK XCHG [EBX],EAX", "F0 87 03", "lock xchg dword ptr [ebx], eax"},
      {"LOCK CMPXCHG [EDI],ECX", "F0 0F B1 0F", "lock cmpxchg dword ptr [edi], ecx"},
      {"LOCK BTS [EBX],EAX", "F0 0F AB 03", "lock bts dword ptr [ebx], eax"},
      {"LOCK BTR DWORD PTR [EBX],3", "F0 0F BA 33 03", "lock btr dword ptr [ebx], 3"},
      {"REP MOVSB", "F3 A4", "rep movsb byte ptr es:[edi], byte ptr [esi]"},
      {"REP STOSD", "F3 AB", "rep stosd dword ptr es:[edi], eax"},
      {"REPE CMPSB", "F3 A6", "repe cmpsb byte ptr [esi], byte ptr es:[edi]"},
      {"REPNE SCASB", "F2 AE", "repne scasb al, byte ptr es:[edi]"},
  };
  Expect_Bytes(kRows);
}

constexpr std::string_view kLockUsage =
    "\r\rSyntax:\r\tLOCK Instruction m8/m16/m32,...\r Instruction - ADC, ADD, AND, BTC, BTR, BTS, CMPXCHG, "
    "DEC, INC, NEG, NOT, OR, SBB, SUB, XCHG, XOR";

TEST(LineMeaning, LockOnlyBeforeAMemoryReadModifyWrite) {
  const std::string no_memory = "Error in LOCK:\r\tNot supported: ADD EAX,EBX" + std::string(kLockUsage);
  const std::string mov = "Error in LOCK:\r\tNot supported: MOV [EBX],EAX" + std::string(kLockUsage);
  const std::string cmp = "Error in LOCK:\r\tNot supported: CMP [EBX],EAX" + std::string(kLockUsage);
  const std::string bt = "Error in LOCK:\r\tNot supported: BT [EBX],EAX" + std::string(kLockUsage);
  const std::string inc = "Error in LOCK:\r\tNot supported: INC EAX" + std::string(kLockUsage);
  const std::string string_op = "Error in LOCK:\r\tNot supported: MOVSB" + std::string(kLockUsage);
  const std::string twice = "Error in LOCK:\r\tNot supported: LOCK ADD [EBX],EAX" + std::string(kLockUsage);
  const BoxRow rows[] = {
      {"LOCK ADD EAX,EBX", no_memory},    {"LOCK MOV [EBX],EAX", mov}, {"LOCK CMP [EBX],EAX", cmp},
      {"LOCK BT [EBX],EAX", bt},          {"LOCK INC EAX", inc},       {"LOCK MOVSB", string_op},
      {"LOCK LOCK ADD [EBX],EAX", twice},
  };
  Expect_Boxes(rows);
  // The instruction behind LOCK is refused as it would be alone.
  Expect_Boxes(std::initializer_list<BoxRow>{{"LOCK ADD [EBX],EAX,1", ""}});
}

TEST(LineMeaning, RepOnlyBeforeItsStringInstructions) {
  static constexpr BoxRow kRows[] = {
      {"REP ADD EAX,EBX",
       "Error in REP:\r\tNot supported: ADD EAX,EBX\r\rSyntax:\r\tREP StringOperation(B/W/D)\r "
       "StringOperation - INS, "
       "MOVS, OUTS, LODS, STOS"},
      {"REP MOVSB 1",
       "Error in REP:\r\tNot supported: MOVSB 1\r\rSyntax:\r\tREP StringOperation(B/W/D)\r StringOperation - "
       "INS, "
       "MOVS, OUTS, LODS, STOS"},
      {"REPNE MOVSB",
       "Error in REPNE:\r\tNot supported: MOVSB\r\rSyntax:\r\tREPNE StringOperation(B/W/D)\r StringOperation "
       "- CMPS, "
       "SCAS"},
  };
  Expect_Boxes(kRows);
}

TEST(LineMeaning, ImulForms) {
  static constexpr BytesRow kRows[] = {
      {"IMUL ECX", "F7 E9", "imul ecx"},
      {"IMUL BYTE PTR [EBX]", "F6 2B", "imul byte ptr [ebx]"},
      {"IMUL EAX,EBX", "0F AF C3", "imul eax, ebx"},
      {"IMUL AX,BX", "66 0F AF C3", "imul ax, bx"},
      {"IMUL ESI,[EBP+8]", "0F AF 75 08", "imul esi, dword ptr [ebp + 8]"},
      {"IMUL CX,WORD PTR [ESP+4]", "66 0F AF 4C 24 04", "imul cx, word ptr [esp + 4]"},
      {"IMUL EDI,[EBP]", "0F AF 7D 00", "imul edi, dword ptr [ebp]"},
      {"IMUL EAX,EBX,1000", "69 C3 E8 03 00 00", "imul eax, ebx, 0x3e8"},
      {"IMUL EAX,EBX,5", "69 C3 05 00 00 00", "imul eax, ebx, 5"},  // no 6Bh short form
      {"IMUL EAX,EBX,-5", "69 C3 FB FF FF FF"},
      {"IMUL AX,BX,300", "66 69 C3 2C 01", "imul ax, bx, 0x12c"},
      {"IMUL AX,BX,-2", "66 69 C3 FE FF"},
      {"IMUL AX,BX,-32768", "66 69 C3 00 80"},
      {"IMUL AX,BX,65535", "66 69 C3 FF FF"},
      {"IMUL EBP,[ESP],&H12345678", "69 2C 24 78 56 34 12", "imul ebp, dword ptr [esp], 0x12345678"},
      {"IMUL EAX,5", "69 C0 05 00 00 00", "imul eax, eax, 5"},
      {"IMUL DI,&H1234", "66 69 FF 34 12", "imul di, di, 0x1234"},
      {"IMUL EDX,ECX,7&", "69 D1 07 00 00 00", "imul edx, ecx, 7"},
      {"imul  eax , ebx , 9", "69 C3 09 00 00 00", "imul eax, ebx, 9"},
  };
  Expect_Bytes(kRows);
}

TEST(LineMeaning, ImulRefusals) {
  const BoxRow rows[] = {
      {"IMUL AL,BL", kImulUsage},
      {"IMUL EAX,BX", kImulUsage},
      {"IMUL EAX,AL,5", kImulUsage},
      {"IMUL [EBX],EAX", kImulUsage},
      {"IMUL EAX,Table", kImulUsage},  // a label is no multiplier
      {"IMUL EAX,EBX,Table", kImulUsage},
      {"IMUL EAX,EBX,", kImulUsage},
      {"IMUL AX,BX,70000", kImulUsage},  // wider than the destination
      {"IMUL AX,BX,-32769", kImulUsage},
      {"IMUL AX,BX,5&", kImulUsage},    // a suffix wider than the destination
      {"IMUL EAX,EBX,5?", kImulUsage},  // there is no 8-bit immediate form
      {"IMUL EAX,EBX,&H123456789", kImulUsage},
      {"IMUL EAX,WORD PTR [EBX]", "Invalid operand(s)\rIMUL r32,m16"},
  };
  Expect_Boxes(rows);
}

// A size word must agree with the register beside it; the register's width used to win.
TEST(LineMeaning, WrittenSizesMustAgreeWithTheRegister) {
  for (const RefusalRow& row : {
           RefusalRow{"MOV BYTE PTR [EBX],EAX", "Invalid operand(s)\rMOV m8,r32"},
           {"MOV EAX,BYTE PTR [EBX]", "Invalid operand(s)\rMOV r32,m8"},
           {"MOV AL,DWORD PTR [EBX]", "Invalid operand(s)\rMOV r8,m32"},
           {"MOV WORD PTR [EBX],AL", "Invalid operand(s)\rMOV m16,r8"},
           {"ADD WORD PTR [EBX],EAX", "Invalid operand(s)\rADD m16,r32"},
           {"CMP EAX,BYTE PTR [ESI+4]", "Invalid operand(s)\rCMP r32,m8"},
           {"TEST BYTE PTR [EBX],AX", "Invalid operand(s)\rTEST m8,r16"},
           {"XCHG DWORD PTR [EBX],AX", "Invalid operand(s)\rXCHG m32,r16"},
           {"CMPXCHG BYTE PTR [EBX],EAX", "Invalid operand(s)\rCMPXCHG m8,r32"},
           {"BT WORD PTR [EBX],EAX", "Invalid operand(s)\rBT m16,r32"},
           {"BSF EAX,WORD PTR [EBX]", "Invalid operand(s)\rBSF r32,m16"},
           {"BOUND EAX,WORD PTR [EBX]", "Invalid operand(s)\rBOUND r32,m16"},
           {"LAR EAX,BYTE PTR [EBX]", "Invalid operand(s)\rLAR r32,m8"},
           {"MOV EAX,BYTE PTR EBX", "Invalid operand(s)\rMOV r32,m8"},
           // A type suffix beside a size word: the suffix used to win.
           {"MOV BYTE PTR [EBX],5&", "Invalid operand(s)\rMOV m8,imm32"},
           {"ADD WORD PTR [EBX],5?", "Invalid operand(s)\rADD m16,imm8"},
           {"MOV DWORD PTR [EBX],5?", "Invalid operand(s)\rMOV m32,imm8"},
           {"TEST BYTE PTR [EBX],5&", "Invalid operand(s)\rTEST m8,imm32"},
       })
    Expect_Refusal(row);
  // Agreeing sizes, bare brackets, and the forms whose memory width differs by design.
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"MOV BYTE PTR [EBX],AL", "88 03", "mov byte ptr [ebx], al"},
      {"MOV [EBX],AL", "88 03", "mov byte ptr [ebx], al"},
      {"MOV AX,WORD PTR [EBX]", "66 8B 03", "mov ax, word ptr [ebx]"},
      {"ADD DWORD PTR [EBX],EAX", "01 03", "add dword ptr [ebx], eax"},
      {"MOVZX EAX,BYTE PTR [EBX]", "0F B6 03", "movzx eax, byte ptr [ebx]"},
      {"MOVSX EAX,WORD PTR [EBX]", "0F BF 03", "movsx eax, word ptr [ebx]"},
      {"LEA EAX,BYTE PTR [EBX+4]", "8D 43 04", "lea eax, [ebx + 4]"},
      {"LAR EAX,WORD PTR [EBX]", "0F 02 03", "lar eax, word ptr [ebx]"},
      {"LAR EAX,DWORD PTR [EBX]", "0F 02 03", "lar eax, word ptr [ebx]"},
      {"BOUND DX,DWORD PTR [EAX+4]", "66 62 50 04", "bound dx, dword ptr [eax + 4]"},
      {"BOUND EAX,DWORD PTR [EAX]", "62 00", "bound eax, qword ptr [eax]"},
      {"SHL BYTE PTR [EBX],CL", "D2 23", "shl byte ptr [ebx], cl"},
      {"MOV [EBX],5?", "C6 03 05", "mov byte ptr [ebx], 5"},
      {"MOV BYTE PTR [EBX],5?", "C6 03 05", "mov byte ptr [ebx], 5"},
      {"ADD WORD PTR [EBX],5%", "66 81 03 05 00", "add word ptr [ebx], 5"},
      {"MOV EAX,5?", "B8 05 00 00 00", "mov eax, 5"},
  });
}

// Whole programs: a LOCK line takes its label in pass 3 behind the prefix, and refused lines stop
// the compile with the line's box.
std::string Crlf(std::string_view lines) {
  std::string s;
  for (const char c : lines) s += c == '|' ? std::string("\r\n") : std::string(1, c);
  return s;
}

TEST(LineMeaning, LockedLineTakesItsLabel) {
  Recorder rec;
  CompileSession session;
  ASSERT_EQ(session.Compile(Crlf("LOCK ADD [EBX],Data|IMUL EAX,[EBX],3|RETF 4|Data:|DB 1"), {}),
            CompileOutcome::Finished);
  EXPECT_EQ(Spaced_Hex(session.Image().Bytes()),
            Spaced_Hex(Hex_Bytes("F0 81 03 10 00 00 00  69 03 03 00 00 00  CA 04 00  01")));
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(LineMeaning, RefusedLinesStopTheCompile) {
  for (const std::string_view line : {"ADD EAX,5,6", "MOV EAX,5 5", "NOP 1", "MOV BYTE PTR [EBX],EAX",
                                      "LOCK MOV [EBX],EAX", "IMUL AL,BL", "AAM 300"}) {
    Recorder rec;
    CompileSession session;
    EXPECT_EQ(session.Compile(Crlf(std::string("NOP|") + std::string(line) + "|NOP"), {}),
              CompileOutcome::Stopped)
        << line;
    ASSERT_FALSE(rec.Messages().empty()) << line;
    const std::string& last = rec.Messages().back().text;
    EXPECT_EQ(last, "Syntax Error:\r" + std::string(line) + "\r\rShow help?") << line;
  }
}

}  // namespace
}  // namespace orvo::test
