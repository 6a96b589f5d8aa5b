#include "output/export.h"

#include "base/file_access.h"
#include "base/hex.h"

namespace orvo {

bool Export_CodeImage(std::string_view image, const std::string& file_name, bool as_hex, Diagnostics& sink) {
  const std::string title = "Save: " + file_name;
  const auto report = [&](const std::string& description) {
    sink.Add(description, MsgStyle::OkCritical, title);
  };
  if (as_hex)
    return Write_File_Safely(
        file_name, [image](const BytePut& put) { Put_Hex_Text(image, put); }, FailureMode::GoOn, report);
  return Write_File_Safely(file_name, image, FailureMode::GoOn, report);
}

bool Export_CodeImage(const CodeImage& image, const std::string& file_name, bool as_hex, Diagnostics& sink) {
  return Export_CodeImage(std::string_view(image.Bytes()), file_name, as_hex, sink);
}

}  // namespace orvo
