// Menus, files with unsaved edits, settings between sessions and the status bar, driven as a
// user drives them.

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <functional>

#include "ide/find_replace.h"
#include "ide/help_viewer.h"
#include "run/run_engine.h"
#include "window_fixture.h"

namespace orvo::ide {
namespace {

using namespace test_window;

class App : public Window {
 protected:
  CodeEditor* Editor() { return Find<CodeEditor>("Text1"); }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QString Status(const char* name) { return Find<QLabel>(name)->text(); }
  void Type_At_End(const char* text) {
    Editor()->setFocus();
    QTest::keyClick(Editor(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(Editor(), text);
  }
  // Opens a menu of the menu bar with its Alt key and picks an entry by its accelerator.
  void Menu_Pick(Qt::Key menu_key, Qt::Key entry_key) {
    QTest::keyClick(window.get(), menu_key, Qt::AltModifier);
    QMenu* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(open, nullptr);
    QTest::keyClick(open, entry_key);
  }
};

TEST_F(App, MenusHoldEveryActionWithItsShortcut) {
  struct Row {
    const char* menu;
    const char* action;
    const char* text;
    QKeySequence key;
  };
  // clang-format off
  const Row rows[] = {
      {"FileMenu",  "ActionNew",    "&New",         QKeySequence::New},
      {"FileMenu",  "ActionOpen",   "&Open...",     QKeySequence::Open},
      {"FileMenu",  "ActionSave",   "&Save",        QKeySequence::Save},
      {"FileMenu",  "ActionSaveAs", "Save &As...",  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
      {"FileMenu",  "ActionExport", "&Export...",   QKeySequence(Qt::CTRL | Qt::Key_E)},
      {"FileMenu",  "ActionQuit",   "&Quit",        QKeySequence(Qt::CTRL | Qt::Key_Q)},
      {"EditMenu",  "ActionUndo",   "&Undo",        QKeySequence::Undo},
      {"EditMenu",  "ActionRedo",   "&Redo",        QKeySequence::Redo},
      {"EditMenu",  "ActionCut",    "Cu&t",         QKeySequence::Cut},
      {"EditMenu",  "ActionCopy",   "&Copy",        QKeySequence::Copy},
      {"EditMenu",  "ActionPaste",  "&Paste",       QKeySequence::Paste},
      {"EditMenu",  "ActionFind",   "&Find/Replace...", QKeySequence::Find},
      {"EditMenu",  "ActionGoToLine", "&Go to Line...", QKeySequence(Qt::CTRL | Qt::Key_G)},
      {"EditMenu",  "ActionSelectAll", "Select &All", QKeySequence::SelectAll},
      {"BuildMenu", "ActionCompile", "&Compile",    QKeySequence(Qt::Key_F5)},
      {"BuildMenu", "ActionRun",    "&RUN",         QKeySequence(Qt::Key_F9)},
      {"BuildMenu", "ActionStop",   "S&top RUN",    QKeySequence(Qt::CTRL | Qt::Key_F2)},
      {"BuildMenu", "ActionStack",  "&Auto save/restore stack", QKeySequence()},
      {"DebugMenu", "ActionDebugStart", "&Start/Continue", QKeySequence(Qt::Key_F8)},
      {"DebugMenu", "ActionStepInto", "Step &Into",  QKeySequence(Qt::Key_F11)},
      {"DebugMenu", "ActionStepOver", "Step &Over",  QKeySequence(Qt::Key_F10)},
      {"DebugMenu", "ActionStepOut", "Step O&ut",    QKeySequence(Qt::SHIFT | Qt::Key_F11)},
      {"DebugMenu", "ActionStepBack", "Step &Back",  QKeySequence(Qt::SHIFT | Qt::Key_F10)},
      {"DebugMenu", "ActionRunToCursor", "Run to &Cursor", QKeySequence(Qt::CTRL | Qt::Key_F10)},
      {"DebugMenu", "ActionDebugStop", "S&top",      QKeySequence(Qt::SHIFT | Qt::Key_F8)},
      {"DebugMenu", "ActionToggleBreakpoint", "Toggle &Breakpoint", QKeySequence(Qt::Key_F12)},
      {"HelpMenu",  "ActionHelpContents", "&Contents", QKeySequence(Qt::Key_F1)},
      {"HelpMenu",  "ActionInstructionReference", "&Instruction reference", QKeySequence()},
      {"HelpMenu",  "ActionAbout",  "&About ORVO IDE", QKeySequence()},
  };
  // clang-format on
  for (const Row& row : rows) {
    QAction* action = Action(row.action);
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(Find<QMenu>(row.menu)->actions().contains(action)) << row.action;
    EXPECT_EQ(action->text(), row.text);
    EXPECT_EQ(action->shortcut(), row.key) << row.action;
  }
  EXPECT_TRUE(Action("ActionCompile")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_B)));
  EXPECT_TRUE(Action("ActionRun")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_R)));
  // The menu bar in order, and a toolbar with the daily actions.
  QStringList titles;
  for (QAction* menu : window->menuBar()->actions()) titles << menu->text();
  EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&Build", "&Debug", "&Help"}));
  // No key does two things.
  QMap<QString, QString> owner;
  for (QAction* action : window->findChildren<QAction*>())
    for (const QKeySequence& key : action->shortcuts()) {
      const QString name = key.toString();
      EXPECT_FALSE(owner.contains(name)) << name.toStdString() << ": " << owner.value(name).toStdString()
                                         << " and " << action->objectName().toStdString();
      owner.insert(name, action->objectName());
    }
  auto* tools = Find<QToolBar>("MainToolBar");
  for (const char* name : {"ActionNew", "ActionOpen", "ActionSave", "ActionCompile", "ActionRun"})
    EXPECT_TRUE(tools->actions().contains(Action(name))) << name;
}

TEST_F(App, BuildMenuCompilesRunsAndTicksTheStackBox) {
  Menu_Pick(Qt::Key_B, Qt::Key_C);
  EXPECT_TRUE(Run_Enabled());
  EXPECT_TRUE(Action("ActionRun")->isEnabled());
  EXPECT_EQ(Status("StatusCompile"), "Compiled");
  EXPECT_EQ(Status("StatusSize"), "Code: 28 bytes");
  // The menu's stack entry and the box are one setting.
  Menu_Pick(Qt::Key_B, Qt::Key_A);
  EXPECT_FALSE(Find<QCheckBox>("CheckStack")->isChecked());
  Find<QCheckBox>("CheckStack")->click();
  EXPECT_TRUE(Action("ActionStack")->isChecked());
  // RUN last: the window handles events while a run goes on, and after that the offscreen
  // platform leaves the closed menu holding the activation.
  Find<QLineEdit>("Text5")->setText("-2");
  Menu_Pick(Qt::Key_B, Qt::Key_R);
  ASSERT_EQ(boxes.Messages().size(), 2u);
  EXPECT_EQ(boxes.Messages()[0].text, "DEC=-2\rHEX=&HFFFFFFFE");
  EXPECT_EQ(Status("StatusRun"), "Returned 15 (&H0000000F)");
  // An edit disables the menu's RUN with the button; F9 then does nothing.
  Type_At_End("NOP");
  EXPECT_FALSE(Action("ActionRun")->isEnabled());
  boxes.Clear();
  QTest::keyClick(Editor(), Qt::Key_F9);
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(App, StatusBarFollowsTheCursorAndTheCompile) {
  Editor()->setFocus();
  QTest::keyClick(Editor(), Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(Status("StatusCursor"), "Line 1, Col 1");
  QTest::keyClick(Editor(), Qt::Key_Down);
  QTest::keyClick(Editor(), Qt::Key_Down);
  QTest::keyClick(Editor(), Qt::Key_Right);
  EXPECT_EQ(Status("StatusCursor"), "Line 3, Col 2");
  Type_At_End("FOO");
  boxes.Script(MsgAnswer::No);
  QTest::keyClick(Editor(), Qt::Key_F5);
  EXPECT_EQ(Status("StatusCompile"), "Compile failed at line 9");
  EXPECT_EQ(Status("StatusSize"), "");
  // A routine returning a negative value: decimal with its sign, hex as 32 bits.
  window->Set_Editor_Bytes("MOV EAX,-1\r\nRET 16\r\n");
  Find<QCheckBox>("CheckStack")->setChecked(false);
  QTest::keyClick(Editor(), Qt::Key_F5);
  QTest::keyClick(Editor(), Qt::Key_F9);
  EXPECT_EQ(Status("StatusRun"), "Returned -1 (&HFFFFFFFF)");
}

TEST_F(App, ArgumentFieldsAreLabelledWithTips) {
  for (int i = 0; i < 4; ++i) {
    const QString arg = QStringLiteral("ARG%1").arg(i + 1);
    auto* label = Find<QLabel>(QStringLiteral("LabelArg%1").arg(i + 1).toLatin1().constData());
    auto* field = Find<QLineEdit>(QStringLiteral("Text%1").arg(i + 4).toLatin1().constData());
    EXPECT_EQ(label->text(), arg);
    EXPECT_EQ(label->buddy(), field);
    EXPECT_TRUE(field->toolTip().startsWith(arg + ":")) << field->toolTip().toStdString();
    EXPECT_TRUE(field->toolTip().contains(QStringLiteral("[EBP+%1]").arg(8 + 4 * i)));
    // Each label sits over its field.
    EXPECT_LT(label->mapTo(window.get(), QPoint(0, 0)).y(), field->mapTo(window.get(), QPoint(0, 0)).y());
  }
  EXPECT_TRUE(Find<QLineEdit>("Text4")->toolTip().contains("Show_Value"));
}

TEST_F(App, TitleNamesTheFileAndMarksEdits) {
  EXPECT_EQ(window->windowTitle(), "IDE: Corvane");
  Type_At_End("X");
  EXPECT_EQ(window->windowTitle(), "Untitled* - IDE: Corvane");
  chooser.replies.push_back({true, (dir / "prog").string(), 1});
  QTest::keyClick(Editor(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(window->windowTitle(), "prog.ASM - IDE: Corvane");
  Type_At_End("Y");
  EXPECT_EQ(window->windowTitle(), "prog.ASM* - IDE: Corvane");
  // Save writes the current file without asking again.
  QTest::keyClick(Editor(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(chooser.requests.size(), 1u);
  EXPECT_TRUE(Slurp(dir / "prog.ASM").ends_with("XY"));
  EXPECT_EQ(window->windowTitle(), "prog.ASM - IDE: Corvane");
  // Undoing back to the saved text is no edit.
  Type_At_End("Z");
  QTest::keyClick(Editor(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(window->windowTitle(), "prog.ASM - IDE: Corvane");
  // The next dialog starts in the file's folder.
  chooser.replies.push_back({});
  QTest::keyClick(Editor(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(fs::path(chooser.requests.back().start_folder), dir);
}

TEST_F(App, UnsavedEditsAskBeforeTheyAreLost) {
  Put(dir / "a.ASM", "NOP\r\n");
  Put(dir / "b.ASM", "CLC\r\n");
  ASSERT_TRUE(window->Load_Source((dir / "a.ASM").string()));
  struct Row {
    const char* what;
    UnsavedAnswer answer;
    std::function<void()> act;
    std::string editor_after;  // the editor's text afterwards
    bool a_saved;              // a.ASM holds the edit afterwards
    bool window_open;
  };
  auto open_b = [&] {
    chooser.replies.push_back({true, (dir / "b.ASM").string(), 1});
    QTest::keyClick(Editor(), Qt::Key_O, Qt::ControlModifier);
  };
  auto new_source = [&] { QTest::keyClick(Editor(), Qt::Key_N, Qt::ControlModifier); };
  auto close_window = [&] { window->close(); };
  const Row rows[] = {
      {"Open, Cancel", UnsavedAnswer::Cancel, open_b, "NOP\r\nX", false, true},
      {"New, Cancel", UnsavedAnswer::Cancel, new_source, "NOP\r\nX", false, true},
      {"Close, Cancel", UnsavedAnswer::Cancel, close_window, "NOP\r\nX", false, true},
      {"Open, Discard", UnsavedAnswer::Discard, open_b, "CLC\r\n", false, true},
      {"New, Save", UnsavedAnswer::Save, new_source, "", true, true},
      {"Close, Save", UnsavedAnswer::Save, close_window, "NOP\r\nX", true, false},
  };
  for (const Row& row : rows) {
    Put(dir / "a.ASM", "NOP\r\n");
    ASSERT_TRUE(window->Load_Source((dir / "a.ASM").string()));
    Type_At_End("X");
    chooser.answers.push_back(row.answer);
    chooser.asked.clear();
    row.act();
    EXPECT_EQ(chooser.asked, QStringList{"a.ASM"}) << row.what;
    EXPECT_EQ(window->Editor_Bytes(), row.editor_after) << row.what;
    EXPECT_EQ(Slurp(dir / "a.ASM"), row.a_saved ? "NOP\r\nX" : "NOP\r\n") << row.what;
    EXPECT_EQ(window->isVisible(), row.window_open) << row.what;
  }
  // Nothing edited: nothing asked.
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  ASSERT_TRUE(window->Load_Source((dir / "b.ASM").string()));
  chooser.asked.clear();
  new_source();
  EXPECT_TRUE(chooser.asked.isEmpty());
  EXPECT_EQ(window->windowTitle(), "IDE: Corvane");
}

TEST_F(App, RecentFilesOpenFromTheMenuNewestFirst) {
  for (const char* name : {"one.ASM", "two.ASM", "three.ASM"}) {
    Put(dir / name, std::string("REM ") + name + "\r\n");
    ASSERT_TRUE(window->Load_Source((dir / name).string()));
  }
  ASSERT_TRUE(window->Load_Source((dir / "one.ASM").string()));
  const QStringList expected = {QString::fromStdString((dir / "one.ASM").string()),
                                QString::fromStdString((dir / "three.ASM").string()),
                                QString::fromStdString((dir / "two.ASM").string())};
  EXPECT_EQ(window->Recent_Files(), expected);
  QMenu* recent = window->Recent_Menu();
  ASSERT_EQ(recent->actions().size(), 3);
  EXPECT_TRUE(recent->actions()[1]->text().endsWith("three.ASM"));
  recent->actions()[2]->trigger();
  EXPECT_EQ(window->Editor_Bytes(), "REM two.ASM\r\n");
  // A recent file that is gone is reported and leaves the list.
  fs::remove(dir / "three.ASM");
  window->Recent_Menu()->actions()[2]->trigger();
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0].text, "Error opening: " + (dir / "three.ASM").string());
  EXPECT_EQ(window->Recent_Files().size(), 2);
  EXPECT_EQ(window->Editor_Bytes(), "REM two.ASM\r\n");
  // No more than the menu keeps.
  for (int i = 0; i < kMaxRecentFiles + 3; ++i) {
    const std::string name = "f" + std::to_string(i) + ".ASM";
    Put(dir / name, "NOP\r\n");
    ASSERT_TRUE(window->Load_Source((dir / name).string()));
  }
  EXPECT_EQ(window->Recent_Files().size(), kMaxRecentFiles);
}

TEST_F(App, SettingsComeBackWhenTheWindowStartsAgain) {
  Put(dir / "kept.ASM", "PUSHAD\r\nPOPAD\r\n");
  ASSERT_TRUE(window->Load_Source((dir / "kept.ASM").string()));
  Find<QLineEdit>("Text5")->setText("77");
  Find<QLineEdit>("Text7")->setText("&H10");
  Find<QCheckBox>("CheckStack")->click();
  window->resize(window->width() + 123, window->height() + 45);
  auto* splitter = Find<QSplitter>("ColumnSplitter");
  QList<int> sizes = splitter->sizes();
  sizes[1] += 40;
  sizes[4] -= 40;
  splitter->setSizes(sizes);
  sizes = splitter->sizes();
  const QSize size = window->size();
  QTest::keyClick(Editor(), Qt::Key_F5);
  QTest::keyClick(Editor(), Qt::Key_F9);
  ASSERT_TRUE(Find<QDockWidget>("RegisterView")->isVisible());
  ASSERT_TRUE(window->close());

  Start_Window();
  EXPECT_EQ(window->Current_File(), (dir / "kept.ASM").string());
  EXPECT_EQ(window->Editor_Bytes(), "PUSHAD\r\nPOPAD\r\n");
  EXPECT_EQ(window->windowTitle(), "kept.ASM - IDE: Corvane");
  EXPECT_EQ(Find<QLineEdit>("Text5")->text(), "77");
  EXPECT_EQ(Find<QLineEdit>("Text7")->text(), "&H10");
  EXPECT_FALSE(Find<QCheckBox>("CheckStack")->isChecked());
  EXPECT_EQ(window->size(), size);
  EXPECT_EQ(Find<QSplitter>("ColumnSplitter")->sizes(), sizes);
  EXPECT_TRUE(Find<QDockWidget>("RegisterView")->isVisible());
  EXPECT_EQ(window->Recent_Files(), QStringList{QString::fromStdString((dir / "kept.ASM").string())});
  EXPECT_FALSE(Run_Enabled());
  // ARG1 left at the callback's address follows the address the program has now.
  ASSERT_TRUE(window->close());
  {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "ORVO", "orvo-ide");
    settings.setValue("run/show_value", "1234");
    settings.setValue("run/arguments", QStringList{"1234", "1", "2", "3"});
  }
  Start_Window();
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), QString::number(Get_FnAddress()));
  EXPECT_EQ(Find<QLineEdit>("Text6")->text(), "2");
  // A last file that is gone: the window starts with the default source, without a box.
  ASSERT_TRUE(window->close());
  fs::remove(dir / "kept.ASM");
  boxes.Clear();
  Start_Window();
  EXPECT_EQ(window->Editor_Bytes(), kDefaultSource);
  EXPECT_TRUE(window->Current_File().empty());
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(App, FindReplaceAndGoToLine) {
  window->Set_Editor_Bytes("NOP\r\nCLC\r\nNOP\r\nSTC\r\n");
  Editor()->setFocus();
  QTest::keyClick(Editor(), Qt::Key_F, Qt::ControlModifier);
  auto* find = Find<FindReplace>("FindReplace");
  ASSERT_TRUE(find->isVisible());
  QTest::keyClicks(Find<QLineEdit>("FindText"), "nop");
  QTest::keyClicks(Find<QLineEdit>("ReplaceText"), "CMC");
  Find<QPushButton>("FindNext")->click();
  EXPECT_EQ(Editor()->textCursor().blockNumber(), 0);
  Find<QPushButton>("FindNext")->click();
  EXPECT_EQ(Editor()->textCursor().blockNumber(), 2);
  Find<QPushButton>("ReplaceOne")->click();
  EXPECT_EQ(window->Editor_Bytes(), "NOP\r\nCLC\r\nCMC\r\nSTC\r\n");
  Find<QPushButton>("ReplaceAll")->click();
  EXPECT_EQ(window->Editor_Bytes(), "CMC\r\nCLC\r\nCMC\r\nSTC\r\n");
  // One undo takes the whole Replace All back.
  Editor()->undo();
  EXPECT_EQ(window->Editor_Bytes(), "NOP\r\nCLC\r\nCMC\r\nSTC\r\n");
  find->close();

  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    dialog->setIntValue(4);
    dialog->accept();
  });
  window->activateWindow();
  QTest::keyClick(window.get(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_EQ(Editor()->textCursor().blockNumber(), 3);
}

TEST_F(App, HelpMenuOpensTheReferenceAndAbout) {
  Menu_Pick(Qt::Key_H, Qt::Key_I);
  EXPECT_TRUE(window->Help()->isVisible());
  EXPECT_EQ(window->Help()->Context(), 3);
  Menu_Pick(Qt::Key_H, Qt::Key_A);
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0].title, "About ORVO IDE");
}

}  // namespace
}  // namespace orvo::ide
