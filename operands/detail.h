#pragma once
// View-based pieces shared by the operand files. They read the caller's text in place (any
// letter case) so that classification allocates nothing for ordinary operands.

#include <cstdint>
#include <string>
#include <string_view>

#include "operands/operands.h"
#include "operands/text.h"

namespace orvo::detail {

// A literal after normalization: a view of the trimmed text itself, or of a rewritten &B
// literal held here. Showing the "Number too big: " box is part of constructing it.
class NormalLiteral {
 public:
  // Only a literal that starts with &B is rewritten; every other text is its trimmed view.
  explicit NormalLiteral(std::string_view text) : view_(Trim(text)) {
    if (view_.size() >= 2 && view_[0] == '&' && Upper_Char(view_[1]) == 'B') Rewrite();
  }
  NormalLiteral(const NormalLiteral&) = delete;
  NormalLiteral& operator=(const NormalLiteral&) = delete;
  std::string_view view() const { return rewritten_ ? std::string_view(buf_) : view_; }

 private:
  void Rewrite();

  std::string buf_;
  std::string_view view_;
  bool rewritten_ = false;
};

// Trims, then drops one leading "-" and the spaces after it.
constexpr bool Strip_Minus_View(std::string_view& t) {
  std::size_t b = 0, e = t.size();
  while (b < e && t[b] == ' ') ++b;
  while (e > b && t[e - 1] == ' ') --e;
  t = t.substr(b, e - b);
  if (t.empty() || t[0] != '-') return false;
  std::size_t i = 1;
  while (i < t.size() && t[i] == ' ') ++i;
  t = t.substr(i);
  return true;
}

// Tests on a normalized literal whose minus has been stripped.
bool Number_Test(std::string_view t);
bool Imm_Test(std::string_view t, std::size_t hex_digits, std::size_t chars, double max);
bool Label_Test(std::string_view t);

// Size code and remaining text of a size prefix, without copying (text already trimmed).
int Size_Prefix(std::string_view& t);

// Width 8/16/32 and code of a general register name (trimmed, any case); width 0 for none.
struct RegInfo {
  int width = 0;
  std::uint8_t code = 255;
  // The code when the name is a register of that width, else 255 (as Get_Reg32Code and kin).
  constexpr std::uint8_t Code(int of_width) const { return width == of_width ? code : 255; }
};
RegInfo Lookup_Register(std::string_view text);

// The base text of a memory operand and its displacement piece.
struct MemParts {
  std::string_view base;
  std::string_view disp;  // the piece after the sign (without the "-")
  char sign = 0;          // '+', '-' or 0
  int form = 0;           // 0 not bracketed, 1 bracketed, 2 with displacement
};
MemParts Split_Mem(std::string_view text);
// Split_MemOperand on parts already split.
std::string_view Split_MemOperand(const MemParts& parts, MemForm& form, std::string& disp);
// One reading of an operand text, for the encoders that look at an operand several times: the
// text trimmed, its size prefix, the memory parts after the prefix and the register its base
// names. Views into the text, valid while it is unchanged.
struct OperandReading {
  std::string_view trimmed;
  std::string_view rest;  // trimmed, without a size prefix (Strip_SizePtr's result)
  int size = 0;           // Size_Prefix code
  MemParts mem;           // Split_Mem(rest)
  RegInfo reg;            // Lookup_Register(mem.base): the register operand, or the base register
};
OperandReading Read_Operand(std::string_view text);
// Get_OperandType of the text read; may show the literal boxes as that does.
OpType Operand_Type(const OperandReading& reading);
// Strip_SizePtr of the text read (reading must be of text as it is now).
int Strip_SizePtr(std::string& text, const OperandReading& reading);

// Mod bits 00h, 40h or 80h for the displacement of split parts (Get_DispMod without the split).
std::uint8_t Disp_Mod(const MemParts& parts);

// reg * 8 + r/m, or 255 when either code is not a register.
constexpr std::uint8_t Pack(std::uint8_t reg, std::uint8_t rm) {
  return (reg == 255 || rm == 255) ? 255 : static_cast<std::uint8_t>(reg * 8 + rm);
}

// Build_ModRM on registers already looked up: an encoder that reads its operands once passes
// what it read.
std::uint8_t Build_ModRM(OpType dst, OpType src, RegInfo dst_base, RegInfo src_base);

// Value of one character or digit string in Parse_Digits' reading, throwing Fault above 255.
std::uint8_t Digits_Value(int base, std::string_view digits);

}  // namespace orvo::detail
