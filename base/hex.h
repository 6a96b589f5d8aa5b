#pragma once
// The two text forms of machine code: the listing's view form and the HEX export form.

#include <functional>
#include <string>
#include <string_view>

namespace orvo {

// Each byte as upper-case hex without leading zero, separated by "/": B8/1/0/0/0.
std::string ViewOpCodes_Bin2Hex(std::string_view bytes);
// Each byte as exactly two upper-case hex digits, no separators: B801000000.
std::string Hex_Text(std::string_view bytes);
// The same text handed to put in pieces of at most 64 KiB, so a large image is never held twice
// as text. Returns false as soon as put does.
bool Put_Hex_Text(std::string_view bytes, const std::function<bool(std::string_view piece)>& put);

}  // namespace orvo
