#include "ide/find_replace.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace orvo::ide {

FindReplace::FindReplace(QPlainTextEdit* editor, QWidget* parent)
    : QDialog(parent),
      editor_(editor),
      find_text_(new QLineEdit(this)),
      replace_text_(new QLineEdit(this)),
      match_case_(new QCheckBox("Match case", this)) {
  setObjectName("FindReplace");
  setWindowTitle("Find and Replace");
  find_text_->setObjectName("FindText");
  replace_text_->setObjectName("ReplaceText");
  match_case_->setObjectName("MatchCase");
  auto* next = new QPushButton("Find Next", this);
  next->setObjectName("FindNext");
  next->setDefault(true);
  auto* one = new QPushButton("Replace", this);
  one->setObjectName("ReplaceOne");
  auto* all = new QPushButton("Replace All", this);
  all->setObjectName("ReplaceAll");
  auto* form = new QFormLayout;
  form->addRow("Find:", find_text_);
  form->addRow("Replace with:", replace_text_);
  form->addRow(match_case_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(next);
  buttons->addWidget(one);
  buttons->addWidget(all);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  connect(next, &QPushButton::clicked, this, [this] { Find_Next(); });
  connect(one, &QPushButton::clicked, this, [this] { Replace_One(); });
  connect(all, &QPushButton::clicked, this, [this] { Replace_All(); });
}

void FindReplace::Start() {
  const QString selected = editor_->textCursor().selectedText();
  if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)) find_text_->setText(selected);
  show();
  raise();
  activateWindow();
  find_text_->setFocus();
  find_text_->selectAll();
}

QTextDocument::FindFlags FindReplace::Flags() const {
  return match_case_->isChecked() ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
}

bool FindReplace::Find_Next() {
  const QString text = find_text_->text();
  if (text.isEmpty()) return false;
  if (editor_->find(text, Flags())) return true;
  // Once more from the top.
  const QTextCursor kept = editor_->textCursor();
  editor_->moveCursor(QTextCursor::Start);
  if (editor_->find(text, Flags())) return true;
  editor_->setTextCursor(kept);
  return false;
}

bool FindReplace::Replace_One() {
  const QString text = find_text_->text();
  if (text.isEmpty()) return false;
  QTextCursor cursor = editor_->textCursor();
  const auto cs = match_case_->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
  if (cursor.hasSelection() && cursor.selectedText().compare(text, cs) == 0)
    cursor.insertText(replace_text_->text());
  return Find_Next();
}

int FindReplace::Replace_All() {
  const QString text = find_text_->text();
  if (text.isEmpty()) return 0;
  QTextCursor cursor(editor_->document());
  cursor.beginEditBlock();  // one undo step
  int count = 0;
  for (QTextCursor hit = editor_->document()->find(text, 0, Flags()); !hit.isNull();
       hit = editor_->document()->find(text, hit, Flags())) {
    hit.insertText(replace_text_->text());
    ++count;
  }
  cursor.endEditBlock();
  return count;
}

}  // namespace orvo::ide
