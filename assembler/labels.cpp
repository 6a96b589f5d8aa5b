#include "assembler/labels.h"

#include <algorithm>
#include <charconv>

#include "base/text.h"
#include "encoders/encoders.h"
#include "operands/operands.h"

namespace orvo {

void LabelTable::Reset() {
  entries_.clear();
  total_ = 0;
  label_pending_ = false;
  unnamed_indexed_ = false;
  first_offset_.clear();
}

void LabelTable::Add_LabelEntry(std::string_view text, bool is_label) {
  if (is_label) {
    const auto it = first_offset_.try_emplace(Trim_Upper(text), static_cast<std::int32_t>(total_)).first;
    // An empty name makes an unnamed slot of length 0: the next count starts a slot of its own.
    label_pending_ = !it->first.empty();
    if (label_pending_) entries_.push_back(Entry{&it->first, static_cast<std::int32_t>(total_), 0});
    return;
  }
  std::int32_t count = 0;
  const std::string_view t = Trim(text);
  std::from_chars(t.data(), t.data() + t.size(), count);
  Add_Length(count);
}

void LabelTable::Add_FirstLength(std::int32_t length) {
  if (label_pending_ && entries_.back().length == 0) {
    entries_.back().length = length;
  } else {
    // An unnamed slot is found by the empty name; index its first occurrence like any name.
    if (!unnamed_indexed_) {
      first_offset_.try_emplace(std::string(), static_cast<std::int32_t>(total_));
      unnamed_indexed_ = true;
    }
    label_pending_ = false;
  }
  total_ += length;
}

std::vector<LabelTable::Slot> LabelTable::Slots() const {
  std::vector<Slot> slots;
  slots.reserve(entries_.size());
  for (const Entry& e : entries_) slots.push_back(Slot{*e.name, e.offset, e.length});
  return slots;
}

std::size_t LabelTable::NameHash::operator()(std::string_view name) const {
  // FNV-1a over the bytes with bit 5 cleared: a small letter and its capital hash alike, as
  // NameEqual needs (other bytes may collide, which costs a compare, not a wrong answer).
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : name) h = (h ^ (static_cast<unsigned char>(c) & 0xDFu)) * 1099511628211ull;
  return static_cast<std::size_t>(h);
}

bool LabelTable::NameEqual::operator()(std::string_view a, std::string_view b) const {
  return Equals_NoCase(a, b);
}

std::int32_t LabelTable::Find_Label(std::string_view name) const {
  const auto it = first_offset_.find(Trim(name));
  return it == first_offset_.end() ? kNoLabel : it->second;
}

bool Is_ValidLabelDefinition(std::string_view name) { return Is_LabelShaped(name); }

namespace {

constexpr std::string_view kAluTitle = "Label addres";

// Label value as written into absolute operands: the prologue moves everything by 6 bytes.
std::uint32_t Label_Value(std::int32_t label, bool stack) {
  return static_cast<std::uint32_t>(label) + (stack ? static_cast<std::uint32_t>(kPrologue.size()) : 0u);
}

std::string Dword(std::uint32_t v) {
  std::string b;
  Append_LE(b, v, 4);
  return b;
}

// Writes bytes at offset `at` of the line when they fit inside it; returns false otherwise.
bool Patch(CodeImage& image, const FixLine& line, std::int64_t at, std::string_view bytes) {
  if (at < line.offset ||
      at + static_cast<std::int64_t>(bytes.size()) > std::int64_t{line.offset} + line.length)
    return false;
  image.Overwrite(static_cast<std::size_t>(at), bytes);
  return true;
}

std::string Read(const CodeImage& image, std::int64_t at, std::size_t count) {
  return image.Read(static_cast<std::size_t>(at), count);
}

// E9h / E8h / 0Fh 8xh rel32 patch shared by JMP, CALL and the conditional jumps (k: the
// mnemonic in capitals, for the box's title).
std::string Fix_Rel32(CodeImage& image, const LabelTable& labels, std::string_view k,
                      std::string_view operand, const FixLine& line, int opcode_length, Diagnostics& sink) {
  const std::int32_t target = labels.Find_Label(operand);
  if (target == kNoLabel) {
    sink.Add("Label not found: " + std::string(operand), MsgStyle::OkCritical,
             "JUMP error (" + std::string(k) + ")");
    return {};
  }
  const std::int64_t d = std::int64_t{target} - (std::int64_t{line.offset} + opcode_length + 4);
  const auto rel = static_cast<std::uint32_t>(d);
  const std::int64_t at = std::int64_t{line.offset} + opcode_length;
  if (at + 4 > std::int64_t{line.offset} + line.length) return {};
  char distance[4];
  for (int i = 0; i < 4; ++i) distance[i] = static_cast<char>(rel >> (8 * i));
  // The line's new bytes: its opcode as it stands, then the distance.
  std::string bytes = Read(image, line.offset, static_cast<std::size_t>(opcode_length));
  bytes.append(distance, sizeof distance);
  image.Overwrite(static_cast<std::size_t>(at), std::string_view(distance, sizeof distance));
  return bytes;
}

}  // namespace

std::string Fix_Jump(CodeImage& image, const LabelTable& labels, std::string_view key,
                     std::string_view operand, const FixLine& line, Diagnostics& sink) {
  // Keys come in capitals from the line terms; any other spelling is made so once.
  const std::string_view trimmed = Trim(key);
  std::string upper;
  std::string_view k = trimmed;
  if (std::any_of(trimmed.begin(), trimmed.end(), [](char c) { return c != Upper_Char(c); }))
    k = upper = Upper(trimmed);
  const bool jmp = k == "JMP";
  if (jmp && !Is_LabelName(operand)) return {};
  return Fix_Rel32(image, labels, k, operand, line, jmp ? 1 : 2, sink);
}

std::string Fix_CallLabel(CodeImage& image, const LabelTable& labels, std::string_view operand,
                          const FixLine& line, Diagnostics& sink) {
  if (!Is_LabelName(operand) || line.length != 5 ||
      image.Read(static_cast<std::size_t>(line.offset), 1) != "\xE8")
    return {};
  return Fix_Rel32(image, labels, "CALL", operand, line, 1, sink);
}

std::string Fix_LoopJump(CodeImage& image, const LabelTable& labels, std::string_view key,
                         std::string_view operand, const FixLine& line, Diagnostics& sink) {
  const std::int32_t target = labels.Find_Label(operand);
  const std::string title = std::string(key) + " " + std::string(operand);
  if (target == kNoLabel) {
    sink.Add("Label not found: " + std::string(operand), MsgStyle::OkCritical, title);
    return {};
  }
  const int prefix = key == "JCXZ" ? 1 : 0;
  // rel8 counts from the end of the instruction; the LOOP family has no 32-bit form.
  const std::int64_t d = std::int64_t{target} - (std::int64_t{line.offset} + prefix + 2);
  if (d < -128 || d > 127) {
    sink.Add("Jump out of range:\r\t" + std::string(line.text), MsgStyle::OkCritical, title);
    return {};
  }
  const std::string rel(1, static_cast<char>(static_cast<std::uint8_t>(d)));
  if (!Patch(image, line, std::int64_t{line.offset} + prefix + 1, rel)) return {};
  return Read(image, line.offset, static_cast<std::size_t>(prefix + 1)) + rel;
}

namespace {
// PUSH label (68h imm32) and MOV r32,label (B8h+r imm32): the four bytes after the opcode.
std::string Fix_Imm32After(CodeImage& image, std::int32_t label, const FixLine& line, bool stack) {
  if (label == kNoLabel || line.length != 5) return {};
  const std::string value = Dword(Label_Value(label, stack));
  if (!Patch(image, line, std::int64_t{line.offset} + 1, value)) return {};
  return Read(image, line.offset, 1) + value;
}
}  // namespace

std::string Fix_PushLabel(CodeImage& image, std::int32_t label, const FixLine& line, bool stack) {
  if (image.Read(static_cast<std::size_t>(line.offset), 1) != "\x68") return {};
  return Fix_Imm32After(image, label, line, stack);
}

std::string Fix_MovLabel(CodeImage& image, std::int32_t label, const FixLine& line, bool stack) {
  const std::string first = image.Read(static_cast<std::size_t>(line.offset), 1);
  if (first.empty() || (static_cast<std::uint8_t>(first[0]) & 0xF8) != 0xB8) return {};
  return Fix_Imm32After(image, label, line, stack);
}

std::string Fix_Imm32Label(CodeImage& image, const LabelTable& labels, std::string_view name,
                           const FixLine& line, bool stack, Diagnostics& sink) {
  if (!Is_LabelName(name) || line.length != 5) return {};
  const std::string first = image.Read(static_cast<std::size_t>(line.offset), 1);
  const auto opcode = first.empty() ? 0 : static_cast<std::uint8_t>(first[0]);
  if (opcode != 0x68 && (opcode & 0xF8) != 0xB8) return {};
  const std::int32_t target = labels.Find_Label(name);
  if (target == kNoLabel) {
    sink.Add("Label not found: " + Trim_Upper(name));
    return {};
  }
  return Fix_Imm32After(image, target, line, stack);
}

std::string Fix_AluLabel(CodeImage& image, const LabelTable& labels, const FixLine& line, bool stack,
                         Diagnostics& sink) {
  const std::string_view t = Trim(line.text);
  auto syntax_error = [&] {
    sink.Add("Syntax error:\r\t" + std::string(t), MsgStyle::OkCritical, kAluTitle);
    return std::string();
  };
  const std::size_t space = t.find(' ');
  if (space == std::string_view::npos) return syntax_error();
  const std::string_view operands = Trim(t.substr(space + 1));
  const std::size_t comma = operands.find(',');
  if (comma == std::string_view::npos) return syntax_error();
  const std::string_view first = operands.substr(0, comma);
  std::string_view second = operands.substr(comma + 1);
  if (const std::size_t next = second.find(','); next != std::string_view::npos)
    second = second.substr(0, next);
  const std::string name = Trim_Upper(second);
  if (!Is_LabelName(name)) return {};
  const std::int32_t target = labels.Find_Label(name);
  if (target == kNoLabel) {
    sink.Add("Label not found: " + name);
    return {};
  }
  const std::string mnemonic = Trim_Upper(t.substr(0, space));
  const std::string enc = Encode_TwoOperand(mnemonic, first, "0", sink);
  if (enc.empty()) return syntax_error();
  if (enc.size() < 5) {
    sink.Add("Invalid use of label:\r\t" + std::string(t), MsgStyle::OkCritical, kAluTitle);
    return {};
  }
  const OpType dt = Get_OperandType(first, sink);
  if (dt == OpType::M8 || dt == OpType::M16 || dt == OpType::R8 || dt == OpType::R16 || dt == OpType::Imm8 ||
      dt == OpType::Imm16) {
    sink.Add("Invalid usage of label:\r\t" + std::string(t) + "\r\rDestination too short:\r\t" +
                 std::string(Type_Code(dt)),
             MsgStyle::OkCritical, kAluTitle);
    return {};
  }
  const std::string value = Dword(Label_Value(target, stack));
  const std::int64_t at = std::int64_t{line.offset} + static_cast<std::int64_t>(enc.size()) - 4;
  if (!Patch(image, line, at, value)) return {};
  return Read(image, line.offset, enc.size() - 4) + value;
}

}  // namespace orvo
