#pragma once
// A debug session: the routine of RUN (same address space, arguments and Show_Value) run one
// instruction at a time, with breakpoints and an exact step back over a bounded history. Every
// instruction stepped records the registers before it and the old value of every byte it writes,
// so undoing it restores registers, flags and memory byte for byte.
//
// The session runs the emulator on the calling thread and in the calling process. Callers that
// must survive the emulator library aborting run it in a child process: the window through
// IsolatedDebugSession (run/debug_child.h), `orvo trace` by forking.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "run/run_engine.h"

namespace orvo {

enum class DebugStatus {
  Ready,       // at an instruction, may go on
  Breakpoint,  // stopped at a breakpoint (may go on)
  Stopped,     // Stop() or a step observer ended the command (may go on)
  Returned,    // the routine came back to its caller
  Faulted,     // the instruction at EIP faulted; registers and memory are as it left them
  TimedOut,    // the command ran longer than the time limit (may go on)
  NotStarted,  // no routine loaded, or the emulator could not be set up
  NoHistory,   // Step_Back with nothing left to undo
};

// Bits of DebugSession::Changed(): the registers in RegisterState order, then the named flags.
enum DebugReg : int { kEax, kEcx, kEdx, kEbx, kEsp, kEbp, kEsi, kEdi, kEip, kEflags, kRegCount };
struct NamedFlag {
  const char* name;
  std::uint32_t mask;
};
inline constexpr NamedFlag kNamedFlags[] = {{"CF", 1u << 0},  {"PF", 1u << 2}, {"AF", 1u << 4},
                                            {"ZF", 1u << 6},  {"SF", 1u << 7}, {"DF", 1u << 10},
                                            {"OF", 1u << 11}, {"IF", 1u << 9}};
inline constexpr const char* kRegNames[kRegCount] = {"EAX", "ECX", "EDX", "EBX", "ESP",
                                                     "EBP", "ESI", "EDI", "EIP", "EFLAGS"};

struct DebugOptions {
  // Per command that runs (continue, step over...); the time a Show_Value box waits for the
  // person does not count.
  double timeout_seconds = 10.0;
  std::size_t history_bytes = std::size_t{64} << 20;  // step-back records kept, oldest dropped first
};

class DebugSession {
 public:
  DebugSession();
  ~DebugSession();
  DebugSession(const DebugSession&) = delete;
  DebugSession& operator=(const DebugSession&) = delete;

  // Loads code at the code base with the four arguments; the state is that of the routine's
  // entry. NotStarted (with Fault_Text) when the code is empty, too large or the emulator fails.
  DebugStatus Start(std::string_view code, const std::array<std::int32_t, 4>& args,
                    const DebugOptions& options);
  // Start again with the same code and arguments (breakpoints are kept).
  DebugStatus Reset();

  DebugStatus Step_Into();
  // A CALL (of the routine's own code or of Show_Value) runs as one step.
  DebugStatus Step_Over();
  // Runs to the return of the current call (at the routine's own level: to its return).
  DebugStatus Step_Out();
  // Runs to a breakpoint, the return, a fault, the time limit or Stop(). Without on_step it runs
  // at the emulator's full speed (hooks only on the breakpoints); step back then repeats the run
  // from a checkpoint to undo its instructions one by one.
  DebugStatus Continue();
  DebugStatus Run_To(std::uint32_t address);
  // Undoes the last instruction stepped (or the faulting attempt): registers, flags, memory.
  DebugStatus Step_Back();
  // From any thread: ends the running command after the current instruction.
  void Stop() { stop_requested_.store(true, std::memory_order_relaxed); }

  void Set_Breakpoint(std::uint32_t address, bool on);
  void Clear_Breakpoints() { breakpoints_.clear(); }
  const std::set<std::uint32_t>& Breakpoints() const { return breakpoints_; }

  // Called after each instruction completed (or faulted) while a command runs; return false to
  // stop the command there (status Stopped).
  std::function<bool()> on_step;

  DebugStatus Status() const { return status_; }
  const RegisterState& Registers() const { return registers_; }
  // Registers (bits 0..kRegCount-1) and named flags (bit kRegCount + index in kNamedFlags) that
  // the last command changed.
  std::uint32_t Changed() const { return changed_; }
  // For Faulted and TimedOut: what happened and where, as RUN says it.
  const std::string& Fault_Text() const { return fault_text_; }
  // Where the fault happened (the instruction's address).
  std::uint32_t Fault_Address() const { return fault_address_; }
  // Any range the routine can reach; nullopt when part of it is not mapped.
  std::optional<std::string> Read_Memory(std::uint32_t address, std::size_t size) const;

  // Where the emulator library is translating code it aborts on (for the abort signal's handler).
  std::uint32_t Aborted_At() const;

  std::size_t History_Steps() const;
  std::size_t History_Bytes() const;
  // Steps dropped from the history because it reached its limit.
  std::uint64_t History_Dropped() const;

  static std::uint32_t Code_Base();
  static std::uint32_t Return_Address();  // the sentinel the routine returns to
  // The mapped ranges (address, size) of the session, for whole-memory comparisons.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Mapped_Ranges() const;

 private:
  struct Impl;
  DebugStatus Finish(const RegisterState& before);
  DebugStatus Run_Fast(std::optional<std::uint32_t> target);
  DebugStatus Run_Until(const std::function<bool(const RegisterState& before)>& done,
                        bool honour_breakpoints);

  std::unique_ptr<Impl> impl_;
  DebugStatus status_ = DebugStatus::NotStarted;
  RegisterState registers_;
  std::uint32_t changed_ = 0;
  std::string fault_text_;
  std::uint32_t fault_address_ = 0;
  std::set<std::uint32_t> breakpoints_;
  std::atomic<bool> stop_requested_{false};
};

// The changed registers and flags as a trace row shows them: "EAX=&H0000000F ZF=0" (EIP left out).
std::string Changed_Text(std::uint32_t changed, const RegisterState& after);

}  // namespace orvo
