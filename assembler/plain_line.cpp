// Splitting a source line in one look at its bytes. Most lines are an instruction with its
// operands and nothing else: sixteen bytes at a time are compared with the few characters that
// matter (blank, comma, and those that need the careful steps), and the line's pieces come from
// the positions of the set bits.

#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "assembler/dispatch.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvo {

#if defined(__SSE2__)

namespace {

// Three blocks of sixteen at most, so that every bit position below fits a shift.
constexpr std::size_t kMaxPlainLine = 48;

std::uint64_t Mask(__m128i block, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(c))));
}

__m128i Row(const std::uint8_t (&bytes)[16]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Copies 1 to 48 bytes without a call, so that no register has to outlive one: pieces that may
// overlap, none reading or writing past the n bytes.
[[gnu::always_inline]] inline void Copy_Short(char* to, const char* from, std::size_t n) {
  const auto piece = [&](std::size_t at, auto size) {
    std::memcpy(to + at, from + at, decltype(size)::value);
  };
  if (n >= 16) {
    const auto sixteen = [&](std::size_t at) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at)));
    };
    if (n > 16) sixteen(0);
    if (n > 32) sixteen(16);
    sixteen(n - 16);
  } else if (n >= 8) {
    piece(0, std::integral_constant<std::size_t, 8>{});
    piece(n - 8, std::integral_constant<std::size_t, 8>{});
  } else if (n >= 4) {
    piece(0, std::integral_constant<std::size_t, 4>{});
    piece(n - 4, std::integral_constant<std::size_t, 4>{});
  } else {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

// The position of the lowest set bit of a mask that has one.
std::size_t Lowest(std::uint64_t mask) { return static_cast<unsigned>(__builtin_ctzll(mask)); }

// One look at a line with Count pairs (any number up to the most for NamePairs::kMax), known
// here so that their rows stay in registers across the blocks.
template <std::size_t Count>
[[gnu::noinline]] bool One_Look(std::string_view raw, std::size_t readable, std::string_view& line,
                                LineTerms& terms, const NamePairs& pairs, bool& may_hold_name) {
  const std::size_t n = raw.size();
  if (n - 1 >= kMaxPlainLine) return false;  // empty or long
  // Sixteen-byte loads reach up to 63 bytes past the line's start: straight from the text when it
  // has that many, else from a copy whose bytes past the line's end read as zero.
  alignas(16) char copy[kMaxPlainLine + 16];
  const char* buf = raw.data();
  if (readable < kMaxPlainLine + 16) {
    const __m128i zero = _mm_setzero_si128();
    _mm_store_si128(reinterpret_cast<__m128i*>(copy), zero);
    _mm_store_si128(reinterpret_cast<__m128i*>(copy + 16), zero);
    _mm_store_si128(reinterpret_cast<__m128i*>(copy + 32), zero);
    _mm_store_si128(reinterpret_cast<__m128i*>(copy + 48), zero);
    Copy_Short(copy, raw.data(), n);
    buf = copy;
  }

  std::uint64_t blanks = 0, commas = 0, careful = 0, named = 0;
  const std::size_t count = Count == NamePairs::kMax ? pairs.count : Count;
  for (std::size_t i = 0; i < n; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i));
    blanks |= Mask(block, ' ') << i;
    commas |= Mask(block, ',') << i;
    // ':' and ';' differ in their lowest bit only.
    const __m128i odd = _mm_or_si128(block, _mm_set1_epi8(1));
    const __m128i stop = _mm_or_si128(
        _mm_cmpeq_epi8(odd, _mm_set1_epi8(';')),
        _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('"')), _mm_cmpeq_epi8(block, _mm_set1_epi8('\t'))));
    careful |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(stop))) << i;
    if constexpr (Count != 0) {
      // Each byte beside the one after it, in either case; past the line's end a pair can only
      // be too many.
      const __m128i bit5 = _mm_set1_epi8(0x20);
      const __m128i here = _mm_or_si128(block, bit5);
      const __m128i next = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i + 1)), bit5);
      __m128i found = _mm_setzero_si128();
      for (std::size_t k = 0; k < count; ++k)
        found = _mm_or_si128(found, _mm_and_si128(_mm_cmpeq_epi8(here, Row(pairs.first[k])),
                                                  _mm_cmpeq_epi8(next, Row(pairs.second[k]))));
      named |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(found))) << i;
    }
  }
  const std::uint64_t in_line = (std::uint64_t{1} << n) - 1;
  may_hold_name = Count == 0 || (named & in_line) != 0;
  // A blank or past the line's end: every piece ends at one.
  const std::uint64_t stops = blanks | ~in_line;
  const std::uint64_t text = ~stops;
  if ((careful & in_line) != 0 || text == 0) return false;
  const std::size_t begin = Lowest(text);
  const auto end = static_cast<std::size_t>(64 - static_cast<unsigned>(std::countl_zero(text)));
  const char* const data = raw.data();

  // The mnemonic runs to the first blank; its key is kept in capitals when it is short. With no
  // blank inside the line, the first stop after its text is its end.
  const std::size_t word_end = begin + Lowest(stops >> begin);
  if (word_end - begin > 15) return false;
  const __m128i word = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + begin));
  // Moved so that 'a'..'z' are the lowest 26 signed bytes: one compare finds them.
  const __m128i from_a = _mm_add_epi8(word, _mm_set1_epi8(static_cast<char>(-128 - 'a')));
  const __m128i small = _mm_cmplt_epi8(from_a, _mm_set1_epi8(-128 + 26));
  alignas(16) char capitals[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(capitals),
                  _mm_sub_epi8(word, _mm_and_si128(small, _mm_set1_epi8('a' - 'A'))));
  terms.key.Assign_Capitals(capitals, word_end - begin);

  line = std::string_view(data + begin, end - begin);
  if (word_end == end) {
    terms.mnemonic = line;
    terms.operand = line;
    terms.first = terms.second = {};
    return true;
  }
  terms.mnemonic = std::string_view(data + begin, word_end - begin);
  // The operand text starts at the first non-blank after the mnemonic; there is one, as the
  // line ends in one.
  const std::size_t operand = word_end + Lowest(text >> word_end);
  terms.operand = std::string_view(data + operand, end - operand);
  // Bit k for a comma k bytes into the operand.
  const std::uint64_t operand_commas = (commas & text) >> operand;
  if (operand_commas == 0) {
    terms.first = terms.operand;
    terms.second = {};
  } else {
    const std::size_t at = operand + Lowest(operand_commas);
    terms.first = std::string_view(data + operand, at - operand);
    terms.second = std::string_view(data + at + 1, end - at - 1);
  }
  return true;
}

}  // namespace

bool Split_PlainLine(std::string_view raw, std::string_view& line, LineTerms& terms) {
  return Split_PlainLine(raw, raw.size(), line, terms);
}

bool Split_PlainLine(std::string_view raw, std::size_t readable, std::string_view& line, LineTerms& terms) {
  static const NamePairs kNoPairs;
  bool unused = true;
  return One_Look<0>(raw, readable, line, terms, kNoPairs, unused);
}

bool Split_PlainLine(std::string_view raw, std::size_t readable, std::string_view& line, LineTerms& terms,
                     const NamePairs& pairs, bool& may_hold_name) {
  // One look for each count of pairs, from a table so that the choice is one jump.
  using Look =
      bool (*)(std::string_view, std::size_t, std::string_view&, LineTerms&, const NamePairs&, bool&);
  static constexpr Look kLooks[] = {One_Look<0>, One_Look<1>, One_Look<2>,
                                    One_Look<3>, One_Look<4>, One_Look<NamePairs::kMax>};
  const std::size_t most = std::size(kLooks) - 1;
  return kLooks[pairs.count < most ? pairs.count : most](raw, readable, line, terms, pairs, may_hold_name);
}

#else

bool Split_PlainLine(std::string_view, std::string_view&, LineTerms&) { return false; }
bool Split_PlainLine(std::string_view, std::size_t, std::string_view&, LineTerms&) { return false; }
bool Split_PlainLine(std::string_view, std::size_t, std::string_view&, LineTerms&, const NamePairs&, bool&) {
  return false;
}

#endif

}  // namespace orvo
