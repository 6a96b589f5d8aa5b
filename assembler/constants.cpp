#include "assembler/constants.h"

#include <algorithm>
#include <queue>

#include "base/text.h"
#include "operands/operands.h"

namespace orvo {

namespace {
// Above this many automaton cells (nodes x alphabet) the names are matched one by one instead.
constexpr std::size_t kMaxAutomatonCells = std::size_t{1} << 24;
// Up to this many states the automaton is also kept as rows indexed by the byte (at most two rows
// of 2 KiB a state).
constexpr std::size_t kMaxWideStates = 256;
}  // namespace

void ConstTable::Reset() {
  names_.assign(1, std::string());
  values_.assign(1, std::string());
  matcher_built_ = false;
  runaway_reported_ = false;
  work_ = 0;
}

void ConstTable::Define_Const(std::string_view text, Diagnostics& sink) {
  const std::string_view s = Trim(text);
  std::size_t p = Find_NoCase(s, " EQU ");
  std::size_t separator = 5;
  if (p == std::string_view::npos) {
    p = s.find('=');
    separator = 1;
  }
  if (p == std::string_view::npos || p == 0) {
    sink.Add("Error in CONST\r\r\tUSAGE:\rCONST ConstName=Expression\rCONST ConstName EQU Expression",
             MsgStyle::Ok, "CONST " + std::string(s));
    return;
  }
  std::string name = Trim_Upper(s.substr(0, p));
  if (Is_RegisterName(name)) {
    sink.Add("\tError in Const:\rRegister is not a valid name of constant.", MsgStyle::Ok, s);
    return;
  }
  names_.push_back(std::move(name));
  values_.emplace_back(s.substr(p + separator));
  matcher_built_ = false;
}

// ---- Name matcher (Aho-Corasick over the upper-cased names) ----------------------------------

void ConstTable::NameMatcher::Build(const std::vector<std::string>& names) {
  usable_ = false;
  next_.clear();
  out_.clear();
  out_link_.clear();
  std::fill(std::begin(symbol_), std::end(symbol_), 0);
  std::size_t total = 1;
  alphabet_size_ = 0;
  for (std::size_t i = 1; i < names.size(); ++i) {
    total += names[i].size();
    for (unsigned char c : names[i])
      if (symbol_[c] == 0)
        symbol_[c] = static_cast<std::uint8_t>(++alphabet_size_ == 256 ? 0 : alphabet_size_);
  }
  if (alphabet_size_ == 0 || alphabet_size_ >= 256 || total * alphabet_size_ > kMaxAutomatonCells) return;
  const std::size_t a = alphabet_size_;
  // The names are in capitals: a small letter of the text reads as its capital.
  for (int c = 'a'; c <= 'z'; ++c) symbol_[c] = symbol_[c - 32];

  // Trie.
  next_.assign(a, -1);
  out_.emplace_back();
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    std::int32_t node = 0;
    for (unsigned char c : names[i]) {
      const std::size_t cell = static_cast<std::size_t>(node) * a + (symbol_[c] - 1u);
      if (next_[cell] < 0) {
        next_[cell] = static_cast<std::int32_t>(out_.size());
        out_.emplace_back();
        next_.resize(next_.size() + a, -1);
      }
      node = next_[cell];
    }
    out_[static_cast<std::size_t>(node)].push_back(static_cast<std::uint32_t>(i));
  }

  // Failure links by breadth-first order; the goto function becomes a full automaton.
  const std::size_t nodes = out_.size();
  std::vector<std::int32_t> fail(nodes, 0);
  out_link_.assign(nodes, -1);
  std::queue<std::int32_t> queue;
  for (std::size_t s = 0; s < a; ++s) {
    std::int32_t& child = next_[s];
    if (child < 0) {
      child = 0;
    } else {
      fail[static_cast<std::size_t>(child)] = 0;
      queue.push(child);
    }
  }
  while (!queue.empty()) {
    const std::int32_t node = queue.front();
    queue.pop();
    const std::size_t f = static_cast<std::size_t>(fail[static_cast<std::size_t>(node)]);
    out_link_[static_cast<std::size_t>(node)] =
        !out_[f].empty() ? static_cast<std::int32_t>(f) : out_link_[f];
    for (std::size_t s = 0; s < a; ++s) {
      std::int32_t& child = next_[static_cast<std::size_t>(node) * a + s];
      const std::int32_t via_fail = next_[f * a + s];
      if (child < 0) {
        child = via_fail;
      } else {
        fail[static_cast<std::size_t>(child)] = via_fail;
        queue.push(child);
      }
    }
  }
  report_.resize(nodes);
  for (std::size_t n = 0; n < nodes; ++n)
    report_[n] = !out_[n].empty() ? static_cast<std::int32_t>(n) : out_link_[n];
  seen_.assign(names.size(), 0);
  stamp_ = 0;
  usable_ = true;

  rows_.Clear();
  only_.clear();
  value_row_.clear();
  if (nodes > kMaxWideStates) return;
  // Rows 0 .. none-1: the states where no occurrence ends (the root first), with none so far.
  // Rows one .. one+nodes-1: every state, with one occurrence so far. Then the two last rows.
  std::vector<std::uint32_t> none_row(nodes, 0);
  std::uint32_t none = 0;
  for (std::size_t n = 0; n < nodes; ++n)
    if (report_[n] < 0) none_row[n] = none++;
  const std::size_t one = none;
  const std::size_t count = one + nodes + 2;
  const std::uint32_t general = static_cast<std::uint32_t>(count - 2);
  const std::uint32_t quote = static_cast<std::uint32_t>(count - 1);
  // The one constant whose name ends at each state, or 0 when none or several do.
  std::vector<std::uint32_t> only_at(nodes, 0);
  for (std::size_t n = 0; n < nodes; ++n) {
    std::size_t outputs = 0;
    for (std::int32_t r = report_[n]; r >= 0; r = out_link_[static_cast<std::size_t>(r)]) {
      outputs += out_[static_cast<std::size_t>(r)].size();
      if (!out_[static_cast<std::size_t>(r)].empty()) only_at[n] = out_[static_cast<std::size_t>(r)].front();
    }
    if (outputs != 1) only_at[n] = 0;
  }
  only_.assign(count, 0);
  std::vector<std::uint32_t> table(count * 256);
  const auto step = [&](std::size_t n, std::size_t c) -> std::size_t {
    const std::uint8_t sym = symbol_[c];
    return sym == 0 ? 0 : static_cast<std::size_t>(next_[n * a + (sym - 1u)]);
  };
  for (std::size_t n = 0; n < nodes; ++n) {
    const std::uint32_t one_row = static_cast<std::uint32_t>(one + n);
    if (report_[n] >= 0) only_[one_row] = only_at[n];
    for (std::size_t c = 0; c < 256; ++c) {
      const std::size_t to = step(n, c);
      const bool ends = report_[to] >= 0;
      // One occurrence so far: a second one, or a quote, leaves the rest to the general steps.
      table[one_row * 256 + c] = c == '"' || ends ? general : static_cast<std::uint32_t>(one + to);
      if (report_[n] >= 0) continue;
      std::uint32_t& from_none = table[none_row[n] * 256 + c];
      if (c == '"')
        from_none = quote;
      else if (!ends)
        from_none = none_row[to];
      else
        from_none = only_at[to] != 0 ? static_cast<std::uint32_t>(one + to) : general;
    }
  }
  for (std::size_t c = 0; c < 256; ++c) {
    table[general * 256 + c] = general;
    table[quote * 256 + c] = quote;
  }
  rows_.Build(count, one, table);
  value_row_.assign(names.size(), 0);
}

void ConstTable::NameMatcher::ScanRows::Build(std::size_t count, std::size_t one,
                                              const std::vector<std::uint32_t>& next) {
  rows_ = std::make_unique_for_overwrite<Row[]>(count);
  count_ = count;
  one_ = one;
  for (std::size_t r = 0; r < count; ++r)
    for (std::size_t c = 0; c < 256; ++c) rows_[r].next[c] = &rows_[next[r * 256 + c]];
}

ConstTable::NameMatcher::ScanRows& ConstTable::NameMatcher::ScanRows::operator=(const ScanRows& other) {
  if (this == &other) return *this;
  rows_ = other.count_ > 0 ? std::make_unique_for_overwrite<Row[]>(other.count_) : nullptr;
  count_ = other.count_;
  one_ = other.one_;
  for (std::size_t r = 0; r < count_; ++r)
    for (std::size_t c = 0; c < 256; ++c)
      rows_[r].next[c] = &rows_[other.rows_[r].next[c] - other.rows_.get()];
  return *this;
}

// Inline: the scans of a line call it for every piece they read.
[[gnu::always_inline]] inline const ConstTable::NameMatcher::Row* ConstTable::NameMatcher::Run(
    const Row* row, std::string_view text) const {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  if (text.size() >= 8) {
    for (const unsigned char* const last8 = end - 8; p <= last8; p += 8) {
      row = row->next[p[0]];
      row = row->next[p[1]];
      row = row->next[p[2]];
      row = row->next[p[3]];
      row = row->next[p[4]];
      row = row->next[p[5]];
      row = row->next[p[6]];
      row = row->next[p[7]];
    }
  }
  // The last seven bytes at most, in steps of four, two and one.
  if (end - p >= 4) {
    row = row->next[p[0]];
    row = row->next[p[1]];
    row = row->next[p[2]];
    row = row->next[p[3]];
    p += 4;
  }
  if (end - p >= 2) {
    row = row->next[p[0]];
    row = row->next[p[1]];
    p += 2;
  }
  if (p != end) row = row->next[*p];
  return row;
}

[[gnu::always_inline]] inline int ConstTable::NameMatcher::First_Only(std::string_view text, std::size_t& end,
                                                                      std::uint32_t& index,
                                                                      std::size_t& resume_at,
                                                                      const Row*& resume_row) const {
  const unsigned char* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const stop = begin + text.size();
  const unsigned char* p = begin;
  const Row* row = rows_.Start();
  const Row* const one = rows_.One();
  // Eight bytes a step while none has occurred; the step where one does is read again below.
  while (stop - p >= 8) {
    const Row* r = row->next[p[0]];
    r = r->next[p[1]];
    r = r->next[p[2]];
    r = r->next[p[3]];
    r = r->next[p[4]];
    r = r->next[p[5]];
    r = r->next[p[6]];
    r = r->next[p[7]];
    if (r >= one) break;
    row = r;
    p += 8;
  }
  resume_at = static_cast<std::size_t>(p - begin);
  resume_row = row;
  for (;; ++p) {
    if (p == stop) return 0;
    row = row->next[*p];
    if (row >= one) break;
  }
  ++p;
  index = only_[rows_.Number(row)];
  if (index == 0) return 2;
  end = static_cast<std::size_t>(p - begin);
  row = Run(row, std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(stop - p)));
  return row < rows_.General() ? 1 : 2;
}

bool ConstTable::NameMatcher::Any(std::string_view text) const {
  if (!rows_.Empty()) {
    const Row* const row = Run(rows_.Start(), text);
    // A quote before any occurrence: the rest is read below.
    if (row != rows_.Quote()) return row >= rows_.One();
  }
  const std::size_t a = alphabet_size_;
  std::int32_t node = 0;
  for (char ch : text) {
    const std::uint8_t sym = symbol_[static_cast<unsigned char>(ch)];
    if (sym == 0) {
      node = 0;
      continue;
    }
    node = next_[static_cast<std::size_t>(node) * a + (sym - 1u)];
    if (report_[static_cast<std::size_t>(node)] >= 0) return true;
  }
  return false;
}

void ConstTable::NameMatcher::Find(std::string_view text, std::size_t after,
                                   std::vector<std::uint32_t>& found) const {
  found.clear();
  if (++stamp_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0);
    stamp_ = 1;
  }
  const std::size_t a = alphabet_size_;
  std::int32_t node = 0;
  for (char ch : text) {
    const std::uint8_t sym = symbol_[static_cast<unsigned char>(ch)];
    if (sym == 0) {
      node = 0;
      continue;
    }
    node = next_[static_cast<std::size_t>(node) * a + (sym - 1u)];
    for (std::int32_t n = report_[static_cast<std::size_t>(node)]; n >= 0;
         n = out_link_[static_cast<std::size_t>(n)]) {
      for (std::uint32_t index : out_[static_cast<std::size_t>(n)]) {
        if (index <= after || seen_[index] == stamp_) continue;
        seen_[index] = stamp_;
        found.push_back(index);
      }
    }
  }
  std::sort(found.begin(), found.end());
}

// ---- Substitution ----------------------------------------------------------------------------

void ConstTable::Report_Runaway(std::size_t index) const {
  if (runaway_reported_) return;
  runaway_reported_ = true;
  sink_->Add("Error in CONST:\rThe substitution of " + names_[index] +
                 " does not end.\rA line may grow to 65536 characters and take 10000 replacements.",
             MsgStyle::OkExclamation, "CONST " + names_[index]);
}

void ConstTable::Report_TooMuchWork(std::size_t index) const {
  if (runaway_reported_) return;
  runaway_reported_ = true;
  sink_->Add("Error in CONST:\rThe substitution of " + names_[index] +
                 " takes too long.\rOne compile may search and move " + std::to_string(kMaxSubstitutionWork) +
                 " characters for its constants.",
             MsgStyle::OkExclamation, "CONST " + names_[index]);
}

bool ConstTable::Spend(std::size_t index, std::size_t characters) const {
  if (work_ > kMaxSubstitutionWork) return false;
  work_ += characters;
  if (work_ <= kMaxSubstitutionWork) return true;
  Report_TooMuchWork(index);
  return false;
}

// The literal rule for one constant: find its name from where the last replacement began; the
// first occurrence that is not a whole word ends the work for this name; a whole-word
// occurrence replaces the first occurrence in the line. Returns true when the line changed.
bool ConstTable::Substitute(std::string& line, std::size_t index, int& replacements) const {
  const std::string& name = names_[index];
  const std::string& value = values_[index];
  if (name.empty()) return false;
  bool changed = false;
  std::size_t from = 0;
  // No occurrence of the name begins before first_from: the text before the last replacement
  // held none, so a new one can only reach into the value from at most name.size() - 1 before.
  std::size_t first_from = 0;
  for (;;) {
    const std::size_t pos = Find_NoCase(line, name, from);
    if (!Spend(index,
               (pos == std::string::npos ? line.size() : pos + name.size()) - std::min(from, line.size())))
      break;
    if (pos == std::string::npos) break;
    const std::size_t end = pos + name.size();
    const bool whole =
        (pos == 0 || !Is_AlphaNumeric(line[pos - 1])) && (end >= line.size() || !Is_AlphaNumeric(line[end]));
    if (!whole) {
      // Part of a longer word (the A in EAX): the occurrences after it are still the name's.
      from = pos + 1;
      first_from = std::max(first_from, from);
      continue;
    }
    // A line already longer than the bound may still be substituted as long as it does not grow.
    const bool grows = value.size() > name.size();
    if (++replacements > kMaxReplacementsPerLine ||
        (grows && line.size() - name.size() + value.size() > kMaxSubstitutedLine)) {
      Report_Runaway(index);
      break;
    }
    const std::size_t first = Find_NoCase(line, name, first_from);
    // Moving the rest of the line costs about a sixteenth of searching it.
    const std::size_t moved = value.size() == name.size() ? 0 : (line.size() - first - name.size()) / 16;
    if (!Spend(index, first - first_from + name.size() + value.size() + moved)) break;
    line.replace(first, name.size(), value);
    first_from = first + 1 >= name.size() ? first + 1 - name.size() : 0;
    changed = true;
    from = pos + 1;
  }
  return changed;
}

NamePairs ConstTable::First_Pairs() const {
  NamePairs pairs;
  for (std::size_t i = 1; i < names_.size(); ++i) {
    if (names_[i].size() < 2) return {};
    const auto first = static_cast<std::uint8_t>(names_[i][0] | 0x20);
    const auto second = static_cast<std::uint8_t>(names_[i][1] | 0x20);
    bool known = false;
    for (std::size_t k = 0; k < pairs.count; ++k)
      known = known || (pairs.first[k][0] == first && pairs.second[k][0] == second);
    if (known) continue;
    if (pairs.count == NamePairs::kMax) return {};
    std::fill(std::begin(pairs.first[pairs.count]), std::end(pairs.first[pairs.count]), first);
    std::fill(std::begin(pairs.second[pairs.count]), std::end(pairs.second[pairs.count]), second);
    ++pairs.count;
  }
  return pairs;
}

void ConstTable::Build_Matcher() const {
  if (matcher_built_) return;
  matcher_.Build(names_);
  matcher_built_ = true;
}

bool ConstTable::May_Replace(std::string_view line) const {
  if (Size() == 0 || line.empty()) return false;
  if (!matcher_built_) Build_Matcher();
  // No name begins or ends with a space, so the spaces around the line hide none: the line is
  // read as it is.
  return !matcher_.Usable() || matcher_.Any(line);
}

bool ConstTable::Replace_Consts(std::string& line, Diagnostics& sink) const {
  if (Size() == 0 || line.empty()) return false;
  sink_ = &sink;
  const struct Release {
    Diagnostics*& sink;
    ~Release() { sink = nullptr; }
  } release{sink_};
  if (line.front() == ' ' || line.back() == ' ') line.assign(Trim(line));
  Build_Matcher();
  // Past the bound the box was shown, and the lines stay as written.
  if (line.empty() || work_ > kMaxSubstitutionWork) return true;
  // Most lines hold no name or one; a line with a string goes the long way, piece by piece.
  if (matcher_.Scans() && Substitute_One(line)) return true;
  if (line.find('"') == std::string::npos) {
    Substitute_All(line, false);
    return true;
  }
  // Text in double quotes is data: only the pieces between the strings are substituted.
  std::string out;
  std::string piece;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t open = line.find('"', at);
    piece.assign(line, at, open == std::string::npos ? std::string::npos : open - at);
    Substitute_All(piece, matcher_.Scans());
    out += piece;
    if (open == std::string::npos) break;
    const std::size_t close = line.find('"', open + 1);
    const std::size_t end = close == std::string::npos ? line.size() : close + 1;
    out.append(line, open, end - open);
    at = end;
  }
  line = std::move(out);
  return true;
}

[[gnu::always_inline]] inline bool ConstTable::NameMatcher::Any_From(const Row* row,
                                                                     std::string_view text) const {
  return Run(row, text) >= rows_.One();
}

[[gnu::always_inline]] inline const ConstTable::NameMatcher::Row* ConstTable::NameMatcher::After_Value(
    std::uint32_t index, std::string_view value) const {
  std::uint32_t& kept = value_row_[index];
  if (kept == 0) kept = static_cast<std::uint32_t>(rows_.Number(Run(rows_.Start(), value)) + 1);
  return rows_.Start() + (kept - 1);
}

// Inline: both one-scan paths run it on every line holding a name.
[[gnu::always_inline]] inline bool ConstTable::Plan_One(std::string_view text, std::size_t end,
                                                        std::uint32_t index, std::size_t resume_at,
                                                        const NameMatcher::Row* resume_row,
                                                        bool& replaced) const {
  const std::string& name = names_[index];
  const std::string& value = values_[index];
  const std::size_t size = text.size();
  const std::size_t pos = end - name.size();
  const bool whole =
      (pos == 0 || !Is_AlphaNumeric(text[pos - 1])) && (end >= size || !Is_AlphaNumeric(text[end]));
  std::uint64_t work = 0;
  if (!whole) {
    // Found, then searched for again from the next character to the end.
    work = end + (size - (pos + 1));
  } else {
    if (value.size() > name.size() && size - name.size() + value.size() > kMaxSubstitutedLine) return false;
    // The replaced text must hold no name. None has occurred before the name began; the row
    // there is the start's after a byte no name holds, else it is read from where the scan
    // knows it.
    const NameMatcher::Row* row;
    if (pos == 0 || matcher_.Restarts(text[pos - 1])) {
      row = matcher_.After_Value(index, value);
    } else {
      if (pos < resume_at) {
        resume_at = 0;
        resume_row = matcher_.Start();
      }
      row = matcher_.Run(matcher_.Run(resume_row, text.substr(resume_at, pos - resume_at)), value);
    }
    if (matcher_.Any_From(row, text.substr(end))) return false;
    const std::size_t moved = value.size() == name.size() ? 0 : (size - end) / 16;
    const std::size_t new_size = size - name.size() + value.size();
    // Found; replaced; searched for again after it; the changed line scanned for what follows.
    work = end + (end + value.size() + moved) + (new_size - std::min(pos + 1, new_size)) + new_size;
  }
  if (work_ + work > kMaxSubstitutionWork) return false;
  work_ += work;
  replaced = whole;
  return true;
}

// The outcome and the work counted are those of the general steps (Substitute), found in one
// scan. False when the line needs them: more occurrences, a quote, a box that may be due.
bool ConstTable::Substitute_One(std::string& line) const {
  std::size_t end = 0;
  std::uint32_t index = 0;
  std::size_t resume_at = 0;
  const NameMatcher::Row* resume_row = nullptr;
  const int count = matcher_.First_Only(line, end, index, resume_at, resume_row);
  if (count == 0) return true;
  bool replaced = false;
  if (count > 1 || !Plan_One(line, end, index, resume_at, resume_row, replaced)) return false;
  if (replaced) line.replace(end - names_[index].size(), names_[index].size(), values_[index]);
  return true;
}

bool ConstTable::Substitute_Code(std::string_view code, std::string& out, Diagnostics& sink) const {
  if (Size() == 0 || code.empty()) return false;
  Build_Matcher();
  // The long way: the two calls themselves.
  const auto general = [&] {
    if (!May_Replace(code)) return false;
    std::string line(code);
    if (!Replace_Consts(line, sink) || line == code) return false;
    out = std::move(line);
    return true;
  };
  if (!matcher_.Scans()) return general();
  const std::string_view text = Trim(code);
  std::size_t end = 0;
  std::uint32_t index = 0;
  std::size_t resume_at = 0;
  const NameMatcher::Row* resume_row = nullptr;
  const int count = matcher_.First_Only(text, end, index, resume_at, resume_row);
  if (count == 0) return false;
  bool replaced = false;
  if (count > 1 || work_ > kMaxSubstitutionWork ||
      !Plan_One(text, end, index, resume_at, resume_row, replaced))
    return general();
  if (!replaced) {
    // Only trimmed.
    if (text.size() == code.size()) return false;
    out.assign(text);
    return true;
  }
  const std::size_t pos = end - names_[index].size();
  out.assign(text.substr(0, pos));
  out += values_[index];
  out.append(text.substr(end));
  return out.size() != code.size() || out != code;
}

void ConstTable::Substitute_All(std::string& line, bool try_one) const {
  int replacements = 0;
  if (line.empty() || work_ > kMaxSubstitutionWork) return;  // the box was shown; the lines stay as written
  if (!matcher_.Usable()) {
    for (std::size_t c = 1; c < names_.size(); ++c) Substitute(line, c, replacements);
    return;
  }
  if (try_one && Substitute_One(line)) return;
  // Only constants whose names occur somewhere in the line can change it; after a change the
  // line is scanned again for the constants that follow.
  static thread_local std::vector<std::uint32_t> found;
  matcher_.Find(line, 0, found);
  std::size_t i = 0;
  while (i < found.size()) {
    const std::uint32_t c = found[i++];
    if (Substitute(line, c, replacements)) {
      if (!Spend(c, line.size())) break;
      matcher_.Find(line, c, found);
      i = 0;
    }
  }
}

}  // namespace orvo
