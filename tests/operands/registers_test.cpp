#include <gtest/gtest.h>

#include <cctype>

#include "operands/operands.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;

TEST(Registers, CodesByColumn) {
  struct Row {
    std::string_view text;
    std::uint8_t r32, r16, r8;
  };
  const Row rows[] = {
      {"EAX", 0, 255, 255},
      {"eax", 0, 255, 255},
      {"  Eax  ", 0, 255, 255},
      {"EDI", 7, 255, 255},
      {"ESP", 4, 255, 255},
      {"ebp", 5, 255, 255},
      {"sp", 255, 4, 255},
      {"DI", 255, 7, 255},
      {"ah", 255, 255, 4},
      {"BH", 255, 255, 7},
      {"AL", 255, 255, 0},
      {"EAX,", 255, 255, 255},
      {"E AX", 255, 255, 255},
      {"\tEAX", 255, 255, 255},
      {"", 255, 255, 255},
      {"CS", 255, 255, 255},
      {"EAXX", 255, 255, 255},
      {"A", 255, 255, 255},
      {std::string_view("\0AX", 3), 255, 255, 255},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(Get_Reg32Code(r.text), r.r32);
    EXPECT_EQ(Get_Reg16Code(r.text), r.r16);
    EXPECT_EQ(Get_Reg8Code(r.text), r.r8);
  }
}

TEST(Registers, SegmentRegisters) {
  for (const char* t : {"CS", "ss", " Ds ", "ES", "fs", "GS"}) EXPECT_TRUE(Is_SegmentRegister(t)) << t;
  for (const char* t : {"C S", "CSS", "EAX", "", "S"}) EXPECT_FALSE(Is_SegmentRegister(t)) << t;
}

TEST(StripSizePtr, PrefixesAndBrackets) {
  struct Row {
    const char* in;
    int size;
    const char* out;
  };
  const Row rows[] = {
      {"  byte ptr [EAX] ", 1, "[EAX]"},
      {"WORD PTR[EBX-2]", 2, "[EBX-2]"},
      {"DWORD PTR EDI", 3, "EDI"},
      {"[ESI]", 3, "[ESI]"},
      {" [ESI+4] ", 3, "[ESI+4]"},
      {"BYTE  PTR [EAX]", 0, "BYTE  PTR [EAX]"},
      {"EAX", 0, "EAX"},
      {"BYTE", 0, "BYTE"},
      {"", 0, ""},
      {"BYTE PTR", 1, ""},
      {"QWORD PTR [EAX]", 0, "QWORD PTR [EAX]"},
  };
  for (const Row& r : rows) {
    std::string t = r.in;
    EXPECT_EQ(Strip_SizePtr(t), r.size) << r.in;
    EXPECT_EQ(t, r.out) << r.in;
  }
}

TEST(OperandType, Classification) {
  struct Row {
    const char* text;
    std::string_view code;
  };
  const Row rows[] = {
      {"eax", "r32"},
      {" Eax ", "r32"},
      {"ah", "r8"},
      {"sp", "r16"},
      {"[ESI]", "m32"},
      {"byte ptr [esi+4]", "m8"},
      {"WORD PTR [EBX-2]", "m16"},
      {"DWORD PTR EDI", "m32"},
      {"BYTE PTR[EAX]", "m8"},
      {"WORD PTR [SI]", ""},
      {"[1000]", ""},
      {"[NAME]", ""},
      {"[EAX-4+2]", ""},
      {"[EAX", ""},
      {"BYTE PTR", ""},
      {"255", "imm8"},
      {"&HFF", "imm8"},
      {"-255", "imm8"},
      {"&B11111111", "imm8"},
      {"1E2", "imm8"},
      {"256", "imm16"},
      {"0255", "imm16"},
      {"&H0FF", "imm16"},
      {"&H1234", "imm16"},
      {"1abc", ""},
      {"0FFh", "imm8"},
      {"0x100", "imm16"},
      {"0b101", "imm8"},
      {"11b", "imm8"},
      {"ABh", "imm32"},  // a name: numbers start with a digit
      {"1_000", ""},
      {"5-", ""},
      {"&HG", ""},
      {"[EBX+ESI*2+8]", "m32"},
      {"BYTE PTR [ECX*4]", "m8"},
      {"[EBX+XYZ]", ""},
      {"[ESP*2]", ""},
      {"65536", "imm32"},
      {"&H10000", "imm32"},
      {"4294967295", "imm32"},
      {"5&", "imm8"},
      {"255&", "imm16"},
      {"&HFF&", "imm16"},
      {"Loop1", "imm32"},
      {"_x", "imm32"},
      {"__9", "imm32"},
      // Words that name no label of this language: refused instead of read as a label worth 0.
      {"-Start", ""},
      {"BYTE", ""},
      {"WORD", ""},
      {"DWORD [EBX]", ""},
      {"OFFSET L", ""},
      {"L+4", ""},
      {"CR0", ""},
      {"XMM0", ""},
      {"RAX", ""},
      {"r8d", ""},
      {"x y", ""},
      {"", ""},
      {"(5)", ""},
      {"-&B101", "imm8"},
      // Segment registers are refused, not taken as labels worth 0.
      {"CS", ""},
      {" ss ", ""},
      {"-DS", ""},
      {"gs", ""},
  };
  for (const Row& r : rows) EXPECT_EQ(Type_Code(Get_OperandType(r.text)), r.code) << r.text;
}

TEST(OperandType, BadBase2LiteralShowsOneBox) {
  Recorder rec;
  EXPECT_EQ(Get_OperandType("&B1111111111111111111111111111111111111111111111111111111111111111111111111111"
                            "11111111111111111111111111111111111111111111111111111111111111111111111111111"
                            "11111111111111111111111111111111111111111111111111111111111111111111111111111"
                            "1111111111111111111111111111111111111"),
            OpType::None);
  EXPECT_EQ(rec.Messages().size(), 1u);
}

TEST(LabelName, Rules) {
  struct Row {
    const char* text;
    bool label;
  };
  const Row rows[] = {
      {"Loop1", true},  {"  -  Start", false}, {"x y", false}, {"BYTE", false},  {"Z(", false},
      {"", false},      {"   ", false},       {"_x", true},   {"1abc", false},  {"&HFF", false},
      {" _a_1 ", true}, {"L+4", false},       {"CR0", false}, {"XMM0", false},  {"rax", false},
      {"&B101", false}, {"EAX", false},       {"-al", false}, {"[X]", false},   {"BYTE PTR X", false},
      {"CS", false},    {"es", false},        {"(A)", false}, {"\xC4X", false}, {"&X", false},
  };
  for (const Row& r : rows) EXPECT_EQ(Is_LabelName(r.text), r.label) << r.text;
}

// Every reserved word in every case is refused as a label, whatever letter it starts with; names
// that only resemble one (a letter more or less, a number out of range) remain labels.
TEST(LabelName, ReservedWordsOfEveryInitial) {
  const char* reserved[] = {
      "EAX",   "ECX",  "EDX",   "EBX",   "ESP",   "EBP",   "ESI",    "EDI",   "AX",    "CX",   "DX",
      "BX",    "SP",   "BP",    "SI",    "DI",    "AL",    "CL",     "DL",    "BL",    "AH",   "CH",
      "DH",    "BH",   "CS",    "SS",    "DS",    "ES",    "FS",     "GS",    "RAX",   "RBX",  "RCX",
      "RDX",   "RSI",  "RDI",   "RSP",   "RBP",   "RIP",   "EIP",    "IP",    "SPL",   "BPL",  "SIL",
      "DIL",   "FLAGS", "EFLAGS", "RFLAGS", "ST",  "PTR",   "BYTE",   "WORD",  "DWORD", "QWORD", "TBYTE",
      "OFFSET", "SHORT", "NEAR", "FAR",   "CR0",   "CR15",  "DR7",    "TR6",   "MM7",   "ST0",  "XMM31",
      "YMM3",  "ZMM0", "R8",    "R15D",  "R9W",   "R10B",  "R11L",
  };
  for (const char* name : reserved) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_FALSE(Is_LabelName(name)) << name;
    EXPECT_FALSE(Is_LabelName(lower)) << lower;
  }
  const char* labels[] = {"EAXX", "EFLAGS1", "OFFSETS", "CR16", "XMM32", "R16", "R7", "ST8", "GSX",
                          "LAX",  "Q",       "NEARBY",  "FARX", "IPX",   "K0",  "ZMM", "TR",  "UL"};
  for (const char* name : labels) EXPECT_TRUE(Is_LabelName(name)) << name;
}

TEST(ImmSuffix, RemovesOneSuffix) {
  struct Row {
    const char* in;
    OpType type;
    const char* out;
  };
  const Row rows[] = {
      {"5&", OpType::Imm32, "5"},  {"5 &", OpType::Imm32, "5 "},     {"5", OpType::None, "5"},
      {"5?  ", OpType::Imm8, "5"}, {"&HFF%", OpType::Imm16, "&HFF"}, {"5&&", OpType::Imm32, "5&"},
      {"", OpType::None, ""},      {"   ", OpType::None, ""},        {" ?", OpType::Imm8, " "},
  };
  for (const Row& r : rows) {
    std::string t = r.in;
    EXPECT_EQ(Get_ImmSuffix(t), r.type) << r.in;
    EXPECT_EQ(t, r.out) << r.in;
  }
}

TEST(ImmType, Rules) {
  struct Row {
    const char* text;
    std::string_view code;
  };
  const Row rows[] = {
      {"", "imm8"},      {"XYZ", "imm32"},    {"255", "imm8"},      {"-200", "imm8"},
      {"1000", "imm16"}, {"&H1234", "imm16"}, {"70000", "imm32"},   {"#", "imm8"},
      {"_abcdef", "imm32"}, {"CS", ""},          {"&H12345", "imm32"}, {"123456", "imm32"},
  };
  for (const Row& r : rows) EXPECT_EQ(Type_Code(Get_ImmType(r.text)), r.code) << r.text;
}

}  // namespace
}  // namespace orvo
