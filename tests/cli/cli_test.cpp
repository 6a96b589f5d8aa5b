// End-to-end tests of the orvo command: exit statuses, output forms and boxes as JSON lines.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/cli_runner.h"

namespace orvo {
namespace {

using test::Run_Orvo;

TEST(OrvoBuild, HexOnStdoutWithAndWithoutFrame) {
  auto r = Run_Orvo("build -", "PUSHAD\nCLC\nPOPAD\nEND\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "60F8615F5E5B89EC5DC21000\n");
  r = Run_Orvo("build --stack -", "PUSHAD\nCLC\nPOPAD\nEND\n");
  EXPECT_EQ(r.out, "5589E5535657" "60F861" "5F5E5B89EC5DC21000" "5F5E5B89EC5DC21000\n");
}

TEST(OrvoBuild, BinaryAndOutputFile) {
  const auto dir = std::filesystem::temp_directory_path() / ("orvo-cli-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "code.bin").string();
  auto r = Run_Orvo("build --format bin -o " + out + " -", "NOP\r\nCLC\r\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "\x90\xF8");
  r = Run_Orvo("build -o " + out + " -", "NOP\n");
  std::ifstream hex(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(hex), {}), "90");  // the export form: no line end
  r = Run_Orvo("build --format bin -", "STC\n");
  EXPECT_EQ(r.out, "\xF9");
  std::filesystem::remove_all(dir);
}

TEST(OrvoList, RowsPerSourceLine) {
  auto r = Run_Orvo("list --stack -", "REM x\n\nPUSHAD\nstart:\nPUSHF\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "\t\t\t\n"
            "\t\t\t\n"
            "6\t6\t60\tPUSHAD\n"
            "\t\t\tstart:\n"
            "7\t7\t66/9C\tPUSHF\n"
            "\t\t\t\n");
  EXPECT_EQ(r.err, "");
}

// A file with Unix line ends, or with both kinds, reads line by line as its CR LF copy: the same
// rows, bytes, boxes and line numbers in every command's output.
TEST(OrvoBuildAndList, LoneLineFeedsEndLinesAsCrLfDoes) {
  const std::string programs[] = {
      "NOP\nCLC\n\nSTC\n",
      "CONST K=4\nstart: MOV EAX,K ; four\nJMP start\n",
      "NOP\nMOV EAX,\rEBX\nCLC",       // a CR alone stays inside its line: refused there
      "\n\nPUSHAD\nFOO EAX\nPOPAD\n",  // the box names line 4
      "DB \"a;b\"\nLOCK\n",
  };
  for (const std::string& unix_text : programs) {
    std::string dos_text, mixed_text;
    for (std::size_t i = 0; i < unix_text.size(); ++i) {
      if (unix_text[i] != '\n') {
        dos_text += unix_text[i];
        mixed_text += unix_text[i];
        continue;
      }
      dos_text += "\r\n";
      mixed_text += i % 2 == 0 ? "\r\n" : "\n";
    }
    for (const char* command : {"build -", "build --stack -", "list -", "build --messages json -"}) {
      const auto dos = Run_Orvo(command, dos_text);
      for (const std::string& text : {unix_text, mixed_text}) {
        const auto r = Run_Orvo(command, text);
        EXPECT_EQ(r.status, dos.status) << command << " " << testing::PrintToString(text);
        EXPECT_EQ(r.out, dos.out) << command << " " << testing::PrintToString(text);
        EXPECT_EQ(r.err, dos.err) << command << " " << testing::PrintToString(text);
      }
    }
  }
}

// A program whose code and listing span many output pieces comes out whole, in order, the same
// to a file and to standard output; a refused line still writes nothing.
TEST(OrvoBuildAndList, LargeProgramsAcrossPieces) {
  std::string source;
  std::string hex;
  std::string listing;
  for (int i = 0; i < 40000; ++i) {
    source += i % 2 == 0 ? "MOV EAX,12345678h\n" : "CLC\n";
    hex += i % 2 == 0 ? "B878563412" : "F8";
    const int at = i / 2 * 6 + i % 2 * 5;
    char at_hex[16];
    std::snprintf(at_hex, sizeof at_hex, "%X", at);
    listing += std::to_string(at) + "\t" + at_hex + (i % 2 == 0 ? "\tB8/78/56/34/12\tMOV EAX,12345678h\n" : "\tF8\tCLC\n");
  }
  listing += "\t\t\t\n";
  auto r = Run_Orvo("build -", source);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out == hex + "\n") << r.out.size();
  const std::string dir = ::testing::TempDir() + "orvo_pieces_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  r = Run_Orvo("build -o " + dir + "/out.hex -", source);
  EXPECT_EQ(r.status, 0);
  std::ifstream file(dir + "/out.hex", std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(file), {}) == hex);
  r = Run_Orvo("build -o " + dir + "/bad.hex -", source + "BAD\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(dir + "/bad.hex"));
  std::filesystem::remove_all(dir);
  r = Run_Orvo("list -", source);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out == listing) << r.out.size() << " " << listing.size();
}

// The hexadecimal column writes each byte without leading zeros: 10h is "10", not "0".
TEST(OrvoList, HexColumnAroundSixteen) {
  auto r = Run_Orvo("list -", "DB 15\nDB 16\nDB 1,16,255\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "0\t0\tF\tDB 15\n"
            "1\t1\t10\tDB 16\n"
            "2\t2\t1/10/FF\tDB 1,16,255\n"
            "\t\t\t\n");
}

struct BoxCase {
  std::string_view source;
  std::string_view json;
};

class OrvoMessages : public testing::TestWithParam<BoxCase> {};

TEST_P(OrvoMessages, JsonLinesAndExitStatusOne) {
  auto r = Run_Orvo("list --messages json -", std::string(GetParam().source));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, std::string(GetParam().json) + "\n");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, OrvoMessages, testing::Values(
    BoxCase{"\tNOP\n", R"({"title": "LINE: 1", "text": "Syntax Error:\r\tNOP\r\rShow help?", "buttons": "yesno", "icon": "critical"})"},
    BoxCase{"NOP\nREM\n", R"({"title": "LINE: 2", "text": "Syntax Error:\rREM\r\rShow help?", "buttons": "yesno", "icon": "critical"})"},
    BoxCase{"MY LABEL:\n", R"({"title": "LINE: 0", "text": "Invalid LABEL:\r\tMY LABEL:", "buttons": "ok", "icon": "none"})"},
    BoxCase{"FROB 1\n", R"({"title": "LINE: 1", "text": "Syntax Error:\rFROB 1\r\rShow help?", "buttons": "yesno", "icon": "critical"})"}
));
// clang-format on

TEST(OrvoUsage, BadArgumentsAndUnreadableSource) {
  EXPECT_EQ(Run_Orvo("", "").status, 2);
  EXPECT_EQ(Run_Orvo("frobnicate x", "").status, 2);
  EXPECT_EQ(Run_Orvo("build --format oct -", "NOP").status, 2);
  auto r = Run_Orvo("build /nonexistent/dir/file.asm", "");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos);
  EXPECT_EQ(Run_Orvo("list /", "").status, 2);
}

TEST(OrvoBuild, MessagesAsTextForPeople) {
  auto r = Run_Orvo("build -", "BAD\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Syntax Error:\nBAD\n\nShow help?"), std::string::npos) << r.err;
}

// -o naming a device or a pipe writes into it; the safe save's rename would replace the node
// with a regular file (as root, -o /dev/null would break the machine's /dev/null).
TEST(OrvoBuild, OutputIntoAPipeLeavesThePipe) {
  const auto dir = std::filesystem::temp_directory_path() / ("orvo-fifo-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string fifo = (dir / "out").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Held open for reading and writing, the pipe never blocks the writer.
  const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  auto r = Run_Orvo("build --format bin -o " + fifo + " -", "NOP\nCLC\n");
  EXPECT_EQ(r.status, 0) << r.err;
  char buf[16] = {};
  EXPECT_EQ(::read(fd, buf, sizeof buf), 2);
  EXPECT_EQ(std::string(buf, 2), "\x90\xF8");
  ::close(fd);
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvo
