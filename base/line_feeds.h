#pragma once
// Finding the line feeds of a whole source text. A line is some twenty bytes, so a library search
// per line costs more in calls than in bytes: with SSE2 sixteen bytes are compared at a time and
// each line feed costs a few instructions.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvo {

// Calls found(i) for the position i of every '\n' in text, in ascending order.
template <typename Found>
void For_Each_LineFeed(std::string_view text, Found&& found) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  for (; size - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)));
    for (; mask != 0; mask &= mask - 1) found(i + static_cast<std::size_t>(std::countr_zero(mask)));
  }
#endif
  for (; i < size; ++i)
    if (data[i] == '\n') found(i);
}

// How many '\n' text holds.
inline std::size_t Count_LineFeeds(std::string_view text) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Each byte lane counts up to 255 blocks before the lanes are summed.
  const __m128i lf = _mm_set1_epi8('\n');
  while (size - i >= 16) {
    __m128i lanes = _mm_setzero_si128();
    for (int blocks = 0; blocks < 255 && size - i >= 16; ++blocks, i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, lf));
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; i < size; ++i) count += data[i] == '\n';
  return count;
}

}  // namespace orvo
