#include "support/test_support.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>

namespace orvo::test {

std::string Private_Device(const std::string& folder, const char* name, unsigned major, unsigned minor) {
  const std::string system = std::string("/dev/") + name;
  if (::geteuid() != 0) return system;
  const std::string path = folder + "/" + name;
  ::unlink(path.c_str());
  if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(major, minor)) != 0) return system;
  return path;
}

std::string Hex_Bytes(std::string_view hex) {
  std::string out;
  int nibble = -1;
  for (char c : hex) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10);
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<char>(nibble * 16 + v));
      nibble = -1;
    }
  }
  return out;
}

std::string Spaced_Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

}  // namespace orvo::test
