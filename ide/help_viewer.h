#pragma once
// The help file: HTML with one anchor per context ("context-1", "context-3") and one per
// instruction ("insn-MOV"), shown in a browser window that stays open beside the workbench.

#include <QDialog>
#include <QString>
#include <string>

#include "app/help_file.h"

class QTextBrowser;

namespace orvo::ide {

class HelpViewer : public QDialog {
 public:
  explicit HelpViewer(QWidget* parent);
  // Loads the help file and shows the given context. A missing or unreadable file shows a box
  // with the system's description and returns false.
  bool Open(int context);
  // The same at an instruction's entry of the reference (anchor "insn-" and the mnemonic in
  // capitals); Context() is then 3, the reference.
  bool Open_Instruction(const QString& mnemonic);
  // The anchor shown last.
  QString Anchor() const { return anchor_; }
  int Context() const { return context_; }
  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
  bool Open_At(const QString& anchor, int context);

  int context_ = 0;
  QString anchor_;
};

}  // namespace orvo::ide
