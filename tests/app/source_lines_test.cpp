#include "app/source_lines.h"

#include <gtest/gtest.h>

#include "app/run_action.h"
#include "assembler/compile.h"
#include "run/debug_session.h"
#include "run/run_engine.h"
#include "support/test_support.h"

namespace orvo {
namespace {

struct Compiled {
  std::string text;
  CompileSession session;
  SourceLineMap lines;
  Compiled(std::string_view source, bool stack) : text(source) {
    CompileOptions options;
    options.stack = stack;
    EXPECT_EQ(session.Compile(text, options), CompileOutcome::Finished);
    lines = SourceLineMap(session.Listing_(), session.Image().Size(), stack, Split_Lines(text));
  }
};

TEST(SourceLineMap, EveryByteOfTheImageHasItsPlace) {
  // Default source with the frame: prologue 0-5, PUSHAD 6, PUSH 7-9, CALL A-C, POPAD D,
  // MOV E-12, epilogue 13-1B.
  const Compiled c(
      "REM MSGBOX\r\nConst Arg1 EQU [ebp+8]\r\nConst Arg2 EQU [ebp+12]\r\nPUSHAD\r\n  PUSH Arg2\r\n"
      "CALL Arg1\r\nPOPAD\r\nMOV EAX,&B1111",
      true);
  const std::pair<std::uint32_t, std::string> rows[] = {
      {0x00, "prologue of the stack frame"},
      {0x05, "prologue of the stack frame"},
      {0x06, "line 4: PUSHAD"},
      {0x07, "line 5: PUSH Arg2"},
      {0x09, "line 5: PUSH Arg2"},
      {0x0A, "line 6: CALL Arg1"},
      {0x0D, "line 7: POPAD"},
      {0x12, "line 8: MOV EAX,&B1111"},
      {0x13, "epilogue of the stack frame"},
      {0x1B, "epilogue of the stack frame"},
      {0x1C, ""},
      {0xFFFFFFFF, ""},
  };
  for (const auto& [offset, text] : rows) EXPECT_EQ(c.lines.Describe(offset), text) << offset;
  EXPECT_EQ(c.lines.Offset_Of(3), 6);
  EXPECT_EQ(c.lines.Offset_Of(0), -1);  // REM: no code
  EXPECT_TRUE(Has_StackFrame(c.session.Listing_(), c.session.Image().Size()));
}

TEST(SourceLineMap, WithoutFrameLabelsAndDataLines) {
  const Compiled c("start:\r\nNOP\r\n\r\nDB 1,2,3\r\nRET 16", false);
  const std::pair<std::uint32_t, std::string> rows[] = {
      {0, "line 2: NOP"}, {1, "line 4: DB 1,2,3"}, {3, "line 4: DB 1,2,3"}, {4, "line 5: RET 16"}, {7, ""}};
  for (const auto& [offset, text] : rows) EXPECT_EQ(c.lines.Describe(offset), text) << offset;
  EXPECT_EQ(SourceLineMap().Describe(0), "");
  EXPECT_FALSE(Has_StackFrame(c.session.Listing_(), c.session.Image().Size()));
}

TEST(SourceLineMap, RunFaultBoxEndsWithTheLine) {
  struct Row {
    const char* source;
    std::uint32_t offset;  // of the instruction the box names
    const char* line;
  };
  const Row rows[] = {
      {"MOV EAX,10\r\nXOR ECX,ECX\r\nDIV ECX\r\nRET 16", 7, "\rline 3: DIV ECX"},
      // A far CALL through a register ends the emulator's process: the box still names the line.
      {"MOV EAX,1\r\nDB 255,216\r\nRET 16", 5, "\rline 2: DB 255,216"},
  };
  for (const Row& row : rows) {
    const Compiled c(row.source, false);
    test::Recorder rec;
    RunEngine engine;
    const RunResult r =
        Command3_Run(engine, c.session.Image().Bytes(), {"0", "0", "0", "0"}, RunLimits{}, &c.lines);
    ASSERT_EQ(r.status, RunStatus::Faulted) << row.source;
    EXPECT_EQ(r.where, Get_CodeBase() + row.offset) << row.source;
    ASSERT_EQ(rec.Messages().size(), 1u) << row.source;
    EXPECT_EQ(rec.Messages()[0].text, Run_ErrorText(r) + row.line) << row.source;
  }
  // The debug session uses the same address space.
  EXPECT_EQ(DebugSession::Code_Base(), Get_CodeBase());
}

}  // namespace
}  // namespace orvo
