#pragma once
// The bytes of one instruction, put together in place and appended to their line's bytes in one
// piece: a string grows, checks its room and ends itself with a zero on every push_back.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace orvo {

class InstructionBytes {
 public:
  // An x86 instruction is fifteen bytes at most; Put_LE always stores four.
  static constexpr std::size_t kCapacity = 15 + 4;
  static constexpr std::size_t kBlock = 16;

  void Put(std::uint8_t byte) { bytes_[size_++] = static_cast<char>(byte); }
  // A fixed opcode (three bytes at most, copied byte by byte: a library copy costs more), or
  // any other run of bytes.
  void Put(std::string_view fixed) {
    const std::size_t n = fixed.size();
    if (n > 3) {
      std::memcpy(bytes_ + size_, fixed.data(), n);
    } else if (n != 0) {
      bytes_[size_] = fixed[0];
      if (n > 1) bytes_[size_ + 1] = fixed[1];
      if (n > 2) bytes_[size_ + 2] = fixed[2];
    }
    size_ += n;
  }
  // The low `count` bytes of value, least significant first (count 1, 2 or 4).
  void Put_LE(std::uint32_t value, int count) {
    for (int i = 0; i < 4; ++i)
      bytes_[size_ + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    size_ += static_cast<std::size_t>(count);
  }
  std::size_t Size() const { return size_; }
  std::string_view View() const { return {bytes_, size_}; }
  // Sixteen bytes are appended in one fixed-size copy and the string cut back to the instruction:
  // cheaper than a copy of a length only known here.
  void Append_To(std::string& out) const {
    if (size_ > kBlock) {
      out.append(bytes_, size_);
      return;
    }
    const std::size_t at = out.size();
    out.append(bytes_, kBlock);
    out.resize(at + size_);
  }

 private:
  char bytes_[kCapacity] = {};
  std::size_t size_ = 0;
};

// Where a plain encoder puts its line's bytes: after those already there (the code image, in
// pass 2). It only appends, so an encoder cannot disturb what stands before its line; the bytes
// of a line it declines are taken back by its caller.
class LineBytes {
 public:
  explicit LineBytes(std::string& to) : to_(to), start_(to.size()) {}
  void Put(std::uint8_t byte) { to_.push_back(static_cast<char>(byte)); }
  void Put(std::string_view bytes) { to_.append(bytes); }
  void Put(const InstructionBytes& bytes) { bytes.Append_To(to_); }
  // The low `count` bytes of value, least significant first.
  void Put_LE(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) to_.push_back(static_cast<char>(value >> (8 * i)));
  }
  std::size_t Size() const { return to_.size() - start_; }
  void Take_Back() { to_.resize(start_); }

 private:
  std::string& to_;
  std::size_t start_;
};

}  // namespace orvo
