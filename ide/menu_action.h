#pragma once
// A menu entry with its object name (tests find it by name), its keys (the menu shows them) and
// what it does. The keys work anywhere in the window, not only while the menu is open.

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QString>

namespace orvo::ide {

template <typename Receiver, typename Slot>
QAction* Add_MenuAction(QMenu* menu, QObject* parent, Receiver* receiver, const char* name, const QString& text,
                        QList<QKeySequence> keys, Slot slot) {
  auto* action = new QAction(text, parent);
  action->setObjectName(name);
  action->setShortcuts(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(action, &QAction::triggered, receiver, slot);
  menu->addAction(action);
  return action;
}

}  // namespace orvo::ide
