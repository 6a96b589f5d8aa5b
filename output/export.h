#pragma once
// Export of the code image as a file: raw bytes (BIN) or two hex digits per byte (HEX).

#include <string>
#include <string_view>

#include "assembler/code_image.h"
#include "base/diagnostics.h"

namespace orvo {

// Writes the image (or its Hex_Text form) to file_name. Each failing step records a critical box
// titled "Save: " + file_name into sink and the export goes on with the next step; the file is
// written through a temporary beside it, so a failed export leaves any previous file as it was.
// Returns true when the file was written.
bool Export_CodeImage(std::string_view image, const std::string& file_name, bool as_hex, Diagnostics& sink);
bool Export_CodeImage(const CodeImage& image, const std::string& file_name, bool as_hex, Diagnostics& sink);

}  // namespace orvo
