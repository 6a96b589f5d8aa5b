#include "ide/text_convert.h"

namespace orvo::ide {

QString To_EditorString(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
        out.append(QChar('\n'));
        ++i;
      } else {
        out.append(QChar(kLoneCrMark));
      }
    } else {
      out.append(QChar(c));
    }
  }
  return out;
}

std::string From_EditorString(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()) + 64);
  for (const QChar ch : text) {
    const char16_t u = ch.unicode();
    if (u == '\n' || u == QChar::ParagraphSeparator || u == QChar::LineSeparator) {
      out += "\r\n";
    } else if (u == kLoneCrMark) {
      out.push_back('\r');
    } else if (u <= 0xFF) {
      out.push_back(static_cast<char>(u));
    } else {
      out.push_back('?');
    }
  }
  return out;
}

QString To_BoxString(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      out.append(QChar('\n'));
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      out.append(QChar(c));
    }
  }
  return out;
}

QString To_CharColumn(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (const char b : bytes) {
    const auto c = static_cast<unsigned char>(b);
    const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
    out.append(control ? QChar('.') : QChar(c));
  }
  return out;
}

}  // namespace orvo::ide
