// End-to-end: build/bin/orvo run, its printed boxes and exit status.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cli_runner.h"

namespace {

using Outcome = orvo::test::CliResult;

std::string Quote(const std::string& s) {
  std::string q(1, '\'');
  for (char c : s) {
    if (c == '\'')
      q.append("'\\''");
    else
      q.push_back(c);
  }
  q.push_back('\'');
  return q;
}

class RunCli : public ::testing::Test {
 protected:
  // orvo run with the options and arguments; SOURCE stands for standard input holding source.
  static Outcome Run(const std::string& source, const std::vector<std::string>& args) {
    std::string arguments = "run";
    for (const std::string& a : args) arguments.append(1, ' ').append(a == "SOURCE" ? "-" : Quote(a));
    return orvo::test::Run_Orvo(arguments, source);
  }

  static std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i; (i = s.find('\n', start)) != std::string::npos; start = i + 1)
      lines.push_back(s.substr(start, i - start));
    return lines;
  }

  // True when the source does not assemble cleanly yet (an encoder or fix-up it needs is still
  // being built): orvo build then prints boxes or fails.
  static bool Not_Assembled(const std::string& source) {
    const Outcome o = orvo::test::Run_Orvo("build -", source);
    return o.status != 0 || !o.err.empty();
  }
};

std::string Json(const std::string& title, const std::string& text, const std::string& icon = "none") {
  std::string j = "{\"title\": ";
  j.append(title).append(", \"text\": \"").append(text).append("\", \"buttons\": \"ok\", \"icon\": \"");
  j.append(icon).append("\"}");
  return j;
}

TEST_F(RunCli, ReturnsAndPrintsTheRegisters) {
  const Outcome o = Run("PUSHAD\nPOPAD\n", {"--stack", "--registers", "SOURCE"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.rfind("[ORVO IDE]\nFUNCTION RETURN: 0\nEAX=&H00000000", 0), 0u) << o.out;
  EXPECT_NE(o.out.find("EIP=&H7FFF0000"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Instructions executed: 13\n"), std::string::npos) << o.out;
}

TEST_F(RunCli, FaultsEndWithTheirBoxAndStatusOne) {
  struct Row {
    std::string source;
    bool stack;
    std::string what;
  };
  const Row rows[] = {
      {"HLT\n", true, "Privileged instruction (HLT) at EIP=&H400006 after 5 instructions\\rline 1: HLT"},
      {"CLI\n", false, "Privileged instruction (CLI) at EIP=&H400000 after 0 instructions\\rline 1: CLI"},
      // Past the image: no source line.
      {"NOP\n", false, "Read from unmapped memory at &H0 at EIP=&H400001 after 1 instruction"},
      {"", false, "The code image is empty: there is nothing to run"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"--messages", "json", "SOURCE"};
    if (row.stack) args.insert(args.begin(), "--stack");
    const Outcome o = Run(row.source, args);
    EXPECT_EQ(o.status, 1) << row.source;
    EXPECT_EQ(o.out,
              Json("\"ORVO IDE\"", "Error in assembler program\\r\\r" + row.what, "exclamation") + "\n")
        << row.source;
  }
}

TEST_F(RunCli, ArgumentOutOfRangeAndUsage) {
  Outcome o = Run("PUSHAD\nPOPAD\n", {"--stack", "--messages", "json", "SOURCE", "0", "4294967295"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, Json("\"ORVO IDE\"",
                        "Error in assembler program\\r\\rARG2 (4294967295) does not fit a 32-bit argument.\\r"
                        "It takes -2147483648 to 2147483647, or &H/&O up to FFFFFFFF.",
                        "exclamation") +
                       "\n");

  EXPECT_EQ(Run("NOP\n", {"SOURCE", "1", "2", "3", "4", "5"}).status, 2);
  EXPECT_EQ(Run("NOP\n", {"no-such-folder/missing.asm"}).status, 2);
  EXPECT_EQ(Run("NOP\n", {"--timeout", "0", "SOURCE"}).status, 2);
  // Negative numbers after SOURCE are arguments, not options.
  o = Run("PUSHAD\nPOPAD\n", {"--stack", "SOURCE", "-1", "-2"});
  EXPECT_EQ(o.status, 0) << o.out;
}

TEST_F(RunCli, DefaultSourceShowsTheValueThenTheResult) {
  std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/examples/default.asm", std::ios::binary);
  const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(source.empty());
  ASSERT_FALSE(Not_Assembled(source));
  const Outcome o = Run(source, {"--stack", "--messages", "json", "SOURCE", "&H10080", "5"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(Lines(o.out), (std::vector<std::string>{Json("\"ORVO IDE\"", "DEC=5\\rHEX=&H5"),
                                                    Json("null", "FUNCTION RETURN: 15")}));
}

// Routines that fault or never return: each gets its box and exit 1.
TEST_F(RunCli, RoutinesAndFaultsOfAssembledSource) {
  struct Row {
    std::string source;
    std::vector<std::string> args;  // SOURCE marks the file
    int status;
    std::string last_line;  // the last printed line (text form)
  };
  const std::string arg2 = "MOV EAX,[EBP+12]\n";
  const Row rows[] = {
      {"MOV EAX,7\nRET 16\n", {"SOURCE"}, 0, "FUNCTION RETURN: 7"},
      {"MOV EAX,1\nRET\n", {"SOURCE"}, 0, "FUNCTION RETURN: 1"},
      {"MOV EAX,-1\nRET 16\n", {"SOURCE"}, 0, "FUNCTION RETURN: -1"},
      {"MOV EAX,[EBP+8]\n", {"--stack", "SOURCE", "11", "22", "33", "44"}, 0, "FUNCTION RETURN: 11"},
      {"MOV EAX,[EBP+20]\n", {"--stack", "SOURCE", "11", "22", "33", "44"}, 0, "FUNCTION RETURN: 44"},
      {arg2, {"--stack", "SOURCE", "0", "-3"}, 0, "FUNCTION RETURN: -3"},
      {arg2, {"--stack", "SOURCE", "0", "2.5"}, 0, "FUNCTION RETURN: 2"},
      {arg2, {"--stack", "SOURCE", "0", "3.5"}, 0, "FUNCTION RETURN: 4"},
      {arg2, {"--stack", "SOURCE", "0", "12abc"}, 0, "FUNCTION RETURN: 12"},
      {arg2, {"--stack", "SOURCE", "0", "&HFFFF"}, 0, "FUNCTION RETURN: -1"},
      {arg2, {"--stack", "SOURCE", "0", "&O17"}, 0, "FUNCTION RETURN: 15"},
      {arg2, {"--stack", "SOURCE", "0", "4294967295"}, 1, "It takes -2147483648 to 2147483647, or &H/&O up to FFFFFFFF."},
      {"XOR ECX,ECX\nDIV ECX\n",
       {"SOURCE"},
       1,
       "Divide error (division by zero or quotient too large) at EIP=&H400002 after 1 instruction"},
      {"XOR EBX,EBX\nMOV EAX,[EBX]\n",
       {"SOURCE"},
       1,
       "Read from unmapped memory at &H0 at EIP=&H400002 after 1 instruction"},
      {"XOR EBX,EBX\nMOV [EBX],EAX\n",
       {"SOURCE"},
       1,
       "Write to unmapped memory at &H0 at EIP=&H400002 after 1 instruction"},
      {"IN AL,&H60\n",
       {"SOURCE"},
       1,
       "Port input instruction (IN from port &H60) at EIP=&H400000 after 0 instructions"},
      {"OUT &H60,AL\n",
       {"SOURCE"},
       1,
       "Port output instruction (OUT to port &H60) at EIP=&H400000 after 0 instructions"},
      {"INT 3\n", {"SOURCE"}, 1, "Breakpoint (INT 3) at EIP=&H400000 after 0 instructions"},
      {"MOV EAX,&H10000000\nJMP EAX\n",
       {"SOURCE"},
       1,
       "Jump to unmapped memory at &H10000000 at EIP=&H10000000 after 2 instructions"},
      {"L1:\nJMP L1\n", {"--timeout", "1", "SOURCE"}, 1, "Time-out: the routine ran longer than 1 second"},
      {"L1:\nCALL L1\n", {"SOURCE"}, 1, "Stack overflow: write below the stack at &HFFFFC"},
  };
  for (const Row& row : rows) {
    EXPECT_FALSE(Not_Assembled(row.source)) << row.source;
    const Outcome o = Run(row.source, row.args);
    const std::vector<std::string> lines = Lines(o.out);
    EXPECT_EQ(o.status, row.status) << row.source << o.out;
    ASSERT_FALSE(lines.empty()) << row.source;
    // A fault box ends with the fault's source line after what happened.
    const bool has_line = lines.back().rfind("line ", 0) == 0 && lines.size() > 1;
    EXPECT_EQ(lines[lines.size() - (has_line ? 2 : 1)].rfind(row.last_line, 0), 0u) << row.source << o.out;
  }
}

}  // namespace
