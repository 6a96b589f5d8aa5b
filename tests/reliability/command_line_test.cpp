// The command line used as a hostile user would: standard streams closed or pointing at the
// wrong thing, OUT naming SOURCE, endless or huge sources, odd option values. Each ends with a
// clear message and the contract's exit status, never a crash, a hang or a false success.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/source_files.h"
#include "support/test_support.h"

#ifndef ORVO_BINARY_DIR
#define ORVO_BINARY_DIR "."
#endif

namespace orvo {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CommandLine : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvo-cmdline-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Put("add.asm", "MOV EAX,[ESP+4]\nADD EAX,[ESP+8]\nRET 16\n");
    Put("ret7.asm", "MOV EAX,7\nRET 16\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string Get(const std::string& name) { return Slurp(dir_ / name); }

  // Runs a shell line in the test folder; ORVO stands for the program. The line may redirect
  // or close its own streams; standard input is empty unless it says otherwise.
  Outcome Sh(std::string line) {
    const std::string program = std::string("'") + ORVO_BINARY_DIR + "/bin/orvo'";
    for (std::size_t at; (at = line.find("ORVO")) != std::string::npos;) line.replace(at, 4, program);
    const std::string command = "cd '" + dir_.string() + "' && ( " + line + " ) </dev/null >'" +
                                (dir_ / ".out").string() + "' 2>'" + (dir_ / ".err").string() + "'";
    const int raw = std::system(command.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = Slurp(dir_ / ".out");
    o.err = Slurp(dir_ / ".err");
    fs::remove(dir_ / ".out");
    fs::remove(dir_ / ".err");
    return o;
  }

  fs::path dir_;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct ShellRow {
  std::string line;
  int status;
  std::string in_err;  // expected somewhere in stderr ("" = stderr empty)
  std::string out;     // expected stdout ("*" = not checked)
};

void Check(const ShellRow& row, const Outcome& o) {
  EXPECT_EQ(o.status, row.status) << row.line << "\n" << o.err;
  if (row.in_err.empty()) {
    EXPECT_EQ(o.err, "") << row.line;
  } else {
    EXPECT_TRUE(Has(o.err, row.in_err)) << row.line << "\n" << o.err;
  }
  if (row.out != "*") {
    EXPECT_EQ(o.out, row.out) << row.line;
  }
}

// A source is at most 256 MiB; an endless one stops there instead of growing without bound.
TEST_F(CommandLine, SourceBeyondTheLimitIsRefused) {
  { std::ofstream(dir_ / "huge.asm"); }
  ASSERT_EQ(::truncate((dir_ / "huge.asm").c_str(), static_cast<off_t>(kMaxSourceBytes) + 1), 0);
  const ShellRow rows[] = {
      {"ORVO build /dev/zero", 2, "cannot read /dev/zero: File too large: more than 256 MiB", ""},
      {"ORVO list - </dev/zero", 2, "cannot read standard input: File too large: more than 256 MiB", ""},
      {"ORVO build huge.asm", 2, "more than 256 MiB", ""},
      {"ORVO run huge.asm", 2, "more than 256 MiB", ""},
  };
  for (const ShellRow& row : rows) Check(row, Sh(row.line));
}

// Running out of memory is a message and status 1, not an abort.
// AddressSanitizer reserves terabytes of shadow memory (an address-space limit stops it at start)
// and ends the process itself when an allocation fails, so the out-of-memory path is checked in the
// build without it.
#if !defined(__SANITIZE_ADDRESS__)
TEST_F(CommandLine, OutOfMemoryIsAMessage) {
  const ShellRow row{"ulimit -v 200000; head -c 60000000 /dev/zero | tr '\\0' '\\n' | ORVO build -", 1,
                     "orvo: out of memory", ""};
  Check(row, Sh(row.line));
}
#endif

TEST_F(CommandLine, UnreadableStandardInput) {
  fs::create_directories(dir_ / "folder");
  const ShellRow rows[] = {
      {"ORVO build - <folder", 2, "cannot read standard input: Is a directory", ""},
      {"ORVO build - <&-", 2, "cannot read standard input: Bad file descriptor", ""},
      {"ORVO build -o out.bin - <&-", 2, "cannot read standard input", ""},
      {"ORVO list - <folder", 2, "cannot read standard input", ""},
      {"ORVO run - <&-", 2, "cannot read standard input", ""},
  };
  for (const ShellRow& row : rows) Check(row, Sh(row.line));
  EXPECT_FALSE(fs::exists(dir_ / "out.bin"));
}

// OUT naming SOURCE would replace the program with its code: refused however it is named.
TEST_F(CommandLine, OutputOverTheSourceIsRefused) {
  fs::create_symlink("add.asm", dir_ / "link.asm");
  fs::create_hard_link(dir_ / "add.asm", dir_ / "hard.asm");
  fs::create_directories(dir_ / "sub");
  const ShellRow rows[] = {
      {"ORVO build -o add.asm add.asm", 2, "names the source file", ""},
      {"ORVO build --format bin -o ./sub/../add.asm add.asm", 2, "names the source file", ""},
      {"ORVO build -o link.asm add.asm", 2, "names the source file", ""},
      {"ORVO build -o add.asm link.asm", 2, "names the source file", ""},
      {"ORVO build -o hard.asm add.asm", 2, "names the source file", ""},
      {"ORVO build -o add.asm - <add.asm", 2, "names the source file", ""},
  };
  for (const ShellRow& row : rows) Check(row, Sh(row.line));
  EXPECT_EQ(Get("add.asm"), "MOV EAX,[ESP+4]\nADD EAX,[ESP+8]\nRET 16\n");
  // A different file is written as before.
  Check({"ORVO build -o code.hex add.asm", 0, "", ""}, Sh("ORVO build -o code.hex add.asm"));
  EXPECT_EQ(Get("code.hex"), "8B44240403442408C21000");
}

// Output that cannot be written is a failure with a message, for every subcommand.
TEST_F(CommandLine, LostOutputIsAFailure) {
  const ShellRow rows[] = {
      {"ORVO run ret7.asm >/dev/full", 1, "cannot write standard output: No space left on device", "*"},
      {"ORVO run ret7.asm >&-", 1, "cannot write standard output: Bad file descriptor", "*"},
      {"ORVO run --registers ret7.asm >&-", 1, "cannot write standard output", "*"},
      {"ORVO list ret7.asm >/dev/full", 1, "cannot write standard output: No space left on device", "*"},
      {"ORVO list ret7.asm >&-", 1, "cannot write standard output", "*"},
      {"ORVO build ret7.asm >/dev/full", 1, "cannot write standard output: No space left on device", "*"},
      {"ORVO build --format bin ret7.asm >&-", 1, "cannot write standard output", "*"},
      // Boxes of build go to stderr: a lost box is a lost result.
      {"ORVO build - <boxed.asm 2>/dev/full", 1, "", "*"},
      {"ORVO build - <boxed.asm 2>/dev/null", 1, "", "*"},
  };
  Put("boxed.asm", "CONST X = X\nPUSH X\n");  // a box about X, which fails the compile
  for (const ShellRow& row : rows) Check(row, Sh(row.line));
  // -o names the device itself: a node of the test's own when it runs as root.
  const std::string full = test::Full_Device(dir_.string());
  const std::string to_full = "ORVO build -o '" + full + "' ret7.asm";
  Check({to_full, 1, "cannot write " + full + ": No space left on device", "*"}, Sh(to_full));
  EXPECT_TRUE(fs::is_character_file(full));
  // With stdout closed, the code file must not receive what was meant for stdout.
  Check({"ORVO build -o code.bin --format bin ret7.asm >&-", 0, "", ""},
        Sh("ORVO build -o code.bin --format bin ret7.asm >&-"));
  EXPECT_EQ(Get("code.bin"), std::string("\xB8\x07\x00\x00\x00\xC2\x10\x00", 8));
}

TEST_F(CommandLine, TimeoutValues) {
  const std::string range = "greater than 0 (at most 4000";
  const ShellRow rows[] = {
      {"ORVO run --timeout NaN ret7.asm", 2, range, ""},
      {"ORVO run --timeout nan ret7.asm", 2, range, ""},
      {"ORVO run --timeout inf ret7.asm", 2, range, ""},
      {"ORVO run --timeout 0 ret7.asm", 2, range, ""},
      {"ORVO run --timeout -1 ret7.asm", 2, range, ""},
      {"ORVO run --timeout 5s ret7.asm", 2, range, ""},
      {"ORVO run --timeout '' ret7.asm", 2, range, ""},
      {"ORVO run --timeout 4000 ret7.asm", 0, "", "[ORVO IDE]\nFUNCTION RETURN: 7\n"},
      {"ORVO run --timeout 4001 ret7.asm", 0,
       "--timeout 4001 is more than 4000 seconds; the routine gets 4000", "[ORVO IDE]\nFUNCTION RETURN: 7\n"},
      {"ORVO run --timeout 1e9 ret7.asm", 0, "--timeout 1e9 is more than 4000 seconds", "*"},
      {"ORVO run --timeout 0.001 ret7.asm", 0, "", "*"},
      {"ORVO run --timeout 0.0001 ret7.asm", 0, "--timeout 0.0001 is less than 0.001 seconds", "*"},
  };
  for (const ShellRow& row : rows) {
    const Outcome o = Sh(row.line);
    Check(row, o);
    EXPECT_FALSE(Has(o.err, "17976931")) << row.line << ": the range is said in plain numbers";
  }
  // A routine that does not return in time fails.
  Put("spin.asm", "L:\nNOP\nJMP L\n");
  const Outcome o = Sh("ORVO run --timeout 0.2 spin.asm");
  EXPECT_EQ(o.status, 1) << o.out;
}

// Arguments that look like negative numbers are arguments; "--" may stand anywhere before them.
TEST_F(CommandLine, ArgumentsAndTheEndOfOptions) {
  const std::string sum = "[ORVO IDE]\nFUNCTION RETURN: ";
  const ShellRow rows[] = {
      {"ORVO run add.asm -3 5", 0, "", sum + "2\n"},
      {"ORVO run add.asm -- 0 5", 0, "", sum + "5\n"},
      {"ORVO run -- add.asm 1 2", 0, "", sum + "3\n"},
      {"ORVO run add.asm -.5 5", 0, "", sum + "5\n"},
      {"ORVO run add.asm 5 -.5", 0, "", sum + "5\n"},
      {"ORVO run add.asm -- -1 -2", 0, "", sum + "-3\n"},
      {"ORVO run --timeout -- add.asm 1 2", 2, "", "*"},  // "--" is the option's value here
      {"ORVO run --timeout=5 --messages json add.asm -4 1", 0, "",
       "{\"title\": null, \"text\": \"FUNCTION RETURN: -3\", \"buttons\": \"ok\", \"icon\": \"none\"}\n"},
      {"ORVO run add.asm --messages json -- -4 1", 0, "",
       "{\"title\": null, \"text\": \"FUNCTION RETURN: -3\", \"buttons\": \"ok\", \"icon\": \"none\"}\n"},
      {"ORVO run add.asm 1 2 3 4 5", 2, "run takes no argument 5", ""},
      {"ORVO build add.asm extra", 2, "build takes no argument extra", ""},
      {"ORVO list -- - <add.asm", 0, "", "*"},
      {"ORVO run --frob add.asm", 2, "--frob", ""},
      {"ORVO build --", 2, "SOURCE is required", ""},
  };
  for (const ShellRow& row : rows) {
    const Outcome o = Sh(row.line);
    if (row.status == 2 && row.in_err.empty()) {
      EXPECT_EQ(o.status, 2) << row.line;
      continue;
    }
    Check(row, o);
  }
}

// A pipe nobody writes into: the command line waits for it as cat would, and tells a person at
// a terminal what it waits for; with stderr not a terminal it stays quiet.
TEST_F(CommandLine, PipeWithoutAWriterSaysWhatItWaitsFor) {
  const fs::path fifo = dir_ / "pipe.asm";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int terminal = -1;
  int child_side = -1;
  ASSERT_EQ(::openpty(&terminal, &child_side, nullptr, nullptr, nullptr), 0);
  const std::string program = std::string(ORVO_BINARY_DIR) + "/bin/orvo";
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(child_side, STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::execl(program.c_str(), program.c_str(), "build", fifo.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(child_side);
  std::string said;
  char buf[256];
  while (!Has(said, "\n")) {
    const ssize_t n = ::read(terminal, buf, sizeof buf);
    if (n <= 0) break;
    said.append(buf, static_cast<std::size_t>(n));
  }
  EXPECT_TRUE(Has(said, "waiting for a program to write into the pipe " + fifo.string())) << said;
  const int writer = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "NOP\n", 4), 4);
  ::close(writer);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ::close(terminal);

  // Not a terminal: nothing but the result.
  const Outcome o = Sh("ORVO build pipe.asm & printf 'CLC\\n' >pipe.asm; wait");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "F8\n");
  EXPECT_EQ(o.err, "");
}

}  // namespace
}  // namespace orvo
