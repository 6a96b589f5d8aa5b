#pragma once
// The window under test: one MainWindow per test with its own program folder, settings and
// scripted dialogs, and helpers that read the window as a user sees it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTextBlock>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/file_access.h"
#include "ide/code_editor.h"
#include "ide/listing_view.h"
#include "ide/main_window.h"
#include "support/test_support.h"
#include "support/file_seams.h"

namespace orvo::ide::test_window {

using test::Hex_Bytes;
using test::Recorder;
namespace fs = std::filesystem;

inline std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline void Put(const fs::path& p, std::string_view bytes) {
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Answers file dialogs from a script and remembers what was asked.
struct ScriptedChooser : FileChooser {
  DialogReply Choose(QWidget*, const DialogRequest& request) override {
    requests.push_back(request);
    if (replies.empty()) return {};
    DialogReply r = replies.front();
    replies.pop_front();
    return r;
  }
  UnsavedAnswer Ask_Unsaved(QWidget*, const QString& name) override {
    asked.push_back(name);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected unsaved-edits question for " << name.toStdString();
      return UnsavedAnswer::Cancel;
    }
    const UnsavedAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<DialogReply> replies;
  std::vector<DialogRequest> requests;
  std::deque<UnsavedAnswer> answers;
  QStringList asked;
};

// One window per test, with its own program folder (code file, help file) and dialogs.
class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() / ("orvo-window-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(fs::path(ORVO_SOURCE_DIR) / "docs" / "ORVO.HLP", dir / "ORVO.HLP");
    Set_Program_Folder(dir.string());
    // Settings of this test alone: every test starts as a first start.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString((dir / "settings").string()));
    Start_Window();
  }
  // A new window, as when the program starts again.
  void Start_Window() {
    window = std::make_unique<MainWindow>();
    window->Set_FileChooser(&chooser);
    window->show();
    // Shortcuts of the window reach it only while it is the active window.
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  void TearDown() override {
    window.reset();
    Set_Program_Folder("");
    fs::remove_all(dir);
  }
  template <class T>
  T* Find(const char* name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // A column's text with its line breaks as '\n' (a final empty line included).
  QString Plain(const char* name) {
    return Find<ListingView>(name)->document()->toRawText().replace(QChar::ParagraphSeparator, '\n');
  }
  QStringList Items(const char* name) {
    QStringList out;
    auto* list = Find<ListingView>(name);
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
  }
  // Where the editor draws a line and a column draws its row, in window coordinates.
  int Editor_Row_Y(int row) {
    auto* editor = Find<CodeEditor>("Text1");
    QTextCursor c(editor->document()->findBlockByNumber(row));
    return editor->viewport()->mapTo(window.get(), editor->cursorRect(c).topLeft()).y();
  }
  int Column_Row_Y(ListingView* column, int row) {
    const QRect r = column->visualRect(column->model()->index(row, 0));
    return column->viewport()->mapTo(window.get(), r.topLeft()).y();
  }
  int Editor_Top_Line() { return Find<CodeEditor>("Text1")->cursorForPosition(QPoint(1, 1)).blockNumber(); }
  // Every column that has rows draws the editor's visible lines' rows at the lines' heights.
  void Expect_Columns_Beside_Editor(const std::string& where) {
    QApplication::processEvents();
    const int top = Editor_Top_Line();
    for (const char* name : kColumns) {
      auto* column = Find<ListingView>(name);
      for (int row : {top, top + 3}) {
        if (row >= column->model()->rowCount()) continue;
        EXPECT_EQ(Column_Row_Y(column, row), Editor_Row_Y(row)) << where << ": " << name << " row " << row;
      }
    }
  }
  static constexpr const char* kColumns[] = {"List1", "List2", "Text2", "Text3", "TxtPreCode"};
  bool Run_Enabled() { return Find<QPushButton>("Command3")->isEnabled(); }
  // Compiles through the button, as a click would.
  void Compile(std::string_view source) {
    window->Set_Editor_Bytes(source);
    Find<QPushButton>("Command1")->click();
  }
  void Type(const QString& text) {
    auto* editor = Find<QPlainTextEdit>("Text1");
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(editor, &press);
    }
  }

  fs::path dir;
  Recorder boxes;
  ScriptedChooser chooser;
  std::unique_ptr<MainWindow> window;
};

}  // namespace orvo::ide::test_window
