// End to end: lines whose operands are refused make `orvo build` fail with their box on stderr
// and nothing on stdout; the sound forms of the same lines assemble.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_runner.h"

namespace orvo {
namespace {

using test::Run_Orvo;

TEST(OrvoOperands, RefusedOperandsFailTheBuild) {
  struct Row {
    const char* line;
    const char* box;  // the first box, as its JSON text begins
  };
  const Row rows[] = {
      {"MOV EAX,[EBX+XYZ]", "Invalid use of label: XYZ"},
      {"MOV EAX,[EAX+4*2]", "Invalid memory operand: [EAX+4*2]"},
      {"MOV EAX,[EBX-300?]", "Displacement out of byte range: -300?"},
      {"SUB EAX,65-13", "Not a number: 65-13"},
      {"DD 0,1,48 DUP(0)", "Error in DD:\\r\\tNot a number: 48 DUP(0)"},
      {"INT -26", "Out of range: -26"},
  };
  for (const Row& r : rows) {
    const auto result = Run_Orvo("build --messages json -", std::string("NOP\r\n") + r.line + "\r\nRET\r\n");
    EXPECT_EQ(result.status, 1) << r.line;
    EXPECT_EQ(result.out, "") << r.line;
    EXPECT_NE(result.err.find(std::string("\"text\": \"") + r.box), std::string::npos) << r.line << "\n"
                                                                                       << result.err;
  }
}

TEST(OrvoOperands, SoundFormsAssemble) {
  const auto result =
      Run_Orvo("build -", "MOV EAX,[EBX+ESI*4+8]\nMOV ECX,0FFFFFFFFh\nTEST EAX,11b\nINT 28h\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "8B44B308"
            "B9FFFFFFFF"
            "A903000000"
            "CD28\n");
}

}  // namespace
}  // namespace orvo
