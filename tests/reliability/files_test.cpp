// Every file the system writes (the code file, exports, saved sources) goes through a temporary
// file and a rename. Whatever step fails, the previous file stays whole, no temporary is left,
// and the box names the failing step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/source_files.h"
#include "assembler/code_image.h"
#include "base/file_access.h"
#include "base/hex.h"
#include "output/export.h"
#include "support/file_seams.h"
#include "support/shown.h"
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
  bool as_hex = false;  // the file holds the bytes' hex text
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
      // The hex text is made in pieces while it is written: a failure part-way stops the pieces.
      {"hex export",
       [](const std::string& path, const std::string& bytes) { Export_CodeImage(bytes, path, true); },
       [](const std::string& path, const std::string& d) {
         return Message{d, MsgStyle::OkCritical, "Save: " + path};
       },
       false, true},
      {"pieces",
       [](const std::string& path, const std::string& bytes) {
         const auto pieces = [&bytes](const BytePut& put) {
           for (std::size_t at = 0; at < bytes.size(); at += 7)
             if (!put(std::string_view(bytes).substr(at, 7))) return;
         };
         Write_File_Safely(path, pieces, FailureMode::Stop,
                           [](const std::string& d) { Show_Message(d, MsgStyle::OkCritical, "pieces"); });
       },
       [](const std::string&, const std::string& d) { return Message{d, MsgStyle::OkCritical, "pieces"}; },
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
  const std::string full = test::Full_Device(dir_.string());
  const std::string null = test::Null_Device(dir_.string());
  ASSERT_TRUE(fs::is_character_file(full) && ::access(full.c_str(), W_OK) == 0);
  for (const Writer& w : Writers()) {
    Recorder rec;
    w.write(full, "\x90");
    ASSERT_FALSE(rec.Messages().empty()) << w.name;
    EXPECT_EQ(rec.Messages()[0], w.box(full, Error_Description(ENOSPC))) << w.name;
    EXPECT_TRUE(fs::is_character_file(full)) << w.name;
  }
  Recorder rec;
  EXPECT_TRUE(Write_File_Safely(null, "x", FailureMode::Stop, nullptr));
  EXPECT_TRUE(fs::is_character_file(null));
  // A pipe nobody reads is refused at once rather than waited for.
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string error;
  EXPECT_FALSE(
      Write_File_Safely(fifo.string(), "x", FailureMode::Stop, [&](const std::string& d) { error = d; }));
  EXPECT_EQ(error, Error_Description(ENXIO));
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

// Bytes made piece by piece land in order, in a plain file and through a device alike; the
// pieces stop being asked for once a write failed.
TEST_F(SafeFiles, PiecesAreWrittenInOrder) {
  std::string image;
  for (int i = 0; i < 100000; ++i) image.push_back(static_cast<char>(i * 7));
  const fs::path target = dir_ / "out.hex";
  Recorder rec;
  ASSERT_TRUE(Export_CodeImage(image, target.string(), true));
  EXPECT_EQ(Read(target), Hex_Text(image));
  int asked = 0;
  const auto two_pieces = [&asked](const BytePut& put) {
    ++asked;
    put("AB") && put("") && put("CD");
  };
  ASSERT_TRUE(Write_File_Safely(target.string(), two_pieces, FailureMode::Stop, nullptr));
  EXPECT_EQ(Read(target), "ABCD");
  EXPECT_TRUE(Write_File_Safely(test::Null_Device(dir_.string()), two_pieces, FailureMode::Stop, nullptr));
  EXPECT_EQ(asked, 2);
  // Failures before the write step never ask for the bytes.
  Inject_FileFailure(FileStep::Open, EMFILE);
  EXPECT_FALSE(Write_File_Safely(target.string(), two_pieces, FailureMode::Stop, nullptr));
  Inject_FileFailure(FileStep::Write, ENOSPC);
  EXPECT_FALSE(Write_File_Safely(target.string(), two_pieces, FailureMode::Stop, nullptr));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(Read(target), "ABCD");
  EXPECT_TRUE(rec.Messages().empty());
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

// A writer killed in the middle of a write (here by the file size limit's signal, as abrupt as
// kill -9) leaves the old file and no partial temporary: an unnamed temporary vanishes with its
// writer; a named one (file systems without unnamed files) is removed by the next write.
TEST_F(SafeFiles, KilledWriterLeavesNoTemporary) {
  for (const bool named : {false, true}) {
    const fs::path target = dir_ / "code.bin";
    ASSERT_TRUE(Write_File_Safely(target.string(), "old", FailureMode::Stop, nullptr));
    Use_NamedTemporaries(named);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::signal(SIGXFSZ, SIG_DFL);
      rlimit small{4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &small);
      Write_File_Safely(target.string(), std::string(100000, 'x'), FailureMode::Stop, nullptr);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(Read(target), "old");
    if (named) {
      EXPECT_EQ(Entries(), 2u) << "the killed writer's temporary";
      ASSERT_TRUE(Write_File_Safely((dir_ / "other.bin").string(), "x", FailureMode::Stop, nullptr));
      fs::remove(dir_ / "other.bin");
    }
    EXPECT_EQ(Entries(), 1u) << (named ? "named" : "unnamed") << ": a partial temporary was left behind";
    Use_NamedTemporaries(false);
  }
}

// Both kinds of temporary replace the file the same way.
TEST_F(SafeFiles, NamedTemporariesReplaceLikeUnnamedOnes) {
  Use_NamedTemporaries(true);
  const fs::path target = dir_ / "code.bin";
  EXPECT_TRUE(Write_File_Safely(target.string(), "old", FailureMode::Stop, nullptr));
  EXPECT_TRUE(Write_File_Safely(target.string(), "new", FailureMode::Stop, nullptr));
  EXPECT_EQ(Read(target), "new");
  Inject_FileFailure(FileStep::Replace, EBUSY);
  EXPECT_FALSE(Write_File_Safely(target.string(), "lost", FailureMode::Stop, nullptr));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(Entries(), 1u);
  Use_NamedTemporaries(false);
}

// Temporaries of ours whose writer died are removed by the next write into the folder; those
// of a live writer and other files stay.
TEST_F(SafeFiles, StaleTemporariesOfDeadWritersAreRemoved) {
  const pid_t dead = ::fork();
  ASSERT_GE(dead, 0);
  if (dead == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  struct Row {
    std::string name;
    bool stays;
  };
  const Row rows[] = {
      {".orvo-tmp-" + std::to_string(dead) + "-0BADF00D", false},
      {".orvo-tmp-1-0BADF00D", true},  // init runs
      {".orvo-tmp-" + std::to_string(::getpid()) + "-0BADF00D", true},
      {".orvo-tmp-x-0BADF00D", true},
      {".code.bin.tmp-0BADF00D", true},
      {"notes.txt", true},
  };
  for (const Row& row : rows) std::ofstream(dir_ / row.name) << "partial";
  ASSERT_TRUE(Write_File_Safely((dir_ / "code.bin").string(), "new", FailureMode::Stop, nullptr));
  for (const Row& row : rows) EXPECT_EQ(fs::exists(dir_ / row.name), row.stays) << row.name;
  EXPECT_EQ(Read(dir_ / "code.bin"), "new");
}

// The temporary's name does not depend on the target's: every name the system allows can be written.
TEST_F(SafeFiles, LongestNamesCanBeWritten) {
  for (std::size_t length : {std::size_t{1}, std::size_t{240}, std::size_t{242}, std::size_t{NAME_MAX}}) {
    const fs::path target = dir_ / std::string(length, 'n');
    std::string error;
    EXPECT_TRUE(Write_File_Safely(target.string(), "new", FailureMode::Stop,
                                  [&](const std::string& d) { error = d; }))
        << length << ": " << error;
    EXPECT_EQ(Read(target), "new") << length;
    fs::remove(target);
    EXPECT_EQ(Entries(), 0u) << length;
  }
}

// A link to a missing file: the file is created where the link points and the link stays; a
// failing write removes what it created. A loop of links is refused and left alone.
TEST_F(SafeFiles, LinksToMissingFilesAndLoops) {
  const fs::path link = dir_ / "out.bin";
  fs::create_symlink("made.bin", link);
  Inject_FileFailure(FileStep::Write, ENOSPC);
  EXPECT_FALSE(Write_File_Safely(link.string(), "new", FailureMode::Stop, nullptr));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_FALSE(fs::exists(dir_ / "made.bin"));
  EXPECT_EQ(Entries(), 1u);

  EXPECT_TRUE(Write_File_Safely(link.string(), "new", FailureMode::Stop, nullptr));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "made.bin");
  EXPECT_EQ(Read(dir_ / "made.bin"), "new");
  EXPECT_EQ(Entries(), 2u);

  fs::create_symlink("loop2", dir_ / "loop1");
  fs::create_symlink("loop1", dir_ / "loop2");
  std::string error;
  EXPECT_FALSE(Write_File_Safely((dir_ / "loop1").string(), "new", FailureMode::Stop,
                                 [&](const std::string& d) { error = d; }));
  EXPECT_EQ(error, Error_Description(ELOOP));
  EXPECT_TRUE(fs::is_symlink(dir_ / "loop1"));
  EXPECT_EQ(Entries(), 4u);
}

// A replaced file keeps its permission bits, whatever the creation mask would give a new one.
TEST_F(SafeFiles, ReplacedFileKeepsItsPermissions) {
  const mode_t saved_mask = ::umask(022);
  for (const Writer& w : Writers()) {
    for (const mode_t mode : {mode_t{0600}, mode_t{0666}, mode_t{0640}, mode_t{0755}, mode_t{0400}}) {
      const fs::path target = dir_ / "kept.bin";
      ASSERT_TRUE(Write_File_Safely(target.string(), "old", FailureMode::Stop, nullptr));
      ASSERT_EQ(::chmod(target.c_str(), mode), 0);
      Recorder rec;
      w.write(target.string(), "new");
      EXPECT_TRUE(rec.Messages().empty()) << w.name;
      struct stat st {};
      ASSERT_EQ(::stat(target.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, mode) << w.name << std::oct << " " << mode;
      EXPECT_EQ(Read(target), w.as_hex ? Hex_Text("new") : "new") << w.name;
      fs::remove(target);
    }
  }
  // A new file gets the usual permissions under the mask.
  const fs::path fresh = dir_ / "fresh.bin";
  ASSERT_TRUE(Write_File_Safely(fresh.string(), "new", FailureMode::Stop, nullptr));
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ::umask(saved_mask);
}

// The window's Open reads regular files only: a pipe without a writer must not block it, and a
// device or an oversized file is refused with the "Error opening: " box.
TEST_F(SafeFiles, OpenRefusesWhatIsNotASourceFile) {
  const fs::path fifo = dir_ / "pipe.asm";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path huge = dir_ / "huge.asm";
  std::ofstream(huge).close();
  ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kMaxSourceBytes) + 1), 0);
  fs::create_directories(dir_ / "folder.asm");
  struct Row {
    std::string path;
    std::string description;
  };
  const Row rows[] = {
      {fifo.string(), "Not a regular file"},
      {"/dev/null", "Not a regular file"},
      {"/dev/zero", "Not a regular file"},
      {(dir_ / "folder.asm").string(), Error_Description(EISDIR)},
      {huge.string(), Error_Description(EFBIG) + ": more than 256 MiB"},
      {(dir_ / "missing.asm").string(), Error_Description(ENOENT)},
  };
  for (const Row& row : rows) {
    Recorder rec;
    EXPECT_FALSE(Load_SourceFile(row.path)) << row.path;
    ASSERT_EQ(rec.Messages().size(), 1u) << row.path;
    EXPECT_EQ(rec.Messages()[0],
              (Message{"Error opening: " + row.path, MsgStyle::OkCritical, row.description}));
  }
}

// Reading stops one byte past the limit, from a file and from a pipe, across read chunks.
TEST_F(SafeFiles, ReadLimitBoundaries) {
  struct Row {
    std::size_t size;
    std::size_t limit;
    bool read;
  };
  const Row rows[] = {{0, 0, true},           {1, 0, false},           {5, 5, true},
                      {6, 5, false},          {65536, 65536, true},    {65537, 65536, false},
                      {200000, 200000, true}, {200001, 200000, false}, {200000, std::size_t(-1), true}};
  for (const Row& row : rows) {
    const std::string bytes(row.size, 'b');
    const fs::path file = dir_ / "source.asm";
    ASSERT_TRUE(Write_File_Safely(file.string(), bytes, FailureMode::Stop, nullptr));
    std::string error;
    ReadLimits limits;
    limits.max_bytes = row.limit;
    const auto from_file = Read_Whole_File(file.string(), error, limits);
    EXPECT_EQ(from_file.has_value(), row.read) << row.size << "/" << row.limit << " " << error;
    if (from_file) {
      EXPECT_EQ(*from_file, bytes) << row.size;
    } else {
      EXPECT_EQ(error.rfind(Error_Description(EFBIG) + ": more than ", 0), 0u) << error;
    }
    // The same through a pipe fed by a child (the pipe holds less than the largest rows).
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fds[1], bytes.data() + done, bytes.size() - done);
        if (n <= 0) ::_exit(1);
        done += static_cast<std::size_t>(n);
      }
      ::_exit(0);
    }
    ::close(fds[1]);
    const auto from_pipe = Read_Whole_Descriptor(fds[0], error, row.limit);
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(from_pipe.has_value(), row.read) << "pipe " << row.size << "/" << row.limit;
    if (from_pipe) {
      EXPECT_EQ(from_pipe->size(), row.size);
    }
  }
}

// Mending line ends in place gives the same text as mending a copy.
TEST(MendInPlace, SameAsACopy) {
  std::string mixed;
  for (int i = 0; i < 5000; ++i) mixed += (i % 3 == 0) ? "MOV EAX,1\r\n" : (i % 3 == 1 ? "NOP\n" : "\n\r");
  const std::string rows[] = {"",       "\n",  "\r\n",  "\n\n",       "a\nb", "a\r\nb\n",
                              "\r\r\n", "x\r", "\nx\n", "\r\n\n\r\n", "abc",  mixed};
  for (const std::string& row : rows) {
    std::string copy = row;
    EXPECT_EQ(Mend_LineEnds(std::move(copy)), Mend_LineEnds(std::string_view(row))) << row.size();
  }
  EXPECT_EQ(Mend_LineEnds(std::string("a\nb\r\nc\n")), "a\r\nb\r\nc\r\n");
  // A big Unix text is held once, without the slack of a doubled buffer; a text that needs no
  // mending keeps its own buffer.
  std::string unix_text;
  for (int i = 0; i < 100000; ++i) unix_text += "NOP\n";
  const std::string mended = Mend_LineEnds(std::move(unix_text));
  EXPECT_EQ(mended.size(), 500000u);
  EXPECT_LT(mended.capacity(), mended.size() + 64);
  std::string dos_text = mended;
  const char* const buffer = dos_text.data();
  EXPECT_EQ(Mend_LineEnds(std::move(dos_text)).data(), buffer);
}

}  // namespace
}  // namespace orvo
