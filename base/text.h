#pragma once
// Text rules shared by the whole assembler: trimming removes spaces (20h) only, a TAB is an
// ordinary character, and case-insensitive compares upper-case ASCII letters only (bytes
// 80h-FFh are never letters). Every module uses these helpers instead of its own copy.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvo {

inline constexpr char kCR = '\r';
// The digits of every hexadecimal text the assembler writes.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";
inline constexpr char kTab = '\t';

constexpr char Upper_Char(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
constexpr bool Is_Digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool Is_UpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool Is_Letter(char c) { return Is_UpperLetter(Upper_Char(c)); }
// Word characters of the whole-word test: ASCII letters and digits only.
constexpr bool Is_AlphaNumeric(char c) { return Is_Letter(c) || Is_Digit(c); }

constexpr std::string_view Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}
constexpr std::string_view Trim_Right(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return s.substr(0, e);
}
constexpr std::string_view Trim_Left(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

inline void Upper_InPlace(std::string& s) {
  for (char& c : s) c = Upper_Char(c);
}
// Written in capitals as it is copied: one pass over the text.
inline std::string Upper(std::string_view s) {
  std::string r(s.size(), '\0');
  char* out = r.data();
  for (std::size_t i = 0; i < s.size(); ++i) out[i] = Upper_Char(s[i]);
  return r;
}
// Trimmed and in capitals: the form in which mnemonics, keys and operands are compared.
inline std::string Trim_Upper(std::string_view s) { return Upper(Trim(s)); }

constexpr bool Equals_NoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper_Char(a[i]) != Upper_Char(b[i])) return false;
  return true;
}
constexpr bool Starts_With_NoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && Equals_NoCase(s.substr(0, prefix.size()), prefix);
}
constexpr bool Ends_With_NoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && Equals_NoCase(s.substr(s.size() - suffix.size()), suffix);
}
// Position of the first case-insensitive occurrence of needle at or after from, or npos.
constexpr std::size_t Find_NoCase(std::string_view hay, std::string_view needle, std::size_t from = 0) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  if (needle.size() > hay.size()) return std::string_view::npos;
  const char first = Upper_Char(needle[0]);
  for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if (Upper_Char(hay[i]) != first) continue;
    if (Equals_NoCase(hay.substr(i + 1, needle.size() - 1), needle.substr(1))) return i;
  }
  return std::string_view::npos;
}

// A mnemonic or key of up to seven characters packed into one integer with its length in the
// top byte, so that table lookups compare integers; Pack_Mnemonic_NoCase reads small letters as
// capitals. Longer texts have no packed form.
inline constexpr std::size_t kMaxPackedMnemonic = 7;
constexpr std::uint64_t Pack_Mnemonic(std::string_view m) {
  std::uint64_t v = m.size();
  for (char c : m) v = (v << 8) | static_cast<unsigned char>(c);
  return v;
}
constexpr std::uint64_t Pack_Mnemonic_NoCase(std::string_view m) {
  std::uint64_t v = m.size();
  for (char c : m) v = (v << 8) | static_cast<unsigned char>(Upper_Char(c));
  return v;
}

// Decimal text of a signed value, as the listing and messages show it.
inline std::string Decimal_Text(std::int64_t v) { return std::to_string(v); }
// Upper-case hexadecimal without leading zeros ("0" for zero) of an unsigned 32-bit value.
std::string Hex_Upper(std::uint32_t v);

// Little-endian byte strings: one char per byte.
inline void Append_LE(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline std::uint32_t Read_LE32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}
inline std::string Bytes(std::initializer_list<std::uint8_t> list) {
  std::string s;
  s.reserve(list.size());
  for (auto b : list) s.push_back(static_cast<char>(b));
  return s;
}

}  // namespace orvo
