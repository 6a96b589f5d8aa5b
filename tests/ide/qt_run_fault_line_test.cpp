// RUN's fault box in the window names the source line of the fault.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QPushButton>
#include <filesystem>

#include "base/file_access.h"
#include "ide/main_window.h"
#include "support/test_support.h"
#include "support/file_seams.h"

namespace orvo::ide {
namespace {

TEST(WindowRun, FaultBoxEndsWithTheSourceLine) {
  struct Row {
    bool stack;
    std::string_view source;
    std::string_view box_end;
  };
  const Row rows[] = {
      {true, "MOV EAX,10\r\nXOR ECX,ECX\r\n\r\nDIV ECX", "after 7 instructions\rline 4: DIV ECX"},
      {false, "MOV EAX,10\r\n  XOR ECX,ECX\r\nDIV ECX\r\nRET 16", "after 2 instructions\rline 3: DIV ECX"},
      {true, "MOV EBP,0", "\repilogue of the stack frame"},
  };
  // The window saves its code file in the program folder: a folder of the test's own.
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("orvo-run-line-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  Set_Program_Folder(dir.string());
  for (const Row& row : rows) {
    test::Recorder boxes;
    MainWindow window;
    window.findChild<QCheckBox*>("CheckStack")->setChecked(row.stack);
    window.Set_Editor_Bytes(row.source);
    window.findChild<QPushButton*>("Command1")->click();
    ASSERT_TRUE(boxes.Messages().empty()) << row.source;
    window.findChild<QPushButton*>("Command3")->click();
    ASSERT_EQ(boxes.Messages().size(), 1u) << row.source;
    EXPECT_TRUE(boxes.Messages()[0].text.ends_with(row.box_end)) << boxes.Messages()[0].text;
  }
  Set_Program_Folder("");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace orvo::ide
