#include "base/hex.h"

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

std::string Hex_Text(std::string_view bytes) {
  std::string out;
  out.resize(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[2 * i] = kHexDigits[b >> 4];
    out[2 * i + 1] = kHexDigits[b & 0xF];
  }
  return out;
}

}  // namespace orvo
