// End-to-end: every whole program of tests/golden/ through build/bin/orvo list and build, against
// the expected files beside it (scripts/golden-rebase writes them; git diff is their review).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_runner.h"

namespace {

namespace fs = std::filesystem;
using orvo::test::Run_Orvo;

const fs::path kGoldenDir = fs::path(ORVO_SOURCE_DIR) / "tests" / "golden";
constexpr std::string_view kOptionsLine = "; orvo-options:";
const char* const kExpectedSuffixes[] = {".list", ".hex", ".messages.json", ".status"};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The words after "; orvo-options:" on the first line, as command-line options.
std::string Options_Of(const std::string& source) {
  std::string first = source.substr(0, source.find('\n'));
  if (!first.empty() && first.back() == '\r') first.pop_back();
  if (!first.starts_with(kOptionsLine)) return "";
  return first.substr(kOptionsLine.size());
}

// CR and TAB made visible, so that a line that differs only in them reads as different.
std::string Visible(std::string_view line) {
  std::string out;
  for (const char c : line) {
    if (c == '\r')
      out += "<CR>";
    else if (c == '\t')
      out += "<TAB>";
    else
      out += c;
  }
  return out;
}

std::vector<std::string> Lines_Of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "  (no line feed at the end)");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// "" when equal, otherwise the first line that differs, numbered from 1.
std::string First_Difference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  const std::vector<std::string> want = Lines_Of(expected);
  const std::vector<std::string> got = Lines_Of(actual);
  std::size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  std::ostringstream out;
  out << "first difference at line " << i + 1 << " (expected " << want.size() << " lines, got " << got.size()
      << ")\n  expected: " << (i < want.size() ? Visible(want[i]) : "(end of output)")
      << "\n  actual:   " << (i < got.size() ? Visible(got[i]) : "(end of output)");
  return out.str();
}

std::vector<fs::path> Golden_Programs() {
  std::vector<fs::path> programs;
  if (!fs::is_directory(kGoldenDir)) return programs;
  for (const fs::directory_entry& entry : fs::directory_iterator(kGoldenDir))
    if (entry.path().extension() == ".asm") programs.push_back(entry.path());
  std::sort(programs.begin(), programs.end());
  return programs;
}

TEST(GoldenPrograms, ListAndBuildMatchTheExpectedFiles) {
  const std::vector<fs::path> programs = Golden_Programs();
  ASSERT_FALSE(programs.empty()) << "no programs in " << kGoldenDir;

  // Every file beside the programs is one of their expected files: nothing stale, nothing missing.
  std::set<std::string> expected_names;
  for (const fs::path& program : programs)
    for (const char* suffix : kExpectedSuffixes) expected_names.insert(program.stem().string() + suffix);
  for (const fs::directory_entry& entry : fs::directory_iterator(kGoldenDir)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with('.') || entry.path().extension() == ".asm") continue;
    EXPECT_TRUE(expected_names.contains(name)) << name << " belongs to no program of tests/golden";
  }

  for (const fs::path& program : programs) {
    const std::string name = program.filename().string();
    const fs::path base = program.parent_path() / program.stem();
    for (const char* suffix : kExpectedSuffixes)
      EXPECT_TRUE(fs::exists(base.string() + suffix)) << name << ": no " << suffix << " file";

    const std::string source = Slurp(program);
    const std::string options = Options_Of(source);
    // The options reach a shell: words of letters, digits and dashes only.
    ASSERT_EQ(options.find_first_not_of(" -abcdefghijklmnopqrstuvwxyz0123456789"), std::string::npos)
        << name << ": options" << options;
    const auto listed = Run_Orvo("list --messages json " + options + " -", source);
    const auto built = Run_Orvo("build --messages json " + options + " -", source);
    const std::string boxes = Slurp(base.string() + ".messages.json");
    const struct {
      const char* what;
      std::string actual;
      std::string expected;
    } outputs[] = {
        {"list stdout (.list)", listed.out, Slurp(base.string() + ".list")},
        {"list stderr (.messages.json)", listed.err, boxes},
        {"build stdout (.hex)", built.out, Slurp(base.string() + ".hex")},
        {"build stderr (.messages.json)", built.err, boxes},
        {"exit statuses (.status)",
         "list " + std::to_string(listed.status) + "\nbuild " + std::to_string(built.status) + "\n",
         Slurp(base.string() + ".status")},
    };
    for (const auto& output : outputs) {
      const std::string difference = First_Difference(output.expected, output.actual);
      if (!difference.empty())
        ADD_FAILURE()
            << name << ", " << output.what << ": " << difference
            << "\n(after an intended change of output: scripts/golden-rebase, then review git diff)";
    }
  }
}

// The comparison itself: a difference is found and named by its first line.
TEST(GoldenPrograms, FirstDifferenceNamesTheLine) {
  const struct {
    std::string expected;
    std::string actual;
    std::string report_has;  // "" for equal outputs
  } rows[] = {
      {"", "", ""},
      {"a\nb\n", "a\nb\n", ""},
      {"a\nb\n", "a\nc\n", "line 2 (expected 2 lines, got 2)\n  expected: b\n  actual:   c"},
      {"a\n", "a\nb\n", "line 2 (expected 1 lines, got 2)\n  expected: (end of output)\n  actual:   b"},
      {"a\tb\n", "a\tb\r\n", "expected: a<TAB>b\n  actual:   a<TAB>b<CR>"},
      {"a\n", "a", "actual:   a  (no line feed at the end)"},
      {"1\n", "", "expected: 1\n  actual:   (end of output)"},
  };
  for (const auto& row : rows) {
    const std::string report = First_Difference(row.expected, row.actual);
    if (row.report_has.empty())
      EXPECT_EQ(report, "") << Visible(row.expected);
    else
      EXPECT_NE(report.find(row.report_has), std::string::npos) << report;
  }
  EXPECT_EQ(Options_Of("; orvo-options: --stack\r\nNOP\r\n"), " --stack");
  EXPECT_EQ(Options_Of("NOP\n; orvo-options: --stack\n"), "");
}

}  // namespace
