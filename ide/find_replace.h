#pragma once
// Find and replace in the editor: a small window that stays open beside it.

#include <QDialog>
#include <QTextDocument>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace orvo::ide {

class FindReplace : public QDialog {
 public:
  FindReplace(QPlainTextEdit* editor, QWidget* parent);
  // Shows the window with the editor's selection (within one line) as the text to find.
  void Start();
  // From the cursor on, wrapping at the end once; false when the text is nowhere.
  bool Find_Next();
  bool Replace_One();
  int Replace_All();

 private:
  QTextDocument::FindFlags Flags() const;

  QPlainTextEdit* editor_;
  QLineEdit* find_text_;
  QLineEdit* replace_text_;
  QCheckBox* match_case_;
};

}  // namespace orvo::ide
