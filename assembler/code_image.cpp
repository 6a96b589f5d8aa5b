#include "assembler/code_image.h"

#include <cstring>

#include "base/file_access.h"

namespace orvo {

std::string Get_Epilogue() { return std::string(kEpilogue); }

void CodeImage::Overwrite(std::size_t offset, std::string_view bytes) {
  if (offset >= bytes_.size()) return;
  const std::size_t n = std::min(bytes.size(), bytes_.size() - offset);
  // Same length in place: a copy, which may overlap when the bytes come from the image itself.
  if (n != 0) std::memmove(bytes_.data() + offset, bytes.data(), n);
}

std::string CodeImage::Read(std::size_t offset, std::size_t count) const {
  if (offset >= bytes_.size()) return {};
  return bytes_.substr(offset, count);
}

void CodeImage::Wrap_StackFrame() {
  std::string wrapped;
  wrapped.reserve(bytes_.size() + kPrologue.size() + kEpilogue.size());
  wrapped.append(kPrologue).append(bytes_).append(kEpilogue);
  bytes_.swap(wrapped);
}

std::string Code_File_Path() { return Program_Folder() + "/" + std::string(kCodeFileName); }

void Save_CodeImage(const CodeImage& image, const std::string& path, Diagnostics& sink) {
  const std::string title = "SAVE TO FILE: " + std::string(kCodeFileName);
  Write_File_Safely(path, image.Bytes(), FailureMode::GoOn, [&](const std::string& description) {
    sink.Add(description, MsgStyle::OkCritical, title);
  });
}

}  // namespace orvo
