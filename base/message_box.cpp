#include "base/message_box.h"

#include <cstdio>

namespace orvo {
namespace {
thread_local MessageHandler* current_handler = nullptr;
}  // namespace

void Append_JsonString(std::string& out, std::string_view s) {
  out.push_back('"');
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          // Bytes are Latin-1 characters: U+0000..U+00FF.
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04X", c);
          out += buf;
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
}

MsgAnswer Show_Message(std::string_view text, MsgStyle style, std::optional<std::string_view> title) {
  Message m{std::string(text), style, title ? std::optional<std::string>(std::string(*title)) : std::nullopt};
  if (current_handler == nullptr) return style == MsgStyle::YesNoCritical ? MsgAnswer::No : MsgAnswer::Ok;
  return current_handler->Show(m);
}

MessageHandler* Current_MessageHandler() { return current_handler; }

ScopedMessageHandler::ScopedMessageHandler(MessageHandler& handler) : previous_(current_handler) {
  current_handler = &handler;
}
ScopedMessageHandler::~ScopedMessageHandler() { current_handler = previous_; }

std::string_view Buttons_Name(MsgStyle style) { return style == MsgStyle::YesNoCritical ? "yesno" : "ok"; }

std::string_view Icon_Name(MsgStyle style) {
  switch (style) {
    case MsgStyle::OkCritical:
    case MsgStyle::YesNoCritical: return "critical";
    case MsgStyle::OkExclamation: return "exclamation";
    case MsgStyle::Ok: break;
  }
  return "none";
}

std::string Message_Json(const Message& m) {
  std::string out = "{\"title\": ";
  if (m.title) Append_JsonString(out, *m.title);
  else out += "null";
  out += ", \"text\": ";
  Append_JsonString(out, m.text);
  out += ", \"buttons\": \"";
  out += Buttons_Name(m.style);
  out += "\", \"icon\": \"";
  out += Icon_Name(m.style);
  out += "\"}";
  return out;
}

std::string Message_Text(const Message& m) {
  std::string out = "[";
  out += m.title ? *m.title : std::string(kAppTitle);
  out += "]";
  if (m.style != MsgStyle::Ok) {
    out += " (";
    out += Icon_Name(m.style);
    if (m.style == MsgStyle::YesNoCritical) out += ", Yes/No";
    out += ")";
  }
  out += "\n";
  for (char c : m.text) out.push_back(c == '\r' ? '\n' : c);
  out += "\n";
  return out;
}

}  // namespace orvo
