// The argument-number rule of the four argument fields: blanks anywhere are ignored, reading
// stops at the first character that cannot continue the number, and the value is rounded to
// an integer (ties to even) and must fit a signed 32-bit argument.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "run/run_engine.h"

namespace orvo {
namespace {

constexpr bool Is_Blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

int Digit_Value(char c, int radix) {
  int v = -1;
  if (c >= '0' && c <= '9')
    v = c - '0';
  else if (c >= 'A' && c <= 'F')
    v = c - 'A' + 10;
  else if (c >= 'a' && c <= 'f')
    v = c - 'a' + 10;
  return v < radix ? v : -1;
}

// &H / &O: a value up to FFFF is a signed 16-bit number, a larger one up to FFFFFFFF a signed
// 32-bit number; anything larger does not fit an argument.
bool Read_Radix(const std::string& s, std::size_t i, int radix, std::int32_t& value) {
  std::uint64_t v = 0;
  for (; i < s.size(); ++i) {
    const int d = Digit_Value(s[i], radix);
    if (d < 0) break;
    v = v * static_cast<unsigned>(radix) + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  if (v <= 0xFFFF)
    value = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
  else
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return true;
}

// Nearest integer, a tie going to the even neighbour (independent of the FPU rounding mode).
double Round_HalfEven(double x) {
  const double lower = std::floor(x);
  const double diff = x - lower;
  if (diff > 0.5) return lower + 1;
  if (diff < 0.5) return lower;
  return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

// For a decimal text outside the range of double: true when it is too large rather than too
// small. The value is 0.d... x 10^m; m comes from where the first significant digit stands.
bool Is_Huge(const char* p, const char* end) {
  if (p < end && (*p == '-' || *p == '+')) ++p;
  long long m = 0;
  bool significant = false, fraction = false;
  for (; p < end && *p != 'E' && *p != 'e'; ++p) {
    if (*p == '.') {
      fraction = true;
    } else if (!significant) {
      significant = *p != '0';
      if (significant && !fraction) m = 1;
      if (!significant && fraction) --m;
    } else if (!fraction) {
      ++m;
    }
  }
  long long exponent = 0;
  bool negative = false;
  if (p < end) {
    ++p;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    for (; p < end && exponent < 1000000000; ++p) exponent = exponent * 10 + (*p - '0');
  }
  return m + (negative ? -exponent : exponent) > 0;
}

}  // namespace

bool Parse_ArgumentNumber(std::string_view text, std::int32_t& value) {
  value = 0;
  std::string s;
  s.reserve(text.size());
  for (char c : text)
    if (!Is_Blank(c)) s.push_back(c);

  if (s.size() >= 2 && s[0] == '&') {
    const char p = Upper_Char(s[1]);
    if (p == 'H') return Read_Radix(s, 2, 16, value);
    if (p == 'O') return Read_Radix(s, 2, 8, value);
    return true;  // not a number: 0
  }

  // [sign] digits [. digits] [E [sign] digits]: the longest prefix of that shape.
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && Is_Digit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    std::size_t j = i + 1, fraction = 0;
    while (j < s.size() && Is_Digit(s[j])) ++j, ++fraction;
    if (digits + fraction > 0) {
      digits += fraction;
      i = j;
    }
  }
  if (digits == 0) return true;  // not a number: 0
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t exponent_start = j;
    while (j < s.size() && Is_Digit(s[j])) ++j;
    if (j > exponent_start) i = j;
  }

  const char* first = s.data();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  double d = 0;
  const auto [end, ec] = std::from_chars(first, s.data() + i, d);
  if (ec == std::errc::result_out_of_range) return !Is_Huge(first, s.data() + i);  // tiny reads as 0
  if (ec != std::errc() || end != s.data() + i) return true;
  const double r = Round_HalfEven(d);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
  value = static_cast<std::int32_t>(r);
  return true;
}

std::string Argument_RangeText(std::size_t index, std::string_view text) {
  // A field can hold anything pasted into it: the box quotes a bounded piece.
  constexpr std::size_t kQuoted = 40;
  std::string quoted(text.substr(0, kQuoted));
  if (text.size() > kQuoted) quoted += "...";
  return "Error in assembler program\r\rARG" + std::to_string(index + 1) + " (" + quoted +
         ") does not fit a 32-bit argument.\rIt takes -2147483648 to 2147483647, or &H/&O up to FFFFFFFF.";
}

}  // namespace orvo
