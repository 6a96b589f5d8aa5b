// Every file the system writes (the code file, exports, saved sources) goes through a temporary
// file and a rename. Whatever step fails, the previous file stays whole, no temporary is left,
// and the box names the failing step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "assembler/code_image.h"
#include "ide/file_access.h"
#include "ide/source_files.h"
#include "output/export.h"
#include "support/test_support.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;
using test::Recorder;

// One writer of the system: how it is called and how its boxes look.
struct Writer {
  std::string name;
  std::function<void(const std::string& path, const std::string& bytes)> write;
  std::function<Message(const std::string& path, const std::string& description)> box;
  bool stops;  // source files stop at the first failing step; the others go on
};

std::vector<Writer> Writers() {
  return {
      {"code file",
       [](const std::string& path, const std::string& bytes) {
         CodeImage image;
         image.Append_Code(bytes);
         Save_CodeImage(image, path);
       },
       [](const std::string&, const std::string& d) {
         return Message{d, MsgStyle::OkCritical, "SAVE TO FILE: ORVOIDE.BIN"};
       },
       false},
      {"export",
       [](const std::string& path, const std::string& bytes) { Export_CodeImage(bytes, path, false); },
       [](const std::string& path, const std::string& d) {
         return Message{d, MsgStyle::OkCritical, "Save: " + path};
       },
       false},
      {"source", [](const std::string& path, const std::string& bytes) { Save_SourceFile(path, bytes); },
       [](const std::string& path, const std::string& d) {
         return Message{"Error opening: " + path, MsgStyle::OkCritical, d};
       },
       true},
  };
}

class SafeFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvo-files-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all);
    fs::remove_all(dir_);
  }
  std::string Read(const fs::path& p) {
    std::string error;
    auto data = Read_Whole_File(p.string(), error);
    return data ? *data : "<" + error + ">";
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  fs::path dir_;
};

TEST_F(SafeFiles, DirectoryInTheWay) {
  for (const Writer& w : Writers()) {
    const fs::path target = dir_ / "ORVOIDE.BIN";
    fs::create_directories(target);
    Write_File_Safely((target / "inside").string(), "kept", FailureMode::Stop, nullptr);
    Recorder rec;
    w.write(target.string(), "\x90");
    ASSERT_FALSE(rec.Messages().empty()) << w.name;
    EXPECT_EQ(rec.Messages()[0], w.box(target.string(), Error_Description(EISDIR))) << w.name;
    if (w.stops) {
      EXPECT_EQ(rec.Messages().size(), 1u) << w.name;
    }
    EXPECT_TRUE(fs::is_directory(target)) << w.name;
    EXPECT_EQ(Read(target / "inside"), "kept") << w.name;
    EXPECT_EQ(Entries(), 1u) << w.name << ": a temporary file was left behind";
    fs::remove_all(target);
  }
}

// A folder the user may not write to. CI runs as root, which may write anywhere: there the
// failure is injected at the step where the platform reports it.
TEST_F(SafeFiles, ReadOnlyFolder) {
  const bool root = ::geteuid() == 0;
  for (const Writer& w : Writers()) {
    const fs::path target = dir_ / "ORVOIDE.BIN";
    Write_File_Safely(target.string(), "old", FailureMode::Stop, nullptr);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    Recorder rec;
    if (root) Inject_FileFailure(FileStep::Open, EACCES);
    w.write(target.string(), "new");
    fs::permissions(dir_, fs::perms::owner_all);
    ASSERT_FALSE(rec.Messages().empty()) << w.name;
    EXPECT_EQ(rec.Messages()[0], w.box(target.string(), Error_Description(EACCES))) << w.name;
    EXPECT_EQ(rec.Messages().size(), w.stops ? 1u : 3u) << w.name;  // open, then write and close cannot run
    EXPECT_EQ(Read(target), "old") << w.name;
    EXPECT_EQ(Entries(), 1u) << w.name;
  }
}

// A full disk: the write step fails part-way. A file size limit makes the platform refuse the
// rest of the write as a full disk would, as root too.
TEST_F(SafeFiles, FullDiskDuringTheWrite) {
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  for (const Writer& w : Writers()) {
    const fs::path target = dir_ / "ORVOIDE.BIN";
    Write_File_Safely(target.string(), "old", FailureMode::Stop, nullptr);
    Recorder rec;
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    w.write(target.string(), std::string(100000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_EQ(rec.Messages().size(), 1u) << w.name;
    EXPECT_EQ(rec.Messages()[0], w.box(target.string(), Error_Description(EFBIG))) << w.name;
    EXPECT_EQ(Read(target), "old") << w.name;
    EXPECT_EQ(Entries(), 1u) << w.name;
  }
  std::signal(SIGXFSZ, old_handler);
}

// Every step can fail; each leaves the previous file as it was.
TEST_F(SafeFiles, InjectedFailureAtEachStep) {
  struct Row {
    FileStep step;
    int error;
  };
  const Row rows[] = {{FileStep::Open, EMFILE},
                      {FileStep::Write, ENOSPC},
                      {FileStep::Close, EIO},
                      {FileStep::Replace, EBUSY}};
  for (const Writer& w : Writers()) {
    for (const Row& row : rows) {
      const fs::path target = dir_ / "ORVOIDE.BIN";
      Write_File_Safely(target.string(), "old", FailureMode::Stop, nullptr);
      Recorder rec;
      Inject_FileFailure(row.step, row.error);
      w.write(target.string(), "new");
      ASSERT_FALSE(rec.Messages().empty()) << w.name;
      EXPECT_EQ(rec.Messages()[0], w.box(target.string(), Error_Description(row.error))) << w.name;
      EXPECT_EQ(Read(target), "old") << w.name;
      EXPECT_EQ(Entries(), 1u) << w.name;
    }
  }
}

// A device is written in place: renaming a file over it would replace the device itself.
TEST_F(SafeFiles, DevicesAreWrittenNotReplaced) {
  if (!fs::is_character_file("/dev/full") || ::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const Writer& w : Writers()) {
    Recorder rec;
    w.write("/dev/full", "\x90");
    ASSERT_FALSE(rec.Messages().empty()) << w.name;
    EXPECT_EQ(rec.Messages()[0], w.box("/dev/full", Error_Description(ENOSPC))) << w.name;
    EXPECT_TRUE(fs::is_character_file("/dev/full")) << w.name;
  }
  Recorder rec;
  EXPECT_TRUE(Write_File_Safely("/dev/null", "x", FailureMode::Stop, nullptr));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  // A pipe nobody reads is refused at once rather than waited for.
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string error;
  EXPECT_FALSE(
      Write_File_Safely(fifo.string(), "x", FailureMode::Stop, [&](const std::string& d) { error = d; }));
  EXPECT_EQ(error, Error_Description(ENXIO));
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

// Saving through a symbolic link replaces the file it points at and keeps the link.
TEST_F(SafeFiles, SymbolicLinkIsFollowed) {
  const fs::path real = dir_ / "real.asm";
  const fs::path link = dir_ / "link.asm";
  Write_File_Safely(real.string(), "old", FailureMode::Stop, nullptr);
  fs::create_symlink(real, link);
  Recorder rec;
  ASSERT_TRUE(Save_SourceFile(link.string(), "NOP"));
  EXPECT_TRUE(rec.Messages().empty());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(real), "NOP");
  EXPECT_EQ(Entries(), 2u);
}

}  // namespace
}  // namespace orvo
