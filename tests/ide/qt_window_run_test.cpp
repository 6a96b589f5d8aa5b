// RUN off the window's thread: Stop by key, toolbar and menu ends an endless routine, the window
// keeps handling input meanwhile, the question after many Show_Value boxes, closing during a run.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <functional>

#include "window_fixture.h"

namespace orvo::ide {
namespace {

using namespace test_window;

constexpr std::string_view kEndless = "L1:\r\nNOP\r\nJMP L1\r\n";
constexpr std::string_view kBoxLoop = "L1:\r\nPUSH 7\r\nCALL [EBP+8]\r\nJMP L1\r\n";

class Run : public Window {
 protected:
  QAction* Action(const char* name) { return Find<QAction>(name); }
  // Clicks RUN with the mouse; while the routine runs, during fires from the window's event loop.
  void Click_Run_While(std::function<void()> during) {
    QTimer::singleShot(300, window.get(), std::move(during));
    QTest::mouseClick(Find<QPushButton>("Command3"), Qt::LeftButton);
  }
  int Count(std::string_view text) {
    int n = 0;
    for (const Message& m : boxes.Messages()) n += m.text == text;
    return n;
  }
};

TEST_F(Run, StopEndsAnEndlessRoutineAndTheWindowKeepsWorking) {
  struct Row {
    const char* how;
    Qt::Key key;  // with Ctrl; 0: the toolbar's Stop button
  };
  const Row rows[] = {{"Ctrl+F2", Qt::Key_F2}, {"Ctrl+Break", Qt::Key_Pause}, {"toolbar", Qt::Key(0)}};
  Compile(kEndless);
  ASSERT_TRUE(Run_Enabled());
  for (const Row& row : rows) {
    boxes.Clear();
    bool checked = false;
    Click_Run_While([&] {
      checked = true;
      EXPECT_TRUE(window->Running()) << row.how;
      // Stop on; what would change the code under way off; the editor can be read, not changed.
      EXPECT_TRUE(Action("ActionStop")->isEnabled()) << row.how;
      EXPECT_FALSE(Find<QPushButton>("Command3")->isEnabled()) << row.how;
      EXPECT_FALSE(Find<QPushButton>("Command1")->isEnabled()) << row.how;
      EXPECT_FALSE(Action("ActionOpen")->isEnabled()) << row.how;
      auto* editor = Find<CodeEditor>("Text1");
      QTest::keyClicks(editor, "XYZ");
      EXPECT_EQ(window->Editor_Bytes(), kEndless) << row.how;
      // The window still answers the keyboard: the argument fields take text.
      auto* field = Find<QLineEdit>("Text6");
      field->setFocus();
      QTest::keyClick(field, Qt::Key_End);
      QTest::keyClick(field, Qt::Key_1);
      EXPECT_TRUE(Find<QLabel>("StatusRun")->text().startsWith("Running")) << row.how;
      if (row.key != 0) {
        QTest::keyClick(window.get(), row.key, Qt::ControlModifier);
      } else {
        auto* tools = Find<QToolBar>("MainToolBar");
        QTest::mouseClick(tools->widgetForAction(Action("ActionStop")), Qt::LeftButton);
      }
    });
    EXPECT_TRUE(checked) << row.how;
    EXPECT_FALSE(window->Running());
    ASSERT_EQ(boxes.Messages().size(), 1u) << row.how;
    EXPECT_TRUE(boxes.Messages()[0].text.starts_with("Error in assembler program")) << row.how;
    EXPECT_NE(boxes.Messages()[0].text.find("The run was stopped"), std::string::npos)
        << row.how << ": " << boxes.Messages()[0].text;
    EXPECT_EQ(Find<QLabel>("StatusRun")->text(), "RUN stopped") << row.how;
    EXPECT_TRUE(Run_Enabled()) << row.how;
    EXPECT_FALSE(Action("ActionStop")->isEnabled()) << row.how;
    EXPECT_TRUE(Find<QPushButton>("Command1")->isEnabled()) << row.how;
    EXPECT_FALSE(Find<CodeEditor>("Text1")->isReadOnly()) << row.how;
  }
  EXPECT_EQ(Find<QLineEdit>("Text6")->text(), "0111");
  // A routine that returns is not taken for stopped after a Stop.
  boxes.Clear();
  Compile("MOV EAX,3");
  QTest::mouseClick(Find<QPushButton>("Command3"), Qt::LeftButton);
  ASSERT_FALSE(boxes.Messages().empty());
  EXPECT_EQ(boxes.Messages().back().text, "FUNCTION RETURN: 3");
}

TEST_F(Run, AfterAThousandBoxesTheWindowAsksWhetherToGoOn) {
  Compile(kBoxLoop);
  ASSERT_TRUE(Run_Enabled());
  boxes.Script(MsgAnswer::Yes);  // then No, the recorder's default
  QTest::mouseClick(Find<QPushButton>("Command3"), Qt::LeftButton);
  std::vector<Message> questions;
  for (const Message& m : boxes.Messages())
    if (m.style == MsgStyle::YesNoCritical) questions.push_back(m);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0].text, "The routine has shown 1000 Show_Value boxes.\r\rShow more? No ends the run.");
  EXPECT_EQ(Count("DEC=7\rHEX=&H7"), 2000);
  ASSERT_FALSE(boxes.Messages().empty());
  EXPECT_NE(boxes.Messages().back().text.find("more than 1000 times"), std::string::npos)
      << boxes.Messages().back().text;
  EXPECT_EQ(Find<QLabel>("StatusRun")->text(), "RUN failed");
  EXPECT_TRUE(Run_Enabled());
}

TEST_F(Run, ClosingDuringARunStopsItThenCloses) {
  Compile(kEndless);
  bool refused = false;
  Click_Run_While([&] { refused = !window->close(); });
  EXPECT_TRUE(refused);  // not while the run's thread uses the window
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_NE(boxes.Messages()[0].text.find("The run was stopped"), std::string::npos);
}

}  // namespace
}  // namespace orvo::ide
