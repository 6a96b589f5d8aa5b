#pragma once
// Which encoder assembles a line in pass 2, and which fix-up rewrites it in pass 3.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "assembler/code_image.h"
#include "assembler/constants.h"
#include "assembler/labels.h"
#include "base/diagnostics.h"

namespace orvo {

// What pass 3 may write into a line: a rel32 (JMP, Jcc), a rel8 (LOOP family, JCXZ), CALL's
// rel32, the imm32 of PUSH, MOV's label source, an ALU or TEST label source, or the same behind
// LOCK.
enum class FixUp : std::uint8_t { None, Jump, Loop, Call, Push, Mov, Alu, Lock };

// A line's mnemonic in capitals, held inside the terms: every mnemonic is short, and only a
// longer word (the name of a named data line) takes a string of its own.
class MnemonicKey {
 public:
  MnemonicKey() = default;
  // The trimmed mnemonic, written in capitals as it is copied.
  explicit MnemonicKey(std::string_view mnemonic) { Assign(mnemonic); }
  void Assign(std::string_view mnemonic);
  // Takes the text up to its first blank as the mnemonic and returns where that blank stands
  // (the size of the text when there is none).
  std::size_t Assign_FirstWord(std::string_view line);
  // Takes the first size (at most 15) of sixteen bytes already in capitals.
  void Assign_Capitals(const char (&capitals)[16], std::size_t size) {
    std::memcpy(short_, capitals, sizeof capitals);
    size_ = static_cast<std::uint32_t>(size);
  }
  std::string_view view() const { return size_ <= kShort ? std::string_view(short_, size_) : std::string_view(long_); }
  operator std::string_view() const { return view(); }
  std::size_t size() const { return size_; }
  // Pack_Mnemonic of the key, for keys of up to kMaxPackedMnemonic characters: read from the
  // capitals in one load instead of a loop.
  std::uint64_t Packed() const {
    if (size_ == 0) return 0;
    std::uint64_t chars = 0;
    std::memcpy(&chars, short_, sizeof chars);
    const unsigned bits = 8 * size_;
    // The first character is the highest byte, the length above the last.
    return (std::uint64_t{size_} << bits) | (__builtin_bswap64(chars) >> (64 - bits));
  }
  bool empty() const { return size_ == 0; }
  bool starts_with(std::string_view prefix) const { return view().starts_with(prefix); }
  friend bool operator==(const MnemonicKey& key, std::string_view text) { return key.view() == text; }

 private:
  static constexpr std::size_t kShort = 15;
  char short_[kShort + 1] = {};  // one byte more, so that sixteen are copied in one go
  std::uint32_t size_ = 0;
  std::string long_;
};

struct LineTerms {
  std::string_view mnemonic;  // as written
  MnemonicKey key;            // mnemonic trimmed, in capitals
  std::string_view operand;   // trimmed text after the first space (the mnemonic when none)
  std::string_view first;     // operand text before its first comma (not trimmed)
  std::string_view second;    // after it
};

// Every mnemonic a line may start with, in capitals: the dispatch table's keys, the conditional
// jumps and SETcc. Sorted, each once.
std::vector<std::string_view> Accepted_Mnemonics();

// Forms the line terms of a trimmed instruction line.
LineTerms Get_LineTerms(std::string_view line);

// One look at a source line that holds no comment, label colon, string or tab: its trimmed text
// and its terms, as Trim and Get_LineTerms give them. False, with nothing set, for any other
// line (and for blank, long or oddly spaced ones), which takes those steps one by one.
bool Split_PlainLine(std::string_view raw, std::string_view& line, LineTerms& terms);
// The same, where `readable` bytes from raw's start may be read (raw's own and those after it in
// the same text): with 64 or more the line is read where it stands, without a copy.
bool Split_PlainLine(std::string_view raw, std::size_t readable, std::string_view& line, LineTerms& terms);
// The same, and may_hold_name false when the line holds none of pairs (true when pairs is empty).
bool Split_PlainLine(std::string_view raw, std::size_t readable, std::string_view& line, LineTerms& terms,
                     const NamePairs& pairs, bool& may_hold_name);

// The mnemonics with a row in the pass-2 dispatch table, in capitals. Conditional jumps and
// SETcc are assembled by rule and have no row.
std::vector<std::string_view> Dispatch_Mnemonics();

// True for LOCK alone on its line: its F0h prefixes whatever the next code line assembles.
bool Is_LockPrefixLine(const LineTerms& terms);

// True when LOCK may prefix the instruction of `locked`: a read-modify-write form with a memory
// destination (any other raises #UD). Otherwise records the LOCK box naming `shown`.
bool Admit_Locked(const LineTerms& locked, std::string_view shown, Diagnostics& sink);

// The LOCK box, naming what it cannot prefix.
void Refuse_Lock(std::string_view shown, Diagnostics& sink);

// Pass-2 dispatch followed by the conditional-jump rule. May add a label (named data line);
// invalid_label is set, and nothing assembled, when that label's name is not allowed. The boxes
// of a refused line go into sink, in the order raised; nothing is shown.
std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label, Diagnostics& sink);
// The same, with the line's Line_FixUp read from the row it found.
std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label, FixUp& fixup,
                          Diagnostics& sink);
// One line's dispatch in pass 2, kept for all its lines: what the dispatch needs besides the
// terms, and what it gives back.
struct LineDispatch {
  LabelTable& labels;
  Diagnostics& sink;
  std::string& code;  // the bytes of the lines before; a line's own are appended to them
  FixUp fixup = FixUp::None;
  bool invalid_label = false;
};
// The same as Dispatch_Line above, appending the line's bytes to line.code (none for a refused
// line).
void Dispatch_Line(const LineTerms& terms, LineDispatch& line);

// Dispatch_Line without the plain encoders: every line through its row's full encoder and the
// operand checks before it. Both give the same bytes, boxes and fix-up for every line.
std::string Dispatch_Line_Full(const LineTerms& terms, LabelTable& labels, bool& invalid_label, FixUp& fixup,
                               Diagnostics& sink);

// The fix-up a line's dispatch row names (its column), when the line's operands may name a label;
// None when Dispatch_FixUp of the line can neither change it nor show a box, whatever labels
// pass 2 defines: pass 3 then skips it.
FixUp Line_FixUp(const LineTerms& terms);

// Pass-3 fix-up dispatch for a line with a space. Returns the line's new bytes or ""; its boxes
// go into sink.
std::string Dispatch_FixUp(const LineTerms& terms, CodeImage& image, const LabelTable& labels,
                           const FixLine& line, bool stack, Diagnostics& sink);

}  // namespace orvo
