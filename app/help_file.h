#pragma once
// Where the help file lives: beside the program in a build tree, in the data folder of an
// installed tree (bin/../share/orvo).

#include <string>

namespace orvo {

inline constexpr const char* kHelpFileName = "ORVO.HLP";

// The first of the two places that holds the help file; the program's folder when neither does
// (so a box about a missing file names the place a build tree has it).
std::string Help_File_Path();

}  // namespace orvo
