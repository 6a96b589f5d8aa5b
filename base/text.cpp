#include "base/text.h"

namespace orvo {

std::string Hex_Upper(std::uint32_t v) {
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kHexDigits[v & 0xF];
    v >>= 4;
  } while (v != 0);
  std::string r;
  r.reserve(static_cast<std::size_t>(n));
  while (n > 0) r.push_back(buf[--n]);
  return r;
}

}  // namespace orvo
