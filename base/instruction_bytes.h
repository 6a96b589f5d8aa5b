#pragma once
// The bytes of one instruction, put together in place and appended to their line's bytes in one
// piece: a string grows, checks its room and ends itself with a zero on every push_back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvo {

class InstructionBytes {
 public:
  // An x86 instruction is fifteen bytes at most; Put_LE always stores four.
  static constexpr std::size_t kCapacity = 15 + 4;

  void Put(std::uint8_t byte) { bytes_[size_++] = static_cast<char>(byte); }
  // A fixed opcode: three bytes at most.
  void Put(std::string_view fixed) {
    for (const char c : fixed) bytes_[size_++] = c;
  }
  // The low `count` bytes of value, least significant first (count 1, 2 or 4).
  void Put_LE(std::uint32_t value, int count) {
    for (int i = 0; i < 4; ++i)
      bytes_[size_ + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    size_ += static_cast<std::size_t>(count);
  }
  std::size_t Size() const { return size_; }
  std::string_view View() const { return {bytes_, size_}; }
  void Append_To(std::string& out) const { out.append(bytes_, size_); }

 private:
  char bytes_[kCapacity];
  std::size_t size_ = 0;
};

}  // namespace orvo
