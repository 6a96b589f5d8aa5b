#include "base/hex.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvo {
std::string ViewOpCodes_Bin2Hex(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out.push_back('/');
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b >= 0x10) out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 0xF]);
  }
  return out;
}

namespace {
// The two digits of every byte, in the order they are written: one load and one copy a byte.
struct HexPairs {
  char digits[256][2];
};
constexpr HexPairs Make_HexPairs() {
  HexPairs pairs{};
  for (int b = 0; b < 256; ++b) {
    pairs.digits[b][0] = kHexDigits[b >> 4];
    pairs.digits[b][1] = kHexDigits[b & 0xF];
  }
  return pairs;
}
constexpr HexPairs kHexPairs = Make_HexPairs();

void Write_Hex(std::string_view bytes, char* out) {
  const char* in = bytes.data();
  const char* const end = in + bytes.size();
#if defined(__SSE2__)
  // Sixteen bytes a step: each nibble becomes '0' + n, and 7 more for A-F.
  const __m128i low_nibbles = _mm_set1_epi8(0x0F);
  const __m128i zero_digit = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i to_letters = _mm_set1_epi8('A' - '0' - 10);
  const auto digits = [&](__m128i nibbles) {
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), to_letters);
    return _mm_add_epi8(_mm_add_epi8(nibbles, zero_digit), letters);
  };
  for (; end - in >= 16; in += 16, out += 32) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i high = digits(_mm_and_si128(_mm_srli_epi16(block, 4), low_nibbles));
    const __m128i low = digits(_mm_and_si128(block, low_nibbles));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(high, low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(high, low));
  }
#endif
  for (; in != end; ++in, out += 2) std::memcpy(out, kHexPairs.digits[static_cast<unsigned char>(*in)], 2);
}
}  // namespace

std::string Hex_Text(std::string_view bytes) {
  std::string out(bytes.size() * 2, '\0');
  Write_Hex(bytes, out.data());
  return out;
}

bool Put_Hex_Text(std::string_view bytes, const std::function<bool(std::string_view piece)>& put) {
  constexpr std::size_t kPieceBytes = std::size_t{1} << 15;
  std::string text(std::min(bytes.size(), kPieceBytes) * 2, '\0');
  for (std::size_t at = 0; at < bytes.size(); at += kPieceBytes) {
    const std::string_view piece = bytes.substr(at, kPieceBytes);
    Write_Hex(piece, text.data());
    if (!put(std::string_view(text).substr(0, piece.size() * 2))) return false;
  }
  return true;
}

}  // namespace orvo
