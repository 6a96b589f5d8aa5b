#pragma once
// ConstTable: named pieces of source text, substituted into every line before it is assembled.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"

namespace orvo {

// Bounds on the substitution of one line: a constant whose value brings its own name back (CONST
// X = X) or a chain of constants that doubles the line would otherwise never end.
inline constexpr std::size_t kMaxSubstitutedLine = 65536;
inline constexpr int kMaxReplacementsPerLine = 10000;
// Bound on the work of one compile's substitution, in characters searched and moved: long chains
// of constants over many long lines stay within a fraction of a second.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// A fuzzer writes a runaway chain in a few bytes and runs it thousands of times under
// sanitizers; a smaller bound reaches the same box sooner.
inline constexpr std::uint64_t kMaxSubstitutionWork = 500'000;
#else
inline constexpr std::uint64_t kMaxSubstitutionWork = 100'000'000;
#endif

// The first two characters of every name of a small set, with bit 5 set so that a capital and its
// small letter compare equal: a text with no such pair of neighbouring bytes holds none of the
// names.
struct NamePairs {
  static constexpr std::size_t kMax = 8;
  std::uint8_t count = 0;  // 0: no such look (more pairs, or a name of one character)
  // Each character sixteen times over, ready to be compared with sixteen bytes at once.
  alignas(16) std::uint8_t first[kMax][16] = {};
  alignas(16) std::uint8_t second[kMax][16] = {};
};

class ConstTable {
 public:
  ConstTable() { Reset(); }
  void Reset();
  // The CONST line without its first six characters. Records the usage or register box into
  // sink when the definition is refused.
  void Define_Const(std::string_view text, Diagnostics& sink);
  // Rewrites line in place (trimmed, constants substituted outside double quotes). Returns false
  // when nothing was defined or the line is empty (the line is then left exactly as it was). A
  // substitution that does not end, or takes too long, records its box into sink (once a compile).
  bool Replace_Consts(std::string& line, Diagnostics& sink) const;
  // False when Replace_Consts(line) could do nothing but trim the line: no constant's name
  // occurs in it. One scan of the line.
  bool May_Replace(std::string_view line) const;
  // May_Replace and Replace_Consts in one call, for the code part of a line: true when out holds
  // the substituted code and it differs from code (out is left as it was otherwise). The lines,
  // boxes and work are those of the two calls; the common line, with no name or with one whose
  // value brings in none, is scanned once and never copied.
  bool Substitute_Code(std::string_view code, std::string& out, Diagnostics& sink) const;
  std::size_t Size() const { return names_.size() - 1; }
  // The names' first pairs, for a look that rules lines out before May_Replace.
  NamePairs First_Pairs() const;
  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<std::string>& Values() const { return values_; }

 private:
  // Finds which constants' names occur anywhere in an upper-cased text in one pass.
  class NameMatcher {
   public:
    void Build(const std::vector<std::string>& names);
    bool Usable() const { return usable_; }
    // True when any name occurs in text (any case).
    bool Any(std::string_view text) const;
    // Appends to found the indexes (> after) of names occurring in text, ascending, once each.
    void Find(std::string_view text, std::size_t after, std::vector<std::uint32_t>& found) const;

    // The automaton as rows of 256 pointers to the next row, so a byte costs two loads. It counts
    // occurrences up to two: rows for "none yet" (the states where none ends), rows for "exactly
    // one so far" (every state), then two rows that keep every later byte: "the general steps"
    // (a second occurrence, several names ending together, a quote after the first) and "a
    // quote before any occurrence". The rows point into their own block, so a copy points into
    // its own.
    class ScanRows {
     public:
      struct Row {
        const Row* next[256];
      };
      ScanRows() = default;
      ScanRows(const ScanRows& other) { *this = other; }
      ScanRows& operator=(const ScanRows& other);
      ScanRows(ScanRows&&) noexcept = default;
      ScanRows& operator=(ScanRows&&) noexcept = default;
      // count rows in all; next[r * 256 + c] is the number of the row byte c leads to from row r.
      void Build(std::size_t count, std::size_t one, const std::vector<std::uint32_t>& next);
      void Clear() { *this = ScanRows(); }
      bool Empty() const { return count_ == 0; }
      const Row* Start() const { return rows_.get(); }
      // From here on a name has occurred, or a quote was met (the last two rows).
      const Row* One() const { return rows_.get() + one_; }
      const Row* General() const { return rows_.get() + count_ - 2; }
      const Row* Quote() const { return rows_.get() + count_ - 1; }
      std::size_t Number(const Row* row) const { return static_cast<std::size_t>(row - rows_.get()); }

     private:
      std::unique_ptr<Row[]> rows_;
      std::size_t count_ = 0;
      std::size_t one_ = 0;
    };
    using Row = ScanRows::Row;
    bool Scans() const { return !rows_.Empty(); }
    const Row* Start() const { return rows_.Start(); }
    // The row after text, from row.
    const Row* Run(const Row* row, std::string_view text) const;
    // The first occurrence in text, when it is the only one and the only name ending there:
    // returns 1 with end just past it and index the constant's. 0 when text holds none; 2 when
    // the general steps are needed (more occurrences, or a double quote). resume_at and
    // resume_row: a point at most seven bytes before end with the row there, where none is yet.
    int First_Only(std::string_view text, std::size_t& end, std::uint32_t& index, std::size_t& resume_at,
                   const Row*& resume_row) const;
    // After a byte that no name holds, the automaton is back at its start.
    bool Restarts(char c) const { return symbol_[static_cast<unsigned char>(c)] == 0; }
    // The row after a constant's value read from the start; kept once asked.
    const Row* After_Value(std::uint32_t index, std::string_view value) const;
    // True when the text holds an occurrence or a double quote, or one was met before row.
    bool Any_From(const Row* row, std::string_view text) const;

   private:
    bool usable_ = false;
    std::uint16_t alphabet_size_ = 0;
    std::uint8_t symbol_[256] = {};                // byte -> symbol + 1 (0: no name contains the byte)
    std::vector<std::int32_t> next_;               // node * alphabet -> node (full automaton)
    std::vector<std::int32_t> out_first_;          // node -> first index into out_list_, or -1
    std::vector<std::int32_t> out_link_;           // node -> nearest suffix node with outputs, or -1
    std::vector<std::int32_t> report_;             // node -> itself when it has outputs, else out_link_
    std::vector<std::vector<std::uint32_t>> out_;  // node -> constants ending here
    mutable std::vector<std::uint32_t> seen_;      // stamp per constant
    ScanRows rows_;
    std::vector<std::uint32_t> only_;               // per row: the constant whose name just ended, or 0
    mutable std::vector<std::uint32_t> value_row_;  // per constant: 1 + the row of After_Value, or 0
    mutable std::uint32_t stamp_ = 0;
  };

  void Build_Matcher() const;
  bool Substitute(std::string& line, std::size_t index, int& replacements) const;
  // Every constant in turn, on a text that is no string.
  void Substitute_All(std::string& line, bool try_one) const;
  // A line holding no name, or one occurrence of one name whose value brings in none, in one
  // scan; false when the line needs the general steps.
  bool Substitute_One(std::string& line) const;
  // What Substitute_One would do to a text that holds only the first occurrence its scan found
  // (count 1): false when the general steps are needed; otherwise the work is counted and
  // replaced says whether the occurrence is to be replaced by its value.
  bool Plan_One(std::string_view text, std::size_t end, std::uint32_t index, std::size_t resume_at,
                const NameMatcher::Row* resume_row, bool& replaced) const;
  void Report_Runaway(std::size_t index) const;
  void Report_TooMuchWork(std::size_t index) const;
  // Adds to the work of this compile; false (after the box) once the bound is passed.
  bool Spend(std::size_t index, std::size_t characters) const;

  // Index 0 holds an empty entry and is never used.
  std::vector<std::string> names_;
  std::vector<std::string> values_;
  mutable NameMatcher matcher_;
  mutable bool matcher_built_ = false;
  mutable bool runaway_reported_ = false;
  mutable std::uint64_t work_ = 0;
  // Where the boxes of the Replace_Consts call under way go.
  mutable Diagnostics* sink_ = nullptr;
};

}  // namespace orvo
