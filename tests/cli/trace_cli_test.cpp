// End-to-end: build/bin/orvo trace against golden outputs, and the source line in fault boxes.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/cli_runner.h"

namespace {

using orvo::test::Run_Orvo;

const std::string kGolden = std::string(ORVO_SOURCE_DIR) + "/tests/cli/golden/trace/";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct GoldenRow {
  std::string source;     // under the golden folder
  std::string options;    // before SOURCE
  std::string arguments;  // after SOURCE
  std::string expected;   // golden file
  int status;
};

TEST(TraceCli, MatchesGoldenOutputs) {
  const GoldenRow rows[] = {
      {"default.asm", "--stack", "65664 5", "default.txt", 0},
      {"default.asm", "--stack --messages json", "65664 5", "default.jsonl", 0},
      {"sum.asm", "--stack", "0 3", "sum.txt", 0},
      {"sum.asm", "--stack --messages json", "0 3", "sum.jsonl", 0},
      {"factorial.asm", "", "0 3", "factorial.txt", 0},
      {"factorial.asm", "--messages json", "0 3", "factorial.jsonl", 0},
      {"divide.asm", "", "", "divide.txt", 1},
      {"divide.asm", "--messages json", "", "divide.jsonl", 1},
  };
  for (const GoldenRow& row : rows) {
    const auto r = Run_Orvo("trace " + row.options + " - " + row.arguments, Slurp(kGolden + row.source));
    EXPECT_EQ(r.status, row.status) << row.expected;
    EXPECT_EQ(r.out, Slurp(kGolden + row.expected)) << row.expected;
    EXPECT_EQ(r.err, "") << row.expected;
  }
}

TEST(TraceCli, EndsAsRunDoes) {
  struct Row {
    std::string arguments;
    std::string source;
    int status;
    std::string out_has;  // in the output, or "" for none
  };
  const Row rows[] = {
      // Compile errors stop before anything runs.
      {"trace -", "MOV EAX,\n", 1, "Syntax Error"},
      {"trace - 1 2 3 4 5", "RET 16\n", 2, ""},
      {"trace missing-file.asm", "", 2, ""},
      // Out of range argument: RUN's box and no rows.
      {"trace - 0 4294967295", "RET 16\n", 1, "(exclamation)\nError in assembler program\n"},
      {"trace --max-steps 50 -", "MOV EAX,1\nagain:\nINC EAX\nJMP again\n", 1,
       "limit of 50 steps at EIP=&H400007 after 50 instructions\nline 4: JMP again"},
      {"trace --timeout 0.2 -", "MOV EAX,1\nagain:\nINC EAX\nJMP again\n", 1, "Time-out"},
      {"trace -", "MOV EAX,-1\nRET 16\n", 0, "2  line 2  &H400005  C2/10/0  RET 16  ESP=&H001FFF14\n"},
  };
  for (const Row& row : rows) {
    const auto r = Run_Orvo(row.arguments, row.source);
    EXPECT_EQ(r.status, row.status) << row.arguments;
    EXPECT_NE((r.out + r.err).find(row.out_has), std::string::npos) << row.arguments << "\n" << r.out;
  }
  // The result comes last, after the last row.
  const auto r = Run_Orvo("trace -", "MOV EAX,7\nRET 16\n");
  EXPECT_TRUE(r.out.ends_with("RET 16  ESP=&H001FFF14\n[ORVO IDE]\nFUNCTION RETURN: 7\n")) << r.out;
}

// Whatever stops a routine, trace ends with the box orvo run shows for it (the rows come first).
TEST(TraceCli, EndsWithRunsBoxForEveryStop) {
  struct Row {
    std::string name;
    std::string source;
    std::string arguments;
    std::string box_has;
  };
  const Row rows[] = {
      {"ARG2 out of range", "RET 16\n", "0 4294967295", "ARG2 (4294967295)"},
      {"ARG4 out of range", "RET 16\n", "0 0 0 -2147483649", "ARG4 (-2147483649)"},
      {"SYSCALL", "MOV EAX,1\nDB 15,5\nMOV EAX,5\nRET 16\n", "",
       "System call instruction (SYSCALL) at EIP=&H400005 after 1 instruction"},
      {"SYSENTER", "DB 15,52\nRET 16\n", "", "System call instruction (SYSENTER) at EIP=&H400000"},
      {"divide by zero", "XOR ECX,ECX\nDIV ECX\nRET 16\n", "", "line 2: DIV ECX"},
      {"port output", "NOP\nOUT 96,AL\nRET 16\n", "", "line 2: OUT 96,AL"},
  };
  for (const Row& row : rows) {
    const auto run = Run_Orvo("run - " + row.arguments, row.source);
    const auto trace = Run_Orvo("trace - " + row.arguments, row.source);
    EXPECT_EQ(run.status, 1) << row.name;
    EXPECT_EQ(trace.status, run.status) << row.name;
    EXPECT_NE(run.out.find(row.box_has), std::string::npos) << row.name << "\n" << run.out;
    EXPECT_FALSE(run.out.empty()) << row.name;
    EXPECT_TRUE(trace.out.ends_with(run.out)) << row.name << "\nrun:\n" << run.out << "trace:\n" << trace.out;
  }
}

TEST(TraceCli, HelpNamesTheCommand) {
  const auto r = Run_Orvo("--help", "");
  EXPECT_NE(r.out.find("trace"), std::string::npos);
  const auto t = Run_Orvo("trace --help", "");
  EXPECT_NE(t.out.find("--max-steps"), std::string::npos);
}

TEST(RunCliFaultLine, NamesTheLineAfterTheExistingText) {
  struct Row {
    std::string options;
    std::string source;
    std::string box_end;
  };
  const Row rows[] = {
      {"", "MOV EAX,10\nXOR ECX,ECX\nDIV ECX\nRET 16\n",
       "Divide error (division by zero or quotient too large) at EIP=&H400007 after 2 instructions\n"
       "line 3: DIV ECX\n"},
      // The editor's text with constant names as written, 1-based with empty lines counted.
      {"", "Const Where EQU [EBX]\n\nMOV EAX,Where\nRET 16\n",
       "Read from unmapped memory at &H0 at EIP=&H400000 after 0 instructions\n"
       "line 3: MOV EAX,Where\n"},
      {"--stack", "MOV EAX,[EBP+8]\nMOV [EAX],EAX\n", "after 6 instructions\nline 2: MOV [EAX],EAX\n"},
      // A wrecked frame faults in the epilogue, which has no line of its own.
      {"--stack", "MOV EBP,0\n", "epilogue of the stack frame\n"},
  };
  for (const Row& row : rows) {
    const auto r = Run_Orvo("run " + row.options + " - 0", row.source);
    EXPECT_EQ(r.status, 1) << row.source;
    ASSERT_GE(r.out.size(), row.box_end.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - row.box_end.size()), row.box_end) << r.out;
  }
}

}  // namespace
