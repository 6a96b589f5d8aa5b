#pragma once
// The test double of the message handler: records every box, answers Yes/No boxes from a script.

#include <deque>
#include <vector>

#include "base/message_box.h"

namespace orvo {

// Records every box; Yes/No boxes take scripted answers in order, then the default answer.
class RecordingMessageHandler : public MessageHandler {
 public:
  MsgAnswer Show(const Message& message) override;
  void Script(MsgAnswer answer) { answers_.push_back(answer); }
  const std::vector<Message>& Messages() const { return messages_; }
  void Clear() { messages_.clear(); }
  MsgAnswer default_answer = MsgAnswer::No;

 private:
  std::vector<Message> messages_;
  std::deque<MsgAnswer> answers_;
};

}  // namespace orvo
