#include "run/debug_child.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "run/emulator.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;

// MOV ECX,[ESP+8] / XOR EAX,EAX / again: ADD EAX,ECX / LOOP again / RET 16
const std::string kSum = Hex_Bytes("8B4C2408 31C0 01C8 E2FC C21000");
constexpr std::uint32_t kBase = 0x00400000;
constexpr std::uint32_t kAdd = kBase + 6;

bool Same(const RegisterState& a, const RegisterState& b) {
  return a.eax == b.eax && a.ecx == b.ecx && a.edx == b.edx && a.ebx == b.ebx && a.esp == b.esp &&
         a.ebp == b.ebp && a.esi == b.esi && a.edi == b.edi && a.eflags == b.eflags && a.eip == b.eip &&
         a.instructions == b.instructions;
}

TEST(IsolatedDebugSession, EveryCommandLeavesTheStateTheSessionInProcessLeaves) {
  test::Recorder rec;
  const std::array<std::int32_t, 4> args{0, 4, 0, 0};
  const DebugReads reads{64, kBase, 16};
  DebugSession local;
  ASSERT_EQ(local.Start(kSum, args, DebugOptions{}), DebugStatus::Ready);
  local.Set_Breakpoint(kAdd, true);
  IsolatedDebugSession isolated;
  DebugState state = isolated.Start(kSum, args, DebugOptions{}, {kAdd}, reads);
  ASSERT_EQ(state.status, DebugStatus::Ready) << state.fault_text;
  EXPECT_EQ(state.memory, kSum + std::string(16 - kSum.size(), '\0'));

  struct Row {
    DebugCommand command;
    std::uint32_t address;
    DebugStatus (*run)(DebugSession&, std::uint32_t);
  };
  const Row rows[] = {
      {DebugCommand::StepInto, 0, [](DebugSession& s, std::uint32_t) { return s.Step_Into(); }},
      {DebugCommand::Continue, 0, [](DebugSession& s, std::uint32_t) { return s.Continue(); }},
      {DebugCommand::Continue, 0, [](DebugSession& s, std::uint32_t) { return s.Continue(); }},
      {DebugCommand::StepBack, 0, [](DebugSession& s, std::uint32_t) { return s.Step_Back(); }},
      {DebugCommand::StepOver, 0, [](DebugSession& s, std::uint32_t) { return s.Step_Over(); }},
      {DebugCommand::RunTo, kBase + 8, [](DebugSession& s, std::uint32_t at) { return s.Run_To(at); }},
      {DebugCommand::StepOut, 0, [](DebugSession& s, std::uint32_t) { return s.Step_Out(); }},
      {DebugCommand::Read, 0, [](DebugSession& s, std::uint32_t) { return s.Status(); }},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const DebugStatus expected = rows[i].run(local, rows[i].address);
    state = isolated.Run(rows[i].command, rows[i].address, reads);
    EXPECT_EQ(state.status, expected) << i;
    EXPECT_TRUE(Same(state.registers, local.Registers())) << i;
    EXPECT_EQ(state.changed, local.Changed()) << i;
    EXPECT_EQ(state.history_steps, local.History_Steps()) << i;
    EXPECT_EQ(state.stack, local.Read_Memory(local.Registers().esp, 64).value_or("")) << i;
    EXPECT_FALSE(state.lost) << i;
  }
  // Breakpoints set between commands count from the next one.
  local.Set_Breakpoint(kAdd, false);
  isolated.Set_Breakpoint(kAdd, false);
  EXPECT_EQ(local.Continue(), DebugStatus::Returned);
  state = isolated.Run(DebugCommand::Continue, 0, reads);
  EXPECT_EQ(state.status, DebugStatus::Returned);
  EXPECT_EQ(state.registers.eax, 10u);
  EXPECT_TRUE(Same(state.registers, local.Registers()));
  // Past the stack's top only part of a read is mapped: it is halved until it all is.
  state = isolated.Run(DebugCommand::Read, 0, {4096, 0x001FFFF8, 64});
  EXPECT_EQ(state.memory.size(), 8u);
  EXPECT_EQ(0x200000 - state.registers.esp, 236u);
  EXPECT_EQ(state.stack.size(), 128u);
}

TEST(IsolatedDebugSession, ShowValueBoxesReachTheCallersHandler) {
  test::Recorder rec;
  // PUSH 7 / CALL [ESP+8] (ARG1, Show_Value) / RET 16
  IsolatedDebugSession isolated;
  const DebugState start =
      isolated.Start(Hex_Bytes("6A07 FF542408 C21000"), {static_cast<std::int32_t>(Get_FnAddress()), 0, 0, 0},
                     DebugOptions{}, {}, {});
  ASSERT_EQ(start.status, DebugStatus::Ready);
  const DebugState end = isolated.Run(DebugCommand::Continue, 0, {});
  EXPECT_EQ(end.status, DebugStatus::Returned);
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].text, "DEC=7\rHEX=&H7");
}

// The emulator library aborts its process on these while translating them: the command reports
// where, the caller lives on with the last state, and a new session starts in a new process.
TEST(IsolatedDebugSession, CodeTheEmulatorAbortsOnEndsTheSessionNotTheCaller) {
  struct Row {
    const char* name;
    const char* code;
    DebugCommand command;
    std::uint32_t at;
  };
  const Row rows[] = {
      {"CALL FAR EAX stepped into", "FFD8", DebugCommand::StepInto, kBase},
      {"JMP FAR AX in the block of the MOV stepped", "B801000000 66FFE8", DebugCommand::StepInto, kBase + 5},
      {"LOCK CMP after a jump, by continue", "B807000000 EB00 F03900", DebugCommand::Continue, kBase + 7},
  };
  test::Recorder rec;
  IsolatedDebugSession isolated;
  for (const Row& row : rows) {
    const DebugState start = isolated.Start(Hex_Bytes(row.code), {}, DebugOptions{}, {}, {16, kBase, 16});
    ASSERT_EQ(start.status, DebugStatus::Ready) << row.name;
    const DebugState state = isolated.Run(row.command, 0, {16, kBase, 16});
    EXPECT_EQ(state.status, DebugStatus::Faulted) << row.name;
    EXPECT_TRUE(state.lost) << row.name;
    EXPECT_EQ(state.fault_address, row.at) << row.name;
    EXPECT_EQ(state.fault_text,
              "Invalid instruction: the emulator cannot translate the routine's code at EIP=" +
                  emulator::Hex_Address(row.at))
        << row.name;
    // The panels keep what they showed: the state before the command.
    EXPECT_TRUE(Same(state.registers, start.registers)) << row.name;
    EXPECT_EQ(state.memory, start.memory) << row.name;
    const DebugState after = isolated.Run(DebugCommand::StepInto, 0, {});
    EXPECT_EQ(after.status, DebugStatus::NotStarted) << row.name;
    EXPECT_EQ(after.fault_text, "The debug session has ended") << row.name;
  }
  const DebugState again = isolated.Start(kSum, {0, 3, 0, 0}, DebugOptions{}, {}, {});
  ASSERT_EQ(again.status, DebugStatus::Ready);
  EXPECT_EQ(isolated.Run(DebugCommand::Continue, 0, {}).registers.eax, 6u);
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(IsolatedDebugSession, StopFromAnotherThreadEndsAnEndlessContinue) {
  IsolatedDebugSession isolated;
  ASSERT_EQ(isolated.Start(Hex_Bytes("EBFE"), {}, DebugOptions{}, {}, {}).status, DebugStatus::Ready);
  std::future<DebugState> running =
      std::async(std::launch::async, [&] { return isolated.Run(DebugCommand::Continue, 0, {}); });
  // A stop asked for before the command began is cleared with it: ask until it ends.
  while (running.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) isolated.Stop();
  const DebugState state = running.get();
  EXPECT_EQ(state.status, DebugStatus::Stopped);
  EXPECT_EQ(state.registers.eip, kBase);
  EXPECT_GT(state.registers.instructions, 0u);
}

// Stop asked for while a box is open ends the command before the routine shows another.
TEST(IsolatedDebugSession, StopInAShowValueBoxEndsTheCommandThere) {
  // L: PUSH 1 / CALL [ESP+8] (ARG1, Show_Value) / JMP L
  const std::string code = Hex_Bytes("6A01 FF542408 EBF8");
  const std::array<std::int32_t, 4> args{static_cast<std::int32_t>(Get_FnAddress()), 0, 0, 0};
  IsolatedDebugSession isolated;
  struct StopAtThird : RecordingMessageHandler {
    IsolatedDebugSession* session = nullptr;
    MsgAnswer Show(const Message& message) override {
      const MsgAnswer answer = RecordingMessageHandler::Show(message);
      if (Messages().size() == 3) session->Stop();
      return answer;
    }
  } person;
  person.session = &isolated;
  ScopedMessageHandler scope(person);
  ASSERT_EQ(isolated.Start(code, args, DebugOptions{}, {}, {}).status, DebugStatus::Ready);
  const DebugState state = isolated.Run(DebugCommand::Continue, 0, {});
  EXPECT_EQ(state.status, DebugStatus::Stopped) << state.fault_text;
  EXPECT_EQ(person.Messages().size(), 3u);
  // Where Show_Value returned to: going on shows no box twice.
  EXPECT_EQ(state.registers.eip, kBase + 6);
  EXPECT_EQ(state.registers.instructions, 14u);  // PUSH, CALL, XOR, RET 4 three times, two JMPs
  person.session = nullptr;
  person.Clear();
  EXPECT_EQ(isolated.Run(DebugCommand::StepInto, 0, {}).registers.eip, kBase);
  EXPECT_TRUE(person.Messages().empty());
}

// A box that keeps the person for longer than a command may run.
class SlowPerson : public RecordingMessageHandler {
 public:
  MsgAnswer Show(const Message& message) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    return RecordingMessageHandler::Show(message);
  }
};

// The time a Show_Value box waits for the person is not counted against the command's limit.
TEST(DebugSession, TimeInAShowValueBoxIsNotTheCommands) {
  // PUSH 7 / CALL [ESP+8] / MOV ECX,30000 / L: DEC ECX / JNZ L / MOV EAX,42 / RET 16: the loop
  // passes the time checks of both ways of running.
  const std::string code = Hex_Bytes("6A07 FF542408 B930750000 49 75FD B82A000000 C21000");
  const std::array<std::int32_t, 4> args{static_cast<std::int32_t>(Get_FnAddress()), 0, 0, 0};
  DebugOptions options;
  options.timeout_seconds = 1.0;
  enum class Way { FullSpeed, StepByStep, ChildProcess };
  for (Way way : {Way::FullSpeed, Way::StepByStep, Way::ChildProcess}) {
    SlowPerson person;
    ScopedMessageHandler scope(person);
    DebugStatus status = DebugStatus::NotStarted;
    std::string why;
    if (way == Way::ChildProcess) {
      IsolatedDebugSession isolated;
      ASSERT_EQ(isolated.Start(code, args, options, {}, {}).status, DebugStatus::Ready);
      const DebugState state = isolated.Run(DebugCommand::Continue, 0, {});
      status = state.status;
      why = state.fault_text;
    } else {
      DebugSession session;
      ASSERT_EQ(session.Start(code, args, options), DebugStatus::Ready);
      if (way == Way::StepByStep) session.on_step = [] { return true; };
      status = session.Continue();
      why = session.Fault_Text();
    }
    EXPECT_EQ(status, DebugStatus::Returned) << static_cast<int>(way) << ": " << why;
    EXPECT_EQ(person.Messages().size(), 1u) << static_cast<int>(way);
  }
}

}  // namespace
}  // namespace orvo
