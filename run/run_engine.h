#pragma once
// Running a routine inside a CPU emulator: a flat 32-bit address space with the code at a fixed
// base, a stack, a sentinel return address and Show_Value at a fixed, hooked address. Nothing the
// routine does reaches the host: faults and time-outs end the run and are reported.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orvo {

struct RegisterState {
  std::uint32_t eax = 0, ecx = 0, edx = 0, ebx = 0, esp = 0, ebp = 0, esi = 0, edi = 0;
  std::uint32_t eflags = 0, eip = 0;
  std::uint64_t instructions = 0;  // instructions executed
  std::uint32_t esp_expected = 0;  // ESP after a RET 16 that popped the four arguments
  bool returned = false;           // the routine came back to its caller
};

enum class RunStatus { Returned, Faulted, TimedOut };

struct RunResult {
  RunStatus status = RunStatus::Returned;
  std::int32_t eax = 0;
  RegisterState registers;
  std::string what;            // for Faulted / TimedOut: what happened, where (EIP) and the count
  std::uint32_t renewals = 0;  // fresh emulators the run moved to on its way
  std::uint32_t where = 0;     // for Faulted / TimedOut: the EIP the text names (0: none)
};

// The range of a run's time limit: the child gets it in microseconds in 32 bits.
inline constexpr double kMinTimeoutSeconds = 0.001;
inline constexpr double kMaxTimeoutSeconds = 4000.0;

struct RunLimits {
  double timeout_seconds = 10.0;  // outside the range: the default when not positive, else the nearer end
  // The emulator runs in a child process: the emulator library aborts its process on some invalid
  // instructions, and that must cost the run, not the program. Off only for fuzzing, where the
  // coverage of the emulator side counts.
  bool isolated = true;
  // The time a Show_Value box waits for the person is not the routine's (the window measures
  // it); where nobody waits (the command line prints the box) everything counts.
  bool box_time_counts = false;
  // A run shows at most this many Show_Value boxes. Then more_boxes, when set, decides whether
  // as many again may follow; without it, or when it says no, the run ends with its box.
  unsigned max_boxes = 1000;
  std::function<bool()> more_boxes;
  // The emulator library breaks when its translation buffer fills (self-modifying code, huge
  // images): once the emulator's resident memory grew this much, the run moves on in a fresh one.
  std::uint32_t renew_after_kib = 64 * 1024;
};

class RunEngine {
 public:
  RunEngine();
  ~RunEngine();
  RunEngine(const RunEngine&) = delete;
  RunEngine& operator=(const RunEngine&) = delete;

  // Copies code to the call buffer and calls it with the four arguments (window-procedure
  // convention). Show_Value boxes go through Show_Message on this thread.
  RunResult Run_Code(std::string_view code, const std::array<std::int32_t, 4>& args, const RunLimits& limits);

  // Ends the current run at its next check (between Show_Value boxes, or within milliseconds
  // while the routine runs). Safe from any thread and from inside a box.
  void Request_Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Emulated address of Show_Value: the same in every process and run.
std::uint32_t Get_FnAddress();
// Emulated address of the call buffer's first byte.
std::uint32_t Get_CodeBase();

// The value-display callback as the routine sees it: shows "DEC=" value CR "HEX=&H" hex in a
// box titled "ORVO IDE" (OK, no icon) and returns 0.
std::int32_t Show_Value(std::int32_t value);

// Text of the "Error in assembler program" box for a run that did not return: the fixed line,
// then (when known) an empty line and what happened, where and after how many instructions.
std::string Run_ErrorText(const RunResult& result);

// The argument-number rule for one argument field. False when the value is outside the
// signed 32-bit range.
bool Parse_ArgumentNumber(std::string_view text, std::int32_t& value);

// Text of the box for an argument field (index 0..3, ARG1..ARG4) whose value does not fit:
// names the field, what it holds and the range it accepts.
std::string Argument_RangeText(std::size_t index, std::string_view text);

// The time limit a run gets for limits.timeout_seconds.
double Effective_TimeoutSeconds(const RunLimits& limits);

// Human-readable register view after a run (EAX..EDI, EFLAGS, EIP, instructions, ESP note).
std::string Format_Registers(const RegisterState& registers);

}  // namespace orvo
