#pragma once
// Boxes raised below the compile driver, kept as values in the order they were raised. Code
// that finds a fault records it here and goes on; the caller decides when the boxes are shown
// (Forward, right after the call that raised them, keeps them in today's order relative to any
// other box).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/message_box.h"

namespace orvo {

class Diagnostics {
 public:
  // The same arguments as Show_Message: the box is kept instead of shown.
  void Add(std::string_view text, MsgStyle style = MsgStyle::Ok,
           std::optional<std::string_view> title = std::nullopt);
  bool empty() const { return items_.empty(); }
  const std::vector<Message>& items() const { return items_; }
  // Shows the collected boxes through Show_Message in the order raised, then forgets them.
  void Forward() {
    if (!items_.empty()) Show_All();
  }

 private:
  void Show_All();
  std::vector<Message> items_;
};

}  // namespace orvo
