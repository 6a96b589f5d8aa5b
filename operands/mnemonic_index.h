#pragma once
// Mnemonic tables written in the order that reads best and indexed at compile time, so that a
// lookup is a binary search over integers (mnemonics of up to seven characters packed with
// Pack_Mnemonic) instead of a scan or a string compare. Rows need a `mnemonic` member.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "base/text.h"

namespace orvo {

template <class Row, std::size_t N>
struct MnemonicIndex {
  std::array<Row, N> rows;  // in the order of their keys
  std::array<std::uint64_t, N> keys;
};

template <class Row, std::size_t N>
constexpr MnemonicIndex<Row, N> Sort_ByMnemonic(std::array<Row, N> rows) {
  for (const Row& row : rows)
    if (row.mnemonic.size() > kMaxPackedMnemonic) throw "mnemonic too long to pack";
  std::sort(rows.begin(), rows.end(),
            [](const Row& a, const Row& b) { return Pack_Mnemonic(a.mnemonic) < Pack_Mnemonic(b.mnemonic); });
  MnemonicIndex<Row, N> index{rows, {}};
  for (std::size_t i = 0; i < N; ++i) {
    index.keys[i] = Pack_Mnemonic(rows[i].mnemonic);
    if (i > 0 && index.keys[i] == index.keys[i - 1]) throw "mnemonic listed twice";
  }
  return index;
}

template <class Row, std::size_t N>
const Row* Find_Packed(const MnemonicIndex<Row, N>& index, std::uint64_t packed) {
  const auto it = std::lower_bound(index.keys.begin(), index.keys.end(), packed);
  return (it != index.keys.end() && *it == packed)
             ? &index.rows[static_cast<std::size_t>(it - index.keys.begin())]
             : nullptr;
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
