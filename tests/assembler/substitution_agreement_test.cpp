// The table's quick paths (one scan for a line with one name, the automaton's answers) against
// the general steps written out plainly: random tables of names that hide inside each other,
// values that bring names back, strings, and the bounds on a line and on a compile's work.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "assembler/constants.h"
#include "base/text.h"

namespace orvo {
namespace {

// Whether name occurs in text in any case: the fast string search over a copy in capitals (the
// names are in capitals).
std::size_t Find_Folded(std::string_view text, const std::string& name) { return Upper(text).find(name); }

// The general steps: each constant whose name occurs in the line, in the order defined, by the
// literal rule; after a change, the constants that follow are looked for again. Every character
// searched and moved is counted against the compile's bound.
class PlainSubstitution {
 public:
  explicit PlainSubstitution(const ConstTable& table) : names_(table.Names()), values_(table.Values()) {}

  bool May_Replace(std::string_view line) const {
    if (names_.size() == 1 || line.empty()) return false;
    const std::string folded = Upper(Trim(line));
    for (std::size_t c = 1; c < names_.size(); ++c)
      if (folded.find(names_[c]) != std::string::npos) return true;
    return false;
  }

  bool Replace(std::string& line, Diagnostics& sink) {
    if (names_.size() == 1 || line.empty()) return false;
    sink_ = &sink;
    line = std::string(Trim(line));
    if (line.find('"') == std::string::npos) {
      Substitute_All(line);
      return true;
    }
    std::string out;
    std::size_t at = 0;
    while (at < line.size()) {
      const std::size_t open = line.find('"', at);
      std::string piece = line.substr(at, open == std::string::npos ? std::string::npos : open - at);
      Substitute_All(piece);
      out += piece;
      if (open == std::string::npos) break;
      const std::size_t close = line.find('"', open + 1);
      const std::size_t end = close == std::string::npos ? line.size() : close + 1;
      out.append(line, open, end - open);
      at = end;
    }
    line = out;
    return true;
  }

  std::uint64_t Work() const { return work_; }

 private:
  void Box(std::size_t index, const std::string& why) {
    if (reported_) return;
    reported_ = true;
    sink_->Add("Error in CONST:\rThe substitution of " + names_[index] + why, MsgStyle::OkExclamation,
               "CONST " + names_[index]);
  }

  bool Spend(std::size_t index, std::size_t characters) {
    if (work_ > kMaxSubstitutionWork) return false;
    work_ += characters;
    if (work_ <= kMaxSubstitutionWork) return true;
    Box(index, " takes too long.\rOne compile may search and move " + std::to_string(kMaxSubstitutionWork) +
                   " characters for its constants.");
    return false;
  }

  std::vector<std::uint32_t> Find(std::string_view text, std::size_t after) const {
    std::vector<std::uint32_t> found;
    const std::string folded = Upper(text);  // long lines are searched for every name
    for (std::size_t c = after + 1; c < names_.size(); ++c)
      if (folded.find(names_[c]) != std::string::npos) found.push_back(static_cast<std::uint32_t>(c));
    return found;
  }

  bool Substitute(std::string& line, std::size_t index, int& replacements) {
    const std::string& name = names_[index];
    const std::string& value = values_[index];
    bool changed = false;
    std::size_t from = 0;
    std::size_t first_from = 0;
    for (;;) {
      const std::size_t pos = Find_NoCase(line, name, from);
      if (!Spend(index,
                 (pos == std::string::npos ? line.size() : pos + name.size()) - std::min(from, line.size())))
        break;
      if (pos == std::string::npos) break;
      const std::size_t end = pos + name.size();
      const bool whole = (pos == 0 || !Is_AlphaNumeric(line[pos - 1])) &&
                         (end >= line.size() || !Is_AlphaNumeric(line[end]));
      if (!whole) {
        from = pos + 1;
        first_from = std::max(first_from, from);
        continue;
      }
      if (++replacements > kMaxReplacementsPerLine ||
          (value.size() > name.size() && line.size() - name.size() + value.size() > kMaxSubstitutedLine)) {
        Box(index, " does not end.\rA line may grow to 65536 characters and take 10000 replacements.");
        break;
      }
      const std::size_t first = Find_NoCase(line, name, first_from);
      const std::size_t moved = value.size() == name.size() ? 0 : (line.size() - first - name.size()) / 16;
      if (!Spend(index, first - first_from + name.size() + value.size() + moved)) break;
      line.replace(first, name.size(), value);
      first_from = first + 1 >= name.size() ? first + 1 - name.size() : 0;
      changed = true;
      from = pos + 1;
    }
    return changed;
  }

  void Substitute_All(std::string& line) {
    if (line.empty() || work_ > kMaxSubstitutionWork) return;
    int replacements = 0;
    std::vector<std::uint32_t> found = Find(line, 0);
    std::size_t i = 0;
    while (i < found.size()) {
      const std::uint32_t c = found[i++];
      if (Substitute(line, c, replacements)) {
        if (!Spend(c, line.size())) break;
        found = Find(line, c);
        i = 0;
      }
    }
  }

  const std::vector<std::string>& names_;
  const std::vector<std::string>& values_;
  std::uint64_t work_ = 0;
  bool reported_ = false;
  Diagnostics* sink_ = nullptr;
};

// Words built from few letters, so that names are prefixes, suffixes and middles of each other,
// written in either case.
class Words {
 public:
  explicit Words(std::uint32_t seed) : random_(seed) {}

  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
  bool Chance(int percent) { return Below(100) < static_cast<std::size_t>(percent); }

  std::string Name() {
    static constexpr std::string_view kLetters = "ABXY1_";
    std::string name;
    const std::size_t length = 1 + Below(Chance(20) ? 5 : 3);
    for (std::size_t i = 0; i < length; ++i) name += kLetters[Below(kLetters.size())];
    if (Chance(5)) name += Chance(50) ? " " + Name() : "+";
    return name;
  }

  std::string Any_Case(std::string text) {
    for (char& c : text)
      if (Chance(30)) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return text;
  }

  // Names of the table and other words, between separators; now and then a string.
  std::string Text(const std::vector<std::string>& names, std::size_t pieces) {
    static constexpr std::string_view kSeparators[] = {",", "+", "[", "]", " ", "*", "-", "", ""};
    std::string text;
    for (std::size_t i = 0; i < pieces; ++i) {
      if (Chance(55) && names.size() > 1)
        text += Any_Case(names[1 + Below(names.size() - 1)]);
      else if (Chance(70))
        text += Any_Case(Name());
      else
        text += Chance(50) ? "\"" : "EAX";
      text += kSeparators[Below(std::size(kSeparators))];
    }
    return text;
  }

 private:
  std::mt19937 random_;
};

// One compile's lines through three tables: the two calls pass 2 makes, the one call that does
// both, and the general steps.
struct Comparison {
  std::uint32_t seed;
  ConstTable table;
  ConstTable single;
  PlainSubstitution plain;
  Diagnostics fast_boxes;
  Diagnostics single_boxes;
  Diagnostics plain_boxes;

  explicit Comparison(std::uint32_t s, const ConstTable& defined)
      : seed(s), table(defined), single(defined), plain(table) {}

  void Line(const std::string& line) {
    // Written out only for a failure: the long lines run to megabytes.
    const auto shown = [&] {
      return std::to_string(seed) + ": " + testing::PrintToString(line.substr(0, 200));
    };
    const bool may = plain.May_Replace(line);
    ASSERT_EQ(table.May_Replace(line), may) << shown();
    std::string fast = line;
    std::string slow = line;
    const bool fast_replaced = table.Replace_Consts(fast, fast_boxes);
    const bool slow_replaced = plain.Replace(slow, plain_boxes);
    ASSERT_EQ(fast_replaced, slow_replaced) << shown();
    ASSERT_EQ(fast, slow) << shown();
    std::string out = "unchanged";
    const bool changed = single.Substitute_Code(line, out, single_boxes);
    ASSERT_EQ(changed, may && slow != line) << shown();
    ASSERT_EQ(out, changed ? slow : "unchanged") << shown();
    // A line with no name costs no work, so the one call skipping it keeps the same count.
    ASSERT_EQ(fast_boxes.items().size(), plain_boxes.items().size()) << shown();
    ASSERT_EQ(single_boxes.items().size(), plain_boxes.items().size()) << shown();
    if (!plain_boxes.items().empty()) {
      ASSERT_EQ(fast_boxes.items().back(), plain_boxes.items().back());
      ASSERT_EQ(single_boxes.items().back(), plain_boxes.items().back());
    }
  }
};

// Values hold numbers, other names (defined before or after, so that chains and names brought
// in across the value's edges occur), strings, and with runaways their own name.
ConstTable Random_Table(Words& words, std::size_t count, bool runaways) {
  Diagnostics ignored;
  ConstTable table;
  std::vector<std::string> names(1);
  for (std::size_t i = 0; i < count; ++i) names.push_back(words.Name());
  for (std::size_t i = 1; i <= count; ++i) {
    const std::string& name = names[i];
    std::string value;
    const std::size_t kind = words.Below(10);
    if (kind < 3)
      value = std::to_string(words.Below(1000));
    else if (kind < 7)
      value = words.Text(names, 1 + words.Below(3));
    else if (kind < 8)
      value = "[EBP+" + words.Text(names, 1) + "]";
    else if (runaways)
      value = kind == 8 ? name + "+1" : words.Any_Case(name) + " " + name;
    else
      value = std::string(1 + words.Below(40), '.');
    if (!runaways && Find_Folded(value, name) != std::string::npos) value = "0";
    table.Define_Const(words.Any_Case(name) + (words.Chance(50) ? "=" : " EQU ") + value, ignored);
  }
  return table;
}

// A value that completes a name with the text before or after it, or that holds one: the name is
// substituted when it is defined after the constant replaced, as the general steps do.
struct BroughtIn {
  std::vector<std::string> definitions;
  std::string line;
  std::string expected;
};

TEST(SubstitutionAgreement, NamesBroughtInAcrossTheValuesEdges) {
  const BroughtIn rows[] = {
      {{"B=X", "+X=7"}, "DD ,+B", "DD ,7"},   // the text before and the value
      {{"+X=7", "B=X"}, "DD ,+B", "DD ,+X"},  // the same name defined before: left alone
      {{"B=X", "X+=7"}, "DD B+", "DD 7"},     // the value and the text after
      {{"B=X", "X=7"}, "DD B", "DD 7"},       // the value alone
      {{"X=7", "B=X"}, "DD B", "DD X"},         {{"B=Q X", "Q X=5"}, "PUSH [B]", "PUSH [5]"},
      {{"B=\"X\"", "X=7"}, "DD B", "DD \"7\""},  // the value's quotes came in after the line was cut
      {{"AB=1", "A=2"}, "DD A,AB", "DD 2,1"},   {{"A=2", "AB=1"}, "DD AB,A", "DD 1,2"},
      {{"B=A", "A=B+1"}, "DD B", "DD B+1"},     {{"B=ZZ", "Z=1"}, "DD B", "DD ZZ"},  // inside a longer word
  };
  for (const BroughtIn& row : rows) {
    Diagnostics boxes;
    ConstTable table;
    for (const std::string& d : row.definitions) table.Define_Const(d, boxes);
    Comparison both(0, table);
    both.Line(row.line);
    std::string line = row.line;
    table.Replace_Consts(line, boxes);
    EXPECT_EQ(line, row.expected) << row.line;
  }
  // The text before the name is read from the last step of eight bytes the scan took, or from
  // the line's start when the name began before it: every place of the name against the steps.
  Diagnostics boxes;
  ConstTable table;
  table.Define_Const("BB=X", boxes);
  table.Define_Const("+X=7", boxes);
  for (std::size_t commas = 0; commas < 20; ++commas) {
    std::string line = "DD " + std::string(commas, ',') + "+BB";
    table.Replace_Consts(line, boxes);
    EXPECT_EQ(line, "DD " + std::string(commas, ',') + "7") << commas;
  }
}

TEST(SubstitutionAgreement, RandomTablesAndLines) {
  int boxes = 0;
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    Words words(seed);
    ConstTable table = Random_Table(words, 1 + words.Below(12), seed % 3 == 0);
    const std::vector<std::string> names = table.Names();
    // Every fifth table has too many states for the rows: the general steps answer every line.
    if (seed % 5 == 0) {
      Diagnostics ignored;
      for (int i = 0; i < 300; ++i) table.Define_Const("ZQ" + std::to_string(i) + "=0", ignored);
    }
    Comparison both(seed, table);
    for (int n = 0; n < 60; ++n) {
      std::string line = words.Text(names, words.Below(6));
      if (words.Chance(20)) line = "  " + line + " ";
      both.Line(line);
      if (HasFatalFailure()) return;
    }
    boxes += static_cast<int>(both.fast_boxes.items().size());
  }
  // The runaways were met.
  EXPECT_GT(boxes, 10);
}

// The work of a compile is counted exactly as the general steps count it: after random lines, a
// line that spends the bound to its last character shows no box, the next line that spends any
// shows it. QQ is no part of any random name.
TEST(SubstitutionAgreement, WorkBoundToTheCharacter) {
  int probed = 0;
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    Words words(seed * 7919);
    ConstTable table = Random_Table(words, 8, false);
    const std::vector<std::string> names = table.Names();
    Diagnostics ignored;
    table.Define_Const("QQ=1", ignored);
    Comparison both(seed, table);
    for (int n = 0; n < 400; ++n) {
      both.Line(words.Text(names, 1 + words.Below(5)));
      if (HasFatalFailure()) return;
    }
    // A name inside a longer word is searched through to the end of the line, not replaced.
    const std::string filler = "DD QQZ" + std::string(8'000'000, '.');
    while (both.plain_boxes.items().empty() && kMaxSubstitutionWork - both.plain.Work() > filler.size() * 2)
      both.Line(filler);
    if (!both.plain_boxes.items().empty()) continue;  // a line that does not end came first
    PlainSubstitution trial = both.plain;
    std::string probe = "DD QQZ";
    Diagnostics unseen;
    trial.Replace(probe, unseen);
    const std::uint64_t base = trial.Work() - both.plain.Work();
    both.Line("DD QQZ" + std::string(kMaxSubstitutionWork - both.plain.Work() - base, '.'));
    if (HasFatalFailure()) return;
    ASSERT_TRUE(both.fast_boxes.items().empty()) << seed;
    both.Line(words.Text(names, 1 + words.Below(5)) + ",QQ");
    if (HasFatalFailure()) return;
    ASSERT_EQ(both.fast_boxes.items().size(), 1u) << seed;
    EXPECT_NE(both.fast_boxes.items()[0].text.find("takes too long"), std::string::npos);
    ++probed;
  }
  EXPECT_GE(probed, 3);
}

}  // namespace
}  // namespace orvo
