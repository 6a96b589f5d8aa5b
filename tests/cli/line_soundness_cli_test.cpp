// orvo build and list on lines that must be refused: exit 1, the box on stderr, nothing written.
// And lines with comments and labels that must assemble, end to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/cli_runner.h"

namespace orvo {
namespace {

using test::Run_Orvo;

struct CliRefusal {
  std::string_view source;
  std::string_view box;  // a piece of the JSON line of the box
};

class OrvoRefuses : public testing::TestWithParam<CliRefusal> {};

TEST_P(OrvoRefuses, ExitOneAndWriteNothing) {
  const CliRefusal& c = GetParam();
  const std::string source(c.source);
  for (const char* command : {"build --messages json -", "list --messages json -", "build --format bin -"}) {
    const auto r = Run_Orvo(command, source);
    EXPECT_EQ(r.status, 1) << command << ": " << source;
    EXPECT_EQ(r.out, "") << command << ": " << source;
    if (std::string_view(command).find("json") != std::string_view::npos) {
      EXPECT_NE(r.err.find(c.box), std::string::npos) << command << ": " << r.err;
    }
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, OrvoRefuses, testing::Values(
    // Pass-3 errors fail the compile.
    CliRefusal{"NOP\nJZ Nowhere\n",                "\"Label not found: Nowhere\""},
    CliRefusal{"CALL Missing\nRET\n",              "\"Label not found: Missing\""},
    CliRefusal{"ADD EAX,XYZ\n",                    "\"Label not found: XYZ\""},
    CliRefusal{"MOV EAX,XYZ ; what is XYZ?\n",     "\"Label not found: XYZ\""},
    CliRefusal{"PUSH XYZ\n",                       "\"Label not found: XYZ\""},
    CliRefusal{"L:\nMOV BYTE PTR [EBX],L\n",       "\"Invalid use of label:\\r\\tMOV BYTE PTR [EBX],L\""},
    CliRefusal{"L:\nADD AL,L\n",                   "\"Invalid use of label:\\r\\tADD AL,L\""},
    // Words that are no operand.
    CliRefusal{"MOV EAX,CR0\n",                    "\"Invalid operand(s)\\rMOV r32,\""},
    CliRefusal{"MOV EAX,DWORD [EBX]\n",            "\"Syntax Error:\\rMOV EAX,DWORD [EBX]\\r\\rShow help?\""},
    CliRefusal{"L:\nMOV EAX,L+4\n",                "\"Invalid operand(s)\\rMOV r32,\""},
    CliRefusal{"LOOP\n",                           "\"Syntax Error:\\rLOOP\\r\\rShow help?\""},
    CliRefusal{"next: FROB\n",                     "\"Syntax Error:\\rnext: FROB\\r\\rShow help?\""}
));
// clang-format on

TEST(OrvoRefuses, OutputFileOfAFailedBuildIsNotWritten) {
  const auto dir = std::filesystem::temp_directory_path() / ("orvo-line-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "code.hex").string();
  auto r = Run_Orvo("build -o " + out + " -", "NOP\nJMP Nowhere\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  r = Run_Orvo("build -o " + out + " -", "NOP\nL: JMP L\n");
  EXPECT_EQ(r.status, 0);
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "90E9FBFFFFFF");
  std::filesystem::remove_all(dir);
}

TEST(OrvoAccepts, CommentsLabelLinesAndStrings) {
  const auto r = Run_Orvo("list -",
                          "CONST N=5 ; five\n"
                          "  MOV EAX,N ; load\n"
                          "msg: DB \"N;N:\",N\n"
                          "_top: JMP _top\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "\t\t\t\n"
            "0\t0\tB8/5/0/0/0\tMOV EAX,5 ; load\n"
            "5\t5\t4E/3B/4E/3A/5\tmsg: DB \"N;N:\",5\n"
            "10\tA\tE9/FB/FF/FF/FF\t_top: JMP _top\n"
            "\t\t\t\n");
}

}  // namespace
}  // namespace orvo
