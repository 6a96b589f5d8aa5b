#include "run/insn_length.h"

#include <bitset>
#include <cstdint>

namespace orvo {
namespace {

// Bit n of row r set: opcode 16r+n takes a ModRM byte.
// clang-format off
constexpr std::uint16_t kModRm1[16] = {
    0x0F0F, 0x0F0F, 0x0F0F, 0x0F0F,  // 00-3F: ALU r/m forms
    0x0000, 0x0000, 0x0A0C,          // 40-6F: 62 63 69 6B
    0x0000, 0xFFFF, 0x0000, 0x0000,  // 70-AF: 80-8F
    0x0000, 0x00F3, 0xFF0F,          // B0-DF: C0 C1 C4-C7; D0-D3 D8-DF
    0x0000, 0xC0C0,                  // E0-FF: F6 F7 FE FF
};
constexpr std::uint16_t kModRm2[16] = {
    0x200F, 0xFFFF, 0xFF0F, 0x0000,  // 0F 00-03 0D; 10-1F; 20-23 28-2F; 38/3A handled apart
    0xFFFF, 0xFFFF, 0xFFFF, 0xFF7F,  // 40-7F except 77
    0x0000, 0xFFFF, 0xF838, 0xFFFF,  // 90-9F; A3-A5 AB-AF; B0-BF
    0x00FF, 0xFFFF, 0xFFFF, 0xFFFF,  // C0-C7; D0-FF
};
// clang-format on

bool Has(const std::uint16_t (&map)[16], unsigned op) { return (map[op >> 4] >> (op & 15)) & 1; }

}  // namespace

std::size_t Instruction_Length(std::string_view b) {
  std::size_t i = 0;
  bool opsize16 = false, addr16 = false;
  auto byte = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(b[k])); };
  for (;; ++i) {
    if (i >= b.size() || i >= 15) return 0;
    const unsigned p = byte(i);
    if (p == 0x66)
      opsize16 = true;
    else if (p == 0x67)
      addr16 = true;
    else if (!(p == 0xF0 || p == 0xF2 || p == 0xF3 || p == 0x26 || p == 0x2E || p == 0x36 || p == 0x3E ||
               p == 0x64 || p == 0x65))
      break;
  }
  const std::size_t immz = opsize16 ? 2 : 4;
  unsigned op = byte(i++);
  bool modrm = false;
  std::size_t imm = 0;
  unsigned reg_field = 0;
  if (op != 0x0F) {
    modrm = Has(kModRm1, op);
    if (op < 0x40 && (op & 7) == 4)
      imm = 1;
    else if (op < 0x40 && (op & 7) == 5)
      imm = immz;
    else if (op == 0x6A || op == 0x6B || (op >= 0x70 && op <= 0x7F) || op == 0x80 || op == 0x82 ||
             op == 0x83 || op == 0xA8 || (op >= 0xB0 && op <= 0xB7) || op == 0xC0 || op == 0xC1 ||
             op == 0xC6 || op == 0xCD || op == 0xD4 || op == 0xD5 || (op >= 0xE0 && op <= 0xE7) || op == 0xEB)
      imm = 1;
    else if (op == 0x68 || op == 0x69 || op == 0x81 || op == 0xA9 || (op >= 0xB8 && op <= 0xBF) ||
             op == 0xC7 || op == 0xE8 || op == 0xE9)
      imm = immz;
    else if (op == 0xC2 || op == 0xCA)
      imm = 2;
    else if (op == 0xC8)
      imm = 3;
    else if (op == 0x9A || op == 0xEA)
      imm = immz + 2;
    else if (op >= 0xA0 && op <= 0xA3)
      imm = addr16 ? 2 : 4;
  } else {
    if (i >= b.size()) return 0;
    op = byte(i++);
    if (op == 0x38 || op == 0x3A) {
      if (i >= b.size()) return 0;
      ++i;
      modrm = true;
      imm = op == 0x3A ? 1 : 0;
    } else {
      modrm = Has(kModRm2, op);
      if ((op >= 0x70 && op <= 0x73) || op == 0xA4 || op == 0xAC || op == 0xBA || op == 0xC2 ||
          (op >= 0xC4 && op <= 0xC6))
        imm = 1;
      else if (op >= 0x80 && op <= 0x8F)
        imm = immz;
    }
    op = 0x100;  // no one-byte group below applies
  }
  if (modrm) {
    if (i >= b.size()) return 0;
    const unsigned m = byte(i++);
    const unsigned mod = m >> 6, rm = m & 7;
    reg_field = (m >> 3) & 7;
    if (mod != 3) {
      if (addr16) {
        if (mod == 1)
          i += 1;
        else if (mod == 2 || rm == 6)
          i += 2;
      } else {
        if (rm == 4) {
          if (i >= b.size()) return 0;
          const unsigned sib = byte(i++);
          if (mod == 0 && (sib & 7) == 5) i += 4;
        }
        if (mod == 1)
          i += 1;
        else if (mod == 2 || (mod == 0 && rm == 5))
          i += 4;
      }
    }
  }
  if (op == 0xF6 && reg_field <= 1) imm = 1;
  if (op == 0xF7 && reg_field <= 1) imm = immz;
  i += imm;
  return i <= b.size() ? i : 0;
}

}  // namespace orvo
