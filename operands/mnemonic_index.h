#pragma once
// Mnemonic tables written in the order that reads best and indexed at compile time, so that a
// lookup hashes an integer (mnemonics of up to seven characters packed with Pack_Mnemonic)
// instead of a scan or a string compare. Rows need a `mnemonic` member.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "base/text.h"

namespace orvo {

// An open-addressing table over the packed keys, at least four slots a row: a lookup hashes once
// and almost always finds its row, or an empty slot, at the first probe.
constexpr std::size_t Hash_Slots(std::size_t rows) {
  std::size_t slots = 8;
  while (slots < 4 * rows) slots *= 2;
  return slots;
}
constexpr std::size_t Hash_Packed(std::uint64_t packed, std::size_t slots) {
  return static_cast<std::size_t>((packed * 0x9E3779B97F4A7C15ull) >> 40) & (slots - 1);
}

template <class Row, std::size_t N>
struct MnemonicIndex {
  std::array<Row, N> rows;  // in the order of their keys
  std::array<std::uint64_t, N> keys;
  std::array<std::int16_t, Hash_Slots(N)> slots;  // row index, -1 for an empty slot
};

template <class Row, std::size_t N>
constexpr MnemonicIndex<Row, N> Sort_ByMnemonic(std::array<Row, N> rows) {
  for (const Row& row : rows)
    if (row.mnemonic.size() > kMaxPackedMnemonic) throw "mnemonic too long to pack";
  std::sort(rows.begin(), rows.end(),
            [](const Row& a, const Row& b) { return Pack_Mnemonic(a.mnemonic) < Pack_Mnemonic(b.mnemonic); });
  MnemonicIndex<Row, N> index{rows, {}, {}};
  for (auto& slot : index.slots) slot = -1;
  for (std::size_t i = 0; i < N; ++i) {
    index.keys[i] = Pack_Mnemonic(rows[i].mnemonic);
    if (i > 0 && index.keys[i] == index.keys[i - 1]) throw "mnemonic listed twice";
    std::size_t h = Hash_Packed(index.keys[i], index.slots.size());
    while (index.slots[h] >= 0) h = (h + 1) & (index.slots.size() - 1);
    index.slots[h] = static_cast<std::int16_t>(i);
  }
  return index;
}

template <class Row, std::size_t N>
const Row* Find_Packed(const MnemonicIndex<Row, N>& index, std::uint64_t packed) {
  constexpr std::size_t kMask = Hash_Slots(N) - 1;
  for (std::size_t h = Hash_Packed(packed, kMask + 1);; h = (h + 1) & kMask) {
    const std::int16_t i = index.slots[h];
    if (i < 0) return nullptr;
    if (index.keys[static_cast<std::size_t>(i)] == packed) return &index.rows[static_cast<std::size_t>(i)];
  }
}

template <class Row, std::size_t N>
const Row* Find_Mnemonic(const MnemonicIndex<Row, N>& index, std::string_view key) {
  return key.size() > kMaxPackedMnemonic ? nullptr : Find_Packed(index, Pack_Mnemonic(key));
}

// The same with small letters of the key read as capitals.
template <class Row, std::size_t N>
const Row* Find_Mnemonic_NoCase(const MnemonicIndex<Row, N>& index, std::string_view key) {
  return key.size() > kMaxPackedMnemonic ? nullptr : Find_Packed(index, Pack_Mnemonic_NoCase(key));
}

}  // namespace orvo
