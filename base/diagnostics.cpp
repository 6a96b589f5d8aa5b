#include "base/diagnostics.h"

#include <utility>

namespace orvo {

void Diagnostics::Add(std::string text, MsgStyle style, std::optional<std::string> title) {
  items_.push_back(Message{std::move(text), style, std::move(title)});
}

void Diagnostics::Show_All() {
  // Taken out first: a handler that compiles again must not see these twice.
  std::vector<Message> raised = std::move(items_);
  items_.clear();
  for (const Message& m : raised) Show_Message(m.text, m.style, m.title);
}

}  // namespace orvo
