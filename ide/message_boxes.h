#pragma once
// Modal message boxes in Qt for every Show_Message of the user-interface thread.

#include <QMessageBox>
#include <QPointer>
#include <memory>

#include "base/message_box.h"

namespace orvo::ide {

// The box for a message: its text (CR as line breaks, plain text), title (the application's
// when it has none), buttons and icon. Not shown yet.
std::unique_ptr<QMessageBox> Make_MessageBox(const Message& message, QWidget* parent);

// Boxes belong to the owner window (centred on it, above it, modal to it); without an owner
// they take the active window.
class QtMessageHandler : public MessageHandler {
 public:
  explicit QtMessageHandler(QWidget* owner = nullptr) : owner_(owner) {}
  void Set_Owner(QWidget* owner) { owner_ = owner; }
  MsgAnswer Show(const Message& message) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace orvo::ide
