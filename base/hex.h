#pragma once
// The two text forms of machine code: the listing's view form and the HEX export form.

#include <string>
#include <string_view>

namespace orvo {

// Each byte as upper-case hex without leading zero, separated by "/": B8/1/0/0/0.
std::string ViewOpCodes_Bin2Hex(std::string_view bytes);
// Each byte as exactly two upper-case hex digits, no separators: B801000000.
std::string Hex_Text(std::string_view bytes);

}  // namespace orvo
