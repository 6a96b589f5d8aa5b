#pragma once
// The source editor: plain text without wrapping, a line-number gutter, syntax highlighting
// and a mark for the line a compile stopped at.

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <functional>
#include <set>
#include <vector>

namespace orvo::ide {

class AsmHighlighter : public QSyntaxHighlighter {
 public:
  explicit AsmHighlighter(QTextDocument* document);

 protected:
  void highlightBlock(const QString& text) override;

 private:
  struct Rule {
    QRegularExpression pattern;
    QTextCharFormat format;
    bool whole_line;  // a match colours the whole line and ends the search (comments, CONST)
  };
  std::vector<Rule> rules_;
};

class CodeEditor : public QPlainTextEdit {
 public:
  explicit CodeEditor(QWidget* parent);

  int Gutter_Width() const;
  void Paint_Gutter(QPaintEvent* event);
  // Height of one line in pixels: the listing columns use it for their rows.
  int Line_Height() const;
  // Puts the cursor on a line (0-based) and marks it; a negative line removes the mark.
  void Mark_Line(int line);
  // Marks every line of the list (0-based, any order, repeats allowed) and puts the cursor on the
  // first of them; an empty list removes the marks.
  void Mark_Lines(std::vector<int> lines);
  // The first line marked, -1 when none; every marked line in order.
  int Marked_Line() const { return marked_.empty() ? -1 : marked_.front(); }
  const std::vector<int>& Marked_Lines() const { return marked_; }
  // Called whenever the editor may have scrolled or changed its height: by keys, the scroll bar,
  // the wheel, a resize or a jump to a line. The editor moves its scroll bar without signals on
  // some of these paths, so the scroll bar alone does not tell.
  void Set_Scroll_Listener(std::function<void()> listener) { scrolled_ = std::move(listener); }
  // F1 in the editor: called with the word at the cursor and the first word of its line (either
  // may be empty). Without a listener F1 goes to the window's shortcut.
  void Set_Help_Listener(std::function<void(const QString& word, const QString& first)> listener) {
    help_ = std::move(listener);
  }
  // The word (letters, digits, '_') the cursor is in or just after, and the line's first word.
  QString Word_At_Cursor() const;
  QString First_Word() const;
  // The breakpoint margin left of the line numbers: a click on it calls listener with the
  // line (0-based); lines with a breakpoint carry a dot.
  void Set_Margin_Listener(std::function<void(int)> listener) { margin_clicked_ = std::move(listener); }
  // Sets or clears the breakpoint of a line (0-based); true when it is set now. A breakpoint
  // follows its line's text: lines inserted or deleted above it move it, a new line typed at its
  // start moves it with the text, and it goes away with its line.
  bool Toggle_Breakpoint(int line);
  std::set<int> Breakpoint_Lines() const;
  void Margin_Clicked(int y);
  // The line of the instruction a debug session is at (0-based), highlighted and scrolled into
  // view; negative for none.
  void Set_Exec_Line(int line);
  int Exec_Line() const { return exec_line_; }
  int Margin_Width() const;
  // Spaces the Tab key inserts.
  static constexpr int kTabSpaces = 4;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void Update_Gutter(const QRect& rect, int dy);
  // Indents (1) or outdents (-1) every line the selection touches by kTabSpaces spaces.
  void Indent_Lines(int direction);
  void Refresh_Marks();

  void Notify_Scrolled() {
    if (scrolled_) scrolled_();
  }

  QWidget* gutter_;
  std::vector<int> marked_;  // sorted, each once
  std::function<void()> scrolled_;
  std::function<void(const QString&, const QString&)> help_;
  int exec_line_ = -1;
  // A breakpoint: a cursor at its line (the document moves it with the text) and where the line
  // was, and how long, after the last change, to tell a deleted line from a moved one.
  struct Breakpoint {
    QTextCursor cursor;
    int position = 0;
    int length = 0;
  };
  void Follow_Breakpoints(int position, int removed, int added);
  std::vector<Breakpoint> breakpoints_;
  std::function<void(int)> margin_clicked_;
};

}  // namespace orvo::ide
