#pragma once
// Frames between the run engine and its emulator child over a stream socket: a type byte, a
// 32-bit little-endian length, then the payload.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "run/emulator.h"

namespace orvo::wire {

// The largest payload a frame may carry: a code image and the run's parameters.
constexpr std::uint32_t kMaxPayload = emulator::kMaxCode + 4096;

// Sends all of size bytes (no SIGPIPE); false when the peer is gone.
bool Send_All(int fd, const char* data, std::size_t size);
bool Send_Frame(int fd, char type, std::string_view payload);

// Waits up to timeout_ms (negative: for ever) for the whole of size bytes. 0 read, -1 closed or
// failed, -2 timed out before anything came.
int Read_All(int fd, char* data, std::size_t size, int timeout_ms);
// A whole frame, the same results; a payload larger than kMaxPayload is -1.
int Read_Frame(int fd, char& type, std::string& payload, int timeout_ms = -1);

// A length-prefixed text, as Reader::Text reads it back.
void Append_Text(std::string& out, std::string_view text);

// Reads a payload field by field; past its end every field reads as zero or empty.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  std::uint32_t U32() {
    return at_ + 4 <= data_.size() ? (at_ += 4, Read_LE32(data_, at_ - 4)) : (at_ = data_.size(), 0);
  }
  std::uint8_t U8() { return at_ < data_.size() ? static_cast<std::uint8_t>(data_[at_++]) : 0; }
  std::string Text() {
    const std::uint32_t n = std::min<std::uint32_t>(U32(), static_cast<std::uint32_t>(data_.size() - at_));
    std::string t(data_.substr(at_, n));
    at_ += n;
    return t;
  }
  std::string_view Rest() { return data_.substr(at_); }

 private:
  std::string_view data_;
  std::size_t at_ = 0;
};

}  // namespace orvo::wire
