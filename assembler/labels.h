#pragma once
// LabelTable: the labels that pass 2 defines (name, offset, length), and the fix-ups that pass 3
// uses to put label offsets into the zero placeholders left in the code image.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "assembler/code_image.h"
#include "base/diagnostics.h"

namespace orvo {

// What Find_Label returns for a name no slot has.
inline constexpr std::int32_t kNoLabel = -1;

class LabelTable {
 public:
  LabelTable() { Reset(); }
  void Reset();
  // is_label: a new named slot (name trimmed, in capitals). Otherwise text is a decimal byte
  // count given to a pending label slot or to a new unnamed slot.
  void Add_LabelEntry(std::string_view text, bool is_label);
  // Byte-count form of Add_LabelEntry(text, false).
  void Add_Length(std::int32_t length) {
    // Most code lines follow code: they only add to the sum.
    if (!label_pending_ && unnamed_indexed_) {
      total_ += length;
      return;
    }
    Add_FirstLength(length);
  }
  // Offset of the first slot named name (trimmed, any case), or kNoLabel. Constant time: each
  // name's first definition is indexed when it is added.
  std::int32_t Find_Label(std::string_view name) const;

  // Sum of all lengths so far: the offset the next slot starts at.
  std::int64_t Total() const { return total_; }

  struct Slot {
    std::string name;
    std::int32_t offset = 0;
    std::int32_t length = 0;  // the count given to the label's own slot; 0 while pending
  };
  // The named slots in order. Unnamed ones (the code lines) are only summed: the fix-ups need
  // nothing of them but the offsets they leave, so a million code lines cost no memory here.
  std::vector<Slot> Slots() const;

 private:
  struct Entry {
    const std::string* name = nullptr;  // the key in first_offset_: each name is stored once
    std::int32_t offset = 0;
    std::int32_t length = 0;
  };
  void Add_FirstLength(std::int32_t length);  // after a label, or the first unnamed slot
  std::vector<Entry> entries_;      // named slots only
  std::int64_t total_ = 0;          // sum of all slot lengths so far
  bool label_pending_ = false;      // the last slot is entries_.back(): a count still goes to it
  bool unnamed_indexed_ = false;    // the empty name is in first_offset_
  // Names are stored in capitals and looked up in any case without a copy: the hash and the
  // compare read letters as capitals.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
  };
  struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::unordered_map<std::string, std::int32_t, NameHash, NameEqual> first_offset_;
};

// True when name (trimmed, any case) may name a label: a letter or "_", then letters, digits
// and "_", and no register name of this or any other mode.
bool Is_ValidLabelDefinition(std::string_view name);

// The line a fix-up works on: its offset in the image, its pass-2 length and its text. A
// fix-up writes only inside [offset, offset + length): a placeholder that is not there is
// never patched.
struct FixLine {
  std::int32_t offset = 0;
  std::int32_t length = 0;
  std::string_view text;  // the trimmed line
};

// Fix-ups: each overwrites the placeholder of one line in image and returns the line's new
// bytes, or "" when it changed nothing (after recording its own box into sink, where it has one).
std::string Fix_Jump(CodeImage& image, const LabelTable& labels, std::string_view key,
                     std::string_view operand, const FixLine& line, Diagnostics& sink);
std::string Fix_LoopJump(CodeImage& image, const LabelTable& labels, std::string_view key,
                         std::string_view operand, const FixLine& line, Diagnostics& sink);
std::string Fix_PushLabel(CodeImage& image, std::int32_t label, const FixLine& line, bool stack);
std::string Fix_MovLabel(CodeImage& image, std::int32_t label, const FixLine& line, bool stack);
// PUSH name / MOV r32,name: the label's value into the imm32 placeholder, or "Label not found:"
// when name is a label's shape but no label has it. Registers and numbers are left alone.
std::string Fix_Imm32Label(CodeImage& image, const LabelTable& labels, std::string_view name,
                           const FixLine& line, bool stack, Diagnostics& sink);
// ALU group, and MOV to memory / TEST with a label source: the last four bytes get the value.
std::string Fix_AluLabel(CodeImage& image, const LabelTable& labels, const FixLine& line, bool stack,
                         Diagnostics& sink);
// CALL label: E8h rel32 = L - (line + 5), like JMP.
std::string Fix_CallLabel(CodeImage& image, const LabelTable& labels, std::string_view operand,
                          const FixLine& line, Diagnostics& sink);

}  // namespace orvo
