// The window driven as a user drives it: keys, clicks and drags on the real widgets.

#include <QDockWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QSplitter>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <functional>

#include "ide/message_boxes.h"
#include "window_fixture.h"

namespace orvo::ide {
namespace {

using namespace test_window;

std::string Lines(int count, const char* line = "NOP") {
  std::string source;
  for (int i = 0; i < count; ++i) source += std::string(line) + "\r\n";
  return source;
}

class Driven : public Window {
 protected:
  CodeEditor* Editor() { return Find<CodeEditor>("Text1"); }
  // Puts the keyboard in the editor as a click would.
  void Focus_Editor() {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::mouseClick(Editor()->viewport(), Qt::LeftButton, {}, QPoint(40, 5));
    ASSERT_EQ(QApplication::focusWidget(), Editor());
  }
};

TEST_F(Driven, KeyboardScrollingKeepsEveryColumnBesideItsLine) {
  Compile(Lines(300));
  ASSERT_TRUE(Run_Enabled());
  Focus_Editor();
  struct Row {
    const char* what;
    std::function<void(QWidget*)> keys;
  };
  const Row rows[] = {
      {"Down past the edge",
       [](QWidget* w) {
         for (int i = 0; i < 80; ++i) QTest::keyClick(w, Qt::Key_Down);
       }},
      {"PageDown", [](QWidget* w) { QTest::keyClick(w, Qt::Key_PageDown); }},
      {"PageDown again", [](QWidget* w) { QTest::keyClick(w, Qt::Key_PageDown); }},
      {"Ctrl+End", [](QWidget* w) { QTest::keyClick(w, Qt::Key_End, Qt::ControlModifier); }},
      {"PageUp", [](QWidget* w) { QTest::keyClick(w, Qt::Key_PageUp); }},
      {"Up past the edge",
       [](QWidget* w) {
         for (int i = 0; i < 60; ++i) QTest::keyClick(w, Qt::Key_Up);
       }},
      {"Ctrl+Home", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Home, Qt::ControlModifier); }},
  };
  int last_top = -1;
  for (const Row& row : rows) {
    row.keys(Editor());
    const int top = Editor_Top_Line();
    EXPECT_NE(top, last_top) << row.what << " did not scroll";
    last_top = top;
    Expect_Columns_Beside_Editor(row.what);
    for (const char* name : kColumns)
      EXPECT_EQ(Find<ListingView>(name)->verticalScrollBar()->value(), Editor()->verticalScrollBar()->value())
          << row.what << ": " << name;
  }
  EXPECT_EQ(last_top, 0);
}

TEST_F(Driven, ClickInTheScrollTrackAndWheelKeepTheColumnsBeside) {
  Compile(Lines(300));
  QScrollBar* bar = Editor()->verticalScrollBar();
  // Below the handle: one page down.
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 30));
  EXPECT_GT(bar->value(), 0);
  Expect_Columns_Beside_Editor("track click");
  // A wheel turn over a column moves the editor too.
  auto* hex = Find<ListingView>("Text3");
  QWheelEvent wheel(QPointF(5, 5), hex->viewport()->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -360),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(hex->viewport(), &wheel);
  Expect_Columns_Beside_Editor("wheel over the hex column");
}

TEST_F(Driven, TheFailingLineIsScrolledToWithItsColumns) {
  std::string source = Lines(250);
  source += "FOO EAX\r\n" + Lines(50);
  boxes.Script(MsgAnswer::No);
  Compile(source);
  ASSERT_EQ(Editor()->Marked_Line(), 250);
  const int top = Editor_Top_Line();
  EXPECT_GT(top, 150);
  Expect_Columns_Beside_Editor("after the error");
  // The preprocessed column reaches the failing line, beside it.
  auto* pre = Find<ListingView>("TxtPreCode");
  EXPECT_EQ(Column_Row_Y(pre, 250), Editor_Row_Y(250));
  // Scrolling past the rows the stopped compile left still keeps rows level.
  Focus_Editor();
  QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
  Expect_Columns_Beside_Editor("Ctrl+End after the error");
}

TEST_F(Driven, ResizingAndSplittersKeepTheRowsLevel) {
  Compile(Lines(300));
  Focus_Editor();
  QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
  for (QSize size :
       {window->size() + QSize(0, 137), window->size() - QSize(0, 90), window->size() + QSize(220, 0)}) {
    window->resize(size);
    QApplication::processEvents();
    Expect_Columns_Beside_Editor("resized");
  }
  // Dragging the handle between the editor and the columns widens the editor.
  auto* splitter = window->findChild<QSplitter*>("ColumnSplitter");
  ASSERT_NE(splitter, nullptr);
  const int editor_index = splitter->indexOf(Editor()->parentWidget());
  ASSERT_GT(editor_index, 0);
  QSplitterHandle* handle = splitter->handle(editor_index + 1);
  const int before = Editor()->width();
  const QPoint mid(handle->width() / 2, handle->height() / 2);
  QTest::mousePress(handle, Qt::LeftButton, {}, mid);
  QTest::mouseMove(handle, mid + QPoint(60, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, mid + QPoint(60, 0));
  EXPECT_GT(Editor()->width(), before + 30);
  Expect_Columns_Beside_Editor("splitter dragged");
}

TEST_F(Driven, RunLeavesTheKeyboardInTheEditorAndShowsRegistersInADock) {
  Focus_Editor();
  QTest::keyClick(Editor(), Qt::Key_F5);
  ASSERT_TRUE(Run_Enabled());
  QTest::keyClick(Editor(), Qt::Key_F9);
  ASSERT_FALSE(boxes.Messages().empty());
  EXPECT_EQ(boxes.Messages().back().text, "FUNCTION RETURN: 15");
  QApplication::processEvents();
  auto* registers = Find<QPlainTextEdit>("Registers");
  EXPECT_TRUE(registers->isVisible());
  EXPECT_TRUE(registers->toPlainText().contains("EAX"));
  auto* dock = qobject_cast<QDockWidget*>(registers->parentWidget());
  ASSERT_NE(dock, nullptr);
  EXPECT_FALSE(dock->isFloating());
  EXPECT_EQ(QApplication::activeWindow(), window.get());
  EXPECT_EQ(QApplication::focusWidget(), Editor());
  // The keys go on working without a click: F5 compiles again, typing edits.
  boxes.Clear();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
  EXPECT_EQ(boxes.Messages().size(), 2u);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "NOP");
  EXPECT_TRUE(window->Editor_Bytes().ends_with("NOP"));
  EXPECT_FALSE(Run_Enabled());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
  EXPECT_TRUE(Run_Enabled());
}

TEST_F(Driven, TabInsertsFourSpacesAndFileTabsShowVisibly) {
  Focus_Editor();
  QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(Editor(), Qt::Key_Tab);
  QTest::keyClicks(Editor(), "NOP");
  EXPECT_TRUE(window->Editor_Bytes().ends_with("\r\n    NOP")) << window->Editor_Bytes();
  EXPECT_EQ(QApplication::focusWidget(), Editor());

  // Over several lines Tab indents them all, Shift+Tab takes up to four spaces back, one undo.
  window->Set_Editor_Bytes("NOP\r\n  CLC\r\nSTC");
  QTest::keyClick(Editor(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(Editor(), Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(Editor(), Qt::Key_Tab);
  EXPECT_EQ(window->Editor_Bytes(), "    NOP\r\n      CLC\r\nSTC");
  QTest::keyClick(Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
  QTest::keyClick(Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(window->Editor_Bytes(), "NOP\r\nCLC\r\nSTC");
  QTest::keyClick(Editor(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(window->Editor_Bytes(), "NOP\r\n  CLC\r\nSTC");

  // A TAB that comes in with a file stays a TAB and is drawn so that it can be seen.
  Put(dir / "tabbed.ASM", "NOP\r\n\tCLC\r\n");
  chooser.replies.push_back({true, (dir / "tabbed.ASM").string(), 1});
  chooser.answers.push_back(UnsavedAnswer::Discard);
  QTest::keyClick(Editor(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(window->Editor_Bytes(), "NOP\r\n\tCLC\r\n");
  QApplication::processEvents();
  const QTextBlock block = Editor()->document()->findBlockByNumber(1);
  bool tab_marked = false, text_marked = false;
  for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
    const bool background = range.format.hasProperty(QTextFormat::BackgroundBrush);
    if (range.start == 0 && range.length == 1 && background) tab_marked = true;
    if (range.start > 0 && background) text_marked = true;
  }
  EXPECT_TRUE(tab_marked);
  EXPECT_FALSE(text_marked);
}

TEST_F(Driven, AnEditOrOpenClearsTheListingOfTheOldText) {
  Compile(Lines(10));
  for (const char* name : kColumns) ASSERT_GT(Find<ListingView>(name)->count(), 0) << name;
  Focus_Editor();
  QTest::keyClick(Editor(), Qt::Key_Return);
  for (const char* name : kColumns) EXPECT_EQ(Find<ListingView>(name)->count(), 0) << "typed: " << name;

  Find<QPushButton>("Command1")->click();
  for (const char* name : kColumns) ASSERT_GT(Find<ListingView>(name)->count(), 0) << name;
  Put(dir / "other.ASM", "CLC\r\n");
  chooser.replies.push_back({true, (dir / "other.ASM").string(), 1});
  chooser.answers.push_back(UnsavedAnswer::Discard);
  Find<QPushButton>("CmdOpen")->click();
  for (const char* name : kColumns) EXPECT_EQ(Find<ListingView>(name)->count(), 0) << "opened: " << name;
  // Moving the cursor or a failed open is no edit: the listing stays.
  Find<QPushButton>("Command1")->click();
  QTest::keyClick(Editor(), Qt::Key_Down);
  chooser.replies.push_back({true, (dir / "missing.ASM").string(), 1});
  Find<QPushButton>("CmdOpen")->click();
  EXPECT_EQ(Find<ListingView>("List1")->count(), 2);
}

TEST_F(Driven, BoxesBelongToTheMainWindow) {
  QtMessageHandler handler(window.get());
  ScopedMessageHandler scope(handler);
  // Another window of the program is active when the box comes.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QWidget* parent = nullptr;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
        parent = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
      }
  });
  fs::remove(dir / "ORVO.HLP");
  Find<QPushButton>("Command2")->click();
  EXPECT_EQ(parent, window.get());
}

TEST_F(Driven, StartSizeShowsTheDefaultSourceWhole) {
  QApplication::processEvents();
  auto* editor = Editor();
  const QRect viewport = editor->viewport()->rect();
  for (int line = 0; line < 8; ++line) {
    QTextCursor end(editor->document()->findBlockByNumber(line));
    end.movePosition(QTextCursor::EndOfBlock);
    const QRect r = editor->cursorRect(end);
    EXPECT_TRUE(viewport.contains(r)) << "line " << line + 1;
  }
  // After a compile every row of the columns fits its column too.
  Find<QPushButton>("Command1")->click();
  QApplication::processEvents();
  for (const char* name : {"Text3", "TxtPreCode", "List1", "List2"}) {
    auto* column = Find<ListingView>(name);
    const QFontMetrics metrics(column->font());
    for (int row = 0; row < column->count(); ++row) {
      const int needed = metrics.horizontalAdvance(column->item(row)->text());
      EXPECT_LE(needed, column->viewport()->width()) << name << " row " << row;
    }
    EXPECT_LE(Column_Row_Y(column, column->count() - 1) + 12,
              column->mapTo(window.get(), QPoint(0, column->height())).y())
        << name;
  }
  // The window fits the screen it starts on.
  if (const QScreen* screen = window->screen()) {
    EXPECT_TRUE(screen->availableGeometry().size().boundedTo(window->frameSize()) == window->frameSize())
        << screen->availableGeometry().width() << "x" << screen->availableGeometry().height() << " "
        << window->frameSize().width() << "x" << window->frameSize().height();
  }
}

TEST_F(Driven, ArgumentFieldsStayTogetherWhenTheWindowGrows) {
  auto gaps = [&] {
    std::vector<int> out;
    const char* names[] = {"Text4", "Text5", "Text6", "Text7"};
    for (int i = 0; i + 1 < 4; ++i)
      out.push_back(
          Find<QWidget>(names[i + 1])->mapTo(window.get(), QPoint(0, 0)).x() -
          Find<QWidget>(names[i])->mapTo(window.get(), QPoint(Find<QWidget>(names[i])->width(), 0)).x());
    return out;
  };
  const std::vector<int> start = gaps();
  const int width = Find<QWidget>("Text4")->width();
  window->resize(window->width() + 600, window->height() + 200);
  QApplication::processEvents();
  EXPECT_EQ(gaps(), start);
  EXPECT_GE(Find<QWidget>("Text4")->width(), width);
  EXPECT_GE(Find<QWidget>("Text4")->width(),
            Find<QWidget>("Text4")->fontMetrics().horizontalAdvance("-2147483648"));
  for (int gap : start) EXPECT_LT(gap, 60);
}

TEST_F(Driven, OutOfRangeArgumentNamesTheFieldAndTheRange) {
  Find<QPushButton>("Command1")->click();
  struct Row {
    const char* field;
    const char* text;
    const char* name;
  };
  const Row rows[] = {
      {"Text5", "4294967295", "ARG2"}, {"Text7", "-2147483649", "ARG4"}, {"Text4", "&H1FFFFFFFF", "ARG1"}};
  for (const Row& row : rows) {
    auto* field = Find<QLineEdit>(row.field);
    const QString before = field->text();
    field->selectAll();
    QTest::keyClicks(field, row.text);
    boxes.Clear();
    Find<QPushButton>("Command3")->click();
    ASSERT_EQ(boxes.Messages().size(), 1u) << row.text;
    const Message& box = boxes.Messages()[0];
    EXPECT_EQ(box.style, MsgStyle::OkExclamation);
    EXPECT_TRUE(box.text.starts_with("Error in assembler program\r\r")) << box.text;
    EXPECT_NE(box.text.find(row.name), std::string::npos) << box.text;
    EXPECT_NE(box.text.find(row.text), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("-2147483648 to 2147483647"), std::string::npos) << box.text;
    field->setText(before);
  }
}

}  // namespace
}  // namespace orvo::ide
