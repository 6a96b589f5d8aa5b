#include "assembler/labels.h"

#include <charconv>

#include "encoders/encoders.h"
#include "ide/message_box.h"
#include "operands/operands.h"
#include "operands/text.h"

namespace orvo {

void LabelTable::Reset() {
  slots_.assign(1, Slot{});
  total_ = 0;
  first_offset_.clear();
}

void LabelTable::Add_LabelEntry(std::string_view text, bool is_label) {
  if (is_label) {
    std::string name = Trim_Upper(text);
    first_offset_.try_emplace(name, static_cast<std::int32_t>(total_));
    slots_.push_back(Slot{std::move(name), 0});
    return;
  }
  std::int32_t count = 0;
  const std::string_view t = Trim(text);
  std::from_chars(t.data(), t.data() + t.size(), count);
  Add_Length(count);
}

void LabelTable::Add_Length(std::int32_t length) {
  Slot& last = slots_.back();
  if (slots_.size() > 1 && !last.name.empty() && last.length == 0) {
    last.length = length;
  } else {
    // An unnamed slot is found by the empty name; index its first occurrence like any name.
    first_offset_.try_emplace(std::string(), static_cast<std::int32_t>(total_));
    slots_.push_back(Slot{std::string(), length});
  }
  total_ += length;
}

std::int32_t LabelTable::Find_Label(std::string_view name) const {
  const std::string key = Trim_Upper(name);
  const auto it = first_offset_.find(key);
  return it == first_offset_.end() ? -1 : it->second;
}

std::string Fix_Jump(CodeImage&, const LabelTable&, std::string_view, std::string_view, std::int32_t) { return {}; }
std::string Fix_LoopJump(CodeImage&, const LabelTable&, std::string_view, std::string_view, std::int32_t) { return {}; }
std::string Fix_PushLabel(CodeImage&, std::int32_t, std::int32_t, bool) { return {}; }
std::string Fix_MovLabel(CodeImage&, std::int32_t, std::int32_t, bool) { return {}; }
std::string Fix_AluLabel(CodeImage&, const LabelTable&, std::string_view, std::int32_t, bool) { return {}; }
std::string Fix_CallLabel(CodeImage&, const LabelTable&, std::string_view, std::int32_t) { return {}; }

}  // namespace orvo
