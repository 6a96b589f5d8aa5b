#pragma once
// The help file: HTML with one anchor per context ("context-1", "context-3"), shown in a
// browser window that stays open beside the workbench.

#include <QDialog>
#include <string>

#include "ide/help_file.h"

class QTextBrowser;

namespace orvo::ide {

class HelpViewer : public QDialog {
 public:
  explicit HelpViewer(QWidget* parent);
  // Loads the help file and shows the given context. A missing or unreadable file shows a box
  // with the system's description and returns false.
  bool Open(int context);
  int Context() const { return context_; }
  QTextBrowser* Browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
  int context_ = 0;
};

}  // namespace orvo::ide
