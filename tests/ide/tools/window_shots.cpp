// Screenshots of the window for the README: after Compile at the start size, and with the
// compile's messages. Run under a display or offscreen: window_shots OUT_FOLDER

#include <QApplication>
#include <QDockWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "base/file_access.h"
#include "base/message_box.h"
#include "ide/main_window.h"
#include "support/recording_handler.h"
#include "support/file_seams.h"

namespace {

constexpr std::string_view kWithErrors =
    "REM SUM OF ARG2 NUMBERS\r\n"
    "Const Count EQU [ebp+12]\r\n"
    "MOV ECX,Count\r\n"
    "XOR EAX,EAX\r\n"
    "NEXT:\r\n"
    "ADD EAX,ECX\r\n"
    "LOOP NXET\r\n"
    "JMP DONE\r\n"
    "MOV EBX,TABLE\r\n";

bool Shoot(QWidget& window, const std::filesystem::path& file) {
  QApplication::processEvents();
  QTest::qWait(200);
  const bool ok = window.grab().save(QString::fromStdString(file.string()));
  std::printf("%s %s\n", ok ? "wrote" : "could not write", file.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_shots OUT_FOLDER\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  QTemporaryDir folder;  // program folder and settings of a first start
  const std::filesystem::path dir = folder.path().toStdString();
  std::filesystem::copy_file(std::filesystem::path(ORVO_SOURCE_DIR) / "docs" / "ORVO.HLP", dir / "ORVO.HLP");
  orvo::Set_Program_Folder(dir.string());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
  orvo::RecordingMessageHandler boxes;  // boxes are answered, not shown
  orvo::ScopedMessageHandler scope(boxes);

  orvo::ide::MainWindow window;
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  auto* compile = window.findChild<QPushButton*>("Command1");
  compile->click();
  bool ok = Shoot(window, out / "window.png");

  window.Set_Editor_Bytes(kWithErrors);
  compile->click();
  ok = Shoot(window, out / "window-errors.png") && ok;
  return ok ? 0 : 1;
}
