#include "assembler/compile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "assembler/dispatch.h"
#include "base/hex.h"
#include "base/line_feeds.h"
#include "base/message_box.h"
#include "base/text.h"
#include "operands/operands.h"

namespace orvo {

namespace {
constexpr int kSyntaxErrorHelpContext = 3;

// The LOCK check of a pending LOCK line, its box shown at once.
bool Admit_Locked(const LineTerms& locked, std::string_view shown) {
  Diagnostics raised;
  const bool admitted = Admit_Locked(locked, shown, raised);
  raised.Forward();
  return admitted;
}

void Show_Invalid_Label(std::string_view line, std::size_t index) {
  Show_Message("Invalid LABEL:\r\t" + std::string(line), MsgStyle::Ok, "LINE: " + std::to_string(index));
}

// Most lines hold an instruction: a trimmed line whose first character starts no comment, TABs,
// REM or CONST has code and defines nothing.
constexpr bool May_BeCommentOrConst(char first) {
  const char upper = Upper_Char(first);
  return first == '\'' || first == ';' || first == '\t' || upper == 'R' || upper == 'C';
}

// The same look at a line's first byte before trimming: a space, or a line end (the line is
// empty), also needs the line read.
constexpr bool Needs_FirstPass(char lead) {
  return lead == ' ' || lead == '\r' || lead == '\n' || May_BeCommentOrConst(lead);
}
// The same for every byte, looked up: pass 1 asks it of every line.
constexpr auto kNeedsFirstPass = [] {
  std::array<bool, 256> needs{};
  for (int c = 0; c < 256; ++c) needs[static_cast<std::size_t>(c)] = Needs_FirstPass(static_cast<char>(c));
  return needs;
}();

bool Is_CommentLine(std::string_view line) {
  if (line.empty()) return false;
  return line[0] == '\'' || line[0] == ';' || Starts_With_NoCase(line, "REM ");
}

// Position of the first c outside double quotes, or npos.
std::size_t Find_Unquoted(std::string_view text, char c) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"')
      quoted = !quoted;
    else if (text[i] == c && !quoted)
      return i;
  }
  return std::string_view::npos;
}

// A label stands in as a 32-bit zero until pass 3 writes its value. A line that no fix-up takes
// but whose bytes end in such a zero and whose operands name a label would keep the zero: it
// is refused instead.
bool Holds_UnwrittenLabel(const LineTerms& terms, std::string_view bytes) {
  if (bytes.size() < 5 || bytes.substr(bytes.size() - 4) != std::string_view("\0\0\0\0", 4)) return false;
  if (terms.operand.data() == terms.mnemonic.data()) return false;  // no operands
  std::string_view rest = terms.operand;
  for (;;) {
    const std::size_t comma = rest.find(',');
    if (Is_LabelName(rest.substr(0, comma))) return true;
    if (comma == std::string_view::npos) return false;
    rest.remove_prefix(comma + 1);
  }
}

std::string_view Trim_LeftBlanksAndTabs(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  return s.substr(b);
}
}  // namespace

std::string_view Code_Part(std::string_view line) {
  if (line.empty()) return line;
  std::size_t end = line.size();
  // Most lines hold neither a comment nor a string: one library scan instead of a loop.
  if (std::memchr(line.data(), ';', line.size()) != nullptr) end = std::min(end, Find_Unquoted(line, ';'));
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return line.substr(0, end);
}

std::size_t Find_LabelColon(std::string_view code) {
  if (code.empty() || std::memchr(code.data(), ':', code.size()) == nullptr) return std::string_view::npos;
  return Find_Unquoted(code, ':');
}

std::string_view Instruction_Part(std::string_view line) {
  const std::string_view code = Code_Part(line);
  const std::size_t colon = Find_LabelColon(code);
  return colon == std::string_view::npos ? code : Trim_LeftBlanksAndTabs(code.substr(colon + 1));
}

// Records every box of a compile with the line it belongs to and passes it on to the handler
// that was installed before the compile began.
class CompileSession::BoxRecorder : public MessageHandler {
 public:
  explicit BoxRecorder(CompileSession& session) : session_(session), next_(Current_MessageHandler()) {}
  MsgAnswer Show(const Message& message) override {
    session_.boxes_.push_back(
        CompileBox{session_.box_line_, message.title.value_or(std::string()), message.text, true});
    session_.failed_ = true;
    if (next_ != nullptr) return next_->Show(message);
    return message.style == MsgStyle::YesNoCritical ? MsgAnswer::No : MsgAnswer::Ok;
  }

 private:
  CompileSession& session_;
  MessageHandler* next_;
};

std::vector<std::string_view> Split_Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  if (text.empty()) return lines;
  // One exact allocation: a growing vector of a million views would briefly need half as much again.
  std::size_t count = 1;
  for (const char *p = text.data(), *end = p + text.size();
       (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr;
       ++p)
    ++count;
  lines.reserve(count);
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* start = begin;
  for (const char* p = start;;) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (p == nullptr) break;
    if (p > start && p[-1] == '\r') {
      lines.emplace_back(start, static_cast<std::size_t>(p - 1 - start));
      start = p + 1;
    }
    ++p;
  }
  lines.emplace_back(start, static_cast<std::size_t>(end - start));
  return lines;
}

std::string Split_Line(std::string_view line, std::string& first, std::string& second) {
  const std::string_view t = Trim(line);
  const std::size_t space = t.find(' ');
  first.clear();
  second.clear();
  if (space == std::string_view::npos) return std::string(t);
  const std::string_view ops = Trim(t.substr(space + 1));
  const std::size_t comma = ops.find(',');
  if (comma == std::string_view::npos) {
    first = ops;
  } else {
    first = ops.substr(0, comma);
    second = ops.substr(comma + 1);
  }
  return Trim_Upper(t.substr(0, space));
}

// ---- Source lines ----------------------------------------------------------------------------

void SourceLines::Reset(std::string_view text, LineBreaks breaks) {
  text_ = text;
  starts_.clear();
  state_.clear();
  kept_lines_.clear();
  kept_blocks_.clear();
  block_next_ = nullptr;
  block_room_ = 0;
  if (text.empty()) return;
  // One allocation each, sized by the line feeds: a growing vector of a million starts would
  // briefly need half as much again.
  const std::size_t most = 1 + Count_LineFeeds(text);
  starts_.resize(most);
  state_.resize(most);
  std::uint32_t* const starts = starts_.data();
  State* const state = state_.data();
  const char* const bytes = text.data();
  const bool lone_lf_breaks = breaks == LineBreaks::CrLfOrLf;
  std::size_t count = 1;
  std::size_t line_start = 0;
  starts[0] = 0;
  For_Each_LineFeed(text, [&](std::size_t lf) {
    // The CR of a CR LF belongs to the line it ends: it cannot be the LF that ended the line before.
    const bool after_cr = lf > line_start && bytes[lf - 1] == '\r';
    if (!after_cr && !lone_lf_breaks) return;
    state[count - 1] = after_cr ? kBeforeCrLf : kBeforeLf;
    line_start = lf + 1;
    starts[count++] = static_cast<std::uint32_t>(line_start);
  });
  state[count - 1] = kBeforeCrLf;  // the last line ends with the text
  starts_.resize(count);
  state_.resize(count);
}

std::string_view SourceLines::Set_Aside(std::size_t i) const {
  if (state_[i] == kBlank) return {};
  const auto it = std::lower_bound(kept_lines_.begin(), kept_lines_.end(), i,
                                   [](const KeptLine& kept, std::size_t line) { return kept.line < line; });
  return std::string_view(it->text, it->length);
}

const char* SourceLines::Keep(std::string_view text) {
  constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
  if (text.size() > block_room_) {
    // A line longer than a block gets a block of its own size.
    const std::size_t size = std::max(kBlockBytes, text.size());
    kept_blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    block_next_ = kept_blocks_.back().get();
    block_room_ = size;
  }
  char* const at = block_next_;
  if (!text.empty()) std::memcpy(at, text.data(), text.size());
  block_next_ += text.size();
  block_room_ -= text.size();
  return at;
}

std::string_view SourceLines::Replace(std::size_t i, std::string_view text) {
  if (state_[i] == kKept && kept_lines_.back().line == i) kept_lines_.pop_back();
  const char* const kept = Keep(text);
  kept_lines_.push_back(KeptLine{static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(text.size()), kept});
  state_[i] = kKept;
  return std::string_view(kept, text.size());
}

// ---- Listing ---------------------------------------------------------------------------------

void Listing::Clear() {
  line_count_ = 0;
  lines_ = nullptr;
  pre_code_rows_ = 0;
  raw_rows_ = 0;
  pass3_done_ = false;
  code_starts_.clear();
  kinds_.clear();
  address_base_ = 0;
  final_bytes_ = nullptr;
  final_base_ = 0;
  pass2_rows_.clear();
  pass2_saved_.clear();
  hex_overrides_.clear();
}

std::string_view Listing::PreCode_Line(std::size_t i) const { return Trim((*lines_)[i]); }

std::string_view Listing::Code_Of(const Row& r) const {
  if (r.code_length == 0 || final_bytes_ == nullptr) return {};
  return std::string_view(*final_bytes_).substr(final_base_ + r.code_offset, r.code_length);
}

std::string_view Listing::Raw_Bytes(std::size_t i) const {
  const Row r = Row_At(i);
  if (!pass2_rows_.empty()) {
    const auto it = std::lower_bound(pass2_rows_.begin(), pass2_rows_.end(), i,
                                     [](const SavedRow& saved, std::size_t row) { return saved.row < row; });
    if (it != pass2_rows_.end() && it->row == i)
      return std::string_view(pass2_saved_).substr(it->offset, r.code_length);
  }
  return Code_Of(r);
}

std::string Listing::Hex_Entry(std::size_t i) const {
  if (!pass3_done_) return {};
  if (auto it = hex_overrides_.find(i); it != hex_overrides_.end()) return it->second;
  const Row r = Row_At(i);
  if (r.code_length == 0 || final_bytes_ == nullptr) return {};
  return ViewOpCodes_Bin2Hex(Code_Of(r));
}

std::string Listing::Address_Decimal(std::size_t i) const {
  if (!pass3_done_ || kinds_[i] == kNoCode) return {};
  return Decimal_Text(static_cast<std::int32_t>(code_starts_[i]) + address_base_);
}

std::string Listing::Address_Hex(std::size_t i) const {
  if (!pass3_done_ || kinds_[i] == kNoCode) return {};
  return Hex_Upper(static_cast<std::uint32_t>(static_cast<std::int32_t>(code_starts_[i]) + address_base_));
}

std::string Listing::Raw_Bytes_Text() const {
  std::string out;
  out.reserve((final_bytes_ != nullptr ? final_bytes_->size() : 0) + 2 * raw_rows_);
  for (std::size_t i = 0; i < raw_rows_; ++i) out.append(Raw_Bytes(i)).append("\r\n");
  return out;
}

std::string Listing::Hex_Text() const {
  std::string out;
  if (!pass3_done_) return out;
  // Three characters a byte at most ("FF/"), and CR LF between rows: one allocation.
  const std::size_t bytes = final_bytes_ != nullptr ? final_bytes_->size() : 0;
  out.reserve(3 * bytes + 2 * line_count_);
  for (std::size_t i = 0; i < line_count_; ++i) {
    if (i > 0) out.append("\r\n");
    if (auto it = hex_overrides_.find(i); it != hex_overrides_.end()) {
      out.append(it->second);
      continue;
    }
    // The view form of ViewOpCodes_Bin2Hex, written in place.
    const std::string_view code = Code_Of(Row_At(i));
    for (std::size_t k = 0; k < code.size(); ++k) {
      if (k > 0) out.push_back('/');
      const auto b = static_cast<unsigned char>(code[k]);
      if (b >= 0x10) out.push_back(kHexDigits[b >> 4]);
      out.push_back(kHexDigits[b & 0xF]);
    }
  }
  return out;
}

std::string Listing::PreCode_Text() const {
  std::string out;
  std::size_t size = 0;
  for (std::size_t i = 0; i < pre_code_rows_; ++i) size += PreCode_Line(i).size() + 2;
  out.reserve(size);
  for (std::size_t i = 0; i < pre_code_rows_; ++i) out.append(PreCode_Line(i)).append("\r\n");
  return out;
}

// ---- Compile ---------------------------------------------------------------------------------

CompileOutcome CompileSession::Compile(std::string_view text, const CompileOptions& options) {
  source_.assign(text);
  breaks_ = LineBreaks::CrLf;
  return Run(options);
}

CompileOutcome CompileSession::Compile_Owned(std::string&& text, const CompileOptions& options,
                                             LineBreaks breaks) {
  source_ = std::move(text);
  breaks_ = breaks;
  // Slack in the taken buffer would stay for the whole session.
  if (source_.capacity() - source_.size() > source_.size() / 8) source_.shrink_to_fit();
  return Run(options);
}

CompileOutcome CompileSession::Run(const CompileOptions& options) {
  // Start: everything from the previous compile goes, boxes an interrupted one left unshown too.
  boxes_.clear();
  raised_ = Diagnostics();
  box_line_ = 0;
  failed_ = false;
  listing_.Clear();
  image_.Reset();
  labels_.Reset();
  consts_.Reset();
  if (source_.size() > std::numeric_limits<std::uint32_t>::max()) {
    // Lines are found by 32-bit starts; both front ends read far less than this.
    lines_.Reset({});
    BoxRecorder recorder(*this);
    ScopedMessageHandler scope(recorder);
    Show_Message("The program is too long: at most 4 GiB.", MsgStyle::OkCritical);
    return CompileOutcome::Stopped;
  }
  lines_.Reset(source_, breaks_);
  general_rows_.clear();
  listing_.line_count_ = lines_.Size();
  listing_.lines_ = &lines_;
  listing_.code_starts_.assign(lines_.Size() + 1, 0);
  listing_.kinds_.assign(lines_.Size(), Listing::kGeneral);
  listing_.final_bytes_ = &image_.Bytes();
  // Most lines are a few bytes. A growing image would copy itself at each doubling, holding the
  // old and the new copy at once; room that is never written costs no memory, so the guess is
  // generous.
  image_.Reserve(lines_.Size() * 8);

  CompileOutcome outcome = Compile_Passes(options);
  if (outcome != CompileOutcome::Finished) return outcome;

  // Finish.
  if (options.stack) image_.Wrap_StackFrame();
  listing_.final_base_ = options.stack ? kPrologue.size() : 0;
  if (options.write_code_file) {
    Diagnostics raised;
    Save_CodeImage(image_, options.code_file_path.empty() ? Code_File_Path() : options.code_file_path,
                   raised);
    raised.Forward();
  }
  return CompileOutcome::Finished;
}

CompileOutcome CompileSession::Compile_Passes(const CompileOptions& options) {
  BoxRecorder recorder(*this);
  ScopedMessageHandler scope(recorder);
  Diagnostics& raised = raised_;

  // Pass 1: comments and CONST lines. A line whose code is empty holds a comment at most.
  for (std::size_t i = 0; i < lines_.Size(); ++i) {
    if (!kNeedsFirstPass[static_cast<unsigned char>(lines_.Lead_Byte(i))]) continue;
    const std::string_view raw = lines_[i];
    std::size_t first = 0;
    while (first < raw.size() && raw[first] == ' ') ++first;
    if (first == raw.size()) {
      lines_.Blank(i);
      continue;
    }
    if (!May_BeCommentOrConst(raw[first])) continue;
    box_line_ = i;
    const std::string_view trimmed = Trim(raw);
    if (Is_CommentLine(trimmed)) {
      lines_.Blank(i);
      continue;
    }
    const std::string_view line = Code_Part(trimmed);
    if (line.empty()) {
      lines_.Blank(i);
      continue;
    }
    const std::size_t space = line.find(' ');
    const std::string_view mnemonic = space == std::string_view::npos ? line : line.substr(0, space);
    if (space == std::string_view::npos ? mnemonic == "CONST" : Equals_NoCase(mnemonic, "CONST")) {
      consts_.Define_Const(line.size() > 6 ? line.substr(6) : std::string_view(), raised);
      raised.Forward();
      lines_.Blank(i);
    }
  }

  const bool passed = Pass2(options);
  // The rows pass 2 did not reach hold no bytes: they start where the image ends.
  std::fill(listing_.code_starts_.begin() + static_cast<std::ptrdiff_t>(listing_.pre_code_rows_),
            listing_.code_starts_.end(), static_cast<std::uint32_t>(image_.Size()));
  if (!passed) return CompileOutcome::Stopped;
  Pass3(options.stack);
  // An error box in any pass fails the compile: its code is neither wrapped, saved nor run.
  return failed_ ? CompileOutcome::Failed : CompileOutcome::Finished;
}

std::size_t CompileSession::Readable_From(std::string_view line) const {
  // A line of the source may be read on into the text after it; a rewritten one may not.
  const auto begin = reinterpret_cast<std::uintptr_t>(source_.data());
  const auto at = reinterpret_cast<std::uintptr_t>(line.data());
  return at >= begin && at <= begin + source_.size() ? begin + source_.size() - at : line.size();
}

bool CompileSession::Pass2(const CompileOptions& options) {
  Diagnostics& raised = raised_;
  std::string work;
  // A refused line stops the compile with its Syntax Error box, showing the line as pass 2 read it.
  const auto refuse_line = [&](std::size_t k, std::string_view as_read) {
    const std::string text = "Syntax Error:\r" + std::string(as_read) + "\r\rShow help?";
    if (Show_Message(text, MsgStyle::YesNoCritical, "LINE: " + std::to_string(k + 1)) == MsgAnswer::Yes &&
        options.on_syntax_help)
      options.on_syntax_help(kSyntaxErrorHelpContext);
    return false;
  };
  // A LOCK alone on its line prefixes the next line that assembles to bytes; until that line is
  // seen it is pending. Its boxes belong to the LOCK line.
  constexpr std::size_t kNoLock = static_cast<std::size_t>(-1);
  std::size_t lock_line = kNoLock;
  std::string lock_as_read;  // a copy: later rewritten lines may move the kept text
  const auto refuse_lock = [&](std::string_view shown) {
    box_line_ = lock_line;
    Refuse_Lock(shown, raised);
    raised.Forward();
    return refuse_line(lock_line, lock_as_read);
  };
  // A plain line is ruled out for constants by their names' first two characters, when they are few.
  const bool has_consts = consts_.Size() > 0;  // pass 1 defined them all
  const NamePairs name_pairs = has_consts ? consts_.First_Pairs() : NamePairs{};
  LineTerms terms;  // each line sets every field, by the split or by Get_LineTerms
  LineDispatch dispatch{labels_, raised, image_.Code_ToAppend()};  // one for all lines
  for (std::size_t j = 0; j < lines_.Size(); ++j) {
    box_line_ = j;
    // The line as pass 2 reads it: trimmed when constants are defined, or their substitution.
    std::string_view as_read = lines_[j];
    std::string_view line, code;
    // A plain line (no comment, label or string) is trimmed and split in one look; its code is
    // the whole trimmed line.
    bool split = false;
    bool may_hold_name = true;
    const auto read = [&](std::string_view text) {
      split = Split_PlainLine(text, Readable_From(text), line, terms, name_pairs, may_hold_name);
      if (split) {
        code = line;
      } else {
        line = Trim(text);
        code = Code_Part(line);
      }
    };
    read(as_read);
    if (has_consts && !as_read.empty()) {
      // Constants are substituted into the code; a comment stays as written.
      as_read = line;
      if (!split || may_hold_name) {
        const bool changed = consts_.Substitute_Code(code, work, raised);
        raised.Forward();
        if (changed) {
          work.append(line.substr(code.size()));
          as_read = lines_.Replace(j, work);
          read(as_read);
        }
      }
    }
    listing_.pre_code_rows_ = j + 1;

    std::string_view instruction = code;
    const std::size_t colon = split ? std::string_view::npos : Find_LabelColon(code);
    listing_.code_starts_[j] = static_cast<std::uint32_t>(image_.Size());
    if (colon != std::string_view::npos) {
      const std::size_t space = code.find(' ');
      // A space before the colon, or a name that could be read as something else (a register,
      // a number), makes the line unusable as a label.
      if ((space != std::string_view::npos && space < colon) ||
          !Is_ValidLabelDefinition(code.substr(0, colon))) {
        Show_Invalid_Label(line, j);
        return false;
      }
      // A label between LOCK and its instruction would be a way in that skips the prefix.
      if (lock_line != kNoLock) return refuse_lock(code);
      // The label names the first byte of what follows its colon on the line, or of the next
      // line that has code.
      labels_.Add_LabelEntry(code.substr(0, colon), true);
      instruction = Trim_LeftBlanksAndTabs(code.substr(colon + 1));  // code holds no comment
    }
    if (instruction.empty()) {
      ++listing_.raw_rows_;
      listing_.kinds_[j] = Listing::kNoCode;
      continue;
    }
    if (!split) terms = Get_LineTerms(instruction);
    const std::size_t line_start = image_.Size();
    Dispatch_Line(terms, dispatch);  // appends the line's bytes to the image
    std::size_t length = image_.Size() - line_start;
    raised.Forward();
    if (dispatch.invalid_label) {
      Show_Invalid_Label(line, j);
      return false;
    }
    // A refused line stops the compile before pass 3. The fix-ups work on lines with a space
    // only, and the mnemonic is the whole line when it has none.
    const bool has_space = terms.mnemonic.size() < instruction.size();
    Listing::RowKind& kind = listing_.kinds_[j];
    kind = length != 0 && has_space && dispatch.fixup != FixUp::None ? Listing::kGeneral : Listing::kSettled;
    if (kind == Listing::kGeneral) general_rows_.push_back(static_cast<std::uint32_t>(j));
    if (kind == Listing::kSettled &&
        Holds_UnwrittenLabel(terms, std::string_view(image_.Bytes()).substr(line_start))) {
      image_.Truncate(line_start);
      length = 0;
      Show_Message("Invalid use of label:\r\t" + std::string(instruction), MsgStyle::OkCritical,
                   "Label addres");
    }
    ++listing_.raw_rows_;
    if (length == 0) return refuse_line(j, as_read);
    if (lock_line != kNoLock) {
      box_line_ = lock_line;
      if (!Admit_Locked(terms, instruction)) return refuse_line(lock_line, lock_as_read);
      box_line_ = j;
      lock_line = kNoLock;
    }
    // Only a key of four letters can be LOCK: the other lines skip the call.
    if (terms.key.size() == 4 && Is_LockPrefixLine(terms)) {
      lock_line = j;
      lock_as_read.assign(as_read);
    }
    labels_.Add_Length(static_cast<std::int32_t>(length));
  }
  // F0h with no instruction behind it would prefix whatever the code runs into next.
  if (lock_line != kNoLock) return refuse_lock("no instruction after LOCK");
  return true;
}

void CompileSession::Pass3(bool stack) {
  Diagnostics& raised = raised_;
  listing_.address_base_ = stack ? static_cast<std::int32_t>(kPrologue.size()) : 0;
  // Room for the pass-2 bytes of every row a fix-up may change, so that they grow no slack.
  std::size_t general_bytes = 0;
  for (const std::uint32_t k : general_rows_) general_bytes += listing_.Row_At(k).code_length;
  listing_.pass2_rows_.reserve(general_rows_.size());
  listing_.pass2_saved_.reserve(general_bytes);
  std::string before;
  LineTerms terms;
  for (const std::uint32_t k : general_rows_) {
    const Listing::Row row = listing_.Row_At(k);
    box_line_ = k;
    // The instruction as pass 2 read it: a plain line split in one look, any other by the steps.
    const std::string_view text = lines_[k];
    std::string_view line;
    if (!Split_PlainLine(text, Readable_From(text), line, terms)) {
      line = Instruction_Part(Trim(text));
      terms = Get_LineTerms(line);
    }
    // A row's address is the image size before it: the sum of the lengths of the rows above.
    const FixLine fix_line{static_cast<std::int32_t>(row.code_offset),
                           static_cast<std::int32_t>(row.code_length), line};
    before.assign(image_.Bytes(), row.code_offset, row.code_length);
    std::string fixed = Dispatch_FixUp(terms, image_, labels_, fix_line, stack, raised);
    raised.Forward();
    const std::string_view after = std::string_view(image_.Bytes()).substr(row.code_offset, row.code_length);
    if (after != before) {
      listing_.pass2_rows_.push_back(Listing::SavedRow{
          static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(listing_.pass2_saved_.size())});
      listing_.pass2_saved_.append(before);
    }
    if (!fixed.empty() && after != fixed) listing_.hex_overrides_.emplace(k, ViewOpCodes_Bin2Hex(fixed));
  }
  listing_.pass3_done_ = true;
}

}  // namespace orvo
