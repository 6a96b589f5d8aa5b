#include "assembler/constants.h"

#include "ide/message_box.h"
#include "operands/operands.h"
#include "operands/text.h"

namespace orvo {

void ConstTable::Reset() {
  names_.assign(1, std::string());
  values_.assign(1, std::string());
}

void ConstTable::Define_Const(std::string_view text) {
  const std::string_view s = Trim(text);
  std::size_t p = Find_NoCase(s, " EQU ");
  std::size_t separator = 5;
  if (p == std::string_view::npos) {
    p = s.find('=');
    separator = 1;
  }
  if (p == std::string_view::npos || p == 0) {
    Show_Message("Error in CONST\r\r\tUSAGE:\rCONST ConstName=Expression\rCONST ConstName EQU Expression",
                 MsgStyle::Ok, "CONST " + std::string(s));
    return;
  }
  std::string name = Trim_Upper(s.substr(0, p));
  if (Is_RegisterName(name)) {
    Show_Message("\tError in Const:\rRegister is not a valid name of constant.", MsgStyle::Ok, s);
    return;
  }
  names_.push_back(std::move(name));
  values_.emplace_back(s.substr(p + separator));
}

bool ConstTable::Replace_Consts(std::string& line) const {
  if (Size() == 0 || line.empty()) return false;
  line.assign(Trim(line));
  for (std::size_t c = 1; c < names_.size(); ++c) {
    const std::string& name = names_[c];
    if (name.empty()) continue;
    std::size_t from = 0;  // 0-based position where the search resumes
    for (;;) {
      const std::size_t pos = Find_NoCase(line, name, from);
      if (pos == std::string::npos) break;
      const std::size_t end = pos + name.size();
      const bool whole = (pos == 0 || !Is_AlphaNumeric(line[pos - 1])) &&
                         (end >= line.size() || !Is_AlphaNumeric(line[end]));
      if (!whole) break;
      const std::size_t first = Find_NoCase(line, name, 0);
      line.replace(first, name.size(), values_[c]);
      from = pos + 1;
    }
  }
  return true;
}

}  // namespace orvo
