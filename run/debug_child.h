#pragma once
// A debug session in the emulator's child process, as RUN runs its routines: the child keeps the
// DebugSession, the caller sends commands and gets the state back with the memory it asked to
// see. Code the emulator library aborts on ends the child, not the caller: the command then
// reports the fault and the session is over.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "run/debug_session.h"

namespace orvo {

// Memory read after every command: the stack from ESP up and one range. Each is read as far as
// it is mapped: what is asked for, else its first half, quarter... (empty when none is).
struct DebugReads {
  std::uint32_t stack_bytes = 0;
  std::uint32_t memory_address = 0;
  std::uint32_t memory_bytes = 0;
};

// What a command left: the state of DebugSession and the reads.
struct DebugState {
  DebugStatus status = DebugStatus::NotStarted;
  RegisterState registers;
  std::uint32_t changed = 0;
  std::string fault_text;
  std::uint32_t fault_address = 0;
  std::uint64_t history_steps = 0;
  std::uint64_t history_dropped = 0;
  std::string stack;
  std::uint32_t memory_address = 0;
  std::string memory;
  // The child process ended (the emulator library aborted): status is Faulted, the registers and
  // reads are those of the last state that came back, and the session is over.
  bool lost = false;
};

enum class DebugCommand : std::uint8_t { Read, StepInto, StepOver, StepOut, StepBack, Continue, RunTo };

// Reads the state of a session (in whatever process it lives).
DebugState Take_State(const DebugSession& session, const DebugReads& reads);

class IsolatedDebugSession {
 public:
  IsolatedDebugSession();
  ~IsolatedDebugSession();
  IsolatedDebugSession(const IsolatedDebugSession&) = delete;
  IsolatedDebugSession& operator=(const IsolatedDebugSession&) = delete;

  // DebugSession::Start in a child process (a new one when the last one ended), breakpoints set.
  DebugState Start(std::string_view code, const std::array<std::int32_t, 4>& args,
                   const DebugOptions& options, const std::set<std::uint32_t>& breakpoints,
                   const DebugReads& reads);
  // Runs one command (address: Run_To's) and reads the state after it. Show_Value boxes go
  // through this thread's message handler.
  DebugState Run(DebugCommand command, std::uint32_t address, const DebugReads& reads);
  // Takes effect from the next command.
  void Set_Breakpoint(std::uint32_t address, bool on);
  // From any thread: ends the running command after its current instruction. Each command
  // begins with no stop asked for: a stop for a command still queued must be asked again.
  void Stop() { stop_requested_.store(true); }

 private:
  DebugState Exchange(char type, const std::string& request, double seconds);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::atomic<bool> stop_requested_{false};
};

}  // namespace orvo
