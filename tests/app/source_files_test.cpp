#include "app/source_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "assembler/compile.h"
#include "base/file_access.h"
#include "support/file_seams.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;
namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void Put(const fs::path& p, std::string_view bytes) {
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct TempDir {
  TempDir() {
    path = fs::temp_directory_path() / ("orvo-src-" + std::to_string(::getpid()) + "-" +
                                        std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

TEST(DialogRequest, ModesTitlesFiltersAndChecks) {
  const auto open = Dialog_Request(kDialogOpen);
  const auto save = Dialog_Request(kDialogSave);
  const auto exp = Dialog_Request(kDialogExport);
  ASSERT_TRUE(open && save && exp);
  EXPECT_EQ(open->title, "Open ORVO source");
  EXPECT_EQ(save->title, "Save ORVO source");
  EXPECT_EQ(exp->title, "Export ORVO compiler output");
  EXPECT_TRUE(open->must_exist && !open->save && !open->confirm_overwrite);
  EXPECT_TRUE(save->save && save->confirm_overwrite && !save->must_exist);
  EXPECT_TRUE(exp->save && exp->confirm_overwrite);
  const std::string_view source[] = {"ORVO source (*.ASM)", "Text Files (*.txt)", "All files (*.*)"};
  const std::string_view code[] = {"Binary file (*.BIN)", "Hex file (*.HEX)", "All files (*.*)"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(open->filters[i].name, source[i]);
    EXPECT_EQ(save->filters[i].name, source[i]);
    EXPECT_EQ(exp->filters[i].name, code[i]);
  }
  EXPECT_EQ(open->filter_index, 1);
  EXPECT_EQ(open->start_folder, Current_Folder());
  for (int mode : {0, 4, -1}) EXPECT_FALSE(Dialog_Request(mode)) << mode;
}

TEST(DecideDialog, CompletesNamesAndPicksExportForm) {
  struct Row {
    int mode;
    std::string typed;
    int filter;
    std::string file;
    ExportForm form;
  };
  // clang-format off
  const Row rows[] = {
      {kDialogSave,   "/d/prog",         1, "/d/prog.ASM",     ExportForm::None},
      {kDialogSave,   "/d/prog",         2, "/d/prog.TXT",     ExportForm::None},
      {kDialogSave,   "/d/prog",         3, "/d/prog.ASM",     ExportForm::None},
      {kDialogOpen,   "/d/prog",         2, "/d/prog.TXT",     ExportForm::None},
      {kDialogSave,   "/d/prog.asm",     2, "/d/prog.asm",     ExportForm::None},
      {kDialogSave,   "/d.x/prog",       1, "/d.x/prog.ASM",   ExportForm::None},  // a dot in the folder is no extension
      {kDialogExport, "/d/code",         1, "/d/code.BIN",     ExportForm::Bin},
      {kDialogExport, "/d/code",         2, "/d/code.HEX",     ExportForm::Hex},
      {kDialogExport, "/d/code",         3, "/d/code",         ExportForm::Bin},
      {kDialogExport, "/d/out.bin",      2, "/d/out.bin",      ExportForm::Hex},
      {kDialogExport, std::string("/d/a\0junk", 9), 1, "/d/a.BIN", ExportForm::Bin},
  };
  // clang-format on
  for (const Row& r : rows) {
    const DialogOutcome out = Decide_Dialog(r.mode, {true, r.typed, r.filter});
    EXPECT_EQ(out.file, r.file) << r.mode << " " << r.typed << " " << r.filter;
    EXPECT_EQ(out.export_form, r.form) << r.typed;
  }
  EXPECT_TRUE(Decide_Dialog(kDialogExport, {false, "/d/code", 2}).file.empty());
  EXPECT_EQ(Decide_Dialog(kDialogExport, {false, "/d/code", 2}).export_form, ExportForm::None);
}

TEST(MendLineEnds, LoneLfBecomesCrLf) {
  const std::pair<std::string_view, std::string_view> rows[] = {
      {"", ""},         {"A\nB", "A\r\nB"},       {"A\r\nB", "A\r\nB"}, {"\n\n", "\r\n\r\n"},
      {"A\rB", "A\rB"}, {"A\r\r\nB", "A\r\r\nB"}, {"\n", "\r\n"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(Mend_LineEnds(in), out);
  // Longer texts, whose line feeds fall on every place of the sixteen-byte steps.
  std::mt19937 rng(11);
  for (int t = 0; t < 200; ++t) {
    std::string text(rng() % 80, 'x');
    for (char& c : text) c = "\n\rab"[rng() % 4];
    std::string expected;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) expected += '\r';
      expected += text[i];
    }
    EXPECT_EQ(Mend_LineEnds(std::string_view(text)), expected) << testing::PrintToString(text);
    EXPECT_EQ(Mend_LineEnds(std::string(text)), expected) << testing::PrintToString(text);
  }
}

// A file compiled as read splits into the lines of its mended copy: every break kind at every
// place, at the ends and across the sixteen-byte steps of the line feed search.
TEST(MendLineEnds, LoneLfLinesAreThoseOfTheMendedText) {
  std::vector<std::string> texts = {
      "",     "\n",       "\r",         "\r\n",       "\n\n",          "\r\r\n\n", "\n\r\n",
      "A\nB", "A\r\nB\n", "A\rB\r\n\r", "\r\n\n\r\n", "x\r\r\n\r\n\n", "\n\nA\n\n"};
  std::mt19937 rng(7);
  for (int t = 0; t < 300; ++t) {
    std::string text(rng() % 70, 'x');
    for (char& c : text) c = "\r\nab"[rng() % (t % 3 == 0 ? 2 : 4)];
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    SourceLines lines;
    lines.Reset(text, LineBreaks::CrLfOrLf);
    const std::string mended = Mend_LineEnds(std::string_view(text));
    const std::vector<std::string_view> expected = Split_Lines(mended);
    ASSERT_EQ(lines.Size(), expected.size()) << testing::PrintToString(text);
    for (std::size_t i = 0; i < expected.size(); ++i)
      EXPECT_EQ(lines[i], expected[i]) << testing::PrintToString(text) << " line " << i;
  }
}

TEST(SourceFiles, LoadMissingFileShowsBoxAndCreatesNothing) {
  TempDir dir;
  Recorder rec;
  const std::string path = (dir.path / "nothere.ASM").string();
  EXPECT_FALSE(Load_SourceFile(path));
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0],
            (Message{"Error opening: " + path, MsgStyle::OkCritical, std::strerror(ENOENT)}));
  EXPECT_FALSE(fs::exists(path));
}

TEST(SourceFiles, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  const fs::path path = dir.path / "keep.ASM";
  Put(path, "OLD CONTENT\r\n");
  for (FileStep step : {FileStep::Open, FileStep::Write, FileStep::Close, FileStep::Replace}) {
    Recorder rec;
    Inject_FileFailure(step, ENOSPC);
    EXPECT_FALSE(Save_SourceFile(path.string(), "NEW"));
    ASSERT_EQ(rec.Messages().size(), 1u) << static_cast<int>(step);
    EXPECT_EQ(rec.Messages()[0].text, "Error opening: " + path.string());
    EXPECT_EQ(rec.Messages()[0].title, std::strerror(ENOSPC));
    EXPECT_EQ(Slurp(path), "OLD CONTENT\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1)
        << "temp left behind";
  }
}

TEST(SourceFiles, SaveThenLoadKeepsEveryByte) {
  TempDir dir;
  Recorder rec;
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string path = (dir.path / "bytes.TXT").string();
  Put(path, "a much longer previous file that must not leave a tail behind");
  ASSERT_TRUE(Save_SourceFile(path, all));
  EXPECT_EQ(Slurp(path), all);
  // Only the lone LF (0Ah after 09h) gains a CR on the way in.
  const std::string expected = all.substr(0, 10) + '\r' + all.substr(10);
  EXPECT_EQ(Load_SourceFile(path), expected);
  EXPECT_TRUE(rec.Messages().empty());
}

}  // namespace
}  // namespace orvo
