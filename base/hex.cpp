#include "base/hex.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

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
  for (const char c : bytes) {
    std::memcpy(out, kHexPairs.digits[static_cast<unsigned char>(c)], 2);
    out += 2;
  }
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
