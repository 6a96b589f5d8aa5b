// The debugger driven as a user drives it: keys of the Debug menu, clicks on the breakpoint
// margin, and the Registers and Stack panels read as they are shown.

#include <QCheckBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

#include "ide/debugger.h"
#include "run/run_engine.h"
#include "window_fixture.h"

namespace orvo::ide {
namespace {

using namespace test_window;

class Debugging : public Window {
 protected:
  CodeEditor* Editor() { return Find<CodeEditor>("Text1"); }
  Debugger* Debug() { return dynamic_cast<Debugger*>(window->findChild<QObject*>("Debugger")); }
  // A key of the Debug menu, then the wait for the state it brings back.
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Editor(), key, modifiers);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Debug()->Busy(); }, 10000)) << "no state came back";
  }
  // A cell of a panel as it is shown.
  QString Cell(const char* table, int row, int column) {
    QTableWidgetItem* item = Find<QTableWidget>(table)->item(row, column);
    return item != nullptr ? item->text() : QString();
  }
  int Row_Of(const char* table, const QString& first) {
    auto* t = Find<QTableWidget>(table);
    for (int row = 0; row < t->rowCount(); ++row)
      if (t->item(row, 0) != nullptr && t->item(row, 0)->text() == first) return row;
    return -1;
  }
  QString Register(const char* name) { return Cell("DebugRegisters", Row_Of("DebugRegisters", name), 1); }
  bool Register_Changed(const char* name) {
    QTableWidgetItem* item = Find<QTableWidget>("DebugRegisters")->item(Row_Of("DebugRegisters", name), 1);
    return item != nullptr && item->background().style() != Qt::NoBrush;
  }
  void Click_Margin(int line) {
    QTextCursor cursor(Editor()->document()->findBlockByNumber(line));
    const int y = Editor()->cursorRect(cursor).center().y();
    QTest::mouseClick(Editor()->findChild<QWidget*>("LineNumbers"), Qt::LeftButton, {}, QPoint(3, y));
  }
  void Put_Cursor(int line) {
    Editor()->setTextCursor(QTextCursor(Editor()->document()->findBlockByNumber(line)));
  }
};

TEST_F(Debugging, StepsThroughTheDefaultSourceWithTheKeys) {
  auto* arg2 = Find<QLineEdit>("Text5");
  arg2->selectAll();
  QTest::keyClicks(arg2, "7");
  // F11 compiles and starts at the entry: the frame's prologue, no source line.
  Key(Qt::Key_F11);
  ASSERT_TRUE(Debug()->Active());
  EXPECT_EQ(Debug()->Current_Line(), -1);
  EXPECT_TRUE(Find<QDockWidget>("DebugRegistersDock")->isVisible());
  for (int i = 0; i < 5; ++i) Key(Qt::Key_F11);  // PUSH EBP, MOV EBP,ESP, PUSH EBX, ESI, EDI
  EXPECT_EQ(Debug()->Current_Line(), 3);         // PUSHAD
  EXPECT_EQ(Editor()->Exec_Line(), 3);
  EXPECT_EQ(Find<ListingView>("List1")->currentIndex().row(), 3);
  EXPECT_EQ(Find<ListingView>("Text3")->currentIndex().row(), 3);
  // The stack from ESP up: the frame's saved registers, the return address and the arguments.
  struct StackRow {
    int row;
    const char* what;
  };
  const StackRow stack[] = {{0, "saved EDI"},      {1, "saved ESI"}, {2, "saved EBX"}, {3, "saved EBP"},
                            {4, "return address"}, {5, "ARG1"},      {6, "ARG2"},      {8, "ARG4"}};
  for (const StackRow& s : stack) EXPECT_EQ(Cell("DebugStack", s.row, 2), s.what) << s.row;
  EXPECT_EQ(Cell("DebugStack", 6, 1), "&H00000007");
  EXPECT_EQ(Cell("DebugStack", 5, 1),
            QStringLiteral("&H%1").arg(Get_FnAddress(), 8, 16, QLatin1Char('0')).toUpper());
  // EBP points at the saved EBP; ESP moved by the last PUSH and is marked.
  EXPECT_EQ(Register("EBP").mid(2).toUInt(nullptr, 16), Cell("DebugStack", 3, 0).mid(2).toUInt(nullptr, 16));
  EXPECT_TRUE(Register_Changed("ESP"));
  EXPECT_FALSE(Register_Changed("EAX"));

  Key(Qt::Key_F11);  // PUSHAD
  Key(Qt::Key_F11);  // PUSH Arg2
  EXPECT_EQ(Debug()->Current_Line(), 5);
  EXPECT_EQ(Cell("DebugStack", 0, 1), "&H00000007");
  // F10 runs the call of Show_Value as one step, with its box.
  Key(Qt::Key_F10);
  EXPECT_EQ(Debug()->Current_Line(), 6);
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0].text, "DEC=7\rHEX=&H7");
  Key(Qt::Key_F10);  // POPAD
  Key(Qt::Key_F10);  // MOV EAX,&B1111
  EXPECT_EQ(Register("EAX"), "&H0000000F");
  EXPECT_EQ(Cell("DebugRegisters", Row_Of("DebugRegisters", "EAX"), 2), "15");
  EXPECT_TRUE(Register_Changed("EAX"));
  EXPECT_EQ(Debug()->Current_Line(), -1);  // the epilogue
  // Continue to the return: the same box as RUN.
  Key(Qt::Key_F8);
  ASSERT_EQ(boxes.Messages().size(), 2u);
  EXPECT_EQ(boxes.Messages()[1].text, "FUNCTION RETURN: 15");
  // Shift+F10 steps back through the epilogue's six instructions, then over the MOV: EAX is
  // what POPAD left.
  for (int i = 0; i < 6; ++i) Key(Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(Debug()->Current_Line(), -1);
  EXPECT_EQ(Register("EAX"), "&H0000000F");
  Key(Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(Debug()->Current_Line(), 7);
  EXPECT_NE(Register("EAX"), "&H0000000F");
  // A compile ends the session too (the stack box may have changed the code).
  QTest::keyClick(Editor(), Qt::Key_F5);
  EXPECT_FALSE(Debug()->Active());
  Key(Qt::Key_F11);
  EXPECT_TRUE(Debug()->Active());
  Put_Cursor(3);
  Key(Qt::Key_F10, Qt::ControlModifier);
  EXPECT_EQ(Editor()->Exec_Line(), 3);
  // An edit ends the session and takes the mark away.
  QTest::keyClick(Editor(), Qt::Key_End);
  QTest::keyClicks(Editor(), " ");
  EXPECT_FALSE(Debug()->Active());
  EXPECT_EQ(Editor()->Exec_Line(), -1);
}

const char* const kSumLoop =
    "XOR EAX,EAX\r\n"
    "MOV ECX,5\r\n"
    "again:\r\n"
    "ADD EAX,ECX\r\n"
    "DEC ECX\r\n"
    "JNZ again\r\n";

TEST_F(Debugging, ABreakpointClickedInTheMarginStopsContinue) {
  window->Set_Editor_Bytes(kSumLoop);
  Click_Margin(4);
  EXPECT_EQ(Debug()->Breakpoint_Lines(), std::set<int>{4});
  Click_Margin(1);
  Click_Margin(1);  // a second click takes it away
  EXPECT_EQ(Debug()->Breakpoint_Lines(), std::set<int>{4});
  Key(Qt::Key_F8);  // start
  // Each continue stops at DEC with the sum so far: 5, 5+4, 5+4+3.
  for (const char* eax : {"&H00000005", "&H00000009", "&H0000000C"}) {
    Key(Qt::Key_F8);
    EXPECT_EQ(Debug()->Current_Line(), 4) << eax;
    EXPECT_EQ(Register("EAX"), eax);
  }
  // Step back undoes the ADD exactly.
  Key(Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(Debug()->Current_Line(), 3);
  EXPECT_EQ(Register("EAX"), "&H00000009");
  // Without the breakpoint continue runs to the return: 15.
  Click_Margin(4);
  EXPECT_TRUE(Debug()->Breakpoint_Lines().empty());
  Key(Qt::Key_F8);
  ASSERT_FALSE(boxes.Messages().empty());
  EXPECT_EQ(boxes.Messages().back().text, "FUNCTION RETURN: 15");
}

// Keys typed in the editor: a key, or a key with modifiers.
struct Keystroke {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

TEST_F(Debugging, BreakpointsFollowTheirLinesThroughEdits) {
  const Keystroke kEnter{Qt::Key_Return}, kDown{Qt::Key_Down}, kEnd{Qt::Key_End},
      kTop{Qt::Key_Home, Qt::ControlModifier}, kSelectDown{Qt::Key_Down, Qt::ShiftModifier},
      kDelete{Qt::Key_Delete}, kBackspace{Qt::Key_Backspace}, kRight{Qt::Key_Right}, kSpace{Qt::Key_Space},
      kAll{Qt::Key_A, Qt::ControlModifier}, kX{Qt::Key_X};
  struct Row {
    const char* name;
    std::vector<Keystroke> keys;
    std::set<int> lines;  // 0-based, after the keys
  };
  // The breakpoint is on line 4, DEC ECX.
  const Row rows[] = {
      {"a new line at the top", {kTop, kEnter}, {5}},
      {"a new line typed at the end of the line above", {kTop, kDown, kDown, kDown, kEnd, kEnter}, {5}},
      {"a new line typed at its own start", {kTop, kDown, kDown, kDown, kDown, kEnter}, {5}},
      {"its line split after its first word", {kTop, kDown, kDown, kDown, kDown, kRight, kRight, kRight, kEnter},
       {4}},
      {"a line above deleted", {kTop, kDown, kSelectDown, kDelete}, {3}},
      {"two lines above deleted", {kTop, kSelectDown, kSelectDown, kDelete}, {2}},
      {"its line joined to the one above", {kTop, kDown, kDown, kDown, kDown, kBackspace}, {3}},
      {"its own line deleted", {kTop, kDown, kDown, kDown, kDown, kSelectDown, kDelete}, {}},
      {"spaces typed at its start", {kTop, kDown, kDown, kDown, kDown, kSpace, kSpace}, {4}},
      {"a line below deleted", {kTop, kDown, kDown, kDown, kDown, kDown, kSelectDown, kDelete}, {4}},
      {"the whole text typed over", {kAll, kX}, {}},
  };
  for (const Row& row : rows) {
    window->Set_Editor_Bytes(kSumLoop);  // a new text: no breakpoints left from the row before
    Click_Margin(4);
    ASSERT_EQ(Debug()->Breakpoint_Lines(), std::set<int>{4}) << row.name;
    for (const Keystroke& k : row.keys) QTest::keyClick(Editor(), k.key, k.modifiers);
    EXPECT_EQ(Debug()->Breakpoint_Lines(), row.lines) << row.name;
  }
}

TEST_F(Debugging, ContinueStopsAtABreakpointsLineAfterALineIsTypedAboveIt) {
  window->Set_Editor_Bytes(kSumLoop);
  Click_Margin(4);  // DEC ECX
  QTest::keyClick(Editor(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(Editor(), Qt::Key_Return);
  Key(Qt::Key_F8);  // compiles the edited text and starts
  Key(Qt::Key_F8);
  EXPECT_EQ(Debug()->Current_Line(), 5);
  EXPECT_EQ(Editor()->document()->findBlockByNumber(5).text(), "DEC ECX");
  EXPECT_EQ(Register("EAX"), "&H00000005");
  // Another line typed above it during the session ends the session; the next stop is one lower.
  QTest::keyClick(Editor(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(Editor(), Qt::Key_Return);
  EXPECT_FALSE(Debug()->Active());
  Key(Qt::Key_F8);
  Key(Qt::Key_F8);
  EXPECT_EQ(Debug()->Current_Line(), 6);
  EXPECT_EQ(Debug()->Breakpoint_Lines(), std::set<int>{6});
}

TEST_F(Debugging, RunToCursorStopsAtTheCursorsLine) {
  window->Set_Editor_Bytes(kSumLoop);
  Key(Qt::Key_F11);
  Put_Cursor(5);
  Key(Qt::Key_F10, Qt::ControlModifier);
  EXPECT_EQ(Debug()->Current_Line(), 5);
  EXPECT_EQ(Register("ECX"), "&H00000004");
  // Step out at the routine's own level runs to its return.
  Key(Qt::Key_F11, Qt::ShiftModifier);
  EXPECT_EQ(boxes.Messages().back().text, "FUNCTION RETURN: 15");
}

TEST_F(Debugging, AFaultStopsAtItsLineAndLeavesThePanels) {
  window->Set_Editor_Bytes("MOV EAX,10\r\nXOR ECX,ECX\r\nDIV ECX\r\nMOV EAX,1\r\n");
  Key(Qt::Key_F8);
  Key(Qt::Key_F8);
  EXPECT_EQ(Debug()->Current_Line(), 2);
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_TRUE(boxes.Messages()[0].text.ends_with("\rline 3: DIV ECX")) << boxes.Messages()[0].text;
  EXPECT_EQ(Register("EAX"), "&H0000000A");
  EXPECT_EQ(Register("ECX"), "&H00000000");
  // Back: first the faulting attempt (still at DIV), then the XOR; and on again to the fault.
  Key(Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(Debug()->Current_Line(), 2);
  Key(Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(Debug()->Current_Line(), 1);
  EXPECT_EQ(Register("ECX"), "&H00000000");
  Key(Qt::Key_F11);
  EXPECT_EQ(Debug()->Current_Line(), 2);
  Key(Qt::Key_F11);
  EXPECT_EQ(Debug()->Current_Line(), 2);
  EXPECT_EQ(boxes.Messages().size(), 2u);
}

// The emulator library aborts its process on a far CALL through a register and on LOCK before an
// instruction that cannot take it; the session runs in a process of its own, so the window lives
// on with the fault box naming the line.
TEST_F(Debugging, CodeTheEmulatorAbortsOnEndsTheSessionNotTheWindow) {
  Find<QCheckBox>("CheckStack")->click();  // no frame: the routine is its lines
  struct Row {
    const char* source;
    Qt::Key key;  // the command that meets the code
    int line;     // 0-based
    const char* text;
  };
  const Row rows[] = {
      // Stepping the MOV translates its block, the far CALL (FF D8) with it.
      {"MOV EAX,1\r\nDB 255,216\r\nMOV EAX,2\r\n", Qt::Key_F11, 1,
       "Invalid instruction: the emulator cannot translate the routine's code at EIP=&H400005\rline 2: DB 255,216"},
      // Continue runs the loop, then meets LOCK CMP [EAX],AL (F0 38 00).
      {"MOV ECX,3\r\nagain:\r\nLOOP again\r\nDB 240,56,0\r\n", Qt::Key_F8, 3,
       "Invalid instruction: the emulator cannot translate the routine's code at EIP=&H400007\rline 4: DB 240,56,0"},
  };
  for (const Row& row : rows) {
    window->Set_Editor_Bytes(row.source);
    boxes.Clear();
    Key(Qt::Key_F11);  // start
    ASSERT_TRUE(Debug()->Active()) << row.source;
    EXPECT_EQ(Debug()->Current_Line(), 0) << row.source;
    const QString eax = Register("EAX");
    Key(row.key);
    ASSERT_EQ(boxes.Messages().size(), 1u) << row.source;
    EXPECT_EQ(boxes.Messages()[0].text, std::string("Error in assembler program\r\r") + row.text);
    EXPECT_FALSE(Debug()->Active()) << row.source;
    EXPECT_EQ(Debug()->Current_Line(), row.line) << row.source;
    EXPECT_EQ(Editor()->Exec_Line(), row.line) << row.source;
    EXPECT_EQ(Register("EAX"), eax) << "the panels keep the last state";
    // The window goes on: a new session starts in a new process at the routine's entry.
    Key(Qt::Key_F11);
    ASSERT_TRUE(Debug()->Active()) << row.source;
    EXPECT_EQ(Debug()->Current_Line(), 0) << row.source;
    EXPECT_EQ(Register("EAX"), "&H00000000") << row.source;
    EXPECT_EQ(boxes.Messages().size(), 1u) << row.source;
    QTest::keyClick(Editor(), Qt::Key_F8, Qt::ShiftModifier);  // Stop ends the idle session
    EXPECT_FALSE(Debug()->Active());
  }
}

TEST_F(Debugging, StopEndsAnEndlessLoopAtOnceAndTheWindowStaysResponsive) {
  window->Set_Editor_Bytes("again:\r\nJMP again\r\n");
  Key(Qt::Key_F8);
  QTest::keyClick(Editor(), Qt::Key_F8);
  ASSERT_TRUE(Debug()->Busy());
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(10);
  QTest::qWait(300);
  EXPECT_GT(ticks, 5) << "the window did not handle events while the routine ran";
  EXPECT_TRUE(Debug()->Busy());
  QTest::keyClick(Editor(), Qt::Key_F8, Qt::ShiftModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Debug()->Busy(); }, 1000));
  EXPECT_TRUE(Debug()->Active());
  EXPECT_EQ(Debug()->Current_Line(), 1);
  EXPECT_TRUE(boxes.Messages().empty());
  // A second Stop, with nothing running, ends the session.
  QTest::keyClick(Editor(), Qt::Key_F8, Qt::ShiftModifier);
  EXPECT_FALSE(Debug()->Active());
}

TEST_F(Debugging, AnEditDuringAContinueEndsTheSessionAndFreesTheWorker) {
  window->Set_Editor_Bytes("again:\r\nJMP again\r\n");
  Key(Qt::Key_F8);
  QTest::keyClick(Editor(), Qt::Key_F8);
  ASSERT_TRUE(Debug()->Busy());
  QTest::qWait(100);
  QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(Editor(), "\r");
  EXPECT_FALSE(Debug()->Active());
  EXPECT_FALSE(Debug()->Busy());
  // A new session starts at once: the old continue ended with the edit.
  QTest::keyClick(Editor(), Qt::Key_F11);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Debug()->Busy(); }, 1000));
  EXPECT_TRUE(Debug()->Active());
  EXPECT_EQ(Debug()->Current_Line(), -1);  // the frame's prologue
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(Debugging, MemoryShowsTheCodeImageWithItsLabelsAndMarksWrittenBytes) {
  Find<QCheckBox>("CheckStack")->click();  // no frame: the routine is its lines
  window->Set_Editor_Bytes("MOV EAX,&H41424344\r\nfirst: PUSH EAX\r\nPOP EAX\r\nRET 16\r\n");
  Key(Qt::Key_F11);
  // The code image from its first byte: B8 44 43 42 41 (MOV), the label on the byte after.
  EXPECT_EQ(Cell("DebugMemory", 0, 0),
            QStringLiteral("&H%1").arg(Get_CodeBase(), 8, 16, QLatin1Char('0')).toUpper());
  const QString code[] = {"B8", "44", "43", "42", "41", "50", "58", "C2", "10", "00"};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Cell("DebugMemory", 0, 1 + i), code[i]) << i;
  EXPECT_TRUE(Cell("DebugMemory", 0, 17).startsWith(".DCBAPX.")) << Cell("DebugMemory", 0, 17).toStdString();
  EXPECT_EQ(Cell("DebugMemory", 0, 18), "+5 first");
  // The stack below ESP, typed in: PUSH writes four bytes there and only they are marked.
  const std::uint32_t esp = Register("ESP").mid(2).toUInt(nullptr, 16);
  auto* address = Find<QLineEdit>("DebugMemoryAddress");
  address->setFocus();
  QTest::keyClicks(address, QStringLiteral("&H%1").arg(esp - 16, 0, 16));
  QTest::keyClick(address, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Debug()->Busy(); }, 10000));
  Key(Qt::Key_F11);  // MOV
  Key(Qt::Key_F11);  // PUSH EAX
  auto* memory = Find<QTableWidget>("DebugMemory");
  for (int i = 0; i < 16; ++i) {
    const bool written = memory->item(0, 1 + i)->background().style() != Qt::NoBrush;
    EXPECT_EQ(written, i >= 12) << i;
  }
  EXPECT_EQ(Cell("DebugMemory", 0, 13), "44");
  EXPECT_EQ(Cell("DebugMemory", 0, 16), "41");
}

TEST_F(Debugging, AScreenshotOfASessionShowsThePanels) {
  window->resize(1280, 900);
  auto* arg2 = Find<QLineEdit>("Text5");
  arg2->selectAll();
  QTest::keyClicks(arg2, "7");
  Click_Margin(5);
  Key(Qt::Key_F8);
  Key(Qt::Key_F8);  // to the breakpoint at CALL Arg1
  Key(Qt::Key_F10);
  EXPECT_EQ(Debug()->Current_Line(), 6);
  QApplication::processEvents();
  const QImage shot = window->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(QString::fromUtf8(ORVO_BINARY_DIR "/debugger.png")));
}

}  // namespace
}  // namespace orvo::ide
