// The debug session across the process boundary: the child's side serves S, C and P frames on
// its DebugSession, the caller's side sends them and waits for the state, showing the boxes the
// routine asks for on the way.

#include "run/debug_child.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "base/text.h"
#include "run/child_process.h"
#include "run/emulator.h"
#include "run/wire.h"

namespace orvo {
namespace {

using Clock = std::chrono::steady_clock;
using namespace wire;
using namespace child;

// A read larger than this is not what a panel shows; the limit keeps a state frame within its size.
constexpr std::uint32_t kMaxRead = 1u << 20;

std::string Read_Down(const DebugSession& session, std::uint32_t address, std::uint32_t size) {
  for (std::uint32_t n = std::min(size, kMaxRead); n > 0; n /= 2)
    if (auto bytes = session.Read_Memory(address, n)) return *bytes;
  return {};
}

void Append_Reads(std::string& out, const DebugReads& reads) {
  Append_LE(out, reads.stack_bytes, 4);
  Append_LE(out, reads.memory_address, 4);
  Append_LE(out, reads.memory_bytes, 4);
}

DebugReads Read_Reads(Reader& in) {
  DebugReads reads;
  reads.stack_bytes = in.U32();
  reads.memory_address = in.U32();
  reads.memory_bytes = in.U32();
  return reads;
}

void Append_U64(std::string& out, std::uint64_t v) {
  Append_LE(out, static_cast<std::uint32_t>(v), 4);
  Append_LE(out, static_cast<std::uint32_t>(v >> 32), 4);
}

std::uint64_t Read_U64(Reader& in) {
  const std::uint64_t low = in.U32();
  return low | std::uint64_t{in.U32()} << 32;
}

std::string Encode_State(const DebugState& s) {
  std::string out(1, static_cast<char>(s.status));
  const RegisterState& g = s.registers;
  for (std::uint32_t v :
       {g.eax, g.ecx, g.edx, g.ebx, g.esp, g.ebp, g.esi, g.edi, g.eflags, g.eip, g.esp_expected})
    Append_LE(out, v, 4);
  Append_U64(out, g.instructions);
  out.push_back(g.returned ? 1 : 0);
  Append_LE(out, s.changed, 4);
  Append_Text(out, s.fault_text);
  Append_LE(out, s.fault_address, 4);
  Append_U64(out, s.history_steps);
  Append_U64(out, s.history_dropped);
  Append_Text(out, s.stack);
  Append_LE(out, s.memory_address, 4);
  Append_Text(out, s.memory);
  return out;
}

DebugState Decode_State(std::string_view payload) {
  Reader in(payload);
  DebugState s;
  s.status = static_cast<DebugStatus>(
      std::min<std::uint8_t>(in.U8(), static_cast<std::uint8_t>(DebugStatus::NoHistory)));
  RegisterState& g = s.registers;
  for (std::uint32_t* v :
       {&g.eax, &g.ecx, &g.edx, &g.ebx, &g.esp, &g.ebp, &g.esi, &g.edi, &g.eflags, &g.eip, &g.esp_expected})
    *v = in.U32();
  g.instructions = Read_U64(in);
  g.returned = in.U8() != 0;
  s.changed = in.U32();
  s.fault_text = in.Text();
  s.fault_address = in.U32();
  s.history_steps = Read_U64(in);
  s.history_dropped = Read_U64(in);
  s.stack = in.Text();
  s.memory_address = in.U32();
  s.memory = in.Text();
  return s;
}

// ---- the child's side
std::unique_ptr<DebugSession> g_session_owned;
// For the signal handlers: set once the session exists, never cleared.
DebugSession* volatile g_session = nullptr;

DebugSession& Session() {
  if (!g_session_owned) {
    g_session_owned = std::make_unique<DebugSession>();
    g_session = g_session_owned.get();
  }
  return *g_session_owned;
}

}  // namespace

DebugState Take_State(const DebugSession& session, const DebugReads& reads) {
  DebugState s;
  s.status = session.Status();
  s.registers = session.Registers();
  s.changed = session.Changed();
  s.fault_text = session.Fault_Text();
  s.fault_address = session.Fault_Address();
  s.history_steps = session.History_Steps();
  s.history_dropped = session.History_Dropped();
  if (s.status != DebugStatus::NotStarted) {
    s.stack = Read_Down(session, s.registers.esp, reads.stack_bytes);
    s.memory = Read_Down(session, reads.memory_address, reads.memory_bytes);
  }
  s.memory_address = reads.memory_address;
  return s;
}

namespace child {

bool Serve_Debug(int fd, char type, std::string_view payload) {
  Reader in(payload);
  DebugSession& session = Session();
  if (type == kDebugBreakpoint) {
    const std::uint32_t address = in.U32();
    session.Set_Breakpoint(address, in.U8() != 0);
    return true;
  }
  DebugReads reads;
  DebugStatus status = DebugStatus::NotStarted;
  if (type == kDebugStart) {
    std::array<std::int32_t, 4> args{};
    for (auto& a : args) a = static_cast<std::int32_t>(in.U32());
    DebugOptions options;
    options.timeout_seconds = static_cast<double>(in.U32()) / 1e6;
    options.history_bytes = static_cast<std::size_t>(Read_U64(in));
    reads = Read_Reads(in);
    session.Clear_Breakpoints();
    status = session.Start(in.Rest(), args, options);
  } else if (type == kDebugCommand) {
    const auto command = static_cast<DebugCommand>(in.U8());
    const std::uint32_t address = in.U32();
    reads = Read_Reads(in);
    switch (command) {
      case DebugCommand::StepInto:
        status = session.Step_Into();
        break;
      case DebugCommand::StepOver:
        status = session.Step_Over();
        break;
      case DebugCommand::StepOut:
        status = session.Step_Out();
        break;
      case DebugCommand::StepBack:
        status = session.Step_Back();
        break;
      case DebugCommand::Continue:
        status = session.Continue();
        break;
      case DebugCommand::RunTo:
        status = session.Run_To(address);
        break;
      case DebugCommand::Read:
        status = session.Status();
        break;
    }
  } else {
    return false;
  }
  DebugState state = Take_State(session, reads);
  // Step back with nothing to undo leaves the session as it was: the caller is told so.
  if (status == DebugStatus::NoHistory) state.status = status;
  return Send_Frame(fd, kDebugState, Encode_State(state));
}

void Stop_Debug() {
  if (DebugSession* s = g_session) s->Stop();
}

bool Debug_Aborted_At(std::uint32_t& at) {
  DebugSession* s = g_session;
  if (s == nullptr) return false;
  at = s->Aborted_At();
  return true;
}

}  // namespace child

// ---- the caller's side

struct IsolatedDebugSession::Impl {
  Process process{kDebugAddressSpace};
  DebugState last;  // the last state that came back
  double seconds = DebugOptions{}.timeout_seconds;
};

IsolatedDebugSession::IsolatedDebugSession() : impl_(std::make_unique<Impl>()) {}
IsolatedDebugSession::~IsolatedDebugSession() = default;

DebugState IsolatedDebugSession::Start(std::string_view code, const std::array<std::int32_t, 4>& args,
                                       const DebugOptions& options,
                                       const std::set<std::uint32_t>& breakpoints, const DebugReads& reads) {
  Impl& d = *impl_;
  d.last = DebugState{};
  DebugState state;
  if (code.size() > emulator::kMaxCode) {
    state.fault_text = "The code image is too large to run (" + std::to_string(code.size()) + " bytes)";
    return state;
  }
  if (!d.process.Running() && !d.process.Start()) {
    state.fault_text = "The emulator's process could not be started";
    return state;
  }
  d.seconds = options.timeout_seconds > 0 ? options.timeout_seconds : DebugOptions{}.timeout_seconds;
  d.seconds = std::clamp(d.seconds, 0.001, 4000.0);
  std::string request;
  for (std::int32_t a : args) Append_LE(request, static_cast<std::uint32_t>(a), 4);
  Append_LE(request, static_cast<std::uint32_t>(d.seconds * 1e6), 4);
  Append_U64(request, options.history_bytes);
  Append_Reads(request, reads);
  request.append(code);
  state = Exchange(kDebugStart, request, d.seconds);
  if (state.status != DebugStatus::NotStarted)
    for (std::uint32_t at : breakpoints) Set_Breakpoint(at, true);
  return state;
}

DebugState IsolatedDebugSession::Run(DebugCommand command, std::uint32_t address, const DebugReads& reads) {
  std::string request(1, static_cast<char>(command));
  Append_LE(request, address, 4);
  Append_Reads(request, reads);
  return Exchange(kDebugCommand, request, impl_->seconds);
}

void IsolatedDebugSession::Set_Breakpoint(std::uint32_t address, bool on) {
  Impl& d = *impl_;
  if (!d.process.Running()) return;
  std::string request;
  Append_LE(request, address, 4);
  request.push_back(on ? 1 : 0);
  if (!Send_Frame(d.process.Fd(), kDebugBreakpoint, request)) d.process.Stop();
}

DebugState IsolatedDebugSession::Exchange(char type, const std::string& request, double seconds) {
  Impl& d = *impl_;
  stop_requested_.store(false);
  // The session is over: the emulator's process ended with the last command.
  auto lost = [&](std::string why, std::optional<std::uint32_t> where) {
    DebugState state = d.last;
    state.status = DebugStatus::Faulted;
    state.changed = 0;
    state.lost = true;
    state.fault_address = where.value_or(d.last.registers.eip);
    state.fault_text = std::move(why);
    if (where) state.fault_text += " at EIP=" + emulator::Hex_Address(*where);
    d.last = DebugState{};
    return state;
  };
  if (!d.process.Running()) {
    DebugState state = d.last;
    state.status = DebugStatus::NotStarted;
    state.fault_text = "The debug session has ended";
    return state;
  }
  const int fd = d.process.Fd();
  if (!Send_Frame(fd, type, request)) return lost(d.process.Lost(), std::nullopt);
  // The child keeps the time limit itself; this guard, with a margin, is for a child that hangs.
  // Time in boxes moves it on.
  Clock::time_point guard =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds + 10));
  std::optional<std::uint32_t> aborted_at;
  for (;;) {
    // The child clears a stop when its command begins: the signal repeats until the state comes.
    const bool stop = stop_requested_.load();
    if (stop) ::kill(d.process.Pid(), SIGUSR1);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(guard - Clock::now()).count();
    char frame = 0;
    std::string payload;
    const int r = Read_Frame(fd, frame, payload, static_cast<int>(std::clamp<long long>(left, 0, 20)));
    if (r == -2 && left > 0) continue;
    if (r == -2) {
      d.process.Stop();
      return lost("Time-out: the emulator did not answer", std::nullopt);
    }
    if (r != 0) return lost(d.process.Lost(), aborted_at);
    if (frame == kDebugState) {
      d.last = Decode_State(payload);
      return d.last;
    }
    if (frame == kAbortedAt) {
      if (payload.size() >= 4) aborted_at = Read_LE32(payload, 0);
      continue;
    }
    if (frame != kBoxRequest) {
      d.process.Stop();
      return lost("The emulator stopped", std::nullopt);
    }
    bool stop_told = false;
    Clock::duration waited{};
    const bool sent = Answer_Box(fd, payload, false, stop_requested_, stop_told, waited);
    guard += waited;
    if (!sent) return lost(d.process.Lost(), aborted_at);
  }
}

}  // namespace orvo
