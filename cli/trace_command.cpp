// orvo trace: compile SOURCE, then run it one instruction at a time and print a row per executed
// instruction (step, source line, address, bytes, source text, what it changed), the boxes the
// routine shows in their order, and the result as orvo run prints it. The emulator runs in a child
// process: an emulator that aborts costs the trace, not the command's own report.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli/cli_support.h"
#include "cli/compiled_routine.h"
#include "base/text.h"
#include "base/hex.h"

#include "run/debug_session.h"
#include "run/insn_length.h"
#include "app/run_action.h"
#include "run/run_engine.h"
#include "app/source_lines.h"

namespace orvo::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Instructions of code that is not on a source line of its own.
struct FixedCode {
  std::uint32_t offset;
  const char* text;
};
// clang-format off
constexpr FixedCode kPrologueText[] = {{0, "PUSH EBP"}, {1, "MOV EBP,ESP"}, {3, "PUSH EBX"}, {4, "PUSH ESI"},
                                       {5, "PUSH EDI"}};
constexpr FixedCode kEpilogueText[] = {{0, "POP EDI"}, {1, "POP ESI"}, {2, "POP EBX"}, {3, "MOV ESP,EBP"},
                                       {5, "POP EBP"}, {6, "RET 16"}};
constexpr FixedCode kShowValueText[] = {{0, "XOR EAX,EAX"}, {2, "RET 4"}};
// clang-format on

template <std::size_t N>
std::string_view Fixed_Text(const FixedCode (&table)[N], std::uint32_t offset) {
  for (const FixedCode& row : table)
    if (row.offset == offset) return row.text;
  return "";
}

// Where an address is, as a trace row names it, and the text of its instruction.
struct Place {
  std::string where;  // "line 9", "prologue", "epilogue", "Show_Value" or "?"
  long line = 0;      // 1-based, 0 when not on a source line
  std::string_view text;
};

class Tracer {
 public:
  Tracer(const SourceLineMap& lines, std::size_t image_size, MessageFormat format, std::uint64_t max_steps,
         double timeout_seconds)
      : lines_(lines),
        image_size_(image_size),
        format_(format),
        max_steps_(max_steps),
        timeout_seconds_(timeout_seconds) {}

  // Runs the whole trace; returns the exit status.
  int Run(std::string_view code, const std::array<std::int32_t, 4>& args) {
    DebugOptions options;
    options.timeout_seconds = timeout_seconds_;
    // A trace never steps back: a small history is enough.
    options.history_bytes = 1 << 16;
    if (session_.Start(code, args, options) != DebugStatus::Ready) return Fail(session_.Fault_Text(), 0);
    const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(timeout_seconds_));
    for (std::uint64_t step = 1;; ++step) {
      const RegisterState before = session_.Registers();
      if (step > max_steps_)
        return Fail("The trace stopped at its limit of " + std::to_string(max_steps_) + " steps at EIP=&H" +
                        Hex_Upper(before.eip) + " after " + std::to_string(before.instructions) +
                        " instructions",
                    before.eip);
      if ((step & 0xFF) == 0 && Clock::now() > deadline) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", timeout_seconds_);
        return Fail(std::string("Time-out: the routine ran longer than ") + buf +
                        (timeout_seconds_ == 1 ? " second" : " seconds") + " at EIP=&H" +
                        Hex_Upper(before.eip) + " after " + std::to_string(before.instructions) +
                        " instructions",
                    before.eip);
      }
      const std::string bytes = Instruction_At(before.eip);
      const DebugStatus status = session_.Step_Into();
      if (status == DebugStatus::Faulted) {
        // A jump to where nothing can run completed before the fault.
        if (session_.Registers().instructions > before.instructions) Print_Row(step, before.eip, bytes);
        return Fail(session_.Fault_Text(), session_.Fault_Address());
      }
      if (status != DebugStatus::Ready && status != DebugStatus::Returned)
        return Fail(session_.Fault_Text(), before.eip);
      Print_Row(step, before.eip, bytes);
      if (status == DebugStatus::Returned) {
        Show_Message(
            "FUNCTION RETURN: " + std::to_string(static_cast<std::int32_t>(session_.Registers().eax)),
            MsgStyle::Ok);
        return 0;
      }
    }
  }

 private:
  std::string Instruction_At(std::uint32_t eip) const {
    std::string bytes = session_.Read_Memory(eip, 15).value_or("");
    for (std::size_t n = 14; bytes.empty() && n > 0; --n) bytes = session_.Read_Memory(eip, n).value_or("");
    const std::size_t length = Instruction_Length(bytes);
    return bytes.substr(0, length == 0 ? bytes.size() : length);
  }

  Place Place_Of(std::uint32_t eip) const {
    if (eip >= Get_FnAddress() && eip < Get_FnAddress() + 5)
      return {"Show_Value", 0, Fixed_Text(kShowValueText, eip - Get_FnAddress())};
    const std::uint32_t base = DebugSession::Code_Base();
    if (eip < base || eip - base >= image_size_) return {"?", 0, ""};
    const SourceLine at = lines_.Find(eip - base);
    switch (at.kind) {
      case SourceLine::Kind::Line:
        return {"line " + std::to_string(at.index + 1), static_cast<long>(at.index + 1),
                lines_.Text(at.index)};
      case SourceLine::Kind::Prologue:
        return {"prologue", 0, Fixed_Text(kPrologueText, eip - base)};
      case SourceLine::Kind::Epilogue: {
        const std::uint32_t from_end = static_cast<std::uint32_t>(image_size_) - (eip - base);
        return {"epilogue", 0, Fixed_Text(kEpilogueText, 9 - from_end)};
      }
      case SourceLine::Kind::None:
        break;
    }
    return {"?", 0, ""};
  }

  void Print_Row(std::uint64_t step, std::uint32_t eip, const std::string& bytes) {
    const Place place = Place_Of(eip);
    const RegisterState& r = session_.Registers();
    std::string row;
    if (format_ == MessageFormat::Text) {
      row = std::to_string(step) + "  " + place.where + "  &H" + Hex_Upper(eip) + "  " +
            ViewOpCodes_Bin2Hex(bytes) + "  " + std::string(place.text);
      const std::string changed = Changed_Text(session_.Changed(), r);
      if (!changed.empty()) row += "  " + changed;
    } else {
      row = "{\"step\": " + std::to_string(step) +
            ", \"line\": " + (place.line > 0 ? std::to_string(place.line) : std::string("null")) +
            ", \"where\": ";
      Append_JsonString(row, place.where);
      row += ", \"address\": \"&H" + Hex_Upper(eip) + "\", \"bytes\": ";
      Append_JsonString(row, ViewOpCodes_Bin2Hex(bytes));
      row += ", \"source\": ";
      Append_JsonString(row, place.text);
      row += ", \"registers\": {";
      char buf[48];
      const std::uint32_t values[kRegCount] = {r.eax, r.ecx, r.edx, r.ebx, r.esp,
                                               r.ebp, r.esi, r.edi, r.eip, r.eflags};
      for (int i = 0; i < kRegCount; ++i) {
        std::snprintf(buf, sizeof buf, "%s\"%s\": \"&H%08X\"", i ? ", " : "", kRegNames[i], values[i]);
        row += buf;
      }
      row += "}, \"flags\": {";
      for (std::size_t f = 0; f < std::size(kNamedFlags); ++f) {
        std::snprintf(buf, sizeof buf, "%s\"%s\": %d", f ? ", " : "", kNamedFlags[f].name,
                      (r.eflags & kNamedFlags[f].mask) ? 1 : 0);
        row += buf;
      }
      row += "}, \"changed\": [";
      bool first = true;
      const std::uint32_t changed = session_.Changed();
      for (int i = 0; i < kRegCount + static_cast<int>(std::size(kNamedFlags)); ++i) {
        if (i == kEip || !(changed & (1u << i))) continue;
        row += first ? "\"" : ", \"";
        row += i < kRegCount ? kRegNames[i] : kNamedFlags[i - kRegCount].name;
        row += "\"";
        first = false;
      }
      row += "], \"instructions\": " + std::to_string(r.instructions) + "}";
    }
    row.push_back('\n');
    std::fwrite(row.data(), 1, row.size(), stdout);
  }

  // The run's error box with the source line of the address; exit status 1.
  int Fail(const std::string& what, std::uint32_t eip) {
    RunResult failed;
    failed.what = what;
    Show_Message(Run_ErrorText(failed) + Fault_LineText(&lines_, eip), MsgStyle::OkExclamation, kAppTitle);
    return 1;
  }

  const SourceLineMap& lines_;
  std::size_t image_size_;
  MessageFormat format_;
  std::uint64_t max_steps_;
  double timeout_seconds_;
  DebugSession session_;
};

// Runs the trace in a child process and waits for it; the exit status as orvo run's.
int Trace_Routine(const CompiledRoutine& routine, const TraceOptions& options) {
  std::array<std::int32_t, 4> args{};
  for (std::size_t i = 0; i < 4; ++i) {
    if (!Parse_ArgumentNumber(routine.fields[i], args[i])) {
      Show_Message(Argument_RangeText(i, routine.fields[i]), MsgStyle::OkExclamation, kAppTitle);
      return 1;
    }
  }
  double seconds = options.timeout_seconds;
  if (!(seconds > 0)) seconds = 10;
  Tracer tracer(routine.lines, routine.session.Image().Size(), routine.format, options.max_steps, seconds);

  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    const int status = tracer.Run(routine.session.Image().Bytes(), args);
    std::fflush(stdout);
    ::_exit(status);
  }
  if (child < 0) return tracer.Run(routine.session.Image().Bytes(), args);
  // The child keeps the time limit itself; this guards against one that hangs.
  const Clock::time_point guard =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds + 10));
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) {
      status = 1 << 8;
      break;
    }
    if (Clock::now() > guard) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      Show_Message("Error in assembler program\r\rTime-out: the emulator did not answer",
                   MsgStyle::OkExclamation, kAppTitle);
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? 0 : 1;
  Show_Message(std::string("Error in assembler program\r\rThe emulator stopped: ") +
                   (WIFSIGNALED(status) ? ::strsignal(WTERMSIG(status)) : "unknown reason"),
               MsgStyle::OkExclamation, kAppTitle);
  return 1;
}

}  // namespace

int Trace_Command(const TraceOptions& options) {
  return With_CompiledRoutine(options.common, options.arguments, "trace", [&](const CompiledRoutine& routine) {
    return Trace_Routine(routine, options);
  });
}


}  // namespace orvo::cli
