#pragma once
// The boxes of the last compile, one row each with its line (1-based, as the editor numbers
// its lines), the box's title and its text; a click or Enter on a row goes to its line.

#include <QTreeWidget>
#include <functional>
#include <vector>

namespace orvo::ide {

struct ErrorEntry {
  int line = 0;  // 0-based
  QString title;
  QString text;
  bool error = true;
};

class ErrorList : public QTreeWidget {
 public:
  explicit ErrorList(QWidget* parent);
  void Show_Entries(const std::vector<ErrorEntry>& entries);
  // Called with the 0-based line of a row the user picked.
  void Set_Jump_Listener(std::function<void(int line)> listener) { jump_ = std::move(listener); }

 private:
  void Jump(QTreeWidgetItem* item);

  std::function<void(int)> jump_;
};

}  // namespace orvo::ide
