#pragma once
// The emulator's child process, for RUN and for the window's debug sessions: the emulator library
// aborts its process on some invalid instructions, and that must cost the routine, not the
// program. Parent and child talk in frames (run/wire.h).

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvo::child {

// Frames: R run (parent to child), M box and A/E its answer or failure, Q "more boxes?" and B its
// answer, X the EIP of code the emulator aborted on, D the result. A debug session: S start and
// C command (each answered by T, the state), P a breakpoint set or cleared (no answer).
enum : char {
  kRunRequest = 'R',
  kBoxRequest = 'M',
  kBoxAnswer = 'A',
  kBoxFailed = 'E',
  kMoreBoxes = 'Q',
  kMoreAnswer = 'B',
  kAbortedAt = 'X',
  kRunDone = 'D',
  kDebugStart = 'S',
  kDebugCommand = 'C',
  kDebugBreakpoint = 'P',
  kDebugState = 'T',
};

// How far a child may grow its address space past what it inherits. The emulator library
// reserves 1 GiB for translations per instance: RUN has one instance, a debug session two (one
// steps, one runs at full speed) and its step-back history.
constexpr long long kRunAddressSpace = 1536ll << 20;
constexpr long long kDebugAddressSpace = 2560ll << 20;

class Process {
 public:
  explicit Process(long long address_space) : address_space_(address_space) {}
  ~Process() { Stop(); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Forks the child; false when no process can be made.
  bool Start();
  // Kills the child and waits for it.
  void Stop();
  bool Running() const { return pid_ > 0; }
  int Fd() const { return fd_; }
  pid_t Pid() const { return pid_; }
  // The child died or stopped answering: waits for it and says what to tell the user.
  std::string Lost();

 private:
  long long address_space_;
  pid_t pid_ = -1;
  int fd_ = -1;
};

// Shows the box a child asked for (the payload of an M frame) through this thread's handler and
// answers it with the time the box waited for the person (0 when box_time_counts) and whether
// Stop was asked for by the time the box closed (stop_told: what the answer said). waited is that
// time; false when the child is gone.
bool Answer_Box(int fd, std::string_view payload, bool box_time_counts, const std::atomic<bool>& stop,
                bool& stop_told, std::chrono::steady_clock::duration& waited);

// ---- in the child: the debug session's side (run/debug_child.cpp)

// Serves one debug frame (S, C or P); false when the channel broke.
bool Serve_Debug(int fd, char type, std::string_view payload);
// From the stop signal's handler: ends the running debug command.
void Stop_Debug();
// From the abort handler: where the debug session's emulator gave up; false without a session.
bool Debug_Aborted_At(std::uint32_t& at);

}  // namespace orvo::child
