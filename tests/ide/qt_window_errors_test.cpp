// Every box of a compile marks its line, pass-3 boxes too, and the dock of compile messages lists
// them with their lines as the editor numbers them; a click on a row goes to its line.

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include "ide/error_list.h"
#include "window_fixture.h"

namespace orvo::ide {
namespace {

using namespace test_window;

// Thirty lines of data, then a LOOP back over them: farther than its 8-bit reach.
std::string Far_Loop() {
  std::string source = "TOP:\r\n";
  for (int i = 0; i < 30; ++i) source += "DD 1,2\r\n";
  return source + "LOOP TOP\r\n";
}

class Errors : public Window {
 protected:
  CodeEditor* Editor() { return Find<CodeEditor>("Text1"); }
  ErrorList* List() { return Find<ErrorList>("ErrorList"); }
  void Compile_With_F5(std::string_view source) {
    window->Set_Editor_Bytes(source);
    Editor()->setFocus();
    QTest::keyClick(Editor(), Qt::Key_F5);
  }
  void Click_Row(int row) {
    QTreeWidgetItem* item = List()->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    const QRect rect = List()->visualItemRect(item);
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, rect.center());
  }
};

TEST_F(Errors, EveryBoxOfACompileMarksItsLineAndRunStaysOff) {
  struct Row {
    std::string source;
    std::vector<int> marked;          // 0-based lines
    std::vector<std::string> starts;  // each box's text starts so
  };
  // clang-format off
  const Row rows[] = {
      {"MOV EAX,1\r\nJMP NOWHERE\r\nNOP",              {1},     {"Label not found:"}},
      {"NOP\r\nJMP AWAY\r\nNOP\r\nPUSH GONE\r\nNOP",   {1, 3},  {"Label not found:", "Label not found:"}},
      {Far_Loop(),                                     {31},    {"Jump out of range:"}},
      {"NOP\r\nFOO BAR\r\nJMP NOWHERE",                {1},     {"Syntax Error:"}},  // pass 2 stops first
  };
  // clang-format on
  for (const Row& row : rows) {
    boxes.Clear();
    Compile_With_F5(row.source);
    std::vector<int> marked = Editor()->Marked_Lines();
    EXPECT_EQ(marked, row.marked) << row.source;
    EXPECT_FALSE(Run_Enabled()) << row.source;
    ASSERT_EQ(window->Session().Boxes().size(), row.starts.size()) << row.source;
    for (std::size_t i = 0; i < row.starts.size(); ++i)
      EXPECT_TRUE(window->Session().Boxes()[i].text.starts_with(row.starts[i]))
          << row.source << ": " << window->Session().Boxes()[i].text;
    EXPECT_TRUE(Find<QLabel>("StatusCompile")
                    ->text()
                    .startsWith("Compile failed at line " + QString::number(row.marked.front() + 1)))
        << row.source;
  }
  // A clean compile and an edit both clear the marks.
  Compile_With_F5("NOP\r\nJMP AWAY\r\nNOP");
  ASSERT_FALSE(Editor()->Marked_Lines().empty());
  QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(Editor(), "X");
  EXPECT_TRUE(Editor()->Marked_Lines().empty());
  Compile_With_F5("NOP");
  EXPECT_TRUE(Editor()->Marked_Lines().empty());
  EXPECT_TRUE(Run_Enabled());
}

TEST_F(Errors, TheMessageDockListsEveryBoxAndAClickGoesToItsLine) {
  auto* dock = Find<QDockWidget>("ErrorListDock");
  EXPECT_FALSE(dock->isVisible());
  // Far below the first screen, so going there scrolls the editor and the columns.
  std::string source = "JMP AWAY\r\n";
  for (int i = 0; i < 60; ++i) source += "NOP\r\n";
  source += "CALL GONE\r\nNOP";
  Compile_With_F5(source);
  EXPECT_TRUE(dock->isVisible());
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  // Lines as the editor numbers them; the boxes keep their titles.
  const auto& compile_boxes = window->Session().Boxes();
  for (int row = 0; row < 2; ++row) {
    const QTreeWidgetItem* item = List()->topLevelItem(row);
    EXPECT_EQ(item->text(0).toInt(), static_cast<int>(compile_boxes[row].line) + 1);
    EXPECT_EQ(item->text(1).toStdString(),
              compile_boxes[row].title.empty() ? "ORVO IDE" : compile_boxes[row].title);
    EXPECT_TRUE(item->text(2).startsWith("Label not found:")) << item->text(2).toStdString();
  }
  EXPECT_EQ(List()->topLevelItem(0)->text(0), "1");
  EXPECT_EQ(List()->topLevelItem(1)->text(0), "62");

  Click_Row(1);
  EXPECT_EQ(Editor()->textCursor().blockNumber(), 61);
  EXPECT_EQ(QApplication::focusWidget(), Editor());
  EXPECT_GT(Editor_Top_Line(), 0);
  Expect_Columns_Beside_Editor("after a click in the message list");
  Click_Row(0);
  EXPECT_EQ(Editor()->textCursor().blockNumber(), 0);
  EXPECT_EQ(Editor_Top_Line(), 0);

  // The next compile replaces the rows; a clean one leaves none.
  Compile_With_F5("NOP\r\nNOP\r\nJMP AWAY");
  ASSERT_EQ(List()->topLevelItemCount(), 1);
  EXPECT_EQ(List()->topLevelItem(0)->text(0), "3");
  Compile_With_F5("NOP");
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  // The Build menu shows and hides the dock.
  QAction* toggle = Find<QAction>("ActionErrorList");
  const bool shown = dock->isVisible();
  toggle->trigger();
  EXPECT_NE(dock->isVisible(), shown);
}

}  // namespace
}  // namespace orvo::ide
