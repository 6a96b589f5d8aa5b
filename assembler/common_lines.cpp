#include "assembler/common_lines.h"

#include <cstdint>

#include "encoders/encoders.h"
#include "operands/operands.h"
#include "operands/text.h"

namespace orvo {
namespace {

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

}  // namespace

bool Encode_CommonJump(std::string_view line, std::string& bytes) {
  const std::size_t space = line.find(' ');
  if (space < 2 || space > 4 || Upper_Char(line[0]) != 'J') return false;
  const std::string_view mnemonic = line.substr(0, space);
  const std::string_view name = line.substr(space + 1);
  if (!Plain_Name(name)) return false;
  if (Equals_NoCase(mnemonic, "JMP")) {
    if (!Is_LabelName(name)) return false;
  } else if (Equals_NoCase(mnemonic, "JCXZ") || Equals_NoCase(mnemonic, "JECXZ")) {
    return false;  // rel8 forms of the loop family
  }
  bytes = Get_JumpOpcode(mnemonic);
  if (bytes.empty()) return false;
  bytes.append(4, '\0');
  return true;
}

bool Fix_CommonJump(std::string_view line, CodeImage& image, const LabelTable& labels, std::int32_t offset,
                    std::int32_t length) {
  const std::size_t space = line.find(' ');
  const std::int32_t target = labels.Find_Label(line.substr(space + 1));
  if (target == -1 || target == offset || length < 5) return false;
  // rel32 counts from the end of the instruction: opcode (1 or 2 bytes) and the four bytes.
  std::string rel;
  Append_LE(rel, static_cast<std::uint32_t>(std::int64_t{target} - (std::int64_t{offset} + length)), 4);
  image.Overwrite(static_cast<std::size_t>(offset + length - 4), rel);
  return true;
}

bool Encode_CommonLine(std::string_view line, std::string& bytes) {
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

}  // namespace orvo
