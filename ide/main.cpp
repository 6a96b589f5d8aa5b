// orvo-ide: the workbench window.

#include <QApplication>

#include "base/message_box.h"
#include "ide/main_window.h"
#include "ide/message_boxes.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("ORVO IDE");
  QApplication::setOrganizationName("ORVO");
  orvo::ide::QtMessageHandler boxes;
  orvo::ScopedMessageHandler scope(boxes);
  orvo::ide::MainWindow window;
  boxes.Set_Owner(&window);
  window.show();
  return QApplication::exec();
}
