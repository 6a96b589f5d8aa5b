#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/file_access.h"
#include "base/hex.h"
#include "ide/code_editor.h"
#include "ide/help_viewer.h"
#include "ide/listing_view.h"
#include "ide/main_window.h"
#include "ide/message_boxes.h"
#include "ide/text_convert.h"
#include "run/run_engine.h"
#include "support/test_support.h"
#include "window_fixture.h"
#include "support/file_seams.h"

namespace orvo::ide {
namespace {

using namespace test_window;
using test::Hex_Bytes;
using test::Recorder;

// Whether the encoders needed by the default source are there yet.
bool Default_Source_Assembles() {
  Recorder quiet;
  CompileSession s;
  CompileOptions o;
  o.stack = true;
  return s.Compile(kDefaultSource, o) == CompileOutcome::Finished;
}

TEST_F(Window, ControlsCaptionsAndInitialTexts) {
  EXPECT_EQ(window->objectName(), "ORVOIDE");
  EXPECT_EQ(window->windowTitle(), "IDE: Corvane");
  // clang-format off
  const std::pair<const char*, const char*> buttons[] = {
      {"Command1", "Compile"}, {"Command2", "Help"}, {"Command3", "RUN"}, {"Command4", "Export"},
      {"CmdOpen", "Open"},     {"CmdSave", "Save"},
  };
  const std::pair<const char*, const char*> labels[] = {
      {"Label1", "Addr"}, {"Label2", "Arguments"}, {"Label3", "CONST/REM free"},
      {"Label7", "Editor"}, {"Label8", "HEX"}, {"Label9", "Char"},
  };
  // clang-format on
  for (const auto& [name, caption] : buttons) EXPECT_EQ(Find<QPushButton>(name)->text(), caption);
  for (const auto& [name, caption] : labels) EXPECT_EQ(Find<QLabel>(name)->text(), caption);
  for (const char* name : {"Text5", "Text6", "Text7"}) EXPECT_EQ(Find<QLineEdit>(name)->text(), "0");
  for (const char* name : {"Text2", "Text3", "TxtPreCode"}) EXPECT_TRUE(Plain(name).isEmpty()) << name;
  for (const char* name : {"List1", "List2"}) EXPECT_EQ(Find<ListingView>(name)->count(), 0);
  EXPECT_EQ(Find<QLineEdit>("Text4")->text(), QString::number(Get_FnAddress()));
  auto* stack = Find<QCheckBox>("CheckStack");
  EXPECT_EQ(stack->text(), "Auto save/restore stack");
  EXPECT_TRUE(stack->isChecked());
  EXPECT_EQ(stack->toolTip(), "See STUB_MakeCaller function");
  EXPECT_FALSE(Run_Enabled());
}

TEST_F(Window, EditorStartsWithTheDefaultSourceFullySelected) {
  ASSERT_EQ(kDefaultSource.size(), 114u);
  EXPECT_EQ(window->Editor_Bytes(), kDefaultSource);
  // The example file holds the same text with LF line ends.
  std::ifstream in(fs::path(ORVO_SOURCE_DIR) / "examples" / "default.asm", std::ios::binary);
  const std::string example{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(Mend_LineEnds(example), kDefaultSource);
  const QTextCursor cursor = Find<QPlainTextEdit>("Text1")->textCursor();
  EXPECT_EQ(cursor.selectionStart(), 0);
  EXPECT_EQ(cursor.selectionEnd(), Find<QPlainTextEdit>("Text1")->document()->characterCount() - 1);
}

TEST_F(Window, TabOrderFollowsTheTable) {
  const char* order[] = {"Text1",      "Text2",      "Text3",   "List1",   "List2",   "Command2",
                         "Command3",   "Text4",      "Text5",   "Text6",   "Text7",   "Command1",
                         "TxtPreCode", "CheckStack", "CmdOpen", "CmdSave", "Command4"};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
    QWidget* w = Find<QWidget>(order[i])->nextInFocusChain();
    // Skip children of composite controls (viewports, scroll bars) and labels.
    while (w->objectName().isEmpty() || w->focusPolicy() == Qt::NoFocus || qobject_cast<QLabel*>(w))
      w = w->nextInFocusChain();
    EXPECT_EQ(w->objectName(), order[i + 1]) << "after " << order[i];
  }
}

TEST_F(Window, ControlsKeepTheirLeftToRightOrderAndGrowWithTheWindow) {
  QApplication::processEvents();
  auto x = [&](const char* name) { return Find<QWidget>(name)->mapTo(window.get(), QPoint(0, 0)).x(); };
  auto y = [&](const char* name) { return Find<QWidget>(name)->mapTo(window.get(), QPoint(0, 0)).y(); };
  // Each row of controls from left to right, as on the original form.
  const std::vector<std::vector<const char*>> rows = {
      {"List1", "List2", "Text1", "Text2", "Text3", "TxtPreCode"},
      {"Label1", "Label7", "Label9", "Label8", "Label3"},
      {"Command1", "Command2", "Command3"},
      {"Label2", "Text4", "Text5", "Text6", "Text7", "CmdOpen", "CmdSave", "Command4", "CheckStack"},
  };
  for (const auto& row : rows)
    for (std::size_t i = 0; i + 1 < row.size(); ++i)
      EXPECT_LT(x(row[i]), x(row[i + 1])) << row[i] << " " << row[i + 1];
  // Headings over their columns, the columns at one height, the buttons below.
  for (const char* column : {"List1", "List2", "Text1", "Text2", "Text3", "TxtPreCode"}) {
    EXPECT_GT(y(column), y("Label7")) << column;
    EXPECT_EQ(y(column), y("Text1")) << column;
    EXPECT_GT(y("Command1"), y(column) + Find<QWidget>(column)->height() - 1) << column;
  }
  EXPECT_LT(y("Command1"), y("Text4"));

  const QSize editor = Find<QWidget>("Text1")->size();
  const QSize button = Find<QWidget>("Command1")->size();
  window->resize(window->width() + 400, window->height() + 300);
  QApplication::processEvents();
  EXPECT_EQ(Find<QWidget>("Text1")->height(), editor.height() + 300);
  EXPECT_GT(Find<QWidget>("Text1")->width(), editor.width() + 150);
  EXPECT_EQ(Find<QWidget>("Command1")->size(), button);
}

TEST_F(Window, CompileFillsTheColumnsRowAligned) {
  // Fixed instructions, a comment, a constant and a label.
  Compile("REM start\r\nCONST N EQU 4\r\nPUSHAD\r\nTOP:\r\nCLC\r\nNOP\r\n\r\nPOPAD");
  ASSERT_TRUE(boxes.Messages().empty()) << Message_Text(boxes.Messages()[0]);
  EXPECT_EQ(Items("List1"), (QStringList{"", "", "6", "", "7", "8", "", "9"}));
  EXPECT_EQ(Items("List2"), (QStringList{"", "", "6", "", "7", "8", "", "9"}));
  EXPECT_EQ(Plain("Text3"), "\n\n60\n\nF8\n90\n\n61");
  EXPECT_EQ(Plain("TxtPreCode"), "\n\nPUSHAD\nTOP:\nCLC\nNOP\n\nPOPAD\n");
  EXPECT_EQ(Plain("Text2"), QString("\n\n`\n\n") + QChar(0xF8) + "\n.\n\na");  // 90h is a control
  EXPECT_TRUE(Run_Enabled());
  EXPECT_EQ(Slurp(dir / "ORVOIDE.BIN"), Hex_Bytes("5589E5535657 60 F8 90 61 5F5E5B89EC5DC21000"));

  // Every column draws row i at the editor's height for line i.
  auto* editor = Find<CodeEditor>("Text1");
  auto* list1 = Find<ListingView>("List1");
  auto* text3 = Find<ListingView>("Text3");
  QApplication::processEvents();
  for (int row : {0, 4, 7}) {
    QTextCursor c(editor->document()->findBlockByNumber(row));
    const int y = editor->viewport()->mapTo(window.get(), editor->cursorRect(c).topLeft()).y();
    const int y_list =
        list1->viewport()->mapTo(window.get(), list1->visualItemRect(list1->item(row)).topLeft()).y();
    QTextCursor h(text3->document()->findBlockByNumber(row));
    const int y_hex = text3->viewport()->mapTo(window.get(), text3->cursorRect(h).topLeft()).y();
    EXPECT_NEAR(y_list, y, 1) << row;
    EXPECT_NEAR(y_hex, y, 1) << row;
  }
}

TEST_F(Window, ColumnsScrollWithTheEditor) {
  std::string source;
  for (int i = 0; i < 200; ++i) source += "NOP\r\n";
  Compile(source);
  auto* editor = Find<QPlainTextEdit>("Text1");
  editor->verticalScrollBar()->setValue(120);
  for (const char* name : {"List1", "List2"})
    EXPECT_EQ(Find<ListingView>(name)->verticalScrollBar()->value(), 120) << name;
  for (const char* name : {"Text2", "Text3", "TxtPreCode"})
    EXPECT_EQ(Find<ListingView>(name)->verticalScrollBar()->value(), 120) << name;
  Find<ListingView>("List2")->verticalScrollBar()->setValue(30);
  EXPECT_EQ(editor->verticalScrollBar()->value(), 30);
}

TEST_F(Window, DefaultSourceCompilesAsTheWorkedExample) {
  ASSERT_TRUE(Default_Source_Assembles());
  Find<QPushButton>("Command1")->click();
  EXPECT_TRUE(boxes.Messages().empty());
  EXPECT_EQ(Items("List1"), (QStringList{"", "", "", "6", "7", "10", "13", "14", ""}));
  EXPECT_EQ(Items("List2"), (QStringList{"", "", "", "6", "7", "A", "D", "E", ""}));
  EXPECT_EQ(Plain("Text3"), "\n\n\n60\nFF/75/C\nFF/55/8\n61\nB8/F/0/0/0\n");
  EXPECT_EQ(Plain("TxtPreCode"), "\n\n\nPUSHAD\nPUSH [ebp+12]\nCALL [ebp+8]\nPOPAD\nMOV EAX,&B1111\n\n");
  EXPECT_EQ(window->Session().Image().Bytes(),
            Hex_Bytes("5589E5535657 60 FF750C FF5508 61 B80F000000 5F5E5B89EC5DC21000"));
  EXPECT_TRUE(Run_Enabled());

  Find<QLineEdit>("Text5")->setText("5");
  Find<QPushButton>("Command3")->click();
  ASSERT_EQ(boxes.Messages().size(), 2u);
  EXPECT_EQ(boxes.Messages()[0], (Message{"DEC=5\rHEX=&H5", MsgStyle::Ok, "ORVO IDE"}));
  EXPECT_EQ(boxes.Messages()[1].text, "FUNCTION RETURN: 15");
  EXPECT_EQ(boxes.Messages()[1].style, MsgStyle::Ok);
  EXPECT_TRUE(Find<QPlainTextEdit>("Registers")->toPlainText().contains("EAX"));
}

// Looks at the window as a user would: a picture of it after a compile, kept in the build folder.
TEST_F(Window, GrabAfterCompile) {
  ASSERT_TRUE(Default_Source_Assembles());
  Find<QPushButton>("Command1")->click();
  QApplication::processEvents();
  const QPixmap picture = window->grab();
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), window->size() * picture.devicePixelRatio());
  EXPECT_TRUE(picture.save(QString(ORVO_BINARY_DIR) + "/window-after-compile.png"));
  // After RUN the register dock opens inside the window, which keeps its size.
  Find<QPushButton>("Command3")->click();
  QApplication::processEvents();
  EXPECT_EQ(window->grab().size(), picture.size());
  auto* editor = Find<CodeEditor>("Text1");
  QTextCursor last(editor->document()->findBlockByNumber(8));
  EXPECT_TRUE(editor->viewport()->rect().contains(editor->cursorRect(last)))
      << "the default source stays whole";
  EXPECT_TRUE(window->grab().save(QString(ORVO_BINARY_DIR) + "/window-after-run.png"));
  ASSERT_TRUE(window->Open_Help(3));
  QApplication::processEvents();
  EXPECT_TRUE(window->Help()->grab().save(QString(ORVO_BINARY_DIR) + "/help-context-3.png"));
}

TEST_F(Window, TypingDisablesRunUntilTheNextCompile) {
  Compile("NOP");
  ASSERT_TRUE(Run_Enabled());
  Type("x");
  EXPECT_FALSE(Run_Enabled());
  Compile("NOP");
  EXPECT_TRUE(Run_Enabled());
  // Format-only changes (highlighting, marks) are no edit.
  Find<CodeEditor>("Text1")->Mark_Line(0);
  QApplication::processEvents();
  EXPECT_TRUE(Run_Enabled());
}

TEST_F(Window, StoppedCompileKeepsRunAsItWasAndMarksTheLine) {
  Compile("NOP\r\nNOP");
  ASSERT_TRUE(Run_Enabled());
  // Same text: no edit, so RUN stays enabled through a failing compile of a changed source.
  window->Set_Editor_Bytes("NOP\r\nMY LABEL:\r\nNOP");
  EXPECT_FALSE(Run_Enabled());
  Find<QPushButton>("Command1")->click();
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0], (Message{"Invalid LABEL:\r\tMY LABEL:", MsgStyle::Ok, "LINE: 1"}));
  EXPECT_FALSE(Run_Enabled());
  EXPECT_EQ(Items("List1"), QStringList{});
  EXPECT_EQ(Plain("TxtPreCode"), "NOP\nMY LABEL:\n");
  auto* editor = Find<CodeEditor>("Text1");
  EXPECT_EQ(editor->Marked_Line(), 1);
  EXPECT_EQ(editor->textCursor().blockNumber(), 1);
  Type("x");
  EXPECT_EQ(editor->Marked_Line(), -1);
}

TEST_F(Window, LabelErrorFailsTheCompileAndMarksItsLine) {
  Compile("NOP\r\nNOP");
  ASSERT_TRUE(Run_Enabled());
  Compile("NOP\r\nJMP Nowhere ; to nothing\r\nNOP");
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0].text, "Label not found: Nowhere");
  EXPECT_FALSE(Run_Enabled());
  EXPECT_EQ(Find<CodeEditor>("Text1")->Marked_Line(), 1);
  ASSERT_EQ(window->Session().Boxes().size(), 1u);
  EXPECT_EQ(window->Session().Boxes()[0].line, 1u);
}

TEST_F(Window, SyntaxErrorYesOpensHelpContext3) {
  boxes.Script(MsgAnswer::Yes);
  Compile("NOP\r\nFOO EAX");
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0],
            (Message{"Syntax Error:\rFOO EAX\r\rShow help?", MsgStyle::YesNoCritical, "LINE: 2"}));
  HelpViewer* help = window->Help();
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->Context(), 3);
  EXPECT_TRUE(help->Browser()->toHtml().contains("Syntax Error"));
  EXPECT_EQ(Find<CodeEditor>("Text1")->Marked_Line(), 1);
}

TEST_F(Window, SyntaxErrorNoOpensNothing) {
  boxes.Script(MsgAnswer::No);
  Compile("FOO");
  EXPECT_EQ(boxes.Messages().size(), 1u);
  EXPECT_FALSE(window->Help()->isVisible());
}

TEST_F(Window, HelpButtonOpensContext1) {
  Find<QPushButton>("Command2")->click();
  EXPECT_TRUE(window->Help()->isVisible());
  EXPECT_EQ(window->Help()->Context(), 1);
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(Window, MissingHelpFileGivesABoxAndTheWindowGoesOn) {
  fs::remove(dir / "ORVO.HLP");
  Find<QPushButton>("Command2")->click();
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0].text,
            "Cannot open the help file " + (dir / "ORVO.HLP").string() + "\r\r" + std::strerror(ENOENT));
  EXPECT_EQ(boxes.Messages()[0].style, MsgStyle::OkExclamation);
  EXPECT_FALSE(window->Help()->isVisible());
  Compile("NOP");
  EXPECT_TRUE(Run_Enabled());
}

TEST_F(Window, HelpFileHasEveryContextAnchor) {
  const std::string html = Slurp(fs::path(ORVO_SOURCE_DIR) / "docs" / "ORVO.HLP");
  for (const char* anchor : {"name=\"context-1\"", "name=\"context-3\""})
    EXPECT_NE(html.find(anchor), std::string::npos);
}

TEST_F(Window, SaveCompletesTheNameByFilter) {
  struct Row {
    const char* typed;
    int filter;
    const char* written;
  };
  const Row rows[] = {
      {"prog", 1, "prog.ASM"}, {"prog", 2, "prog.TXT"}, {"prog", 3, "prog.ASM"}, {"mine.s", 2, "mine.s"}};
  for (const Row& r : rows) {
    chooser.replies.push_back({true, (dir / r.typed).string(), r.filter});
    // Save asks for a name while there is no file; later Save As asks.
    if (window->Current_File().empty())
      Find<QPushButton>("CmdSave")->click();
    else
      QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Slurp(dir / r.written), kDefaultSource) << r.typed << " " << r.filter;
    fs::remove(dir / r.written);
  }
  ASSERT_FALSE(chooser.requests.empty());
  EXPECT_EQ(chooser.requests[0].title, "Save ORVO source");
  EXPECT_TRUE(chooser.requests[0].confirm_overwrite);
  EXPECT_EQ(chooser.requests[0].start_folder, Current_Folder());
  EXPECT_EQ(chooser.requests.size(), std::size(rows));
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(Window, ExportWritesByFilter) {
  Compile("PUSHAD\r\nPOPAD");
  const std::string image = Hex_Bytes("5589E5535657 60 61 5F5E5B89EC5DC21000");
  struct Row {
    const char* typed;
    int filter;
    const char* written;
    bool hex;
  };
  const Row rows[] = {
      {"code", 1, "code.BIN", false},  {"code", 2, "code.HEX", true},    {"code", 3, "code", false},
      {"out.bin", 2, "out.bin", true}, {"out.hex", 1, "out.hex", false},
  };
  for (const Row& r : rows) {
    chooser.replies.push_back({true, (dir / r.typed).string(), r.filter});
    Find<QPushButton>("Command4")->click();
    EXPECT_EQ(Slurp(dir / r.written), r.hex ? Hex_Text(image) : image) << r.typed << " " << r.filter;
    fs::remove(dir / r.written);
  }
  EXPECT_EQ(chooser.requests.back().title, "Export ORVO compiler output");
  EXPECT_EQ(chooser.requests.back().filters[1].name, "Hex file (*.HEX)");
  // Cancelled: nothing written.
  Find<QPushButton>("Command4")->click();
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()),
            2);  // ORVO.HLP, ORVOIDE.BIN
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(Window, FailedExportAndSaveLeaveOldFilesIntact) {
  Compile("NOP");
  Put(dir / "code.BIN", "previous export");
  Put(dir / "prog.ASM", "previous source");
  Inject_FileFailure(FileStep::Write, ENOSPC);
  chooser.replies.push_back({true, (dir / "code").string(), 1});
  Find<QPushButton>("Command4")->click();
  EXPECT_EQ(Slurp(dir / "code.BIN"), "previous export");
  ASSERT_FALSE(boxes.Messages().empty());
  EXPECT_EQ(boxes.Messages()[0],
            (Message{std::strerror(ENOSPC), MsgStyle::OkCritical, "Save: " + (dir / "code.BIN").string()}));

  boxes.Clear();
  Inject_FileFailure(FileStep::Replace, EACCES);
  chooser.replies.push_back({true, (dir / "prog").string(), 1});
  Find<QPushButton>("CmdSave")->click();
  EXPECT_EQ(Slurp(dir / "prog.ASM"), "previous source");
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0], (Message{"Error opening: " + (dir / "prog.ASM").string(),
                                          MsgStyle::OkCritical, std::strerror(EACCES)}));
}

TEST_F(Window, OpenLoadsBytesAndDisablesRun) {
  Compile("NOP");
  Put(dir / "unix.ASM", "NOP\nCLC\n");
  chooser.replies.push_back({true, (dir / "unix").string(), 1});
  Find<QPushButton>("CmdOpen")->click();
  EXPECT_EQ(chooser.requests.back().title, "Open ORVO source");
  EXPECT_TRUE(chooser.requests.back().must_exist);
  EXPECT_EQ(window->Editor_Bytes(), "NOP\r\nCLC\r\n");
  EXPECT_FALSE(Run_Enabled());
  // A failed load keeps the editor's text.
  chooser.replies.push_back({true, (dir / "gone.ASM").string(), 1});
  Find<QPushButton>("CmdOpen")->click();
  ASSERT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.Messages()[0].text, "Error opening: " + (dir / "gone.ASM").string());
  EXPECT_EQ(window->Editor_Bytes(), "NOP\r\nCLC\r\n");
}

TEST_F(Window, LoadSaveRoundTripOfEveryByte) {
  // Every byte 00h-FFh, CR only as part of CR LF, and a lone CR.
  std::string bytes;
  for (int b = 0; b < 256; ++b)
    if (b != '\r' && b != '\n') bytes.push_back(static_cast<char>(b));
  bytes += "\r\nline two\rstill two\r\n\r\nend";
  Put(dir / "all.TXT", bytes);
  window->Load_Source((dir / "all.TXT").string());
  EXPECT_EQ(window->Editor_Bytes(), bytes);
  EXPECT_EQ(Find<QPlainTextEdit>("Text1")->blockCount(), 4);
  window->Save_Source((dir / "again.TXT").string());
  EXPECT_EQ(Slurp(dir / "again.TXT"), bytes);
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(Window, LongSourceKeepsEveryColumnOnTheEditorsRows) {
  // Long enough that only a slice of the rows is ever laid out or painted.
  std::string source;
  for (int i = 0; i < 6000; ++i) source += i % 3 == 0 ? "CLC\r\n" : "NOP\r\n";
  Compile(source);
  ASSERT_TRUE(boxes.Messages().empty());
  const std::size_t lines = window->Session().Listing_().Line_Count();
  ASSERT_EQ(lines, 6001u);
  for (const char* name : {"List1", "List2", "Text2", "Text3"})
    EXPECT_EQ(Find<ListingView>(name)->count(), 6001) << name;
  EXPECT_EQ(Find<ListingView>("TxtPreCode")->count(), 6002);  // the empty row after the last break
  EXPECT_EQ(Find<ListingView>("List1")->item(5999)->text(), QString::number(6 + 5999));
  EXPECT_EQ(Find<ListingView>("List2")->item(5999)->text(), QString::number(6 + 5999, 16).toUpper());
  EXPECT_EQ(Find<ListingView>("Text3")->item(5998)->text(), "90");
  EXPECT_EQ(Find<ListingView>("Text3")->item(6000)->text(), "");
  EXPECT_EQ(Find<ListingView>("TxtPreCode")->item(5997)->text(), "CLC");

  auto* editor = Find<CodeEditor>("Text1");
  editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
  QApplication::processEvents();
  const int top = editor->verticalScrollBar()->value();
  for (const char* name : {"List1", "List2", "Text2", "Text3", "TxtPreCode"}) {
    auto* column = Find<ListingView>(name);
    EXPECT_EQ(column->verticalScrollBar()->value(), top) << name;
    for (int row : {top, top + 5}) {
      QTextCursor c(editor->document()->findBlockByNumber(row));
      const int y = editor->viewport()->mapTo(window.get(), editor->cursorRect(c).topLeft()).y();
      const int y_column =
          column->viewport()->mapTo(window.get(), column->visualItemRect(column->item(row)).topLeft()).y();
      EXPECT_NEAR(y_column, y, 1) << name << " row " << row;
    }
  }

  // A shorter source after it: the columns hold only its rows.
  Compile("PUSHAD\r\nPOPAD");
  EXPECT_EQ(Items("List1"), (QStringList{"6", "7"}));
  EXPECT_EQ(Plain("Text3"), "60\n61");
  EXPECT_EQ(Plain("TxtPreCode"), "PUSHAD\nPOPAD\n");
}

TEST_F(Window, CopyInAColumnTakesTheSelectedRowsInOrder) {
  Compile("REM start\r\nPUSHAD\r\nCLC\r\nPOPAD");
  auto* hex = Find<ListingView>("Text3");
  const auto rows = hex->model();
  hex->selectionModel()->select(rows->index(3, 0), QItemSelectionModel::Select);
  hex->selectionModel()->select(rows->index(1, 0), QItemSelectionModel::Select);
  hex->selectionModel()->select(rows->index(2, 0), QItemSelectionModel::Select);
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, "c");
  QApplication::sendEvent(hex, &copy);
  EXPECT_EQ(QApplication::clipboard()->text(), "60\nF8\n61");
}

TEST(MessageBoxes, StylesTitlesAndLineBreaks) {
  struct Row {
    MsgStyle style;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };
  const Row rows[] = {
      {MsgStyle::Ok, QMessageBox::NoIcon, QMessageBox::Ok},
      {MsgStyle::OkCritical, QMessageBox::Critical, QMessageBox::Ok},
      {MsgStyle::OkExclamation, QMessageBox::Warning, QMessageBox::Ok},
      {MsgStyle::YesNoCritical, QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No},
  };
  for (const Row& r : rows) {
    auto box = Make_MessageBox({"Syntax Error:\rMOV <A>\r\r\tUSAGE", r.style, std::nullopt}, nullptr);
    EXPECT_EQ(box->icon(), r.icon);
    EXPECT_EQ(box->standardButtons(), r.buttons);
    EXPECT_EQ(box->windowTitle(), "ORVO IDE");
    EXPECT_EQ(box->text(), "Syntax Error:\nMOV <A>\n\n\tUSAGE");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
  }
  EXPECT_EQ(Make_MessageBox({"x", MsgStyle::Ok, "LINE: 3"}, nullptr)->windowTitle(), "LINE: 3");
  EXPECT_EQ(Make_MessageBox({"\xE9", MsgStyle::Ok, std::nullopt}, nullptr)->text(), QString(QChar(0xE9)));
}

TEST(MessageBoxes, QtHandlerReturnsTheButtonPressed) {
  QtMessageHandler handler;
  for (auto [button, answer] :
       {std::pair{QMessageBox::Yes, MsgAnswer::Yes}, std::pair{QMessageBox::No, MsgAnswer::No}}) {
    QTimer::singleShot(0, [b = button] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->button(b)->click();
    });
    EXPECT_EQ(handler.Show({"Show help?", MsgStyle::YesNoCritical, std::nullopt}), answer);
  }
}

TEST(FileDialog, QtDialogIsConfiguredFromTheRequest) {
  const auto save = Dialog_Request(kDialogSave);
  QFileDialog dialog;
  Configure_FileDialog(dialog, *save);
  EXPECT_EQ(dialog.windowTitle(), "Save ORVO source");
  EXPECT_EQ(dialog.nameFilters(),
            (QStringList{"ORVO source (*.ASM)", "Text Files (*.txt)", "All files (*.*)"}));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(dialog.directory().absolutePath(), QDir(QString::fromStdString(Current_Folder())).absolutePath());
  EXPECT_EQ(dialog.defaultSuffix(), "ASM");
  // Picking another filter changes the suffix the dialog adds (and checks for overwriting).
  auto* combo = dialog.findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(combo, nullptr);
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  emit combo->textActivated(combo->currentText());
  EXPECT_EQ(dialog.defaultSuffix(), "TXT");

  const auto exp = Dialog_Request(kDialogExport);
  QFileDialog export_dialog;
  Configure_FileDialog(export_dialog, *exp);
  auto* export_combo = export_dialog.findChild<QComboBox*>("fileTypeCombo");
  export_combo->setCurrentIndex(2);
  emit export_combo->activated(2);
  emit export_combo->textActivated(export_combo->currentText());
  EXPECT_EQ(export_dialog.defaultSuffix(), "");

  const auto open = Dialog_Request(kDialogOpen);
  QFileDialog open_dialog;
  Configure_FileDialog(open_dialog, *open);
  EXPECT_EQ(open_dialog.fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(open_dialog.acceptMode(), QFileDialog::AcceptOpen);
}

TEST(TextConvert, BytesAndEditorCharacters) {
  const std::pair<std::string_view, QString> rows[] = {
      {"A\r\nB", "A\nB"},
      {"A\rB", QString("A") + QChar(kLoneCrMark) + "B"},
      {"\xFF\x80", QString(QChar(0xFF)) + QChar(0x80)},
  };
  for (const auto& [bytes, text] : rows) {
    EXPECT_EQ(To_EditorString(bytes), text);
    EXPECT_EQ(From_EditorString(text), bytes);
  }
  EXPECT_EQ(From_EditorString(QString(QChar(0x2029)) + QChar(0x20AC)), "\r\n?");
  EXPECT_EQ(To_CharColumn(std::string_view("\x0F\x00\x41\x7F\x9F\xA0", 6)), QString("..A..") + QChar(0xA0));
}

}  // namespace
}  // namespace orvo::ide
