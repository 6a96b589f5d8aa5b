#include "base/diagnostics.h"

#include <utility>

namespace orvo {

void Diagnostics::Add(std::string_view text, MsgStyle style, std::optional<std::string_view> title) {
  std::optional<std::string> kept;
  if (title) kept.emplace(*title);
  items_.push_back(Message{std::string(text), style, std::move(kept)});
}

void Diagnostics::Show_All() {
  // Taken out first: a handler that compiles again must not see these twice.
  std::vector<Message> raised = std::move(items_);
  items_.clear();
  for (const Message& m : raised) Show_Message(m.text, m.style, m.title);
}

}  // namespace orvo
