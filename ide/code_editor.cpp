#include "ide/code_editor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

#include "assembler/dispatch.h"
#include "operands/operands.h"

namespace orvo::ide {
namespace {

class Gutter : public QWidget {
 public:
  explicit Gutter(CodeEditor* editor) : QWidget(editor), editor_(editor) { setObjectName("LineNumbers"); }
  QSize sizeHint() const override { return {editor_->Gutter_Width(), 0}; }

 protected:
  void paintEvent(QPaintEvent* event) override { editor_->Paint_Gutter(event); }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && event->position().x() < editor_->Margin_Width())
      editor_->Margin_Clicked(static_cast<int>(event->position().y()));
    else
      QWidget::mousePressEvent(event);
  }

 private:
  CodeEditor* editor_;
};

QTextCharFormat Format(const QColor& color, bool bold = false, bool italic = false) {
  QTextCharFormat f;
  f.setForeground(color);
  if (bold) f.setFontWeight(QFont::Bold);
  f.setFontItalic(italic);
  return f;
}

// One alternation of names, longest first, from the assembler's own tables.
template <class Names>
QString Alternation(const Names& names) {
  QStringList list;
  for (const auto& name : names)
    list << QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  std::sort(list.begin(), list.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
  return list.join(QLatin1Char('|'));
}

}  // namespace

AsmHighlighter::AsmHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  const auto ci = QRegularExpression::CaseInsensitiveOption;
  // clang-format off
  rules_ = {
      // pattern                                                              format                           whole line
      {QRegularExpression(R"(^ *('|;|REM ).*)", ci),                         Format(QColor(0x6A, 0x8A, 0x6A), false, true), true},
      {QRegularExpression(R"(^ *CONST .*)", ci),                             Format(QColor(0x8E, 0x44, 0xAD)), true},
      {QRegularExpression(R"(^ *[^ :]+:)"),                                   Format(QColor(0xB0, 0x5A, 0x00), true), false},
      {QRegularExpression(QStringLiteral(R"(^ *(%1)\b)").arg(Alternation(Accepted_Mnemonics())), ci), Format(QColor(0x1F, 0x4E, 0xA8), true), false},
      {QRegularExpression(QStringLiteral(R"(\b(%1)\b)").arg(Alternation(Register_Names())), ci),  Format(QColor(0x00, 0x80, 0x80)), false},
      {QRegularExpression(R"((&H[0-9A-F]+|&B[01]+|-?\b[0-9]+)[?%&]?)", ci),  Format(QColor(0xA0, 0x20, 0x40)), false},
  };
  // clang-format on
}

void AsmHighlighter::highlightBlock(const QString& text) {
  for (const Rule& rule : rules_) {
    auto it = rule.pattern.globalMatch(text);
    bool matched = false;
    while (it.hasNext()) {
      const auto m = it.next();
      setFormat(static_cast<int>(m.capturedStart()), static_cast<int>(m.capturedLength()), rule.format);
      matched = true;
    }
    if (matched && rule.whole_line) break;
  }
  // A TAB is no blank to the assembler (a TAB-indented line is refused): draw it so it is seen.
  for (qsizetype i = text.indexOf(QLatin1Char('\t')); i >= 0; i = text.indexOf(QLatin1Char('\t'), i + 1)) {
    QTextCharFormat f = format(static_cast<int>(i));
    f.setBackground(QColor(0xFF, 0xD0, 0x90));
    setFormat(static_cast<int>(i), 1, f);
  }
}

CodeEditor::CodeEditor(QWidget* parent) : QPlainTextEdit(parent), gutter_(new Gutter(this)) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  document()->setDocumentMargin(0);
  connect(this, &QPlainTextEdit::blockCountChanged, this,
          [this] { setViewportMargins(Gutter_Width(), 0, 0, 0); });
  connect(this, &QPlainTextEdit::updateRequest, this, &CodeEditor::Update_Gutter);
  connect(this, &QPlainTextEdit::updateRequest, this, [this] { Notify_Scrolled(); });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { Notify_Scrolled(); });
  setViewportMargins(Gutter_Width(), 0, 0, 0);
  new AsmHighlighter(document());
  connect(document(), &QTextDocument::contentsChange, this, &CodeEditor::Follow_Breakpoints);
}

int CodeEditor::Gutter_Width() const {
  int digits = 2;
  for (int n = std::max(1, blockCount()); n >= 100; n /= 10) ++digits;
  return Margin_Width() + 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

int CodeEditor::Line_Height() const {
  const QTextBlock first = document()->firstBlock();
  const int h = static_cast<int>(blockBoundingRect(first).height() + 0.5);
  return h > 0 ? h : fontMetrics().lineSpacing();
}

void CodeEditor::Update_Gutter(const QRect& rect, int dy) {
  if (dy != 0)
    gutter_->scroll(0, dy);
  else
    gutter_->update(0, rect.y(), gutter_->width(), rect.height());
}

void CodeEditor::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  const QRect cr = contentsRect();
  gutter_->setGeometry(QRect(cr.left(), cr.top(), Gutter_Width(), viewport()->height()));
  Notify_Scrolled();
}

void CodeEditor::paintEvent(QPaintEvent* event) {
  Notify_Scrolled();
  QPlainTextEdit::paintEvent(event);
}

void CodeEditor::scrollContentsBy(int dx, int dy) {
  QPlainTextEdit::scrollContentsBy(dx, dy);
  Notify_Scrolled();
}

namespace {
bool Is_WordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }
bool Is_HelpKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_F1 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}
}  // namespace

QString CodeEditor::Word_At_Cursor() const {
  const QTextCursor cursor = textCursor();
  const QString text = cursor.block().text();
  qsizetype start = cursor.positionInBlock();
  qsizetype end = start;
  while (start > 0 && Is_WordChar(text[start - 1])) --start;
  while (end < text.size() && Is_WordChar(text[end])) ++end;
  return text.mid(start, end - start);
}

QString CodeEditor::First_Word() const {
  const QString text = textCursor().block().text();
  qsizetype start = 0;
  while (start < text.size() && text[start] == QLatin1Char(' ')) ++start;
  qsizetype end = start;
  while (end < text.size() && Is_WordChar(text[end])) ++end;
  return text.mid(start, end - start);
}

bool CodeEditor::event(QEvent* event) {
  // F1 is the window's Help shortcut; in the editor it asks about the word at the cursor.
  if (event->type() == QEvent::ShortcutOverride && help_ && Is_HelpKey(static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return QPlainTextEdit::event(event);
}

void CodeEditor::keyPressEvent(QKeyEvent* event) {
  if (help_ && Is_HelpKey(event)) {
    help_(Word_At_Cursor(), First_Word());
    return;
  }
  // Shift+Enter would insert a line break inside a line; every break here is a new line.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      (event->modifiers() & Qt::ShiftModifier)) {
    textCursor().insertBlock();
    return;
  }
  // Tab indents with spaces: the assembler trims spaces only. Over lines, Tab and Shift+Tab
  // move the whole lines.
  const bool tab =
      event->key() == Qt::Key_Tab && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (event->key() == Qt::Key_Backtab ||
      (tab && textCursor().selectedText().contains(QChar::ParagraphSeparator))) {
    Indent_Lines(event->key() == Qt::Key_Backtab ? -1 : 1);
    return;
  }
  if (tab) {
    textCursor().insertText(QString(kTabSpaces, QLatin1Char(' ')));
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void CodeEditor::Indent_Lines(int direction) {
  QTextCursor cursor = textCursor();
  QTextBlock block = document()->findBlock(cursor.selectionStart());
  const QTextBlock last = document()->findBlock(cursor.selectionEnd());
  cursor.beginEditBlock();  // one undo step
  for (;; block = block.next()) {
    QTextCursor line(block);
    if (direction > 0) {
      line.insertText(QString(kTabSpaces, QLatin1Char(' ')));
    } else {
      int spaces = 0;
      while (spaces < kTabSpaces && spaces < block.length() - 1 && block.text()[spaces] == QLatin1Char(' '))
        ++spaces;
      line.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, spaces);
      line.removeSelectedText();
    }
    if (block == last) break;
  }
  cursor.endEditBlock();
}

void CodeEditor::Paint_Gutter(QPaintEvent* event) {
  QPainter painter(gutter_);
  painter.fillRect(event->rect(), QColor(0xF0, 0xF0, 0xF0));
  QTextBlock block = firstVisibleBlock();
  int number = block.blockNumber();
  int top = static_cast<int>(blockBoundingGeometry(block).translated(contentOffset()).top());
  int bottom = top + static_cast<int>(blockBoundingRect(block).height());
  const int width = gutter_->width() - 4;
  const std::set<int> breakpoints = Breakpoint_Lines();
  while (block.isValid() && top <= event->rect().bottom()) {
    if (block.isVisible() && bottom >= event->rect().top()) {
      const bool marked = std::binary_search(marked_.begin(), marked_.end(), number);
      if (marked) painter.fillRect(0, top, gutter_->width(), bottom - top, QColor(0xE0, 0x40, 0x40));
      painter.setPen(marked ? Qt::white : QColor(0x90, 0x90, 0x90));
      painter.drawText(0, top, width, fontMetrics().height(), Qt::AlignRight, QString::number(number + 1));
      const int margin = Margin_Width();
      const int line_height = bottom - top;
      if (number == exec_line_) painter.fillRect(0, top, margin, line_height, QColor(0xFF, 0xE0, 0x40));
      if (breakpoints.count(number) != 0) {
        const int d = std::min(margin, line_height) - 4;
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xC0, 0x20, 0x20));
        painter.drawEllipse((margin - d) / 2, top + (line_height - d) / 2, d, d);
        painter.setBrush(Qt::NoBrush);
      }
    }
    block = block.next();
    top = bottom;
    bottom = top + static_cast<int>(blockBoundingRect(block).height());
    ++number;
  }
}

void CodeEditor::Mark_Line(int line) { Mark_Lines(line >= 0 ? std::vector<int>{line} : std::vector<int>{}); }

void CodeEditor::Mark_Lines(std::vector<int> lines) {
  const int first = lines.empty() ? -1 : lines.front();
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  marked_ = std::move(lines);
  if (first >= 0) {
    const QTextBlock block = document()->findBlockByNumber(first);
    if (block.isValid()) {
      QTextCursor cursor(block);
      setTextCursor(cursor);
      ensureCursorVisible();
    }
  }
  Refresh_Marks();
}

int CodeEditor::Margin_Width() const { return fontMetrics().height(); }

void CodeEditor::Margin_Clicked(int y) {
  const QTextBlock block = cursorForPosition(QPoint(0, y)).block();
  if (block.isValid() && margin_clicked_) margin_clicked_(block.blockNumber());
}

bool CodeEditor::Toggle_Breakpoint(int line) {
  const QTextBlock block = document()->findBlockByNumber(line);
  if (!block.isValid()) return false;
  auto here = std::find_if(breakpoints_.begin(), breakpoints_.end(),
                           [&](const Breakpoint& b) { return b.cursor.blockNumber() == line; });
  const bool on = here == breakpoints_.end();
  if (on)
    breakpoints_.push_back({QTextCursor(block), block.position(), block.length()});
  else
    breakpoints_.erase(here);
  gutter_->update();
  return on;
}

std::set<int> CodeEditor::Breakpoint_Lines() const {
  std::set<int> lines;
  for (const Breakpoint& b : breakpoints_) lines.insert(b.cursor.blockNumber());
  return lines;
}

void CodeEditor::Follow_Breakpoints(int position, int removed, int added) {
  if (breakpoints_.empty()) return;
  // Equal counts are a change of format (the highlighter), not of text.
  if (removed != added) {
    // A line whose text went with a line break next to it is gone, and its breakpoint with it;
    // the cursor alone would land on the line that followed.
    std::erase_if(breakpoints_, [&](const Breakpoint& b) {
      const int text_end = b.position + b.length - 1;
      return position <= b.position && text_end <= position + removed && removed > b.length - 1;
    });
    // Two breakpoints whose lines were joined are one.
    std::set<int> seen;
    std::erase_if(breakpoints_, [&](const Breakpoint& b) { return !seen.insert(b.cursor.blockNumber()).second; });
  }
  for (Breakpoint& b : breakpoints_) {
    const QTextBlock block = b.cursor.block();
    b.position = block.position();
    b.length = block.length();
  }
}

void CodeEditor::Set_Exec_Line(int line) {
  exec_line_ = line;
  if (line >= 0) {
    const QTextBlock block = document()->findBlockByNumber(line);
    if (block.isValid()) {
      setTextCursor(QTextCursor(block));
      ensureCursorVisible();
    }
  }
  Refresh_Marks();
}

void CodeEditor::Refresh_Marks() {
  QList<QTextEdit::ExtraSelection> marks;
  if (exec_line_ >= 0) {
    const QTextBlock block = document()->findBlockByNumber(exec_line_);
    if (block.isValid()) {
      QTextEdit::ExtraSelection mark;
      mark.format.setBackground(QColor(0xFF, 0xF0, 0x90));
      mark.format.setProperty(QTextFormat::FullWidthSelection, true);
      mark.cursor = QTextCursor(block);
      marks.append(mark);
    }
  }
  for (int line : marked_) {
    const QTextBlock block = document()->findBlockByNumber(line);
    if (block.isValid()) {
      QTextEdit::ExtraSelection mark;
      mark.format.setBackground(QColor(0xFF, 0xD8, 0xD8));
      mark.format.setProperty(QTextFormat::FullWidthSelection, true);
      mark.cursor = QTextCursor(block);
      marks.append(mark);
    }
  }
  setExtraSelections(marks);
  gutter_->update();
}

}  // namespace orvo::ide
