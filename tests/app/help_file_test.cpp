// Where the programs find the help file: beside them in a build tree, in share/orvo once installed.

#include "app/help_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/file_access.h"
#include "support/file_seams.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;

TEST(HelpFile, BesideTheProgramElseInTheInstalledDataFolder) {
  struct Row {
    bool beside, installed;
    const char* expected;  // relative to the tree
  };
  const Row rows[] = {
      {true, true, "bin/ORVO.HLP"},
      {true, false, "bin/ORVO.HLP"},
      {false, true, "share/orvo/ORVO.HLP"},
      {false, false, "bin/ORVO.HLP"},  // neither: the box names the build tree's place
  };
  const fs::path tree = fs::temp_directory_path() / ("orvo-help-" + std::to_string(::getpid()));
  for (const Row& row : rows) {
    fs::remove_all(tree);
    fs::create_directories(tree / "bin");
    fs::create_directories(tree / "share" / "orvo");
    if (row.beside) std::ofstream(tree / "bin" / "ORVO.HLP") << "<html></html>";
    if (row.installed) std::ofstream(tree / "share" / "orvo" / "ORVO.HLP") << "<html></html>";
    Set_Program_Folder((tree / "bin").string());
    EXPECT_EQ(Help_File_Path(), (tree / row.expected).string()) << row.beside << row.installed;
  }
  Set_Program_Folder("");
  fs::remove_all(tree);
}

}  // namespace
}  // namespace orvo
