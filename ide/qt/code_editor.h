#pragma once
// The source editor: plain text without wrapping, a line-number gutter, syntax highlighting
// and a mark for the line a compile stopped at.

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
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
  int Marked_Line() const { return marked_line_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Update_Gutter(const QRect& rect, int dy);
  void Refresh_Marks();

  QWidget* gutter_;
  int marked_line_ = -1;
};

}  // namespace orvo::ide
