// Whether an operand text holds one term, so that no part of it is dropped or merged.

#include "encoders/encoders.h"
#include "base/text.h"

namespace orvo {
namespace {

bool Is_DigitRun(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (!Is_Digit(c)) return false;
  return true;
}

bool Is_SuffixChar(char c) { return c == '?' || c == '%' || c == '&'; }

// A text that starts with "[": true when the bracket it opens closes at its last character, or
// never closes (nested or unclosed brackets are the encoder's to refuse).
bool Closes_AtEnd(std::string_view t) {
  int depth = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '[') ++depth;
    if (t[i] == ']' && --depth == 0) return i + 1 == t.size();
  }
  return true;
}

}  // namespace

// One operand outside brackets holds one term. A blank may stand only after a size prefix, after a
// leading minus, before a closing type suffix, and between digit groups of three ("1 000");
// any other blank would join two terms into one or drop the second. After "]" nothing may follow.
bool Is_SingleTerm(std::string_view text) {
  std::string_view t = Trim(text);
  // One pass decides most operands: without a blank or a TAB only a memory operand can carry
  // stray text, after its "]". A TAB separates as a blank does, and no term has one.
  bool blank = false;
  for (const char c : t) {
    // One compare passes every printable character; only the rest are told apart.
    if (static_cast<unsigned char>(c) > ' ') continue;
    if (c == '\t') return false;
    blank = blank || c == ' ';
  }
  if (t.empty()) return true;
  if (t[0] == '[') return Closes_AtEnd(t);
  if (!blank) return true;
  // The size words start with different letters: the first one picks the only candidate.
  std::string_view prefix;
  switch (Upper_Char(t[0])) {
    case 'B':
      prefix = "BYTE PTR";
      break;
    case 'W':
      prefix = "WORD PTR";
      break;
    case 'D':
      prefix = "DWORD PTR";
      break;
    default:
      break;
  }
  if (!prefix.empty() && Starts_With_NoCase(t, prefix)) t = Trim(t.substr(prefix.size()));
  // What stands inside the brackets is the encoder's to refuse; nothing may follow them.
  if (!t.empty() && t[0] == '[') return Closes_AtEnd(t);
  if (!t.empty() && t[0] == '-') t = Trim(t.substr(1));
  if (t.size() >= 2 && Is_SuffixChar(t.back())) t = Trim(t.substr(0, t.size() - 1));
  std::size_t at = t.find(' ');
  if (at == std::string_view::npos) return true;
  // Digit grouping: a run of one to three digits, then groups of exactly three after one blank.
  if (at > 3 || !Is_DigitRun(t.substr(0, at))) return false;
  t.remove_prefix(at + 1);
  while (true) {
    at = t.find(' ');
    const std::string_view group = t.substr(0, at);
    if (group.size() != 3 || !Is_DigitRun(group)) return false;
    if (at == std::string_view::npos) return true;
    t.remove_prefix(at + 1);
  }
}

}  // namespace orvo
