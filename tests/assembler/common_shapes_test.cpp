// The commonest line shapes against an independent reference model of their encoding: MOV and
// the ALU group on 32-bit registers, plain decimal immediates and [reg], [reg+disp], [reg-disp];
// PUSH and POP of a 32-bit register; DB with plain decimal bytes; JMP and the conditional jumps to
// a plain name. For every line the model takes, the general dispatch gives the model's bytes
// without a box, and its pass-3 fix-up changes nothing (or, for jumps, writes the model's rel32).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "assembler/compile.h"
#include "assembler/dispatch.h"
#include "base/text.h"
#include "encoders/encoders.h"
#include "operands/operands.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

// ---- Reference model -------------------------------------------------------------------------
// Its own reading of the ModRM, SIB, displacement and immediate rules, not the encoders'; only
// the jump opcodes and the label-name test are taken from the encoders.

// Largest magnitude taken here; beyond it the general rules (overflow boxes) apply.
constexpr std::uint32_t kMaxValue = 2147483647u;

// Code of a 32-bit register name in any case, or -1.
int Reg32(std::string_view t) {
  if (t.size() != 3 || Upper_Char(t[0]) != 'E') return -1;
  const char a = Upper_Char(t[1]), b = Upper_Char(t[2]);
  switch (a) {
    case 'A':
      return b == 'X' ? 0 : -1;
    case 'C':
      return b == 'X' ? 1 : -1;
    case 'D':
      return b == 'X' ? 2 : b == 'I' ? 7 : -1;
    case 'B':
      return b == 'X' ? 3 : b == 'P' ? 5 : -1;
    case 'S':
      return b == 'P' ? 4 : b == 'I' ? 6 : -1;
    default:
      return -1;
  }
}

// Decimal digits without a leading zero ("0" itself is fine), at most kMaxValue.
bool Digits(std::string_view t, std::uint32_t& value) {
  if (t.empty() || t.size() > 10 || (t[0] == '0' && t.size() > 1)) return false;
  std::uint64_t v = 0;
  for (char c : t) {
    if (!Is_Digit(c)) return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > kMaxValue) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

// A decimal immediate, optionally negative ("-0" is left to the general rules).
bool Immediate(std::string_view t, std::uint32_t& value) {
  if (!t.empty() && t[0] == '-') {
    if (!Digits(t.substr(1), value) || value == 0) return false;
    value = 0u - value;
    return true;
  }
  return Digits(t, value);
}

struct Mem {
  int base = -1;
  bool has_disp = false;
  std::int32_t disp = 0;
};

// [reg], [reg+digits], [reg-digits]
bool Memory(std::string_view t, Mem& m) {
  if (t.size() < 5 || t.front() != '[' || t.back() != ']') return false;
  t = t.substr(1, t.size() - 2);
  m.base = Reg32(t.substr(0, 3));
  if (m.base < 0) return false;
  if (t.size() == 3) return true;
  const char sign = t[3];
  if (sign != '+' && sign != '-') return false;
  std::uint32_t v = 0;
  if (!Digits(t.substr(4), v)) return false;
  m.has_disp = true;
  m.disp = sign == '-' ? -static_cast<std::int32_t>(v) : static_cast<std::int32_t>(v);
  return true;
}

void Put32(std::string& out, std::uint32_t v) { Append_LE(out, v, 4); }

// ModRM with the memory operand in r/m: mod from the displacement's size, SIB for [ESP],
// [EBP] without displacement as [EBP+0] (mod 00 with EBP means disp32).
void Put_ModRM_Mem(std::string& out, int reg, const Mem& m) {
  std::uint8_t mod = 0;
  bool disp8 = false, disp32 = false;
  if (m.has_disp) {
    if (m.disp >= -128 && m.disp <= 127) {
      mod = 0x40;
      disp8 = true;
    } else {
      mod = 0x80;
      disp32 = true;
    }
  } else if (m.base == 5) {
    mod = 0x40;
    disp8 = true;
  }
  out.push_back(static_cast<char>(mod + 8 * reg + m.base));
  if (m.base == 4) out.push_back('\x24');
  if (disp8) out.push_back(static_cast<char>(static_cast<std::uint8_t>(m.disp)));
  if (disp32) Put32(out, static_cast<std::uint32_t>(m.disp));
}

// Index of an ALU mnemonic (ADD=0 ... CMP=7: the /digit and the opcode row), or -1.
int Alu(std::string_view m) {
  static constexpr std::string_view kNames[] = {"ADD", "OR", "ADC", "SBB", "AND", "SUB", "XOR", "CMP"};
  if (m.size() < 2 || m.size() > 3) return -1;
  const char c = Upper_Char(m[0]);
  for (int i = 0; i < 8; ++i)
    if (kNames[i][0] == c && Equals_NoCase(m, kNames[i])) return i;
  return -1;
}

bool Two_Operands(int alu, bool mov, std::string_view ops, std::string& out) {
  const std::size_t comma = ops.find(',');
  if (comma == std::string_view::npos) return false;
  const std::string_view first = ops.substr(0, comma), second = ops.substr(comma + 1);
  const int r1 = Reg32(first);
  Mem m;
  if (r1 >= 0) {
    std::uint32_t imm = 0;
    if (const int r2 = Reg32(second); r2 >= 0) {
      if (mov) {
        out.push_back('\x89');  // store form: source in reg
        out.push_back(static_cast<char>(0xC0 + 8 * r2 + r1));
      } else {
        out.push_back(static_cast<char>(8 * alu + 3));
        out.push_back(static_cast<char>(0xC0 + 8 * r1 + r2));
      }
      return true;
    }
    if (Immediate(second, imm)) {
      if (mov) {
        out.push_back(static_cast<char>(0xB8 + r1));
      } else if (r1 == 0) {
        out.push_back(static_cast<char>(8 * alu + 5));  // the accumulator's short form
      } else {
        out.push_back('\x81');
        out.push_back(static_cast<char>(0xC0 + 8 * alu + r1));
      }
      Put32(out, imm);
      return true;
    }
    if (Memory(second, m)) {
      out.push_back(mov ? '\x8B' : static_cast<char>(8 * alu + 3));
      Put_ModRM_Mem(out, r1, m);
      return true;
    }
    return false;
  }
  if (Memory(first, m)) {
    const int r2 = Reg32(second);
    if (r2 < 0) return false;
    out.push_back(mov ? '\x89' : static_cast<char>(8 * alu + 1));
    Put_ModRM_Mem(out, r2, m);
    return true;
  }
  return false;
}

bool Data_Bytes(std::string_view list, std::string& out) {
  for (;;) {
    const std::size_t comma = list.find(',');
    std::uint32_t v = 0;
    if (!Digits(list.substr(0, comma), v) || v > 255) return false;
    out.push_back(static_cast<char>(v));
    if (comma == std::string_view::npos) return true;
    list = list.substr(comma + 1);
  }
}

// Letters, digits and underscores after a letter.
bool Plain_Name(std::string_view t) {
  if (t.empty() || !Is_Letter(t[0])) return false;
  for (char c : t)
    if (!Is_AlphaNumeric(c) && c != '_') return false;
  return true;
}

// JMP or a conditional jump to a plain name: opcode and a zero rel32. False for other lines.
bool Model_Jump(std::string_view line, std::string& bytes) {
  const std::size_t space = line.find(' ');
  if (space < 2 || space > 4 || Upper_Char(line[0]) != 'J') return false;
  const std::string_view mnemonic = line.substr(0, space);
  const std::string_view name = line.substr(space + 1);
  if (!Plain_Name(name)) return false;
  // A conditional jump has no register or memory form: only a label is its target.
  if (!Is_LabelName(name)) return false;
  if (Equals_NoCase(mnemonic, "JCXZ") || Equals_NoCase(mnemonic, "JECXZ"))
    return false;  // rel8 forms of the loop family
  bytes = Get_JumpOpcode(mnemonic);
  if (bytes.empty()) return false;
  bytes.append(4, '\0');
  return true;
}

// The jump's rel32 once the label is known: false, changing nothing, when the general fix-up
// has a box to show (no such label).
bool Model_JumpFix(std::string_view line, CodeImage& image, const LabelTable& labels, std::int32_t offset,
                   std::int32_t length) {
  const std::size_t space = line.find(' ');
  const std::int32_t target = labels.Find_Label(line.substr(space + 1));
  if (target == -1 || length < 5) return false;
  // rel32 counts from the end of the instruction: opcode (1 or 2 bytes) and the four bytes.
  std::string rel;
  Append_LE(rel, static_cast<std::uint32_t>(std::int64_t{target} - (std::int64_t{offset} + length)), 4);
  image.Overwrite(static_cast<std::size_t>(offset + length - 4), rel);
  return true;
}

// line: trimmed, not empty, without a colon. False (bytes unspecified) for other shapes.
bool Model_Line(std::string_view line, std::string& bytes) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos || space < 2 || space > 4) return false;
  const std::string_view mnemonic = line.substr(0, space);
  const std::string_view ops = line.substr(space + 1);
  if (ops.empty() || ops.find(' ') != std::string_view::npos) return false;
  bytes.clear();
  if (Equals_NoCase(mnemonic, "MOV")) return Two_Operands(0, true, ops, bytes);
  if (const int alu = Alu(mnemonic); alu >= 0) return Two_Operands(alu, false, ops, bytes);
  if (Equals_NoCase(mnemonic, "PUSH") || Equals_NoCase(mnemonic, "POP")) {
    const int r = Reg32(ops);
    if (r < 0) return false;
    bytes.push_back(static_cast<char>((mnemonic.size() == 4 ? 0x50 : 0x58) + r));  // PUSH 50h+r, POP 58h+r
    return true;
  }
  if (Equals_NoCase(mnemonic, "DB")) return Data_Bytes(ops, bytes);
  return false;
}

// ---- Tests ------------------------------------------------------------------------------------

using test::Recorder;
using test::Spaced_Hex;

// Checks one line; returns whether the model took it.
bool Check_Line(const std::string& line) {
  std::string fast;
  if (!Model_Line(line, fast)) return false;
  Recorder boxes;
  LabelTable labels;
  labels.Add_LabelEntry("L1", true);
  labels.Add_Length(5);
  bool invalid_label = false;
  const std::string general = Dispatch_Line(Get_LineTerms(line), labels, invalid_label);
  EXPECT_FALSE(invalid_label) << line;
  EXPECT_EQ(Spaced_Hex(fast), Spaced_Hex(general)) << line;
  EXPECT_TRUE(boxes.Messages().empty()) << line;
  CodeImage image;
  image.Append_Code(general);
  const FixLine fix{0, static_cast<std::int32_t>(general.size()), line};
  EXPECT_EQ(Dispatch_FixUp(Get_LineTerms(line), image, labels, fix, false), "") << line;
  EXPECT_EQ(image.Bytes(), general) << line;
  EXPECT_TRUE(boxes.Messages().empty()) << line;
  return true;
}

const char* const kRegs[] = {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI", "eax", "Esp", "ebP"};
const char* const kNumbers[] = {"0",          "1",           "5",           "127",        "128",
                                "255",        "256",         "-1",          "-128",       "-129",
                                "79618",      "2147483647",  "-2147483647", "2147483648", "-2147483648",
                                "4294967295", "99999999999", "007",         "-0",         "+5",
                                "&HFF",       "12h",         "1e3",         "5&",         ""};
const char* const kDisps[] = {"",     "+0",   "+4",   "-4",          "+127",        "-128",        "+128",
                              "-129", "+200", "-200", "+2147483647", "-2147483647", "+2147483648", "+07",
                              "+-4",  "+EAX", "*2",   "+",           "-0"};

std::vector<std::string> Memory_Forms() {
  std::vector<std::string> forms;
  for (const char* r : kRegs)
    for (const char* d : kDisps) forms.push_back(std::string("[") + r + d + "]");
  forms.push_back("[EAX+EBX]");
  forms.push_back("DWORD PTR [EAX]");
  forms.push_back("[ EAX]");
  return forms;
}

TEST(CommonShapes, TwoOperandShapesMatchTheGeneralEncoder) {
  const char* mnemonics[] = {"MOV", "ADD", "OR",  "ADC", "SBB",  "AND", "SUB",
                             "XOR", "CMP", "mov", "Xor", "TEST", "LEA"};
  const std::vector<std::string> mem = Memory_Forms();
  std::vector<std::string> operands;
  for (const char* r : kRegs) operands.push_back(r);
  for (const char* n : kNumbers) operands.push_back(n);
  operands.insert(operands.end(), mem.begin(), mem.end());
  for (const char* odd : {"AL", "AX", "ES", "L1", "CV1", "EAXX"}) operands.push_back(odd);
  int taken = 0, lines = 0;
  for (const char* m : mnemonics)
    for (const std::string& a : operands)
      for (const std::string& b : operands) {
        // Memory against memory only for a sample: the general encoder refuses them all alike.
        if (a[0] == '[' && b[0] == '[' && (a.size() + b.size()) % 17 != 0) continue;
        ++lines;
        taken += Check_Line(std::string(m) + " " + a + "," + b);
      }
  EXPECT_GT(taken, lines / 10);  // the model does take the common shapes
}

TEST(CommonShapes, PushPopAndDataMatchTheGeneralEncoder) {
  int taken = 0;
  for (const char* m : {"PUSH", "POP", "push", "Pop"})
    for (const char* r : kRegs) taken += Check_Line(std::string(m) + " " + r);
  for (const char* line :
       {"DB 1,2,3,4", "DB 0", "DB 255", "db 7,0,255", "DB 256", "DB -1", "DB 1,,2", "DB 1,", "DB 01",
        "DB &HFF", "DB \"A\"", "DB 1, 2", "PUSH 5", "POP [EAX]", "PUSH L1", "PUSH AX"})
    taken += Check_Line(line);
  EXPECT_GE(taken, 4 * 11 + 4);
}

TEST(CommonShapes, SpellingsLeftToTheGeneralPath) {
  std::string bytes;
  for (const char* line : {"MOV  EAX,1", "MOV EAX, 1", "MOV EAX,1 ", "MOV EAX", "MOV", "MOV EAX,1,2",
                           "MOVX EAX,1", "MOV AL,1", "MOV EAX,CV1", "MOV [EAX],1", "DB", "DW 1", "JMP L1"})
    EXPECT_FALSE(Model_Line(line, bytes)) << line;
}

TEST(CommonShapes, JumpsMatchTheGeneralEncoderAndFixUp) {
  // Labels at 0 and 20; the code is 40 bytes of jumps at offsets 0, 10 and 20.
  LabelTable labels;
  labels.Add_LabelEntry("START", true);
  labels.Add_Length(20);
  labels.Add_LabelEntry("Mid_1", true);
  labels.Add_Length(20);
  const char* const mnemonics[] = {"JMP", "jmp", "JZ",  "JNZ", "jne", "JC", "JNC",  "JG",    "JL",  "JA",
                                   "JB",  "JGE", "JLE", "JAE", "JBE", "JO", "JNO",  "JS",    "JNS", "JP",
                                   "JPE", "JPO", "JNP", "JNA", "JNB", "JE", "JCXZ", "JECXZ", "JX",  "J"};
  const char* const targets[] = {"START", "mid_1", "MID_1", "NOWHERE", "EAX", "AL",
                                 "5",     "&H10",  "L1,2",  "[EAX]",   "_X"};
  int taken = 0;
  for (const char* m : mnemonics)
    for (const char* t : targets) {
      const std::string line = std::string(m) + " " + t;
      std::string fast;
      if (!Model_Jump(line, fast)) continue;
      ++taken;
      Recorder boxes;
      LabelTable scratch;
      bool invalid = false;
      const std::string general = Dispatch_Line(Get_LineTerms(line), scratch, invalid);
      EXPECT_EQ(Spaced_Hex(fast), Spaced_Hex(general)) << line;
      EXPECT_TRUE(boxes.Messages().empty()) << line;
      for (std::int32_t offset : {0, 10, 20}) {
        CodeImage expected, actual;
        for (CodeImage* image : {&expected, &actual}) {
          image->Append_Code(std::string(static_cast<std::size_t>(offset), '\x90'));
          image->Append_Code(general);
          image->Append_Code(std::string(40 - offset - general.size(), '\x90'));
        }
        const auto length = static_cast<std::int32_t>(general.size());
        boxes.Clear();
        if (!Model_JumpFix(line, actual, labels, offset, length)) {
          EXPECT_EQ(actual.Bytes(), expected.Bytes()) << line;  // left to the general fix-up
          continue;
        }
        const std::string fixed =
            Dispatch_FixUp(Get_LineTerms(line), expected, labels, FixLine{offset, length, line}, false);
        EXPECT_TRUE(boxes.Messages().empty()) << line << " at " << offset;
        EXPECT_EQ(Spaced_Hex(actual.Bytes()), Spaced_Hex(expected.Bytes())) << line << " at " << offset;
        EXPECT_EQ(Spaced_Hex(fixed),
                  Spaced_Hex(actual.Read(static_cast<std::size_t>(offset), general.size())));
      }
    }
  EXPECT_GT(taken, 50);
}

// Whole compiles: each row the model takes holds the model's bytes, as the general dispatch
// gives them for the line on its own.
TEST(CommonShapes, RandomProgramsCompileAsBefore) {
  std::mt19937 rnd(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rnd() % n); };
  std::vector<std::string> mem;
  for (const char* r : kRegs)
    for (std::size_t d = 0; d < 12; ++d) mem.push_back(std::string("[") + r + kDisps[d] + "]");
  std::string program = "CONST K1 EQU 12\r\nCONST K2 = [EBX+8]\r\n";
  for (int i = 0; i < 3000; ++i) {
    const std::string r1 = kRegs[pick(8)], r2 = kRegs[pick(11)];
    switch (pick(8)) {
      case 0:
        program += "MOV " + r1 + "," + kNumbers[pick(13)];
        break;
      case 1:
        program += "ADD " + r1 + "," + mem[pick(mem.size())];
        break;
      case 2:
        program += "XOR " + mem[pick(mem.size())] + "," + r2;
        break;
      case 3:
        program += "CMP " + r1 + ",K1";
        break;
      case 4:
        program += "MOV " + r1 + ",K2";
        break;
      case 5:
        program += "L" + std::to_string(i) + ":\r\nNOP\r\nJMP L" + std::to_string(i);
        break;
      case 6:
        program += "DB " + std::to_string(pick(256)) + "," + std::to_string(pick(256));
        break;
      default:
        program += "PUSH " + r2 + "\r\nPOP " + r1;
        break;
    }
    program += "\r\n";
  }
  Recorder boxes;
  CompileSession session;
  session.Compile(program, {});
  // Reassemble each line on its own with the general dispatch and compare the rows.
  const Listing& listing = session.Listing_();
  ASSERT_TRUE(listing.Has_Addresses());
  EXPECT_TRUE(boxes.Messages().empty());
  for (std::size_t i = 0; i < listing.Line_Count(); ++i) {
    const std::string_view line = listing.PreCode_Line(i);
    if (line.empty() || line.find(':') != std::string_view::npos || line.substr(0, 4) == "JMP ") continue;
    std::string fast;
    if (!Model_Line(line, fast)) continue;
    LabelTable labels;
    bool invalid = false;
    EXPECT_EQ(Spaced_Hex(listing.Raw_Bytes(i)), Spaced_Hex(fast)) << line;
    EXPECT_EQ(Spaced_Hex(listing.Raw_Bytes(i)),
              Spaced_Hex(Dispatch_Line(Get_LineTerms(line), labels, invalid)))
        << line;
  }
}

}  // namespace
}  // namespace orvo
