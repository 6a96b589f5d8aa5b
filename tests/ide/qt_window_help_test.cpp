// F1 on an instruction, the help file's instruction anchors and the highlighter's word lists, all
// against the assembler's own tables.

#include <QLineEdit>
#include <QTest>
#include <QTextBrowser>
#include <QTextLayout>

#include "assembler/dispatch.h"
#include "ide/help_viewer.h"
#include "operands/operands.h"
#include "window_fixture.h"
#include "support/file_seams.h"

namespace orvo::ide {
namespace {

using namespace test_window;

class Help : public Window {
 protected:
  CodeEditor* Editor() { return Find<CodeEditor>("Text1"); }
  // Types the source into an emptied editor and puts the cursor at a column of its first line.
  void Type_Line(const char* source, int column) {
    Editor()->setFocus();
    QTest::keyClick(Editor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Editor(), Qt::Key_Delete);
    QTest::keyClicks(Editor(), source);
    QTest::keyClick(Editor(), Qt::Key_Home);
    for (int i = 0; i < column; ++i) QTest::keyClick(Editor(), Qt::Key_Right);
  }
  // The text the help browser shows at its top.
  QString Help_Top() {
    QTextBrowser* browser = window->Help()->Browser();
    return browser->cursorForPosition(QPoint(4, 4)).block().text().trimmed();
  }
  // The format the highlighter gave a line's first character.
  QTextCharFormat Format_Of(int line, int column) {
    const QTextBlock block = Editor()->document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& range : block.layout()->formats())
      if (range.start <= column && column < range.start + range.length) return range.format;
    return {};
  }
};

TEST_F(Help, F1OnAnInstructionOpensTheHelpThere) {
  struct Row {
    const char* source;
    int column;          // of the cursor
    const char* anchor;  // what the help shows
    const char* top;     // heading at the top of the help
  };
  // clang-format off
  const Row rows[] = {
      {"MOV EAX,1",     0,  "insn-MOV",    "MOV"},
      {"mov eax,1",     3,  "insn-MOV",    "MOV"},                       // just after the word
      {"    jnz skip",  6,  "insn-JNZ",    "Jumps, calls, returns, loops"},
      {"PUSH EAX",      6,  "insn-PUSH",   "PUSH and POP"},             // on a register: the line's
      {"SETNLE AL",     2,  "insn-SETNLE", "SETcc, INT, BSWAP, VERR, VERW"},
      {"REP STOSD",     6,  "insn-STOSD",  "String instructions and REP prefixes"},
      {"TABLE DB 1,2",  7,  "insn-DB",     "Data: DB, DW, DD"},
      {"ADD EAX,2",     5,  "insn-ADD",    "Arithmetic and logic: ADD OR ADC SBB AND SUB XOR CMP"},
      {"PUSHA",         2,  "context-1",   "ORVO IDE \u2014 user guide"},  // refused: not an instruction
      {"foo bar",       1,  "context-1",   "ORVO IDE \u2014 user guide"},
  };
  // clang-format on
  for (const Row& row : rows) {
    Type_Line(row.source, row.column);
    QTest::keyClick(Editor(), Qt::Key_F1);
    EXPECT_TRUE(window->Help()->isVisible()) << row.source;
    EXPECT_EQ(window->Help()->Anchor().toStdString(), row.anchor) << row.source;
    QApplication::processEvents();
    EXPECT_EQ(Help_Top().toStdString(), row.top) << row.source;
    window->Help()->hide();
    window->activateWindow();
  }
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(Help, F1OutsideTheEditorOpensTheContents) {
  Type_Line("MOV EAX,1", 0);
  auto* field = Find<QLineEdit>("Text5");
  field->setFocus();
  QTest::keyClick(field, Qt::Key_F1);
  EXPECT_TRUE(window->Help()->isVisible());
  EXPECT_EQ(window->Help()->Anchor(), "context-1");
}

TEST_F(Help, AnInstalledWindowFindsItsHelpAndKeepsTheCodeFileInTheUsersDataFolder) {
  // The installed layout: the program in bin/, its help in share/orvo/, bin/ not the user's.
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "share" / "orvo");
  fs::rename(dir / "ORVO.HLP", dir / "share" / "orvo" / "ORVO.HLP");
  Set_Program_Folder((dir / "bin").string());
  const QByteArray data_home = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dir / "data").string()));
  Type_Line("MOV EAX,1", 0);
  QTest::keyClick(Editor(), Qt::Key_F1);
  EXPECT_EQ(window->Help()->Anchor(), "insn-MOV");
  EXPECT_TRUE(boxes.Messages().empty());
  QTest::keyClick(Editor(), Qt::Key_F5);
  EXPECT_TRUE(Run_Enabled());
  if (data_home.isNull())
    qunsetenv("XDG_DATA_HOME");
  else
    qputenv("XDG_DATA_HOME", data_home);
  EXPECT_FALSE(fs::exists(dir / "bin" / "ORVOIDE.BIN"));
  int found = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir / "data"))
    if (entry.path().filename() == "ORVOIDE.BIN") {
      ++found;
      EXPECT_EQ(Slurp(entry.path()), window->Session().Image().Bytes()) << entry.path();
    }
  EXPECT_EQ(found, 1);
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST(HelpFile, HasAnAnchorForEveryInstructionTheAssemblerAccepts) {
  const std::string html = Slurp(fs::path(ORVO_SOURCE_DIR) / "docs" / "ORVO.HLP");
  const std::vector<std::string_view> names = Accepted_Mnemonics();
  EXPECT_GT(names.size(), 150u);
  for (std::string_view name : names)
    EXPECT_NE(html.find("<a name=\"insn-" + std::string(name) + "\">"), std::string::npos) << name;
}

TEST_F(Help, HighlighterKnowsWhatTheAssemblerAccepts) {
  // Every accepted mnemonic is drawn as one; look-alikes the assembler refuses are not.
  const std::vector<std::string_view> accepted = Accepted_Mnemonics();
  const char* refused[] = {"PUSHA", "POPA", "JNQ", "SETNBE", "MOVS", "JMPX", "LOOPX"};
  QStringList lines;
  for (std::string_view name : accepted) lines << QString::fromLatin1(name.data(), name.size()) + " 1";
  for (const char* name : refused) lines << QString::fromLatin1(name) + " 1";
  Editor()->setFocus();
  QTest::keyClick(Editor(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(Editor(), Qt::Key_Delete);
  for (const QString& text : lines) {
    QTest::keyClicks(Editor(), text.toLower());
    QTest::keyClick(Editor(), Qt::Key_Return);
  }
  const QColor mnemonic = Format_Of(0, 0).foreground().color();
  int line = 0;
  for (std::string_view name : accepted) {
    const QTextCharFormat f = Format_Of(line++, 0);
    EXPECT_EQ(f.fontWeight(), QFont::Bold) << name;
    EXPECT_EQ(f.foreground().color(), mnemonic) << name;
  }
  for (const char* name : refused) EXPECT_NE(Format_Of(line++, 0).foreground().color(), mnemonic) << name;

  // Registers: every name the operands accept, and nothing longer that starts like one.
  QString registers = "MOV ";
  for (const std::string& name : Register_Names()) registers += QString::fromStdString(name) + " ";
  registers += "EAXX ESPY";
  Type_Line(registers.toLatin1().constData(), 0);
  const QColor reg = Format_Of(0, 4).foreground().color();
  EXPECT_NE(reg, mnemonic);
  int column = 4;
  for (const std::string& name : Register_Names()) {
    EXPECT_EQ(Format_Of(0, column).foreground().color(), reg) << name;
    column += static_cast<int>(name.size()) + 1;
  }
  EXPECT_NE(Format_Of(0, column).foreground().color(), reg) << "EAXX";
  EXPECT_EQ(Register_Names().size(), 30u);
}

}  // namespace
}  // namespace orvo::ide
