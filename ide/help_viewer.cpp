#include "ide/help_viewer.h"

#include <QTextBrowser>
#include <QVBoxLayout>

#include "base/file_access.h"
#include "base/message_box.h"

namespace orvo::ide {

HelpViewer::HelpViewer(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
  setObjectName("HelpViewer");
  setWindowTitle("ORVO Help");
  browser_->setObjectName("HelpBrowser");
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(720, 640);
}

bool HelpViewer::Open(int context) { return Open_At(QStringLiteral("context-%1").arg(context), context); }

bool HelpViewer::Open_Instruction(const QString& mnemonic) {
  return Open_At(QStringLiteral("insn-") + mnemonic.toUpper(), 3);
}

bool HelpViewer::Open_At(const QString& anchor, int context) {
  const std::string path = Help_File_Path();
  std::string error;
  const auto html = Read_Whole_File(path, error);
  if (!html) {
    Show_Message("Cannot open the help file " + path + "\r\r" + error, MsgStyle::OkExclamation);
    return false;
  }
  context_ = context;
  anchor_ = anchor;
  browser_->setHtml(QString::fromUtf8(html->data(), static_cast<qsizetype>(html->size())));
  browser_->scrollToAnchor(anchor);
  show();
  raise();
  activateWindow();
  // The layout of a hidden browser is not final until shown; scroll again once it is.
  browser_->scrollToAnchor(anchor);
  return true;
}

}  // namespace orvo::ide
