#pragma once
// Modal message boxes in Qt for every Show_Message of the user-interface thread.

#include <QMessageBox>
#include <memory>

#include "ide/message_box.h"

namespace orvo::ide {

// The box for a message: its text (CR as line breaks, plain text), title (the application's
// when it has none), buttons and icon. Not shown yet.
std::unique_ptr<QMessageBox> Make_MessageBox(const Message& message, QWidget* parent);

class QtMessageHandler : public MessageHandler {
 public:
  MsgAnswer Show(const Message& message) override;
};

}  // namespace orvo::ide
