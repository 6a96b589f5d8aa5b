#pragma once
// View-based pieces shared by the operand files. They read the caller's text in place (any
// letter case) so that classification allocates nothing for ordinary operands.

#include <cstdint>
#include <string>
#include <string_view>

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

// The base text of a memory operand and its displacement piece.
struct MemParts {
  std::string_view base;
  std::string_view disp;  // the piece after the sign (without the "-")
  char sign = 0;          // '+', '-' or 0
  int form = 0;           // 0 not bracketed, 1 bracketed, 2 with displacement
};
MemParts Split_Mem(std::string_view text);

// Width 8/16/32 and code of a general register name (trimmed, any case); width 0 for none.
struct RegInfo {
  int width = 0;
  std::uint8_t code = 255;
};
RegInfo Lookup_Register(std::string_view text);

// Value of one character or digit string in Parse_Digits' reading, throwing Fault above 255.
std::uint8_t Digits_Value(int base, std::string_view digits);

}  // namespace orvo::detail
