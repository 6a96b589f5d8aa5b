// The plain number reader against a straightforward one that reads a character at a time: every
// notation, digit runs of 0 to 40, near misses of each. Both must agree on yes or no and, for yes,
// on the value, the digit count and the decimal flag. Each text sits in a heap block of exactly its
// size, so a read past its end shows under the address sanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "base/text.h"
#include "operands/detail.h"

namespace orvo::detail {
namespace {

bool Reference_Decimal(std::string_view t, std::uint32_t& value) {
  if (t.empty() || t.size() > 9) return false;
  std::uint32_t v = 0;
  for (const char c : t) {
    if (!Is_Digit(c)) return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  value = v;
  return true;
}

std::uint8_t Reference_Hex_Digit_Count(std::uint32_t v) {
  std::uint8_t n = 1;
  while (v >>= 4) ++n;
  return n;
}

// Up to 32 bits of digits at bits_per_digit each; false for none or any other character.
bool Reference_Digits(std::string_view digits, int bits_per_digit, std::uint32_t& value) {
  if (digits.empty() || digits.size() * static_cast<std::size_t>(bits_per_digit) > 32) return false;
  std::uint32_t v = 0;
  for (const char c : digits) {
    unsigned d = 0;
    if (Is_Digit(c))
      d = static_cast<unsigned>(c - '0');
    else if (Upper_Char(c) >= 'A' && Upper_Char(c) <= 'F')
      d = static_cast<unsigned>(Upper_Char(c) - 'A' + 10);
    else
      return false;
    if (d >= (1u << bits_per_digit)) return false;
    v = (v << bits_per_digit) | d;
  }
  value = v;
  return true;
}

// The rules one at a time: decimal of up to nine digits; &H (digits as written) and &B (one hex
// digit per four binary, four at least); then 0x, ...h, 0b, ...b in that order; then ten decimal
// digits through a signed 32-bit value.
bool Reference_Plain_Literal(std::string_view t, PlainNumber& out) {
  if (t.empty()) return false;
  if (std::uint32_t v = 0; Reference_Decimal(t, v)) {
    out = PlainNumber{v, static_cast<std::uint8_t>(t.size()), true};
    return true;
  }
  std::uint32_t v = 0;
  if (t[0] == '&') {
    if (t.size() < 3) return false;
    const char radix = Upper_Char(t[1]);
    const std::string_view digits = t.substr(2);
    if (radix == 'H' && Reference_Digits(digits, 4, v)) {
      out = PlainNumber{v, static_cast<std::uint8_t>(digits.size()), false};
      return true;
    }
    if (radix == 'B' && Reference_Digits(digits, 1, v)) {
      const std::size_t width = std::max<std::size_t>(digits.size(), 4);
      out = PlainNumber{v, static_cast<std::uint8_t>((width + 3) / 4), false};
      return true;
    }
    return false;
  }
  if (!Is_Digit(t[0])) return false;
  const char second = t.size() > 2 && t[0] == '0' ? Upper_Char(t[1]) : '\0';
  const char last = Upper_Char(t.back());
  bool read_ok = false;
  if (second == 'X')
    read_ok = Reference_Digits(t.substr(2), 4, v);
  else if (last == 'H')
    read_ok = Reference_Digits(t.substr(0, t.size() - 1), 4, v);
  else if (second == 'B' && Reference_Digits(t.substr(2), 1, v))
    read_ok = true;
  else if (last == 'B')
    read_ok = Reference_Digits(t.substr(0, t.size() - 1), 1, v);
  else if (t.size() == 10) {
    std::uint64_t d = 0;
    for (const char c : t) {
      if (!Is_Digit(c)) return false;
      d = d * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (d > 0x7FFFFFFFu) return false;
    out = PlainNumber{static_cast<std::uint32_t>(d), 10, true};
    return true;
  }
  if (!read_ok) return false;
  out = PlainNumber{v, Reference_Hex_Digit_Count(v), false};
  return true;
}

std::string Describe(bool read, const PlainNumber& n) {
  if (!read) return "refused";
  std::ostringstream s;
  s << n.value << " digits " << int{n.digits} << (n.decimal ? " dec" : " hex");
  return s.str();
}

// Plain_Literal on a copy of the text in a block of exactly its size.
std::string Read_Exact(std::string_view text) {
  const auto block = std::make_unique<char[]>(std::max<std::size_t>(text.size(), 1));
  std::copy(text.begin(), text.end(), block.get());
  PlainNumber n;
  const bool read = Plain_Literal(std::string_view(block.get(), text.size()), n);
  return Describe(read, n);
}

std::string Read_Reference(std::string_view text) {
  PlainNumber n;
  const bool read = Reference_Plain_Literal(text, n);
  return Describe(read, n);
}

TEST(PlainLiteral, ReadsEachNotationByItsRules) {
  const struct {
    const char* text;
    const char* reading;
  } rows[] = {
      {"0", "0 digits 1 dec"},
      {"007", "7 digits 3 dec"},
      {"999999999", "999999999 digits 9 dec"},
      {"2147483647", "2147483647 digits 10 dec"},
      {"0000000001", "1 digits 10 dec"},
      {"2147483648", "refused"},
      {"4294967295", "refused"},
      {"12345678901", "refused"},
      {"0x0", "0 digits 1 hex"},
      {"0X00ff", "255 digits 2 hex"},
      {"0xFFFFFFFF", "4294967295 digits 8 hex"},
      {"0x0FFFFFFFF", "refused"},   // nine digits, leading zero and all
      {"0x1b", "27 digits 2 hex"},  // 0x wins over a last b
      {"0x12h", "refused"},
      {"0x", "refused"},
      {"0FFh", "255 digits 2 hex"},
      {"0h", "0 digits 1 hex"},
      {"0b1h", "177 digits 2 hex"},  // a last h wins over 0b
      {"0FFFFFFFFh", "refused"},
      {"&HC8", "200 digits 2 hex"},
      {"&h007F", "127 digits 4 hex"},  // &H keeps its digits as written
      {"&HFFFFFFFF", "4294967295 digits 8 hex"},
      {"&H100000000", "refused"},
      {"&H", "refused"},
      {"&", "refused"},
      {"&HG", "refused"},
      {"0b10", "2 digits 1 hex"},
      {"0b", "0 digits 1 hex"},  // a 0 with a last b
      {"0b1b", "refused"},
      {"101b", "5 digits 1 hex"},
      {"11111111111111111111111111111111b", "4294967295 digits 8 hex"},
      {"011111111111111111111111111111111b", "refused"},
      {"&B1", "1 digits 1 hex"},          // four binary digits at least
      {"&b000000001", "1 digits 3 hex"},  // one hex digit per four binary ones, as written
      {"&B11111111111111111111111111111111", "4294967295 digits 8 hex"},
      {"&B2", "refused"},
      {"h", "refused"},
      {"b", "refused"},
      {"1E2", "refused"},
      {"", "refused"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Read_Exact(row.text), row.reading) << row.text;
    EXPECT_EQ(Read_Reference(row.text), row.reading) << row.text;
  }
}

// Every text of up to four characters over the characters that decide a notation.
TEST(PlainLiteral, AgreesWithReferenceOnEveryShortText) {
  static constexpr char kAlphabet[] = "019aAbBfFgGhHxX&2 :/@`\x80\xff";
  const std::string_view alphabet(kAlphabet, sizeof kAlphabet - 1);
  std::string text;
  for (std::size_t length = 0; length <= 4; ++length) {
    std::size_t count = 1;
    for (std::size_t k = 0; k < length; ++k) count *= alphabet.size();
    for (std::size_t code = 0; code < count; ++code) {
      text.clear();
      for (std::size_t k = 0, rest = code; k < length; ++k, rest /= alphabet.size())
        text += alphabet[rest % alphabet.size()];
      ASSERT_EQ(Read_Exact(text), Read_Reference(text)) << '"' << text << '"';
    }
  }
}

// Digit runs of 0 to 40 in each notation, right and with one character spoiled, in both cases.
TEST(PlainLiteral, AgreesWithReferenceOnRandomRuns) {
  std::mt19937 rnd(23);
  const struct {
    const char* prefix;
    const char* suffix;
    std::string_view digits;
  } notations[] = {
      {"", "", "0123456789"},
      {"0x", "", "0123456789abcdefABCDEF"},
      {"0X", "", "0123456789abcdef"},
      {"", "h", "0123456789ABCDEF"},
      {"", "H", "0123456789abcdef"},
      {"&H", "", "0123456789abcdefABCDEF"},
      {"&h", "", "0123456789ABCDEF"},
      {"0b", "", "01"},
      {"0B", "", "01"},
      {"", "b", "01"},
      {"", "B", "01"},
      {"&B", "", "01"},
      {"&b", "", "01"},
  };
  static constexpr char kSpoilers[] = "2789aAgGhHxXbB&+- \x7f\x80\xff/:@`";
  const std::string_view spoilers(kSpoilers, sizeof kSpoilers - 1);
  for (const auto& notation : notations) {
    for (std::size_t length = 0; length <= 40; ++length) {
      for (int trial = 0; trial < 60; ++trial) {
        std::string digits;
        // Leading zeros often: they count towards the digit limits.
        const std::size_t zeros = trial % 3 == 0 ? rnd() % (length + 1) : 0;
        for (std::size_t k = 0; k < length; ++k)
          digits += k < zeros ? '0' : notation.digits[rnd() % notation.digits.size()];
        // Numbers near the edges of 31 and 32 bits.
        if (trial % 7 == 1 && length >= 1) digits[0] = notation.digits.back();
        std::string text = notation.prefix + digits + notation.suffix;
        if (trial % 4 == 3 && !text.empty()) text[rnd() % text.size()] = spoilers[rnd() % spoilers.size()];
        ASSERT_EQ(Read_Exact(text), Read_Reference(text)) << '"' << text << '"';
      }
    }
  }
}

// The edges of the digit limits: nine, ten and eleven decimal digits around 2^31, eight and nine
// hex digits, 32 and 33 binary digits, written every way.
TEST(PlainLiteral, AgreesWithReferenceAtDigitLimits) {
  const char* const texts[] = {
      "999999999",   "1000000000",  "2147483647",  "2147483648",  "2147483646",  "9999999999",
      "0999999999",  "02147483647", "21474836470", "10000000000", "0000000000",  "00000000000",
      "FFFFFFFFh",   "0FFFFFFFFh",  "100000000h",  "00000000h",   "0xFFFFFFFF",  "0x100000000",
      "0x000000000", "&HFFFFFFFF",  "&H0FFFFFFFF", "&H00000000",  "&H000000000",
  };
  for (const char* text : texts) EXPECT_EQ(Read_Exact(text), Read_Reference(text)) << text;
  for (const std::string& ones : {std::string(31, '1'), std::string(32, '1'), std::string(33, '1')}) {
    for (const std::string& text :
         {"0b" + ones, "0B0" + ones, ones + "b", "0" + ones + "B", "&B" + ones, "&b0" + ones})
      EXPECT_EQ(Read_Exact(text), Read_Reference(text)) << text;
  }
}

}  // namespace
}  // namespace orvo::detail
