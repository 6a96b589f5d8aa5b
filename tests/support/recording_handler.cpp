#include "support/recording_handler.h"

namespace orvo {

MsgAnswer RecordingMessageHandler::Show(const Message& message) {
  messages_.push_back(message);
  if (message.style != MsgStyle::YesNoCritical) return MsgAnswer::Ok;
  if (answers_.empty()) return default_answer;
  const MsgAnswer a = answers_.front();
  answers_.pop_front();
  return a;
}

}  // namespace orvo
