#include "app/help_file.h"

#include <unistd.h>

#include <filesystem>

#include "base/file_access.h"

#ifndef ORVO_DATA_FROM_PROGRAM
#define ORVO_DATA_FROM_PROGRAM "../share/orvo"
#endif

namespace orvo {

std::string Help_File_Path() {
  const std::string folder = Program_Folder();
  const std::string beside = folder + "/" + kHelpFileName;
  if (::access(beside.c_str(), R_OK) == 0) return beside;
  const std::string installed = std::filesystem::path(folder + "/" ORVO_DATA_FROM_PROGRAM "/" + kHelpFileName)
                                    .lexically_normal()
                                    .string();
  if (::access(installed.c_str(), R_OK) == 0) return installed;
  return beside;
}

}  // namespace orvo
