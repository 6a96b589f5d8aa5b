#include "run/debug_session.h"

#include <gtest/gtest.h>

#include <random>

#include "app/source_lines.h"
#include "assembler/compile.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;

// A compiled routine in a debug session, with its address-to-line map.
struct Debugged {
  std::string text;
  CompileSession compile;
  SourceLineMap lines;
  DebugSession session;

  Debugged(const std::vector<std::string_view>& source, bool stack, std::array<std::int32_t, 4> args = {}) {
    for (std::string_view line : source) text.append(line).append("\r\n");
    CompileOptions options;
    options.stack = stack;
    EXPECT_EQ(compile.Compile(text, options), CompileOutcome::Finished);
    lines = SourceLineMap(compile.Listing_(), compile.Image().Size(), stack, Split_Lines(text));
    EXPECT_EQ(session.Start(compile.Image().Bytes(), args, DebugOptions{}), DebugStatus::Ready);
  }

  std::string Where() const { return lines.Describe(session.Registers().eip - DebugSession::Code_Base()); }
  std::uint32_t Line_Address(std::size_t line_1_based) const {
    const std::int64_t offset = lines.Offset_Of(line_1_based - 1);
    EXPECT_GE(offset, 0) << "line " << line_1_based << " has no code";
    return DebugSession::Code_Base() + static_cast<std::uint32_t>(offset);
  }
};

const std::vector<std::string_view> kDefaultSource = {
    "REM MSGBOX", "Const Arg1 EQU [ebp+8]", "Const Arg2 EQU [ebp+12]", "PUSHAD", "PUSH Arg2", "CALL Arg1",
    "POPAD",      "MOV EAX,&B1111"};

const std::vector<std::string_view> kSumSource = {"MOV ECX,[EBP+12]", "XOR EAX,EAX", "again:", "ADD EAX,ECX",
                                                  "LOOP again"};

const std::vector<std::string_view> kFactorialSource = {
    "MOV ECX,[ESP+8]", "CALL fact", "RET 16",  "fact:",     "CMP ECX,1", "JA recurse", "MOV EAX,1", "RET",
    "recurse:",        "PUSH ECX",  "DEC ECX", "CALL fact", "POP ECX",   "MUL ECX",    "RET"};

const std::vector<std::string_view> kTableSource = {
    "SUB ESP,16", "MOV EDI,ESP",     "MOV ECX,4",       "fill:",      "MOV [EDI],ECX", "ADD EDI,4",
    "LOOP fill",  "MOV EAX,[ESP+8]", "ADD EAX,[ESP+4]", "ADD ESP,16", "RET 16"};

const std::vector<std::string_view> kDivideSource = {"MOV EAX,10", "XOR ECX,ECX", "DIV ECX", "RET 16"};

std::int32_t Run_Eax(std::string_view code, const std::array<std::int32_t, 4>& args) {
  RunEngine engine;
  RunLimits limits;
  const RunResult r = engine.Run_Code(code, args, limits);
  EXPECT_EQ(r.status, RunStatus::Returned) << r.what;
  return r.eax;
}

TEST(DebugSession, DefaultSourceStepsThroughFrameAndShowValue) {
  test::Recorder rec;
  Debugged d(kDefaultSource, true, {static_cast<std::int32_t>(Get_FnAddress()), 5, 0, 0});
  EXPECT_EQ(d.session.Registers().eip, DebugSession::Code_Base());
  EXPECT_EQ(d.Where(), "prologue of the stack frame");
  // The prologue is five instructions: PUSH EBP, MOV EBP,ESP, PUSH EBX, PUSH ESI, PUSH EDI.
  for (int i = 0; i < 5; ++i) ASSERT_EQ(d.session.Step_Into(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 4: PUSHAD");
  ASSERT_EQ(d.session.Step_Into(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 5: PUSH Arg2");
  EXPECT_EQ(d.session.Changed() & ((1u << kEsp) | (1u << kEax)), 1u << kEsp);
  ASSERT_EQ(d.session.Step_Into(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 6: CALL Arg1");
  // The call of Show_Value is one step over: its box, EAX = 0, the argument popped.
  const std::uint32_t esp = d.session.Registers().esp;
  ASSERT_EQ(d.session.Step_Over(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 7: POPAD");
  EXPECT_EQ(d.session.Registers().esp, esp + 4);
  EXPECT_EQ(d.session.Registers().eax, 0u);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0], (Message{"DEC=5\rHEX=&H5", MsgStyle::Ok, "ORVO IDE"}));
  ASSERT_EQ(d.session.Step_Into(), DebugStatus::Ready);
  ASSERT_EQ(d.session.Step_Into(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "epilogue of the stack frame");
  EXPECT_EQ(d.session.Continue(), DebugStatus::Returned);
  EXPECT_EQ(d.session.Registers().eax, 15u);
  EXPECT_EQ(d.session.Registers().eip, DebugSession::Return_Address());
  EXPECT_EQ(d.session.Registers().instructions, 18u);
  EXPECT_EQ(d.session.Registers().esp, d.session.Registers().esp_expected);
}

TEST(DebugSession, SummingLoopBreakpointAndRunToLine) {
  Debugged d(kSumSource, true, {0, 4, 0, 0});
  d.session.Set_Breakpoint(d.Line_Address(4), true);
  // Each pass stops at ADD with ECX counting down and EAX the sum so far.
  const std::uint32_t expected[][2] = {{4, 0}, {3, 4}, {2, 7}, {1, 9}};
  for (const auto& [ecx, eax] : expected) {
    ASSERT_EQ(d.session.Continue(), DebugStatus::Breakpoint);
    EXPECT_EQ(d.Where(), "line 4: ADD EAX,ECX");
    EXPECT_EQ(d.session.Registers().ecx, ecx);
    EXPECT_EQ(d.session.Registers().eax, eax);
  }
  ASSERT_EQ(d.session.Step_Into(), DebugStatus::Ready);
  EXPECT_EQ(d.session.Registers().eax, 10u);
  // ADD 9+1: ZF, SF, CF clear, PF of 0A (two bits set) set; only the changed ones are marked.
  const std::uint32_t f = d.session.Registers().eflags;
  EXPECT_EQ(f & 0x8C5u, 0x004u);
  EXPECT_TRUE(d.session.Changed() & (1u << kEax));
  EXPECT_FALSE(d.session.Changed() & (1u << kEcx));
  d.session.Set_Breakpoint(d.Line_Address(4), false);
  EXPECT_EQ(d.session.Continue(), DebugStatus::Returned);
  EXPECT_EQ(static_cast<std::int32_t>(d.session.Registers().eax),
            Run_Eax(d.compile.Image().Bytes(), {0, 4, 0, 0}));

  ASSERT_EQ(d.session.Reset(), DebugStatus::Ready);
  ASSERT_EQ(d.session.Run_To(d.Line_Address(5)), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 5: LOOP again");
  EXPECT_EQ(d.session.Registers().eax, 4u);
}

TEST(DebugSession, FactorialStepOverAndStepOut) {
  Debugged d(kFactorialSource, false, {0, 5, 0, 0});
  ASSERT_EQ(d.session.Step_Into(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 2: CALL fact");
  // Stepping over the outer call runs the whole recursion.
  ASSERT_EQ(d.session.Step_Over(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 3: RET 16");
  EXPECT_EQ(d.session.Registers().eax, 120u);

  ASSERT_EQ(d.session.Reset(), DebugStatus::Ready);
  d.session.Set_Breakpoint(d.Line_Address(7), true);  // MOV EAX,1: the deepest call
  ASSERT_EQ(d.session.Continue(), DebugStatus::Breakpoint);
  EXPECT_EQ(d.session.Registers().ecx, 1u);
  d.session.Clear_Breakpoints();
  // Out of the deepest call into its caller, after CALL fact on line 12, then out again.
  ASSERT_EQ(d.session.Step_Out(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 13: POP ECX");
  EXPECT_EQ(d.session.Registers().eax, 1u);
  ASSERT_EQ(d.session.Step_Out(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 13: POP ECX");
  EXPECT_EQ(d.session.Registers().eax, 2u);
  // A step over a recursive CALL at line 12 comes back to line 13 of the same level.
  ASSERT_EQ(d.session.Reset(), DebugStatus::Ready);
  ASSERT_EQ(d.session.Run_To(d.Line_Address(12)), DebugStatus::Ready);
  EXPECT_EQ(d.session.Registers().ecx, 4u);
  ASSERT_EQ(d.session.Step_Over(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 13: POP ECX");
  EXPECT_EQ(d.session.Registers().eax, 24u);
  EXPECT_EQ(d.session.Continue(), DebugStatus::Returned);
  EXPECT_EQ(d.session.Registers().eax, 120u);
}

TEST(DebugSession, TableWrittenAndReadBack) {
  Debugged d(kTableSource, false);
  ASSERT_EQ(d.session.Run_To(d.Line_Address(8)), DebugStatus::Ready);
  const std::uint32_t esp = d.session.Registers().esp;
  EXPECT_EQ(d.session.Read_Memory(esp, 16), Hex_Bytes("04000000 03000000 02000000 01000000"));
  EXPECT_EQ(d.session.Continue(), DebugStatus::Returned);
  EXPECT_EQ(d.session.Registers().eax, 5u);
  // The code image is readable as data, and unmapped memory is refused.
  EXPECT_EQ(d.session.Read_Memory(DebugSession::Code_Base(), 6), Hex_Bytes("81EC10000000"));
  EXPECT_EQ(d.session.Read_Memory(0, 4), std::nullopt);
  EXPECT_EQ(d.session.Read_Memory(DebugSession::Code_Base(), std::size_t{1} << 40), std::nullopt);
  EXPECT_EQ(d.session.Read_Memory(0xFFFFFFFC, 8), std::nullopt);
}

TEST(DebugSession, DivideByZeroStopsAtItsLineAndStepsBack) {
  Debugged d(kDivideSource, false);
  EXPECT_EQ(d.session.Continue(), DebugStatus::Faulted);
  EXPECT_EQ(d.Where(), "line 3: DIV ECX");
  EXPECT_EQ(d.session.Fault_Address(), DebugSession::Code_Base() + 7);
  // The same words as RUN's box.
  RunEngine engine;
  const RunResult run = engine.Run_Code(d.compile.Image().Bytes(), {}, RunLimits{});
  EXPECT_EQ(d.session.Fault_Text(), run.what);
  EXPECT_EQ(d.session.Registers().instructions, 2u);
  // Nothing runs past a fault; a step back returns to the state before it.
  EXPECT_EQ(d.session.Step_Into(), DebugStatus::Faulted);
  EXPECT_EQ(d.session.Step_Back(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 3: DIV ECX");
  EXPECT_EQ(d.session.Registers().eax, 10u);
  EXPECT_EQ(d.session.Registers().ecx, 0u);
  EXPECT_EQ(d.session.Step_Back(), DebugStatus::Ready);
  EXPECT_EQ(d.Where(), "line 2: XOR ECX,ECX");
}

TEST(DebugSession, RefusesWhatCannotRun) {
  DebugSession s;
  EXPECT_EQ(s.Start("", {}, DebugOptions{}), DebugStatus::NotStarted);
  EXPECT_NE(s.Fault_Text(), "");
  EXPECT_EQ(s.Step_Into(), DebugStatus::NotStarted);
  EXPECT_EQ(s.Step_Back(), DebugStatus::NotStarted);
  ASSERT_EQ(s.Start(Hex_Bytes("90C3"), {}, DebugOptions{}), DebugStatus::Ready);
  EXPECT_EQ(s.Step_Back(), DebugStatus::NoHistory);
}

TEST(DebugSession, EndlessLoopEndsByTimeLimitAndStop) {
  DebugSession s;
  DebugOptions options;
  options.timeout_seconds = 0.2;
  ASSERT_EQ(s.Start(Hex_Bytes("EBFE"), {}, options), DebugStatus::Ready);
  EXPECT_EQ(s.Continue(), DebugStatus::TimedOut);
  EXPECT_NE(s.Fault_Text().find("Time-out"), std::string::npos);
  int steps = 0;
  s.on_step = [&] {
    if (++steps == 1000) s.Stop();
    return true;
  };
  EXPECT_EQ(s.Continue(), DebugStatus::Stopped);
  EXPECT_EQ(steps, 1000);
}

// ---- step back is exact

struct Snapshot {
  RegisterState registers;
  std::string memory;
  bool operator==(const Snapshot& o) const {
    const RegisterState& a = registers;
    const RegisterState& b = o.registers;
    return a.eax == b.eax && a.ecx == b.ecx && a.edx == b.edx && a.ebx == b.ebx && a.esp == b.esp &&
           a.ebp == b.ebp && a.esi == b.esi && a.edi == b.edi && a.eip == b.eip && a.eflags == b.eflags &&
           a.instructions == b.instructions && memory == o.memory;
  }
};

Snapshot Take(const DebugSession& s) {
  Snapshot snap{s.Registers(), {}};
  for (const auto& [address, size] : s.Mapped_Ranges()) snap.memory += s.Read_Memory(address, size).value();
  return snap;
}

// Random straight-line routines of instructions that write registers, flags, the stack and the
// code buffer (a data area behind the code, and the code itself).
std::string Random_Routine(std::mt19937& rng) {
  // clang-format off
  static const char* const kPieces[] = {
      "B8 78563412",        // MOV EAX,12345678h
      "05 FFFFFF7F",        // ADD EAX,7FFFFFFFh (overflow, carry)
      "01 C8",              // ADD EAX,ECX
      "29 D8",              // SUB EAX,EBX
      "41", "4A", "93",     // INC ECX, DEC EDX, XCHG EAX,EBX
      "50", "51", "5B", "5E",  // PUSH EAX, PUSH ECX, POP EBX, POP ESI
      "F7 E1",              // MUL ECX
      "D1 E0", "D1 D8",     // SHL EAX,1, RCR EAX,1
      "FD", "FC", "F9",     // STD, CLD, STC
      "89 44 24 F0",        // MOV [ESP-10h],EAX
      "C7 05 00804000 EFBEADDE",  // MOV DWORD [408000h],DEADBEEFh
      "01 05 04804000",     // ADD [408004h],EAX
      "BF 10804000 AB",     // MOV EDI,408010h / STOSD
      "60", "61",           // PUSHAD, POPAD
      "0F C8",              // BSWAP EAX
      "C6 05 00004000 90",  // MOV BYTE [400000h],90h: the code rewrites its own first byte
  };
  // clang-format on
  std::string code;
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
  for (int i = 0; i < 60; ++i) code += Hex_Bytes(kPieces[pick(rng)]);
  return code + Hex_Bytes("C21000");
}

TEST(DebugSession, StepBackRestoresEveryRegisterAndByte) {
  std::mt19937 rng(20261207);
  for (int routine = 0; routine < 25; ++routine) {
    const std::string code = Random_Routine(rng);
    DebugSession s;
    ASSERT_EQ(s.Start(code, {1, 2, 3, 4}, DebugOptions{}), DebugStatus::Ready);
    // Part of the way in first, so the start state is not the fresh one.
    std::uniform_int_distribution<int> steps(1, 50);
    for (int i = steps(rng); i > 0; --i) ASSERT_EQ(s.Step_Into(), DebugStatus::Ready);
    const Snapshot start = Take(s);
    const int n = steps(rng);
    int done = 0;
    // A step that faults or returns is undone like any other.
    while (done < n && (++done, s.Step_Into() == DebugStatus::Ready)) {
    }
    for (int i = 0; i < done; ++i) ASSERT_EQ(s.Step_Back(), DebugStatus::Ready) << routine;
    EXPECT_TRUE(Take(s) == start) << "routine " << routine << " after " << done << " steps";
    // The stack is unbalanced at random: the end is a return or a fault, never a hang.
    const DebugStatus end = s.Continue();
    EXPECT_TRUE(end == DebugStatus::Returned || end == DebugStatus::Faulted) << routine;
  }
}

TEST(DebugSession, StepBackAfterFaultsRestoresTheStateBefore) {
  struct Row {
    const char* code;
    const char* what;
  };
  const Row rows[] = {
      {"B8 01000000 A3 00000000", "Write to unmapped memory at &H0"},  // MOV [0],EAX
      {"6A 05 FF 25 00000000", "Read from unmapped memory at &H0"},    // PUSH 5 / JMP [0]
      {"6A 05 CD 21", "Software interrupt (INT 33)"},                  // PUSH 5 / INT 21h
      {"6A 05 FA", "Privileged instruction (CLI)"},                    // PUSH 5 / CLI
      {"B8 01000000 E6 60", "Port output instruction (OUT to port &H60)"},
  };
  for (const Row& row : rows) {
    DebugSession s;
    ASSERT_EQ(s.Start(Hex_Bytes(row.code), {}, DebugOptions{}), DebugStatus::Ready);
    ASSERT_EQ(s.Step_Into(), DebugStatus::Ready) << row.code;
    const Snapshot before = Take(s);
    EXPECT_EQ(s.Continue(), DebugStatus::Faulted) << row.code;
    EXPECT_NE(s.Fault_Text().find(row.what), std::string::npos) << s.Fault_Text();
    EXPECT_EQ(s.Registers().eip, before.registers.eip) << row.code;
    ASSERT_EQ(s.Step_Back(), DebugStatus::Ready);
    EXPECT_TRUE(Take(s) == before) << row.code;
  }
}

TEST(DebugSession, StepBackCrossesRunsAtFullSpeed) {
  std::mt19937 rng(7);
  for (int routine = 0; routine < 10; ++routine) {
    const std::string code = Random_Routine(rng);
    DebugSession s;
    ASSERT_EQ(s.Start(code, {1, 2, 3, 4}, DebugOptions{}), DebugStatus::Ready);
    std::uniform_int_distribution<std::uint64_t> ahead(2, 30);
    std::vector<Snapshot> states{Take(s)};
    // Steps and runs to a later instruction, mixed; each state kept to come back to.
    for (int i = 0; i < 6 && s.Status() == DebugStatus::Ready; ++i) {
      if (i % 2 == 0) {
        s.Step_Into();
      } else {
        // A target that is an instruction start: the EIP some single steps ahead.
        DebugSession probe;
        ASSERT_EQ(probe.Start(code, {1, 2, 3, 4}, DebugOptions{}), DebugStatus::Ready);
        const std::uint64_t count = s.Registers().instructions + ahead(rng);
        while (probe.Registers().instructions < count && probe.Step_Into() == DebugStatus::Ready) {
        }
        if (s.Run_To(probe.Registers().eip) != DebugStatus::Ready) {
          // A fault on the way: at the same place as stepping.
          EXPECT_EQ(s.Fault_Text(), probe.Fault_Text()) << routine;
          break;
        }
        // Straight-line code: the run at full speed reaches the state the single steps did.
        EXPECT_TRUE(Take(s) == Take(probe)) << "routine " << routine << " at " << s.Registers().instructions
                                            << " / " << probe.Registers().instructions;
      }
      if (s.Status() == DebugStatus::Ready) states.push_back(Take(s));
    }
    // Back to each earlier state in turn, by single steps back.
    for (std::size_t k = states.size() - 1; k > 0; --k) {
      while (s.Registers().instructions > states[k - 1].registers.instructions)
        ASSERT_EQ(s.Step_Back(), DebugStatus::Ready) << routine;
      EXPECT_TRUE(Take(s) == states[k - 1]) << "routine " << routine << " state " << k - 1;
    }
  }
}

TEST(DebugSession, ContinueCountsAsSteppingAndAsRun) {
  // 1+..+50000 by LOOP: 100 004 instructions, more than step back records one by one.
  Debugged d(kSumSource, true, {0, 50000, 0, 0});
  const std::uint32_t loop = d.Line_Address(5);
  d.session.Set_Breakpoint(loop, true);
  for (int pass = 0; pass < 3; ++pass) ASSERT_EQ(d.session.Continue(), DebugStatus::Breakpoint);
  EXPECT_EQ(d.session.Registers().instructions, 5u + 2 + 2 * 2 + 1);
  d.session.Clear_Breakpoints();
  EXPECT_EQ(d.session.Continue(), DebugStatus::Returned);
  RunEngine engine;
  const RunResult run = engine.Run_Code(d.compile.Image().Bytes(), {0, 50000, 0, 0}, RunLimits{});
  EXPECT_EQ(d.session.Registers().instructions, run.registers.instructions);
  EXPECT_EQ(d.session.Registers().eax, static_cast<std::uint32_t>(run.eax));
  // Back over the return and into the loop: the state single steps reach at the same count.
  const Snapshot end = Take(d.session);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(d.session.Step_Back(), DebugStatus::Ready);
  DebugSession stepped;
  ASSERT_EQ(stepped.Start(d.compile.Image().Bytes(), {0, 50000, 0, 0}, DebugOptions{}), DebugStatus::Ready);
  while (stepped.Registers().instructions < d.session.Registers().instructions)
    ASSERT_EQ(stepped.Step_Into(), DebugStatus::Ready);
  EXPECT_TRUE(Take(stepped) == Take(d.session));
  EXPECT_EQ(d.Where(), "line 4: ADD EAX,ECX");
  EXPECT_EQ(d.session.Continue(), DebugStatus::Returned);
  EXPECT_TRUE(Take(d.session) == end);
}

TEST(DebugSession, HistoryIsBoundedOldestDroppedFirst) {
  DebugSession s;
  DebugOptions options;
  options.history_bytes = 16 * 1024;
  // PUSH EAX / POP EAX / JMP back: a write every other step.
  ASSERT_EQ(s.Start(Hex_Bytes("50 58 EB FC"), {}, options), DebugStatus::Ready);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(s.Step_Into(), DebugStatus::Ready);
  EXPECT_LE(s.History_Bytes(), options.history_bytes);
  EXPECT_GT(s.History_Dropped(), 0u);
  const std::size_t kept = s.History_Steps();
  EXPECT_EQ(kept + s.History_Dropped(), 3000u);
  for (std::size_t i = 0; i < kept; ++i) ASSERT_EQ(s.Step_Back(), DebugStatus::Ready);
  EXPECT_EQ(s.Step_Back(), DebugStatus::NoHistory);
  EXPECT_EQ(s.Registers().instructions, 3000u - kept);
  // The default budget keeps at least 100 000 steps of such a loop.
  EXPECT_GE(DebugOptions{}.history_bytes / (options.history_bytes / kept), 100000u);
}

TEST(ChangedText, RegistersThenNamedFlags) {
  RegisterState r;
  r.eax = 15;
  r.esp = 0x1FFEF0;
  r.eflags = 0x246;
  const std::uint32_t changed = (1u << kEax) | (1u << kEsp) | (1u << kEip) | (1u << kEflags) |
                                (1u << (kRegCount + 3)) | (1u << (kRegCount + 0));
  EXPECT_EQ(Changed_Text(changed, r), "EAX=&H0000000F ESP=&H001FFEF0 CF=0 ZF=1");
  EXPECT_EQ(Changed_Text(0, r), "");
}

}  // namespace
}  // namespace orvo
