#include "run/run_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <thread>

#include "app/run_action.h"
#include "run/debug_session.h"
#include "support/test_support.h"
#include "support/recording_handler.h"

namespace orvo {

void PrintTo(const Message& m, std::ostream* os) {
  *os << "{text \"" << m.text << "\", style " << static_cast<int>(m.style) << ", title "
      << (m.title ? "\"" + *m.title + "\"" : std::string("none")) << "}";
}

namespace {

using test::Hex_Bytes;

constexpr std::string_view kPrologueHex = "5589E5535657";
constexpr std::string_view kEpilogueHex = "5F5E5B89EC5DC21000";

RunLimits Limits(double seconds = 10, bool isolated = true) {
  RunLimits l;
  l.timeout_seconds = seconds;
  l.isolated = isolated;
  return l;
}

// ---- argument-number rule

struct ArgRow {
  std::string text;
  bool ok;
  std::int32_t value;
};

TEST(ArgumentNumber, Rule) {
  const ArgRow rows[] = {
      {"5", true, 5},
      {"-3", true, -3},
      {"2.5", true, 2},
      {"3.5", true, 4},
      {"-2.5", true, -2},
      {"-3.5", true, -4},
      {"1.5", true, 2},
      {"0.5", true, 0},
      {".5", true, 0},
      {"2.51", true, 3},
      {"12abc", true, 12},
      {"1.2.3", true, 1},
      {"4294967295", false, 0},
      {"2147483647", true, INT_MAX},
      {"2147483648", false, 0},
      {"-2147483648", true, INT_MIN},
      {"-2147483649", false, 0},
      {"2147483647.5", false, 0},        // the tie goes to 2147483648, which does not fit
      {"-2147483648.5", true, INT_MIN},  // the tie goes to the even -2147483648
      {"&HFFFF", true, -1},
      {"&H7FFF", true, 32767},
      {"&H8000", true, -32768},
      {"&H10000", true, 65536},
      {"&HFFFFFFFF", true, -1},
      {"&H80000000", true, INT_MIN},
      {"&H0000FFFF", true, -1},
      {"&H100000000", false, 0},
      {"&hff", true, 255},
      {"&HFFZ", true, 255},
      {"&H", true, 0},
      {"&O17", true, 15},
      {"&o177777", true, -1},
      {"&O100000", true, -32768},
      {"&O37777777777", true, -1},
      {"&O40000000000", false, 0},
      {"&O78", true, 7},
      {"", true, 0},
      {"abc", true, 0},
      {"&", true, 0},
      {"&Q12", true, 0},
      {"--5", true, 0},
      {" 1 2 ", true, 12},
      {"\t-\n5", true, -5},
      {"+7", true, 7},
      {"5\r6", true, 5},  // CR is not a blank: reading stops there
      {"1e3", true, 1000},
      {"1.5E1", true, 15},
      {"25e-1", true, 2},
      {"1e", true, 1},
      {"1e+", true, 1},
      {"1e400", false, 0},
      {"-1e400", false, 0},
      {"1e-400", true, 0},
      {"0.000" + std::string(400, '0') + "1e300", true, 0},
      {"1" + std::string(400, '0'), false, 0},
  };
  for (const ArgRow& row : rows) {
    std::int32_t v = 12345;
    const bool ok = Parse_ArgumentNumber(row.text, v);
    EXPECT_EQ(ok, row.ok) << "text: " << row.text;
    if (row.ok) {
      EXPECT_EQ(v, row.value) << "text: " << row.text;
    }
  }
}

// ---- Show_Value and the entry points of RUN

TEST(ShowValue, BoxTextTitleStyle) {
  test::Recorder rec;
  EXPECT_EQ(Show_Value(5), 0);
  EXPECT_EQ(Show_Value(-1), 0);
  EXPECT_EQ(Show_Value(INT_MIN), 0);
  ASSERT_EQ(rec.Messages().size(), 3u);
  EXPECT_EQ(rec.Messages()[0], (Message{"DEC=5\rHEX=&H5", MsgStyle::Ok, "ORVO IDE"}));
  EXPECT_EQ(rec.Messages()[1].text, "DEC=-1\rHEX=&HFFFFFFFF");
  EXPECT_EQ(rec.Messages()[2].text, "DEC=-2147483648\rHEX=&H80000000");
}

TEST(ShowValue, AddressIsFixedAndFitsAnArgument) {
  EXPECT_EQ(Get_FnAddress(), Get_FnAddress());
  std::int32_t v = 0;
  ASSERT_TRUE(Parse_ArgumentNumber(std::to_string(Get_FnAddress()), v));
  EXPECT_EQ(static_cast<std::uint32_t>(v), Get_FnAddress());
}

TEST(RunEngine, WorkedExample) {
  // The default source with the stack frame: PUSHAD / PUSH [EBP+12] / CALL [EBP+8] / POPAD /
  // MOV EAX,15.
  const std::string image = Hex_Bytes("5589E5535657 60 FF750C FF5508 61 B80F000000 5F5E5B89EC5DC21000");
  test::Recorder rec;
  RunEngine engine;
  const RunResult r = Command3_Run(engine, image, {std::to_string(Get_FnAddress()), "5", "0", "0"}, Limits());
  ASSERT_EQ(r.status, RunStatus::Returned) << r.what;
  EXPECT_EQ(r.eax, 15);
  ASSERT_EQ(rec.Messages().size(), 2u);
  EXPECT_EQ(rec.Messages()[0], (Message{"DEC=5\rHEX=&H5", MsgStyle::Ok, "ORVO IDE"}));
  EXPECT_EQ(rec.Messages()[1], (Message{"FUNCTION RETURN: 15", MsgStyle::Ok, std::nullopt}));
  // 5 prologue + PUSHAD, PUSH, CALL + Show_Value's 2 + POPAD, MOV + 6 epilogue.
  EXPECT_EQ(r.registers.instructions, 18u);
  EXPECT_TRUE(r.registers.returned);
  EXPECT_EQ(r.registers.esp, r.registers.esp_expected);
  EXPECT_EQ(Format_Registers(r.registers).find("ESP is"), std::string::npos);
}

struct ReturnRow {
  std::string code;  // hex
  std::array<std::int32_t, 4> args;
  std::int32_t eax;
};

TEST(RunEngine, ReturnsEaxWithTheWindowProcedureConvention) {
  const ReturnRow rows[] = {
      {"B807000000C21000", {0, 0, 0, 0}, 7},   // MOV EAX,7 / RET 16
      {"B8FFFFFFFFC21000", {0, 0, 0, 0}, -1},  // MOV EAX,-1 / RET 16
      {std::string(kPrologueHex) + "8B4508" + std::string(kEpilogueHex), {11, 22, 33, 44}, 11},  // [EBP+8]
      {std::string(kPrologueHex) + "8B450C" + std::string(kEpilogueHex), {11, 22, 33, 44}, 22},
      {std::string(kPrologueHex) + "8B4510" + std::string(kEpilogueHex), {11, 22, 33, 44}, 33},
      {std::string(kPrologueHex) + "8B4514" + std::string(kEpilogueHex), {11, 22, 33, -44}, -44},  // [EBP+20]
      {"8B442404C21000", {-7, 0, 0, 0}, -7},  // MOV EAX,[ESP+4]
      // Self-modifying code: MOV BYTE [400008h],2Ah rewrites the immediate of MOV EAX,0.
      {"C605080040002A B800000000 C21000", {0, 0, 0, 0}, 42},
      // Data after the code: MOV EAX,[40000Ah] / RET 16 / DD 12345678h.
      {"A10A004000 C21000 9090 78563412", {0, 0, 0, 0}, 0x12345678},
      // A loop: MOV ECX,10 / XOR EAX,EAX / ADD EAX,ECX / LOOP back / RET 16.
      {"B90A000000 31C0 01C8 E2FC C21000", {0, 0, 0, 0}, 55},
  };
  // In a child process, and in this one (the fuzzer's mode and the fallback).
  for (bool isolated : {true, false}) {
    RunEngine engine;
    test::Recorder rec;
    for (const ReturnRow& row : rows) {
      const RunResult r = engine.Run_Code(Hex_Bytes(row.code), row.args, Limits(10, isolated));
      EXPECT_EQ(r.status, RunStatus::Returned) << row.code << ": " << r.what;
      EXPECT_EQ(r.eax, row.eax) << row.code << " isolated " << isolated;
      EXPECT_EQ(r.registers.esp, r.registers.esp_expected) << row.code;
    }
    EXPECT_TRUE(rec.Messages().empty());
  }
}

TEST(RunEngine, PlainRetStillReturnsAndTheRegisterViewSaysSo) {
  test::Recorder rec;
  RunEngine engine;
  const RunResult r = Command3_Run(engine, Hex_Bytes("B801000000C3"), {"0", "0", "0", "0"}, Limits());
  ASSERT_EQ(r.status, RunStatus::Returned) << r.what;
  EXPECT_EQ(r.eax, 1);
  EXPECT_EQ(r.registers.esp + 16, r.registers.esp_expected);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].text, "FUNCTION RETURN: 1");
  const std::string view = Format_Registers(r.registers);
  EXPECT_NE(view.find("plain RET"), std::string::npos) << view;
  EXPECT_NE(view.find("EAX=&H00000001"), std::string::npos) << view;
  EXPECT_NE(view.find("Instructions executed: 2"), std::string::npos) << view;
}

TEST(RunEngine, NewCodeAtTheSameAddressIsNotServedFromAnOldTranslation) {
  RunEngine engine;
  EXPECT_EQ(engine.Run_Code(Hex_Bytes("B807000000C21000"), {}, Limits()).eax, 7);
  EXPECT_EQ(engine.Run_Code(Hex_Bytes("B809000000C21000"), {}, Limits()).eax, 9);
  // Memory the first routine wrote beyond its code is zero again for the next one.
  ASSERT_EQ(engine.Run_Code(Hex_Bytes("C70500014000 05000000 C21000"), {}, Limits()).status,
            RunStatus::Returned);
  EXPECT_EQ(engine.Run_Code(Hex_Bytes("A100014000C21000"), {}, Limits()).eax, 0);
}

TEST(RunEngine, CodeLargerThanTheFirstMappingRuns) {
  RunEngine engine;
  std::string big(200000, '\x90');
  big += Hex_Bytes("B803000000C21000");
  const RunResult r = engine.Run_Code(big, {}, Limits());
  EXPECT_EQ(r.status, RunStatus::Returned) << r.what;
  EXPECT_EQ(r.eax, 3);
  EXPECT_EQ(r.registers.instructions, 200002u);
  EXPECT_EQ(engine.Run_Code(Hex_Bytes("B804000000C21000"), {}, Limits()).eax, 4);
}

// ---- faults: every one ends the run with its box and the engine carries on

struct FaultRow {
  std::string name;
  std::string code;  // hex
  std::string what;  // the lines after the empty line of the box
};

const std::vector<FaultRow>& Fault_Rows() {
  static const std::vector<FaultRow> rows = {
      {"divide by zero", "31C9 F7F1",
       "Divide error (division by zero or quotient too large) at EIP=&H400002 after 1 instruction"},
      {"read of address 0", "90 A100000000",
       "Read from unmapped memory at &H0 at EIP=&H400001 after 1 instruction"},
      {"write of address 0", "90 90 A300000000",
       "Write to unmapped memory at &H0 at EIP=&H400002 after 2 instructions"},
      {"UD2", "90 0F0B", "Invalid instruction at EIP=&H400001 after 1 instruction"},
      {"HLT", "90 F4", "Privileged instruction (HLT) at EIP=&H400001 after 1 instruction"},
      {"CLI", "FA", "Privileged instruction (CLI) at EIP=&H400000 after 0 instructions"},
      {"STI", "FB", "Privileged instruction (STI) at EIP=&H400000 after 0 instructions"},
      {"LGDT", "0F011500004000", "Privileged instruction at EIP=&H400000 after 0 instructions"},
      {"MOV CR0,EAX", "0F22C0", "Privileged instruction at EIP=&H400000 after 0 instructions"},
      {"IN AL,60h", "90 E460",
       "Port input instruction (IN from port &H60) at EIP=&H400001 after 1 instruction"},
      {"OUT 60h,AL", "E660",
       "Port output instruction (OUT to port &H60) at EIP=&H400000 after 0 instructions"},
      {"IN AL,DX", "66BA7803 EC",
       "Port input instruction (IN from port &H378) at EIP=&H400004 after 1 instruction"},
      {"OUT DX,AL", "66BA7803 EE",
       "Port output instruction (OUT to port &H378) at EIP=&H400004 after 1 instruction"},
      {"INT 3", "90 CC", "Breakpoint (INT 3) at EIP=&H400001 after 1 instruction"},
      {"INT 21h", "CD21", "Software interrupt (INT 33) at EIP=&H400000 after 0 instructions"},
      {"INT 3 as the first byte", "CC", "Breakpoint (INT 3) at EIP=&H400000 after 0 instructions"},
      {"INT 3 long form", "90 90 CD03", "Breakpoint (INT 3) at EIP=&H400002 after 2 instructions"},
      {"INTO with OF set", "B07F 0401 CE", "Overflow (INTO) at EIP=&H400004 after 2 instructions"},
      {"bad segment load", "66B8FFFF 8ED8",
       "General protection fault (privileged instruction or bad segment) at EIP=&H400004 after 1 "
       "instruction"},
      {"jump into unmapped memory", "B800000010 FFE0",
       "Jump to unmapped memory at &H10000000 at EIP=&H10000000 after 2 instructions"},
      {"write to Show_Value", "C70580000100 00000000",
       "Write to read-only memory at &H10080 at EIP=&H400000 after 0 instructions"},
      {"execute the stack", "54 C3",
       "Execution of non-executable memory at &H1FFF00 at EIP=&H1FFF00 after 2 instructions"},
      // The emulator steps over these; they fault as INT n does, at their own address even with
      // other instructions (and a memory access) before them in the same block.
      {"SYSCALL first", "0F05 B805000000 C21000",
       "System call instruction (SYSCALL) at EIP=&H400000 after 0 instructions"},
      {"SYSENTER mid-block", "90 8B0424 40 0F34 B805000000 C21000",
       "System call instruction (SYSENTER) at EIP=&H400005 after 3 instructions"},
      {"SYSCALL after a taken jump", "EB01 90 0F05 C3",
       "System call instruction (SYSCALL) at EIP=&H400003 after 1 instruction"},
      {"running off the end", "90", "Read from unmapped memory at &H0 at EIP=&H400001 after 1 instruction"},
  };
  return rows;
}

TEST(RunEngine, EveryFaultGivesItsBoxAndTheEngineCarriesOn) {
  for (bool isolated : {true, false}) {
    RunEngine engine;
    for (const FaultRow& row : Fault_Rows()) {
      test::Recorder rec;
      const RunResult r =
          Command3_Run(engine, Hex_Bytes(row.code), {"0", "0", "0", "0"}, Limits(10, isolated));
      EXPECT_EQ(r.status, RunStatus::Faulted) << row.name;
      EXPECT_EQ(r.what, row.what) << row.name << " isolated " << isolated;
      ASSERT_EQ(rec.Messages().size(), 1u) << row.name;
      EXPECT_EQ(rec.Messages()[0],
                (Message{"Error in assembler program\r\r" + row.what, MsgStyle::OkExclamation, "ORVO IDE"}))
          << row.name;
      // The engine is still good for the next routine.
      EXPECT_EQ(engine.Run_Code(Hex_Bytes("B807000000C21000"), {}, Limits(10, isolated)).eax, 7) << row.name;
    }
  }
}

// The debugger names a fault in RUN's words and at RUN's address, whether it single-steps into
// it or runs into it at full speed.
TEST(RunEngine, TheDebuggerNamesEveryFaultAsRunDoes) {
  for (const FaultRow& row : Fault_Rows()) {
    const std::string code = Hex_Bytes(row.code);
    RunEngine engine;
    const RunResult run = engine.Run_Code(code, {}, Limits(10, false));
    for (bool stepping : {false, true}) {
      DebugSession session;
      ASSERT_EQ(session.Start(code, {}, DebugOptions{}), DebugStatus::Ready) << row.name;
      DebugStatus status = DebugStatus::Ready;
      if (stepping)
        while (status == DebugStatus::Ready) status = session.Step_Into();
      else
        status = session.Continue();
      EXPECT_EQ(status, DebugStatus::Faulted) << row.name << (stepping ? " stepping" : "");
      EXPECT_EQ(session.Fault_Text(), row.what) << row.name << (stepping ? " stepping" : "");
      EXPECT_EQ(session.Fault_Address(), run.where) << row.name << (stepping ? " stepping" : "");
    }
  }
}

TEST(RunEngine, UnboundedRecursionIsAStackOverflow) {
  RunEngine engine;
  const RunResult r = engine.Run_Code(Hex_Bytes("E8FBFFFFFF"), {}, Limits());  // CALL $
  EXPECT_EQ(r.status, RunStatus::Faulted);
  EXPECT_EQ(r.what.rfind("Stack overflow: write below the stack at &HFFFFC at EIP=&H400000 after ", 0), 0u)
      << r.what;
}

TEST(RunEngine, EmptyImageIsReportedNotRun) {
  test::Recorder rec;
  RunEngine engine;
  const RunResult r = Command3_Run(engine, "", {"0", "0", "0", "0"}, Limits());
  EXPECT_EQ(r.status, RunStatus::Faulted);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].text,
            "Error in assembler program\r\rThe code image is empty: there is nothing to run");
}

TEST(RunEngine, ArgumentOutOfRangeNamesTheFieldAndDoesNotRun) {
  test::Recorder rec;
  RunEngine engine;
  const RunResult r =
      Command3_Run(engine, Hex_Bytes("B807000000C21000"), {"0", "4294967295", "0", "0"}, Limits());
  EXPECT_EQ(r.status, RunStatus::Faulted);
  EXPECT_EQ(r.registers.instructions, 0u);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0],
            (Message{"Error in assembler program\r\rARG2 (4294967295) does not fit a 32-bit argument.\r"
                     "It takes -2147483648 to 2147483647, or &H/&O up to FFFFFFFF.",
                     MsgStyle::OkExclamation, "ORVO IDE"}));
}

TEST(RunEngine, ArgumentRangeTextQuotesABoundedPiece) {
  const std::string text = Argument_RangeText(3, std::string(100, '9'));
  EXPECT_NE(text.find("ARG4 (" + std::string(40, '9') + "...)"), std::string::npos) << text;
  EXPECT_EQ(text.find(std::string(41, '9')), std::string::npos);
}

TEST(RunEngine, EndlessLoopTimesOutAndTheEngineCarriesOn) {
  test::Recorder rec;
  RunEngine engine;
  const auto t0 = std::chrono::steady_clock::now();
  const RunResult r = Command3_Run(engine, Hex_Bytes("EBFE"), {"0", "0", "0", "0"}, Limits(0.2));
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(r.status, RunStatus::TimedOut);
  EXPECT_EQ(r.what.rfind("Time-out: the routine ran longer than 0.2 seconds at EIP=&H400000 after ", 0), 0u)
      << r.what;
  EXPECT_GT(r.registers.instructions, 1000u);
  EXPECT_LT(took, 5.0);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].style, MsgStyle::OkExclamation);
  EXPECT_EQ(engine.Run_Code(Hex_Bytes("B807000000C21000"), {}, Limits()).eax, 7);
}

// A box that stays open longer than the time-out does not count against the routine.
struct SlowReader : RecordingMessageHandler {
  MsgAnswer Show(const Message& m) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    return RecordingMessageHandler::Show(m);
  }
};

TEST(RunEngine, TimeInShowValueIsNotCounted) {
  // PUSH 9 / CALL [ESP+8] (ARG1 moved up by the push) / MOV ECX,200000 / L: DEC ECX / JNZ L /
  // MOV EAX,1 / RET 16: after the box the loop passes the time-out checks many times.
  const std::string code = Hex_Bytes("6A09 FF542408 B9400D0300 49 75FD B801000000 C21000");
  const std::array<std::int32_t, 4> args{static_cast<std::int32_t>(Get_FnAddress()), 0, 0, 0};
  for (bool isolated : {true, false}) {
    SlowReader reader;
    ScopedMessageHandler scope(reader);
    RunEngine engine;
    const RunResult r = engine.Run_Code(code, args, Limits(0.3, isolated));
    EXPECT_EQ(r.status, RunStatus::Returned) << r.what;
    EXPECT_EQ(r.eax, 1);
    ASSERT_EQ(reader.Messages().size(), 1u);
    EXPECT_EQ(reader.Messages()[0].text, "DEC=9\rHEX=&H9");

    // Where the box time counts (the command line), the same routine runs out of time.
    RunLimits counting = Limits(0.3, isolated);
    counting.box_time_counts = true;
    const RunResult late = engine.Run_Code(code, args, counting);
    EXPECT_EQ(late.status, RunStatus::TimedOut) << late.what;
  }
}

// A box's event loop could start another run on the same engine: it is refused, not nested.
struct Reentering : RecordingMessageHandler {
  RunEngine* engine = nullptr;
  RunResult inner;
  MsgAnswer Show(const Message& m) override {
    inner = engine->Run_Code(Hex_Bytes("B807000000C21000"), {}, Limits());
    return RecordingMessageHandler::Show(m);
  }
};

TEST(RunEngine, RunInsideShowValueIsRefused) {
  RunEngine engine;
  Reentering handler;
  handler.engine = &engine;
  ScopedMessageHandler scope(handler);
  const RunResult r = engine.Run_Code(Hex_Bytes("6A09 FF542408 B801000000 C21000"),
                                      {static_cast<std::int32_t>(Get_FnAddress()), 0, 0, 0}, Limits());
  EXPECT_EQ(r.status, RunStatus::Returned) << r.what;
  EXPECT_EQ(handler.inner.status, RunStatus::Faulted);
  EXPECT_EQ(handler.inner.what, "A routine is already running");
}

long Resident_Kib() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4;
}

TEST(RunEngine, ThousandsOfFaultingRunsDoNotGrow) {
  const char* codes[] = {"31C9F7F1", "A100000000", "0F0B", "F4", "E460", "CC", "90", "B800000010FFE0"};
  RunEngine engine;
  test::Recorder rec;
  for (int i = 0; i < 200; ++i) engine.Run_Code(Hex_Bytes(codes[i % 8]), {}, Limits());
  const long before = Resident_Kib();
  for (int i = 0; i < 1000; ++i) {
    const RunResult r = engine.Run_Code(Hex_Bytes(codes[i % 8]), {}, Limits());
    ASSERT_EQ(r.status, RunStatus::Faulted) << codes[i % 8];
  }
  const long after = Resident_Kib();
#ifndef __SANITIZE_ADDRESS__  // ASan holds freed memory in quarantine; LeakSanitizer checks at exit
  EXPECT_LT(after - before, 4096) << "resident KiB before " << before << ", after " << after;
#else
  (void)before;
  (void)after;
#endif
}

// Figures for the report (not asserted): set-up cost of a short run and the emulation speed.
TEST(RunEngine, MeasuredCosts) {
  RunEngine engine;
  const std::string short_code = Hex_Bytes("B807000000C21000");
  engine.Run_Code(short_code, {}, Limits());
  const int n = 2000;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) engine.Run_Code(short_code, {}, Limits());
  const double per_run =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / n;

  // MOV ECX,20000000 / L: DEC ECX / JNZ L / MOV EAX,1 / RET 16
  const std::string loop = Hex_Bytes("B9002D3101 49 75FD B801000000 C21000");
  t0 = std::chrono::steady_clock::now();
  const RunResult r = engine.Run_Code(loop, {}, Limits(60));
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_EQ(r.status, RunStatus::Returned) << r.what;
  EXPECT_EQ(r.registers.instructions, 40000003u);
  std::printf("[ figures  ] short run: %.1f us; tight loop: %.0f million instructions/s\n", per_run,
              r.registers.instructions / secs / 1e6);
}

}  // namespace
}  // namespace orvo
