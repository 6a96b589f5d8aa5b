#pragma once
// The compile driver: splits the editor text into lines, runs the three passes, fills the
// listing model and owns the code image, LabelTable and ConstTable of one session.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "assembler/code_image.h"
#include "assembler/constants.h"
#include "assembler/labels.h"

namespace orvo {

struct CompileOptions {
  bool stack = false;           // "Auto save/restore stack" ticked
  bool write_code_file = false;  // the window writes the code file; the command line does not
  std::string code_file_path;    // empty: the code file beside the program
  // Called with the help context when the user answers Yes to "Syntax Error:".
  std::function<void(int context)> on_syntax_help;
};

// Finished: ran to its end without an error box. Stopped: a line was refused and the compile
// ended there. Failed: it ran to its end, but a box reported an error (a label not found, a jump
// out of range...): the code is not saved and must not be run.
enum class CompileOutcome { Finished, Stopped, Failed };

// A box shown during a compile and the 0-based source line it belongs to.
struct CompileBox {
  std::size_t line = 0;
  std::string title;  // empty: the application's title
  std::string text;
  bool error = true;
};

// Splits text at every CR LF pair. An empty text has no lines; a text ending in CR LF has an
// empty last line. The views point into text.
std::vector<std::string_view> Split_Lines(std::string_view text);

// The code of a trimmed line: the text before the first ';' outside double quotes, without the
// blanks and TABs that end it. The rest is a comment.
std::string_view Code_Part(std::string_view line);
// Position of the first ':' outside double quotes in code, or npos.
std::size_t Find_LabelColon(std::string_view code);
// The instruction of a trimmed line: its code without a leading "label:".
std::string_view Instruction_Part(std::string_view line);

// Mnemonic and operands of a line as pass 1 reads them.
std::string Split_Line(std::string_view line, std::string& first, std::string& second);

// Where the lines of a text end: at CR LF only (the editor's text, where a lone LF is part of
// its line), or also at a lone LF (a file as read: it splits as if each lone LF were a CR LF).
enum class LineBreaks : std::uint8_t { CrLf, CrLfOrLf };

// The lines of the text being compiled: each a piece of the text (found by its start: five
// bytes a line), blanked, or a rewritten copy kept aside. Views stay valid until the line is
// replaced again or the lines are Reset.
class SourceLines {
 public:
  // Splits text at every CR LF pair, as Split_Lines does, and with CrLfOrLf at every lone LF
  // too; text must outlive the lines.
  void Reset(std::string_view text, LineBreaks breaks = LineBreaks::CrLf);
  std::size_t Size() const { return starts_.size(); }
  std::string_view operator[](std::size_t i) const {
    const State state = state_[i];
    if (state > kBeforeLf) return Set_Aside(i);
    // A line ends where the CR LF (or lone LF) before the next one begins.
    const std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] - 2 + state : text_.size();
    return std::string_view(text_.data() + starts_[i], end - starts_[i]);  // both within the text
  }
  // The first byte of line i in the text, whatever became of the line since: an empty line shows
  // the first byte of its line end, the last one '\n'. A look at a line that costs no view.
  char Lead_Byte(std::size_t i) const { return starts_[i] < text_.size() ? text_[starts_[i]] : '\n'; }
  void Blank(std::size_t i) { state_[i] = kBlank; }
  // Line i reads as text from now on, and as the view returned. Lines are replaced in ascending
  // order.
  std::string_view Replace(std::size_t i, std::string_view text);

 private:
  // A line of the text ends before a CR LF or before a lone LF (the values are the length of
  // the break minus two, read by operator[]).
  enum State : std::uint8_t { kBeforeCrLf = 0, kBeforeLf = 1, kBlank, kKept };
  std::string_view Set_Aside(std::size_t i) const;  // a blanked or rewritten line
  struct KeptLine {
    std::uint32_t line;
    std::uint32_t length;
    const char* text;  // in kept_blocks_
  };
  // Copies text into the kept blocks and returns where it went.
  const char* Keep(std::string_view text);
  std::string_view text_;
  std::vector<std::uint32_t> starts_;
  std::vector<State> state_;
  // Rewritten lines go into blocks that never move: a growing buffer would hold its old and new
  // copy at once, and a million rewritten lines need megabytes.
  std::deque<KeptLine> kept_lines_;  // ascending lines
  std::vector<std::unique_ptr<char[]>> kept_blocks_;
  char* block_next_ = nullptr;  // the free end of the last block
  std::size_t block_room_ = 0;
};

// What the listing controls show after a compile, per source line.
class Listing {
 public:
  std::size_t Line_Count() const { return line_count_; }
  // Rows filled so far in each column (a stopped compile fills some and not others).
  std::size_t PreCode_Rows() const { return pre_code_rows_; }
  std::size_t Raw_Bytes_Rows() const { return raw_rows_; }
  bool Has_Addresses() const { return pass3_done_; }

  std::string_view PreCode_Line(std::size_t i) const;
  std::string_view Raw_Bytes(std::size_t i) const;     // pass-2 bytes
  std::string Hex_Entry(std::size_t i) const;          // final bytes in the view form ("B8/7/0/0/0")
  std::string Address_Decimal(std::size_t i) const;  // decimal address or ""
  std::string Address_Hex(std::size_t i) const;      // hexadecimal address or ""

  // Whole columns, CR LF between rows: the pass-2 bytes, the view forms, the source lines.
  std::string Raw_Bytes_Text() const;
  std::string Hex_Text() const;
  std::string PreCode_Text() const;

 private:
  friend class CompileSession;
  // A row's address is its offset in the image (plus the listing offset), and its bytes run to
  // the next row's offset: one number a row.
  struct Row {
    std::uint32_t code_offset = 0;
    std::uint32_t code_length = 0;
  };
  Row Row_At(std::size_t i) const { return Row{code_starts_[i], code_starts_[i + 1] - code_starts_[i]}; }
  // What pass 3 does with each row, as pass 2 found it: the fix-up dispatch, only the address
  // (no operand can name a label), or nothing at all (an empty line or a label: no address).
  enum RowKind : std::uint8_t { kGeneral, kSettled, kNoCode };
  void Clear();
  std::string_view Code_Of(const Row& r) const;

  std::size_t line_count_ = 0;
  // The pre-code column is the trimmed source line as pass 2 left it: a view of the session's
  // lines, so it costs no second vector.
  const SourceLines* lines_ = nullptr;
  std::size_t pre_code_rows_ = 0;
  std::size_t raw_rows_ = 0;
  bool pass3_done_ = false;
  std::vector<std::uint32_t> code_starts_;  // one a row and one past the last
  std::vector<RowKind> kinds_;
  std::int32_t address_base_ = 0;  // the listing offset: 6 when the prologue goes in front
  // The image itself; pass 3 patches it in place, so the pass-2 bytes of a row it changed are
  // kept aside (a few rows: those with a label operand).
  const std::string* final_bytes_ = nullptr;
  std::size_t final_base_ = 0;                                  // 6 when the prologue was put in front
  struct SavedRow {
    std::uint32_t row;
    std::uint32_t offset;  // into pass2_saved_; the length is the row's
  };
  std::vector<SavedRow> pass2_rows_;  // ascending rows
  std::string pass2_saved_;
  std::unordered_map<std::size_t, std::string> hex_overrides_;  // fix-up results that differ
};

class CompileSession {
 public:
  CompileSession() = default;
  CompileSession(const CompileSession&) = delete;
  CompileSession& operator=(const CompileSession&) = delete;

  // Command1_Click without the window: the whole compile of the editor text.
  CompileOutcome Compile(std::string_view text, const CompileOptions& options);
  // The same, taking the text over instead of copying it (big sources read from a file, whose
  // lone LFs may end lines too: no mended copy of the file is then needed).
  CompileOutcome Compile_Owned(std::string&& text, const CompileOptions& options,
                               LineBreaks breaks = LineBreaks::CrLf);

  const CodeImage& Image() const { return image_; }
  const Listing& Listing_() const { return listing_; }
  const LabelTable& Labels() const { return labels_; }
  const ConstTable& Consts() const { return consts_; }
  // The source lines as the compile left them (comments blanked, constants substituted).
  const SourceLines& Lines() const { return lines_; }
  // Every box the last compile showed, in order, with its line.
  const std::vector<CompileBox>& Boxes() const { return boxes_; }
  // True when the last compile showed an error box.
  bool Failed() const { return failed_; }

 private:
  class BoxRecorder;
  friend class BoxRecorder;
  CompileOutcome Run(const CompileOptions& options);
  CompileOutcome Compile_Passes(const CompileOptions& options);
  // How many bytes from line's start may be read: to the end of the source for a line of it.
  std::size_t Readable_From(std::string_view line) const;
  bool Pass2(const CompileOptions& options);
  void Pass3(bool stack);

  std::string source_;
  LineBreaks breaks_ = LineBreaks::CrLf;
  SourceLines lines_;
  CodeImage image_;
  LabelTable labels_;
  ConstTable consts_;
  Listing listing_;
  // The rows pass 2 leaves to the fix-ups (Listing::kGeneral), ascending: pass 3 visits only these.
  std::vector<std::uint32_t> general_rows_;
  std::vector<CompileBox> boxes_;
  // The boxes the operations below the passes record for a line, shown right after each call.
  Diagnostics raised_;
  std::size_t box_line_ = 0;  // the line the boxes shown now belong to
  bool failed_ = false;
};

}  // namespace orvo
