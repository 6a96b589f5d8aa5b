// Numeric literals: normalization of &B literals, range tests, leading values and the
// conversions to little-endian byte strings.

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {

bool detail::Plain_Decimal(std::string_view t, std::uint32_t& value) {
  if (t.empty() || t.size() > 9) return false;
  std::uint32_t v = 0;
  for (const char c : t) {
    if (!Is_Digit(c)) return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  value = v;
  return true;
}

// Hex digits of a value, at least one: the digit count a rewritten 0x / ...h / binary literal
// keeps once its leading zeros are gone.
constexpr std::uint8_t Hex_Digit_Count(std::uint32_t v) {
  return static_cast<std::uint8_t>((std::bit_width(v | 1u) + 3) / 4);
}

namespace {

// The value of a hex digit, or 0x10 for any other byte.
constexpr auto kHexDigitValue = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(0x10);
  for (int c = 0; c < 10; ++c) table['0' + c] = static_cast<std::uint8_t>(c);
  for (int c = 0; c < 6; ++c) {
    table['A' + c] = static_cast<std::uint8_t>(10 + c);
    table['a' + c] = static_cast<std::uint8_t>(10 + c);
  }
  return table;
}();

// The digit readers return the value, or kRefused (above 32 bits) for an empty run, too many
// digits or any other character: a register return keeps the caller off the stack.
constexpr std::uint64_t kRefused = std::uint64_t{1} << 32;

// One to eight hex digits and nothing else.
inline std::uint64_t Read_Hex_Digits(const char* p, std::size_t n) {
  if (n - 1 >= 8) return kRefused;  // none, or more than 32 bits
  std::uint32_t v = 0;
  unsigned bad = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned d = kHexDigitValue[static_cast<unsigned char>(p[i])];
    bad |= d;
    v = (v << 4) | d;
  }
  return (bad & 0x10) != 0 ? kRefused : v;
}

// Binary digits eight at a time: each byte of a little-endian word must be '0' or '1'; one
// multiplication gathers their low bits, the first digit into bit 63.
constexpr std::uint64_t kByteOnes = 0x0101010101010101u;
constexpr std::uint64_t kByteZeros = kByteOnes * '0';
constexpr std::uint64_t kGatherBits = 0x8040201008040201u;

inline std::uint64_t Load_Word(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The n bytes at p (1..8) in the low bytes of a word, zeros above: two loads that may overlap.
inline std::uint64_t Load_Low(const char* p, std::size_t n) {
  if (n >= 4) {
    std::uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + n - 4, 4);
    return lo | (std::uint64_t{hi} << (8 * (n - 4)));
  }
  if (n >= 2) {
    std::uint16_t lo, hi;
    std::memcpy(&lo, p, 2);
    std::memcpy(&hi, p + n - 2, 2);
    return lo | (std::uint64_t{hi} << (8 * (n - 2)));
  }
  return static_cast<unsigned char>(p[0]);
}

// One to 32 binary digits and nothing else.
inline std::uint64_t Read_Binary_Digits(const char* p, std::size_t n) {
  if (n - 1 >= 32) return kRefused;  // none, or more than 32 bits
  if constexpr (std::endian::native == std::endian::little) {
    const auto not_binary = [](std::uint64_t w) { return (w ^ kByteZeros) & ~kByteOnes; };
    const auto gather = [](std::uint64_t w) { return ((w & kByteOnes) * kGatherBits) >> 56; };
    if (n <= 8) {
      const std::uint64_t w = Load_Low(p, n);
      const std::uint64_t used = ~std::uint64_t{0} >> (64 - 8 * n);
      return (not_binary(w) & used) != 0 ? kRefused : gather(w) >> (8 - n);
    }
    std::uint64_t v = 0, bad = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      const std::uint64_t w = Load_Word(p + i);
      bad |= not_binary(w);
      v = (v << 8) | gather(w);
    }
    if (const std::size_t rest = n - i; rest != 0) {
      // The last eight bytes again; their last `rest` digits are the ones not read yet.
      const std::uint64_t w = Load_Word(p + n - 8);
      bad |= not_binary(w);
      v = (v << rest) | (gather(w) & ((1u << rest) - 1));
    }
    return bad != 0 ? kRefused : v;
  } else {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const auto bit = static_cast<unsigned>(p[i] - '0');
      if (bit > 1) return kRefused;
      v = (v << 1) | bit;
    }
    return v;
  }
}

// Plain_Literal past its decimal reading: &H, &B, 0x, 0b, ...h and ...b numbers, in the order
// Literal_Notation tries them. The first, second and last characters pick the notation, then one
// pass reads the digits. Up to 32 bits of digits: eight hex or 32 binary digits at most (longer
// runs, leading zeros and all, are left to the full reading). Out of line, so that the decimal
// reading saves no registers.
[[gnu::noinline]] bool Plain_Prefixed_Or_Suffixed(const char* p, std::size_t n, detail::PlainNumber& out) {
  if (p[0] == '&') {
    if (n < 3) return false;
    const unsigned radix = static_cast<unsigned char>(p[1]) | 0x20u;
    // &H keeps its digits as written; &B becomes one hex digit per four binary digits.
    if (radix == 'h') {
      const std::uint64_t v = Read_Hex_Digits(p + 2, n - 2);
      if (v == kRefused) return false;
      out = detail::PlainNumber{static_cast<std::uint32_t>(v), static_cast<std::uint8_t>(n - 2), false};
      return true;
    }
    if (radix == 'b') {
      const std::uint64_t v = Read_Binary_Digits(p + 2, n - 2);
      if (v == kRefused) return false;
      const std::size_t width = std::max<std::size_t>(n - 2, 4);
      out = detail::PlainNumber{static_cast<std::uint32_t>(v), static_cast<std::uint8_t>((width + 3) / 4), false};
      return true;
    }
    return false;
  }
  if (!Is_Digit(p[0])) return false;
  const unsigned last = static_cast<unsigned char>(p[n - 1]) | 0x20u;
  const unsigned second = p[0] == '0' && n > 2 ? static_cast<unsigned char>(p[1]) | 0x20u : 0u;
  std::uint64_t v = kRefused;
  // 0x wins over a last h or b (0x1B); a last h wins over 0b (0B1h); anything else stays refused.
  if (second == 'x')
    v = Read_Hex_Digits(p + 2, n - 2);
  else if (last == 'h')
    v = Read_Hex_Digits(p, n - 1);
  else if (second == 'b')
    v = Read_Binary_Digits(p + 2, n - 2);
  else if (last == 'b')
    v = Read_Binary_Digits(p, n - 1);
  if (v == kRefused) return false;
  out = detail::PlainNumber{static_cast<std::uint32_t>(v), Hex_Digit_Count(static_cast<std::uint32_t>(v)), false};
  return true;
}

}  // namespace

bool detail::Plain_Literal(std::string_view t, PlainNumber& out) {
  const std::size_t n = t.size();
  if (n == 0) return false;
  const char* const p = t.data();
  // Decimal, the most common: up to nine digits, or ten that fit a signed 32-bit value (the
  // conversion goes through one). Any other character sends the text to the other notations.
  if (n <= 10 && static_cast<unsigned>(static_cast<unsigned char>(p[n - 1]) - '0') <= 9u) {
    const std::size_t short_digits = n < 10 ? n : 9;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < short_digits; ++i) {
      const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(p[i]) - '0');
      if (digit > 9) return Plain_Prefixed_Or_Suffixed(p, n, out);
      v = v * 10 + digit;
    }
    if (n == 10) {
      const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(p[9]) - '0');
      const std::uint64_t wide = std::uint64_t{v} * 10 + digit;
      if (wide > 0x7FFFFFFFu) return false;  // the last is a digit: no other notation either
      v = static_cast<std::uint32_t>(wide);
    }
    out = PlainNumber{v, static_cast<std::uint8_t>(n), true};
    return true;
  }
  return Plain_Prefixed_Or_Suffixed(p, n, out);
}

namespace {
using detail::Plain_Decimal;

constexpr bool Starts_With_Hex(std::string_view t) { return Starts_With_NoCase(t, "&H"); }

constexpr int Hex_Digit_Value(char c) {
  if (Is_Digit(c)) return c - '0';
  const char u = Upper_Char(c);
  return (u >= 'A' && u <= 'F') ? u - 'A' + 10 : -1;
}

// Decimal number at text[i]: digits, fraction and exponent with blanks skipped anywhere.
double Read_Decimal(std::string_view text, std::size_t i) {
  const std::size_t n = text.size();
  {
    // Fast path: a run of at most 15 digits that nothing continues is an exact integer.
    std::size_t j = i;
    std::int64_t whole = 0;
    while (j < n && j - i < 16 && Is_Digit(text[j])) whole = whole * 10 + (text[j++] - '0');
    const bool continued =
        j < n && (text[j] == ' ' || text[j] == '.' || Upper_Char(text[j]) == 'E' || Is_Digit(text[j]));
    if (j > i && j - i <= 15 && !continued) return static_cast<double>(whole);
  }
  std::string mantissa;  // digits and ".", fits the small-string buffer for ordinary literals
  std::int64_t int_digits = 0, frac_zeros = 0;  // significant integer digits, zeros before a fraction digit
  bool any_digit = false, nonzero_frac = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (c == ' ') continue;
    if (!Is_Digit(c)) break;
    any_digit = true;
    if (c == '0' && int_digits == 0) continue;
    mantissa.push_back(c);
    ++int_digits;
  }
  if (mantissa.empty()) mantissa.push_back('0');
  if (i < n && text[i] == '.') {
    mantissa.push_back('.');
    for (++i; i < n; ++i) {
      const char c = text[i];
      if (c == ' ') continue;
      if (!Is_Digit(c)) break;
      any_digit = true;
      mantissa.push_back(c);
      if (c != '0') nonzero_frac = true;
      if (!nonzero_frac) ++frac_zeros;
    }
  }
  if (!any_digit) return 0.0;
  std::int64_t exponent = 0;
  if (i < n && Upper_Char(text[i]) == 'E') {
    std::size_t j = i + 1;
    while (j < n && text[j] == ' ') ++j;
    bool negative_exp = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) negative_exp = text[j++] == '-';
    bool any_exp = false;
    for (; j < n; ++j) {
      const char c = text[j];
      if (c == ' ') continue;
      if (!Is_Digit(c)) break;
      any_exp = true;
      if (exponent < 1'000'000) exponent = exponent * 10 + (c - '0');  // far beyond any double
    }
    if (any_exp && negative_exp) exponent = -exponent;
    if (!any_exp) exponent = 0;
  }
  if (exponent != 0) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, exponent);
    mantissa.push_back('e');
    mantissa.append(buf, r.ptr);
  }
  double value = 0;
  const auto r = std::from_chars(mantissa.data(), mantissa.data() + mantissa.size(), value);
  if (r.ec == std::errc::result_out_of_range) {
    // Out of the double range: infinite when the decimal exponent is positive, else zero.
    const std::int64_t magnitude = int_digits > 0 ? int_digits - 1 + exponent : exponent - frac_zeros - 1;
    return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return r.ec == std::errc() ? value : 0.0;
}

// A signed value as decimal text: 15 significant digits, exponent form for large values.
std::string Number_Text(double v) {
  if (!std::isfinite(v)) Raise_Overflow();
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  std::string s(buf, r.ptr);
  for (char& c : s) c = Upper_Char(c);
  return s;
}

// The hex digits of a literal: the digits after "&H", or the hex text of its leading value.
std::string Literal_Digits(std::string_view text, Diagnostics& sink) {
  const detail::NormalLiteral literal(text, sink);
  const std::string_view t = literal.view();
  if (Starts_With_Hex(t)) return std::string(t.substr(2));
  std::string_view magnitude = t;
  if (detail::Strip_Minus_View(magnitude) && Starts_With_NoCase(magnitude, "&B")) {
    // -&B...: the two's complement of the base-2 value, as for -&H and decimal literals.
    const detail::NormalLiteral base2(magnitude, sink);
    return Hex_Text_Of(-Leading_Value(base2.view()));
  }
  return Hex_Text_Of(Leading_Value(t));
}

// A plain decimal with an optional minus (spaces around and after it, as the leading value
// reads them), as the 32-bit value the hex text would hold.
bool Plain_Signed(std::string_view text, std::uint32_t& value) {
  std::string_view t = text;
  const bool negative = detail::Strip_Minus_View(t);
  if (!Plain_Decimal(t, value)) return false;
  if (negative) value = 0u - value;
  return true;
}

// The bytes Pairs_From_Right gives for the hex text of value at the odd-width padding: as many
// little-endian bytes as the text has digit pairs, rounded up.
std::string Value_Bytes(std::uint32_t value) {
  std::string out;
  do {
    out.push_back(static_cast<char>(value & 0xFF));
    value >>= 8;
  } while (value != 0);
  return out;
}

std::string Dword_Bytes(std::uint32_t value) {
  std::string out;
  Append_LE(out, value, 4);
  return out;
}

// Bytes of a hex digit string padded with "0"s to width, pairs taken from the right end
// (least significant first); an odd digit left over at the front is dropped.
std::string Pairs_From_Right(std::string_view digits, std::size_t width) {
  const std::size_t pad = digits.size() < width ? width - digits.size() : 0;
  std::string padded(pad, '0');
  padded.append(digits);
  std::string out;
  out.reserve(padded.size() / 2);
  for (std::size_t i = padded.size(); i >= 2; i -= 2)
    out.push_back(static_cast<char>(detail::Digits_Value(16, std::string_view(padded).substr(i - 2, 2))));
  return out;
}

std::size_t Odd_Width(std::size_t size) { return (size % 2 == 1 && size <= 7) ? size + 1 : 0; }

// 2^8 or 2^16 minus the magnitude of a negative literal; false after recording "Conversion error".
bool Negative_Complement(std::string_view magnitude, double modulus, std::string_view unit, double& v,
                         Diagnostics& sink) {
  v = modulus - Leading_Value(magnitude);
  if (v >= 0) return true;
  std::string text = "Conversion error\r\r";
  text += Number_Text(v);
  text += " is out of ";
  text += unit;
  text += '.';
  sink.Add(std::move(text));
  return false;
}

}  // namespace

namespace detail {

std::uint8_t Digits_Value(int base, std::string_view digits) {
  std::int64_t acc = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const char c = Upper_Char(digits[i]);
    const auto code = static_cast<unsigned char>(c);
    acc += code > 64 ? code - 55 : (Is_Digit(c) ? c - '0' : 0);
    if (i + 1 < digits.size()) acc *= base;
    // The accumulator is a signed 32-bit value: leaving that range is an overflow as well.
    if (acc > std::numeric_limits<std::int32_t>::max() || acc < std::numeric_limits<std::int32_t>::min())
      Raise_Overflow();
  }
  if (acc < 0 || acc > 255) Raise_Overflow();
  return static_cast<std::uint8_t>(acc);
}

void NormalLiteral::Rewrite(std::size_t at, Diagnostics& sink) {
  if (Recall()) return;
  if (Rewrite_BinaryNow(at, sink)) Remember();
}

bool NormalLiteral::Rewrite_BinaryNow(std::size_t at, Diagnostics& sink) {
  const std::string_view t = view_.substr(at);
  const std::string_view d = Trim_Left(t.substr(2));
  // A digit other than 0 and 1 makes no base-2 literal: the text stays as written, no number.
  for (const char c : d)
    if (c != '0' && c != '1') return true;
  rewritten_ = true;
  std::size_t width = d.size() < 4 ? 4 : d.size();
  width += (4 - width % 4) % 4;
  std::string padded(width - d.size(), '0');
  padded.append(d);
  Upper_InPlace(padded);
  try {
    if (padded.size() > 255) Raise_Overflow();  // the digit count is held in one byte
    buf_ = at > 0 ? "-&H" : "&H";
    for (std::size_t g = 0; g < padded.size(); g += 4)
      buf_ += Hex_Upper(Digits_Value(2, std::string_view(padded).substr(g, 4)));
  } catch (const Fault& fault) {
    buf_.clear();
    sink.Add("Number too big: " + padded, MsgStyle::Ok, std::string(fault.description()));
    return false;
  }
  return true;
}

namespace {
// One literal is read several times on its line (its notation, its range, its bytes): the last
// few short rewrites are kept, and a repeated one is copied instead of worked out again. A
// rewrite that recorded a box is not kept: reading the literal again records it again.
struct RecentLiteral {
  std::uint8_t text_size = 0, form_size = 0;
  bool rewritten = false;
  char text[31] = {}, form[31] = {};
};
thread_local std::array<RecentLiteral, 4> recent_literals;
thread_local std::size_t next_recent = 0;

const RecentLiteral* Recall_Literal(std::string_view text) {
  if (text.size() > sizeof(RecentLiteral::text)) return nullptr;
  for (const RecentLiteral& r : recent_literals)
    if (r.text_size != 0 && r.text_size == text.size() && std::memcmp(r.text, text.data(), text.size()) == 0)
      return &r;
  return nullptr;
}

void Remember_Literal(std::string_view text, bool rewritten, std::string_view form) {
  if (text.empty() || text.size() > sizeof(RecentLiteral::text) || form.size() > sizeof(RecentLiteral::form))
    return;
  RecentLiteral& r = recent_literals[next_recent];
  next_recent = (next_recent + 1) % recent_literals.size();
  r.text_size = static_cast<std::uint8_t>(text.size());
  std::memcpy(r.text, text.data(), text.size());
  r.rewritten = rewritten;
  r.form_size = static_cast<std::uint8_t>(form.size());
  if (!form.empty()) std::memcpy(r.form, form.data(), form.size());
}
}  // namespace

bool NormalLiteral::Recall() {
  const RecentLiteral* r = Recall_Literal(view_);
  if (r == nullptr) return false;
  rewritten_ = r->rewritten;
  if (rewritten_) buf_.assign(r->form, r->form_size);
  return true;
}

void NormalLiteral::Remember() const {
  Remember_Literal(view_, rewritten_, rewritten_ ? buf_ : std::string_view());
}

void NormalLiteral::Rewrite_Radix() {
  if (Recall()) return;
  Rewrite_RadixNow();
  Remember();
}

void NormalLiteral::Rewrite_RadixNow() {
  std::string_view t = view_;
  const bool negative = Strip_Minus_View(t);
  char suffix = 0;
  if (t.back() == '?' || t.back() == '%' || t.back() == '&') {
    suffix = t.back();
    t = Trim_Right(t.substr(0, t.size() - 1));
  }
  std::string_view digits;
  bool binary = false;
  switch (Literal_Notation(t)) {
    case Notation::ZeroX:
      digits = t.substr(2);
      break;
    case Notation::HexH:
      digits = t.substr(0, t.size() - 1);
      break;
    case Notation::ZeroB:
      digits = t.substr(2), binary = true;
      break;
    case Notation::BinB:
      digits = t.substr(0, t.size() - 1), binary = true;
      break;
    default:
      return;  // a decimal or no number: read as written
  }
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  rewritten_ = true;
  buf_.clear();
  if (negative) buf_ += '-';
  buf_ += "&H";
  if (!binary) {
    for (const char c : digits) buf_ += Upper_Char(c);
  } else {
    // Four binary digits a hexadecimal digit, counted from the right.
    std::string padded((4 - digits.size() % 4) % 4, '0');
    padded.append(digits);
    const std::size_t start = buf_.size();
    for (std::size_t at = 0; at < padded.size(); at += 4) {
      int v = 0;
      for (std::size_t k = 0; k < 4; ++k) v = v * 2 + (padded[at + k] - '0');
      if (v != 0 || buf_.size() > start || at + 4 == padded.size()) buf_ += kHexDigits[v];
    }
  }
  if (suffix != 0) buf_ += suffix;
}

namespace {
constexpr bool All_Hex(std::string_view d) {
  if (d.empty()) return false;
  for (const char c : d)
    if (Hex_Digit_Value(c) < 0) return false;
  return true;
}
constexpr bool All_Binary(std::string_view d) {
  if (d.empty()) return false;
  for (const char c : d)
    if (c != '0' && c != '1') return false;
  return true;
}
// Digits with blanks between them, an optional fraction and an optional exponent; the value
// must be whole (1E2 is 100, 1.5 is no integer).
bool Is_DecimalLiteral(std::string_view m) {
  const std::size_t n = m.size();
  std::size_t i = 0;
  const auto digits = [&] {
    std::size_t count = 0;
    for (; i < n && (Is_Digit(m[i]) || m[i] == ' '); ++i) count += Is_Digit(m[i]) ? 1 : 0;
    return count;
  };
  if (digits() == 0) return false;
  bool plain = true;
  if (i < n && m[i] == '.') {
    ++i, plain = false;
    digits();
  }
  if (i < n && Upper_Char(m[i]) == 'E') {
    ++i, plain = false;
    while (i < n && m[i] == ' ') ++i;
    if (i < n && (m[i] == '+' || m[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  if (i != n) return false;
  if (plain) return true;
  const double v = Leading_Value(m);
  return std::isfinite(v) && v == std::floor(v);
}
}  // namespace

Notation Literal_Notation(std::string_view m) {
  if (m.size() >= 2 && m[0] == '&') {
    const char radix = Upper_Char(m[1]);
    if (radix == 'H') return All_Hex(m.substr(2)) ? Notation::AmpHex : Notation::Invalid;
    if (radix == 'B') return All_Binary(Trim_Left(m.substr(2))) ? Notation::AmpBin : Notation::Invalid;
    return Notation::Invalid;
  }
  if (m.empty() || !Is_Digit(m[0])) return Notation::Invalid;
  const char second = m.size() > 2 && m[0] == '0' ? Upper_Char(m[1]) : '\0';
  if (second == 'X') return All_Hex(m.substr(2)) ? Notation::ZeroX : Notation::Invalid;
  const char last = Upper_Char(m.back());
  if (last == 'H') return All_Hex(m.substr(0, m.size() - 1)) ? Notation::HexH : Notation::Invalid;
  if (second == 'B' && All_Binary(m.substr(2))) return Notation::ZeroB;
  if (last == 'B') return All_Binary(m.substr(0, m.size() - 1)) ? Notation::BinB : Notation::Invalid;
  return Is_DecimalLiteral(m) ? Notation::Decimal : Notation::Invalid;
}

bool Number_Test(std::string_view t) {
  if (t.empty()) return false;
  // The common case first: a run of digits.
  if (Is_Digit(t[0]) && t.size() <= 9) {
    std::size_t i = 1;
    while (i < t.size() && Is_Digit(t[i])) ++i;
    if (i == t.size()) return true;
  }
  if (t.back() == '?' || t.back() == '%' || t.back() == '&') t = Trim_Right(t.substr(0, t.size() - 1));
  return Literal_Notation(t) != Notation::Invalid;
}

bool Literal_Value(std::string_view text, std::int64_t& value, Diagnostics& sink) {
  // The common case first: a run of up to nine digits.
  if (std::uint32_t v = 0; Plain_Decimal(text, v)) {
    value = v;
    return true;
  }
  const NormalLiteral literal(text, sink);
  std::string_view t = literal.view();
  const bool negative = Strip_Minus_View(t);
  if (!Number_Test(t)) return false;
  if (t.back() == '?' || t.back() == '%' || t.back() == '&') t = Trim_Right(t.substr(0, t.size() - 1));
  // Far beyond any operand's range, and no overflow of the accumulator.
  constexpr std::int64_t kCap = std::int64_t{1} << 40;
  std::int64_t v = 0;
  if (Starts_With_Hex(t)) {
    for (const char c : t.substr(2)) v = std::min(v * 16 + Hex_Digit_Value(c), kCap);
  } else if (Starts_With_NoCase(t, "&B")) {
    for (const char c : Trim_Left(t.substr(2))) v = std::min(v * 2 + (c - '0'), kCap);
  } else {
    const double d = Leading_Value(t);
    v = d >= static_cast<double>(kCap) ? kCap : static_cast<std::int64_t>(d);
  }
  value = negative ? -v : v;
  return true;
}

bool Imm_Test(std::string_view t, std::size_t hex_digits, std::size_t chars, double max) {
  if (Starts_With_Hex(t)) return t.size() - 2 <= hex_digits;
  if (std::uint32_t v = 0; Plain_Decimal(t, v)) return t.size() <= chars && v <= max;
  return t.size() <= chars && Leading_Value(t) <= max;
}

}  // namespace detail

std::string Normalize_Number(std::string_view text, Diagnostics& sink) {
  const detail::NormalLiteral literal(text, sink);
  return Upper(literal.view());
}

bool Strip_Minus(std::string& text) {
  std::string_view t = text;
  const bool removed = detail::Strip_Minus_View(t);
  const std::size_t from = static_cast<std::size_t>(t.data() - text.data());
  text.erase(from + t.size());
  text.erase(0, from);
  return removed;
}

std::uint8_t Parse_Digits(int base, std::string& digits) {
  Upper_InPlace(digits);
  return detail::Digits_Value(base, digits);
}

bool Is_Number(std::string_view text, Diagnostics& sink) {
  const detail::NormalLiteral literal(text, sink);
  std::string_view t = literal.view();
  detail::Strip_Minus_View(t);
  return detail::Number_Test(t);
}

bool Is_Imm8(std::string_view text, Diagnostics& sink) {
  const detail::NormalLiteral literal(text, sink);
  std::string_view t = literal.view();
  detail::Strip_Minus_View(t);
  return detail::Imm_Test(t, 2, 3, kByteMax);
}

bool Is_Imm16(std::string_view text, Diagnostics& sink) {
  const detail::NormalLiteral literal(text, sink);
  std::string_view t = literal.view();
  detail::Strip_Minus_View(t);
  return detail::Imm_Test(t, 4, 5, kWordMax);
}

double Leading_Value(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) {
    negative = text[i++] == '-';
    while (i < n && text[i] == ' ') ++i;
  }
  double v = 0;
  if (Starts_With_Hex(text.substr(i))) {
    // &H digits are an unsigned magnitude (&HFFFFFFFF is 4294967295); a sign in front negates it.
    for (i += 2; i < n; ++i) {
      if (text[i] == ' ') continue;
      const int d = Hex_Digit_Value(text[i]);
      if (d < 0) break;
      v = v * 16 + d;
    }
  } else {
    v = Read_Decimal(text, i);
  }
  if (v == 0) return 0.0;
  return negative ? -v : v;
}

std::string Hex_Text_Of(double value) {
  const double r = std::nearbyint(value);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) Raise_Overflow();
  return Hex_Upper(static_cast<std::uint32_t>(static_cast<std::int32_t>(r)));
}

std::string To_Bytes(std::string_view text, Diagnostics& sink) {
  if (std::uint32_t v = 0; Plain_Signed(text, v)) return Value_Bytes(v);
  const std::string digits = Literal_Digits(text, sink);
  return Pairs_From_Right(digits, Odd_Width(digits.size()));
}

std::string To_Byte(std::string_view text, Diagnostics& sink) {
  std::string_view t = text;
  const bool negative = detail::Strip_Minus_View(t);
  if (std::uint32_t m = 0; Plain_Decimal(t, m)) {
    if (!negative) return Value_Bytes(m);
    if (m <= 256) return std::string(1, static_cast<char>((256 - m) & 0xFF));  // 2^8 - m; -0 is 0
  }
  const detail::NormalLiteral literal(t, sink);
  if (!negative) return To_Bytes(literal.view(), sink);
  double v = 0;
  if (!Negative_Complement(literal.view(), 256, "byte", v, sink)) return {};
  if (v == 256) v = 0;  // -0
  // A whole v reads back from its decimal text unchanged: skip the text.
  if (v == std::floor(v)) {
    const std::string digits = Hex_Text_Of(v);
    return Pairs_From_Right(digits, Odd_Width(digits.size()));
  }
  return To_Bytes(Number_Text(v), sink);
}

std::string To_Word(std::string_view text, Diagnostics& sink) {
  std::string_view t = text;
  const bool negative = detail::Strip_Minus_View(t);
  const detail::NormalLiteral literal(t, sink);
  std::string digits;
  if (negative) {
    double v = 0;
    if (!Negative_Complement(literal.view(), 65536, "word", v, sink)) return {};
    digits = Hex_Text_Of(v == std::floor(v) ? v : Leading_Value(Number_Text(v)));
  } else if (Starts_With_Hex(literal.view())) {
    digits = literal.view().substr(2);
  } else {
    digits = Hex_Text_Of(Leading_Value(literal.view()));
  }
  return Pairs_From_Right(digits, 4);
}

std::string To_Dword(std::string_view text, Diagnostics& sink) {
  if (std::uint32_t v = 0; Plain_Signed(text, v)) return Dword_Bytes(v);
  return Pairs_From_Right(Literal_Digits(text, sink), 8);
}

}  // namespace orvo
