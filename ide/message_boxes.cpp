#include "ide/message_boxes.h"

#include <QApplication>

#include "ide/text_convert.h"

namespace orvo::ide {

std::unique_ptr<QMessageBox> Make_MessageBox(const Message& message, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setObjectName("MessageBox");
  box->setTextFormat(Qt::PlainText);
  box->setText(To_BoxString(message.text));
  box->setWindowTitle(message.title ? To_BoxString(*message.title) : To_BoxString(kAppTitle));
  switch (message.style) {
    case MsgStyle::Ok:
      box->setIcon(QMessageBox::NoIcon);
      break;
    case MsgStyle::OkCritical:
    case MsgStyle::YesNoCritical:
      box->setIcon(QMessageBox::Critical);
      break;
    case MsgStyle::OkExclamation:
      box->setIcon(QMessageBox::Warning);
      break;
  }
  if (message.style == MsgStyle::YesNoCritical) {
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
    box->setEscapeButton(QMessageBox::No);
  } else {
    box->setStandardButtons(QMessageBox::Ok);
  }
  return box;
}

MsgAnswer QtMessageHandler::Show(const Message& message) {
  QWidget* parent = owner_ ? owner_.data() : QApplication::activeWindow();
  auto box = Make_MessageBox(message, parent);
  const int pressed = box->exec();
  if (message.style != MsgStyle::YesNoCritical) return MsgAnswer::Ok;
  return pressed == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

}  // namespace orvo::ide
