#pragma once
// The one way anything reports to the user: a modal box with a text, a style and an optional
// title. Show_Message forwards to the handler installed for the current thread: the window
// shows Qt boxes, the command line prints, tests record and script answers.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

enum class MsgStyle { Ok, OkCritical, OkExclamation, YesNoCritical };
enum class MsgAnswer { Ok, Yes, No };

inline constexpr std::string_view kAppTitle = "ORVO IDE";

struct Message {
  std::string text;
  MsgStyle style = MsgStyle::Ok;
  std::optional<std::string> title;  // nullopt: no title of its own (the application's title)

  bool operator==(const Message&) const = default;
};

class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  virtual MsgAnswer Show(const Message& message) = 0;
};

// Shows a box through the current thread's handler. Without a handler the box is dropped
// (answer No for Yes/No boxes, Ok otherwise).
MsgAnswer Show_Message(std::string_view text, MsgStyle style = MsgStyle::Ok,
                       std::optional<std::string_view> title = std::nullopt);

// The handler installed for the current thread, or nullptr.
MessageHandler* Current_MessageHandler();

// Installs a handler for the current thread for the lifetime of this object; the previous one
// comes back when it ends.
class ScopedMessageHandler {
 public:
  explicit ScopedMessageHandler(MessageHandler& handler);
  ~ScopedMessageHandler();
  ScopedMessageHandler(const ScopedMessageHandler&) = delete;
  ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

 private:
  MessageHandler* previous_;
};

// Style pieces as the command line's JSON shows them.
std::string_view Buttons_Name(MsgStyle style);  // "ok" | "yesno"
std::string_view Icon_Name(MsgStyle style);     // "none" | "critical" | "exclamation"

// One JSON object per box: {"title": ..., "text": ..., "buttons": ..., "icon": ...}.
std::string Message_Json(const Message& message);
// s as a JSON string (quotes included), bytes read as Latin-1.
void Append_JsonString(std::string& out, std::string_view s);
// A readable rendering for people: title line, then the text with CR shown as line breaks.
std::string Message_Text(const Message& message);

}  // namespace orvo
