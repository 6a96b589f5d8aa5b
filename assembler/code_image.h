#pragma once
// The routine being built: one byte string that a compile empties, extends line by line, lets
// the label fix-ups overwrite in place and optionally wraps in the stack frame.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "base/diagnostics.h"

namespace orvo {

// PUSH EBP; MOV EBP,ESP; PUSH EBX; PUSH ESI; PUSH EDI
inline constexpr std::string_view kPrologue{"\x55\x89\xE5\x53\x56\x57", 6};
// POP EDI; POP ESI; POP EBX; MOV ESP,EBP; POP EBP; RET 16
inline constexpr std::string_view kEpilogue{"\x5F\x5E\x5B\x89\xEC\x5D\xC2\x10\x00", 9};
inline constexpr std::string_view kCodeFileName = "ORVOIDE.BIN";

std::string Get_Epilogue();

class CodeImage {
 public:
  void Reset() { bytes_.clear(); }
  void Append_Code(std::string_view bytes) { bytes_.append(bytes); }
  // The bytes themselves, for an encoder that appends a line's bytes where they end.
  std::string& Code_ToAppend() { return bytes_; }
  // Drops the bytes from size on.
  void Truncate(std::size_t size) { bytes_.resize(std::min(size, bytes_.size())); }
  // Replaces bytes in place; the part that would fall outside the image is dropped.
  void Overwrite(std::size_t offset, std::string_view bytes);
  // Up to count bytes from offset (fewer at the end of the image).
  std::string Read(std::size_t offset, std::size_t count) const;
  void Wrap_StackFrame();
  const std::string& Bytes() const { return bytes_; }
  std::size_t Size() const { return bytes_.size(); }
  void Reserve(std::size_t n) { bytes_.reserve(n); }

 private:
  std::string bytes_;
};

// Path of the code file in the program's folder.
std::string Code_File_Path();
// Writes the image to path (the code file, Code_File_Path(), by default); each failing step
// records a critical box titled "SAVE TO FILE: ORVOIDE.BIN" into sink and the save goes on. The
// previous file survives a failure.
void Save_CodeImage(const CodeImage& image, const std::string& path, Diagnostics& sink);

}  // namespace orvo
