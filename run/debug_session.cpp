// The debug session on Unicorn, one instruction per emulator call, over the machine the run engine
// uses (run/emulator.h): the same map, entry state, Show_Value and fault words.

#include "run/debug_session.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "base/message_box.h"
#include "base/text.h"
#include "run/emulator.h"
#include "run/insn_length.h"

namespace orvo {
namespace {

using Clock = std::chrono::steady_clock;

using namespace emulator;

std::uint32_t* Reg_Slot(RegisterState& r, int i) {
  std::uint32_t* slots[kRegCount] = {&r.eax, &r.ecx, &r.edx, &r.ebx, &r.esp,
                                     &r.ebp, &r.esi, &r.edi, &r.eip, &r.eflags};
  return slots[i];
}
std::uint32_t Reg_Value(const RegisterState& r, int i) { return *Reg_Slot(const_cast<RegisterState&>(r), i); }

bool Same_Registers(const RegisterState& a, const RegisterState& b) {
  for (int i = 0; i < kRegCount; ++i)
    if (Reg_Value(a, i) != Reg_Value(b, i)) return false;
  return a.instructions == b.instructions;
}

}  // namespace

// The writable memory and the registers where a run at full speed began.
struct Checkpoint {
  RegisterState registers;
  std::string stack;
  std::string code;
};

struct DebugSession::Impl : StopHooks {
  // One step of the history: the registers before it and how many writes it recorded.
  struct StepRecord {
    RegisterState before;
    std::uint32_t writes = 0;
    // Not a step but a run at full speed from a checkpoint (before = the state there): undone by
    // going back to the checkpoint and running it again, recording its last steps.
    std::shared_ptr<const struct Checkpoint> checkpoint;
    bool ended_in_fault = false;
  };
  // Old bytes of one write, before it landed.
  struct WriteRecord {
    std::uint32_t address = 0;
    std::uint8_t size = 0;
    std::array<unsigned char, 16> old{};
  };

  // Two engines with the same map: steps run on one, with the emulator's instruction count; runs
  // at full speed on the other, whose translated code has no per-instruction hook (switching one
  // engine between the two modes would flush all its translations every time).
  uc_engine* step_uc = nullptr;
  uc_engine* fast_uc = nullptr;
  uc_engine* uc = nullptr;  // the one in use
  std::string open_error;
  std::string code;
  std::array<std::int32_t, 4> args{};
  DebugOptions options;
  std::uint32_t code_mapped = 0;

  std::deque<StepRecord> steps;
  std::deque<WriteRecord> writes;
  std::uint64_t dropped = 0;
  std::size_t checkpoint_bytes = 0;
  bool recording = false;
  bool replaying = false;  // running again what ran before: no boxes

  // A run at full speed: instructions counted per block, breakpoints as hooks on their address.
  bool fast = false;
  std::uint64_t fast_instructions = 0;
  std::uint32_t last_block = 0, last_block_size = 0, last_block_icount = 0;
  std::uint32_t ticks = 0;
  std::uint32_t skip_breakpoint = 0;  // the breakpoint the run starts on is not hit at once
  bool skip_pending = false;
  bool code_written = false;  // the routine wrote into the call buffer since the last block began
  bool stop_after_box = false;  // Stop came during a box: the next block does not run
  Clock::time_point deadline;
  const std::atomic<bool>* stop_requested = nullptr;
  std::unordered_map<std::uint64_t, std::uint32_t> block_icounts;  // (address, size) -> instructions

  // Set by the hooks during one step.

  ~Impl() { Close(); }

  void Close() {
    for (uc_engine** e : {&step_uc, &fast_uc}) {
      if (*e != nullptr) uc_close(*e);
      *e = nullptr;
    }
    uc = nullptr;
    code_mapped = 0;
  }

  uc_err Open() {
    Close();
    uc_err err = Open_Engine(step_uc, false);
    if (err == UC_ERR_OK) err = Open_Engine(fast_uc, true);
    uc = step_uc;
    return err;
  }

  // Copies the registers and the writable memory from one engine to the other.
  void Copy_State(uc_engine* from, uc_engine* to) {
    emulator::Write_Registers(to, emulator::Read_Registers(from));
    std::string bytes(kStackSize, '\0');
    uc_mem_read(from, kStackBase, bytes.data(), kStackSize);
    uc_mem_write(to, kStackBase, bytes.data(), kStackSize);
    bytes.resize(code_mapped);
    uc_mem_read(from, kCodeBase, bytes.data(), code_mapped);
    uc_mem_write(to, kCodeBase, bytes.data(), code_mapped);
    uc_ctl_remove_cache(to, kCodeBase, std::uint64_t{kCodeBase} + code_mapped);
  }

  double Timeout_Seconds() const {
    return options.timeout_seconds > 0 ? options.timeout_seconds : DebugOptions{}.timeout_seconds;
  }

  std::size_t Bytes_Used() const {
    return steps.size() * sizeof(StepRecord) + writes.size() * sizeof(WriteRecord) + checkpoint_bytes;
  }

  uc_err Open_Engine(uc_engine*& opened, bool full_speed) {
    code_mapped = Code_Mapping(static_cast<std::uint32_t>(code.size()));
    uc_err err = Open_Flat(opened, code_mapped);
    if (err != UC_ERR_OK) return err;
    uc_engine* const e = opened;

    uc_hook h;
    if ((err = uc_hook_add(e, &h, UC_HOOK_CODE, reinterpret_cast<void*>(&On_ShowValue), this, kShowValue,
                           kShowValue)))
      return err;
    if ((err = Add_To(e))) return err;
    if (full_speed &&
        (err = uc_hook_add(e, &h, UC_HOOK_BLOCK, reinterpret_cast<void*>(&On_Block), this, 1, 0)))
      return err;
    // Called before each write lands: the old bytes are what step back puts back. Only the stack
    // and the call buffer are writable.
    if ((err = uc_hook_add(e, &h, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&On_Write), this, kStackBase,
                           kCodeBase + kMaxCode - 1)))
      return err;

    if ((err = uc_mem_write(e, kCodeBase, code.data(), code.size()))) return err;
    if ((err = Enter_Routine(e, args))) return err;
    const std::uint32_t eip = kCodeBase;
    return uc_reg_write(e, UC_X86_REG_EIP, &eip);
  }

  // ---- hooks
  std::uint32_t Block_Icount(std::uint32_t address, std::uint32_t size) {
    const std::uint64_t key = (std::uint64_t{address} << 32) | size;
    if (auto it = block_icounts.find(key); it != block_icounts.end()) return it->second;
    const std::uint32_t n = Instructions_Between(address, address + size);
    block_icounts.emplace(key, n);
    return n;
  }

  std::uint32_t Instructions_Between(std::uint32_t a, std::uint32_t b) const {
    return emulator::Instructions_Between(uc, a, b);
  }

  // Runs for every block a run at full speed enters, so its common case is kept to a compare and
  // two adds: a loop enters the same block again and again.
  static void On_Block(uc_engine*, std::uint64_t address, std::uint32_t size, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (address == self->last_block && size == self->last_block_size && !self->code_written)
      self->fast_instructions += self->last_block_icount;
    else
      self->Enter_Block(static_cast<std::uint32_t>(address), size);
    // Every loop passes through a block start: the clock and a stop request are looked at here.
    if ((++self->ticks & 0x3FFF) == 0) self->Check_Limits();
  }

  [[gnu::noinline]] void Enter_Block(std::uint32_t address, std::uint32_t size) {
    if (!fast) return;
    // A write into the code of the running block ends it after the writing instruction and the
    // rest runs as a new block: only part of the one counted ran.
    if (code_written && address > last_block && address < last_block + last_block_size) {
      const std::uint32_t ran = Instructions_Between(last_block, address);
      fast_instructions -=
          std::min<std::uint64_t>(fast_instructions, last_block_icount - std::min(ran, last_block_icount));
    }
    code_written = false;
    if (last_block != address || last_block_size != size) {
      last_block = address;
      last_block_size = size;
      last_block_icount = Block_Icount(address, size);
    }
    fast_instructions += last_block_icount;
    if (stop_after_box) {
      stop_after_box = false;
      Stop_With(emulator::Stop::Requested);
    }
  }

  [[gnu::noinline]] void Check_Limits() {
    if (Clock::now() > deadline) Stop_With(emulator::Stop::TimeOut);
    if (stop_requested->load(std::memory_order_relaxed)) Stop_With(emulator::Stop::Requested);
  }

  static void On_Breakpoint(uc_engine*, std::uint64_t address, std::uint32_t, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (self->skip_pending && address == self->skip_breakpoint) {
      self->skip_pending = false;
      return;
    }
    self->skip_pending = false;
    self->Stop_With(emulator::Stop::Breakpoint);
  }

  static void On_ShowValue(uc_engine* engine, std::uint64_t, std::uint32_t, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (self->replaying) return;
    std::int32_t value = 0;
    if (!Show_Value_Argument(engine, value)) return;  // RET 4 will fault
    const Clock::time_point shown = Clock::now();
    if (!Show_Value_Box(value, self->callback_error)) self->Stop_With(emulator::Stop::Callback);
    // The time the box waited for the person is not the command's.
    self->deadline += Clock::now() - shown;
    // Stop asked for while the box was open ends a run at full speed where Show_Value returns
    // to, before the routine shows another (one step at a time, the command looks after each
    // step). Stopped here, going on would show this box again.
    if (self->fast && self->stop_requested->load(std::memory_order_relaxed)) self->stop_after_box = true;
  }

  void Stop_With(emulator::Stop why) { StopHooks::Stop_With(uc, why); }

  static void On_Write(uc_engine* engine, uc_mem_type, std::uint64_t address, int size, std::int64_t,
                       void* user) {
    auto* self = static_cast<Impl*>(user);
    if (self->fast) {
      if (address >= kCodeBase && address < std::uint64_t{kCodeBase} + self->code_mapped)
        self->code_written = true;
      return;
    }
    if (!self->recording || self->steps.empty()) return;
    for (std::uint64_t at = address, end = address + static_cast<std::uint64_t>(size); at < end;) {
      WriteRecord w;
      w.address = static_cast<std::uint32_t>(at);
      w.size = static_cast<std::uint8_t>(std::min<std::uint64_t>(end - at, w.old.size()));
      if (uc_mem_read(engine, at, w.old.data(), w.size) != UC_ERR_OK) return;  // faults: nothing lands
      self->writes.push_back(w);
      ++self->steps.back().writes;
      at += w.size;
    }
  }

  // ---- state
  RegisterState Read_Registers(std::uint64_t instructions) const {
    RegisterState r = emulator::Read_Registers(uc);
    r.instructions = instructions;
    r.returned = r.eip == kSentinel;
    return r;
  }

  void Write_Registers(const RegisterState& r) { emulator::Write_Registers(uc, r); }

  std::string Read(std::uint32_t address, std::size_t n) const { return Read_Bytes(uc, address, n); }

  static std::size_t Checkpoint_Size(const Checkpoint& c) {
    return sizeof c + c.stack.size() + c.code.size();
  }

  // Drops the oldest steps until the history fits its budget again.
  void Trim_History() {
    while (steps.size() > 1 && Bytes_Used() > options.history_bytes) {
      for (std::uint32_t n = steps.front().writes; n > 0 && !writes.empty(); --n) writes.pop_front();
      if (steps.front().checkpoint) checkpoint_bytes -= Checkpoint_Size(*steps.front().checkpoint);
      steps.pop_front();
      ++dropped;
    }
  }

  // Undoes the newest record: memory newest write first, then the registers.
  void Undo_Last(RegisterState& registers) {
    const StepRecord step = steps.back();
    for (std::uint32_t n = step.writes; n > 0; --n) {
      const WriteRecord& w = writes.back();
      uc_mem_write(uc, w.address, w.old.data(), w.size);
      // Code the routine wrote over and ran may be translated already.
      if (w.address >= kCodeBase && w.address < kCodeBase + code_mapped)
        uc_ctl_remove_cache(uc, w.address, std::uint64_t{w.address} + w.size);
      writes.pop_back();
    }
    steps.pop_back();
    Write_Registers(step.before);
    registers = step.before;
  }

  std::string Describe_Fault(std::uint32_t where, uc_err err) const {
    if (stop == emulator::Stop::Callback) return "Show_Value failed: " + callback_error;
    if (stop == emulator::Stop::PortIo) return Port_Text(port, port_out);
    if (stop == emulator::Stop::SystemCall) return System_Call_Text(system_call);
    if (stop == emulator::Stop::Interrupt) return Interrupt_Text(uc, intno, where);
    if (mem_fault) return Memory_Fault_Text(mem_type, mem_address);
    if (err == UC_ERR_INSN_INVALID) return "Invalid instruction";
    return uc_strerror(err);
  }

  // Where the instruction that stopped the run starts: INT n, INT 3, INTO, IN and OUT stop it with
  // EIP already past them.
  std::uint32_t Fault_Start(std::uint32_t eip) const {
    if (stop == emulator::Stop::Interrupt) return Interrupt_Start(uc, intno, eip);
    if (stop == emulator::Stop::PortIo) return Port_Instruction_Start(uc, eip, port);
    if (stop == emulator::Stop::SystemCall) return system_call_at;
    return eip;
  }

  enum class FastOutcome { Breakpoint, Returned, Faulted, TimedOut, Stopped };

  // Runs from EIP at full speed to a breakpoint, the return, a fault, the time limit or a stop.
  // The history gets one record for the whole run: a checkpoint of where it began.
  FastOutcome Run_Fast(RegisterState& registers, const std::set<std::uint32_t>& breakpoints, double seconds,
                       std::string& fault_text, std::uint32_t& fault_address) {
    auto checkpoint = std::make_shared<Checkpoint>();
    checkpoint->registers = registers;
    checkpoint->stack = Read(kStackBase, kStackSize);
    checkpoint->code = Read(kCodeBase, code_mapped);
    checkpoint_bytes += Checkpoint_Size(*checkpoint);
    steps.push_back({registers, 0, checkpoint, false});

    Copy_State(step_uc, fast_uc);
    uc = fast_uc;
    std::vector<uc_hook> hooks;
    for (std::uint32_t at : breakpoints) {
      uc_hook h;
      if (uc_hook_add(uc, &h, UC_HOOK_CODE, reinterpret_cast<void*>(&On_Breakpoint), this, at, at) ==
          UC_ERR_OK)
        hooks.push_back(h);
      // Code translated before the hook existed would run past it.
      uc_ctl_remove_cache(uc, at, std::uint64_t{at} + 1);
    }
    skip_breakpoint = registers.eip;
    skip_pending = breakpoints.count(registers.eip) != 0;
    fast = true;
    code_written = stop_after_box = false;
    fast_instructions = 0;
    last_block = last_block_size = last_block_icount = 0;
    ticks = 0;
    Clear();
    deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const uc_err err = uc_emu_start(uc, registers.eip, kSentinel, 0, 0);
    fast = false;
    for (uc_hook h : hooks) uc_hook_del(uc, h);

    RegisterState after = Read_Registers(0);
    FastOutcome outcome = FastOutcome::Faulted;
    std::uint32_t stop_at = after.eip;
    if (stop == emulator::Stop::None && err == UC_ERR_OK && after.eip == kSentinel)
      outcome = FastOutcome::Returned;
    else if (stop == emulator::Stop::Breakpoint)
      outcome = FastOutcome::Breakpoint;
    else if (stop == emulator::Stop::TimeOut)
      outcome = FastOutcome::TimedOut;
    else if (stop == emulator::Stop::Requested)
      outcome = FastOutcome::Stopped;
    else
      stop_at = Fault_Start(after.eip);
    // Each block was counted whole on entry; the one the run stopped in ran only up to stop_at.
    std::uint64_t ran = fast_instructions;
    if (outcome != FastOutcome::Returned && last_block_size != 0 && stop_at >= last_block &&
        stop_at < last_block + last_block_size) {
      const std::uint32_t before_stop =
          std::min(Instructions_Between(last_block, stop_at), last_block_icount);
      ran -= std::min<std::uint64_t>(ran, last_block_icount - before_stop);
    }
    after.instructions = registers.instructions + ran;
    if (outcome == FastOutcome::Faulted) {
      fault_address = stop_at;
      after.eip = stop_at;
      uc_reg_write(uc, UC_X86_REG_EIP, &after.eip);
      fault_text = Stop_Text(Describe_Fault(stop_at, err), stop_at, after.instructions);
      steps.back().ended_in_fault = true;
    } else if (ran == 0) {
      checkpoint_bytes -= Checkpoint_Size(*checkpoint);
      steps.pop_back();
    }
    Copy_State(fast_uc, step_uc);
    uc = step_uc;
    registers = after;
    Trim_History();
    return outcome;
  }

  // Undoes a run at full speed: back to its checkpoint, then the same run again, the last steps
  // of it recorded one by one. False when the run could not be repeated exactly (the state is
  // then as it was, with no history).
  bool Replay_Last(RegisterState& registers, std::string& fault_text, std::uint32_t& fault_address) {
    const StepRecord marker = steps.back();
    steps.pop_back();
    checkpoint_bytes -= Checkpoint_Size(*marker.checkpoint);
    const Checkpoint& from = *marker.checkpoint;
    const RegisterState now = registers;
    const std::string now_stack = Read(kStackBase, kStackSize), now_code = Read(kCodeBase, code_mapped);
    const std::string now_fault = fault_text;
    const std::uint32_t now_fault_address = fault_address;

    auto put_memory = [&](const std::string& stack, const std::string& code_bytes) {
      uc_mem_write(uc, kStackBase, stack.data(), stack.size());
      uc_mem_write(uc, kCodeBase, code_bytes.data(), code_bytes.size());
      uc_ctl_remove_cache(uc, kCodeBase, std::uint64_t{kCodeBase} + code_mapped);
    };
    put_memory(from.stack, from.code);
    Write_Registers(from.registers);
    registers = from.registers;
    const std::uint64_t total = now.instructions - from.registers.instructions;
    const std::uint64_t budget = std::max<std::uint64_t>(
        1, options.history_bytes / 2 / (sizeof(StepRecord) + 2 * sizeof(WriteRecord)));
    const std::uint64_t recorded = std::min<std::uint64_t>({total, budget, 100000});
    replaying = true;
    bool same = true;
    if (total > recorded) {
      steps.push_back(marker);
      steps.back().ended_in_fault = false;
      checkpoint_bytes += Checkpoint_Size(from);
      const uc_err err = uc_emu_start(uc, registers.eip, kSentinel, 0, total - recorded);
      registers = Read_Registers(from.registers.instructions + total - recorded);
      same = err == UC_ERR_OK;
    }
    // The run's last instruction may have faulted after completing (a jump to nowhere).
    StepOutcome last = StepOutcome::Done;
    for (std::uint64_t i = 0; same && i < recorded; ++i) {
      last = Step(registers, fault_text, fault_address);
      same = last != StepOutcome::Faulted || (i + 1 == recorded && marker.ended_in_fault);
    }
    if (same && marker.ended_in_fault && last != StepOutcome::Faulted)
      same = Step(registers, fault_text, fault_address) == StepOutcome::Faulted;
    replaying = false;
    same = same && Same_Registers(registers, now) && Read(kStackBase, kStackSize) == now_stack &&
           Read(kCodeBase, code_mapped) == now_code;
    if (!same) {
      put_memory(now_stack, now_code);
      Write_Registers(now);
      registers = now;
      steps.clear();
      writes.clear();
      checkpoint_bytes = 0;
    }
    fault_text = now_fault;
    fault_address = now_fault_address;
    return same;
  }

  enum class StepOutcome { Done, Returned, Faulted };

  // Executes the instruction at EIP, recording what step back needs.
  StepOutcome Step(RegisterState& registers, std::string& fault_text, std::uint32_t& fault_address) {
    steps.push_back({registers, 0, nullptr, false});
    Clear();
    recording = true;
    const std::uint32_t start = registers.eip;
    const uc_err err = uc_emu_start(uc, start, kSentinel, 0, 1);
    recording = false;
    RegisterState after = Read_Registers(registers.instructions);
    const bool faulted = stop != emulator::Stop::None || mem_fault ||
                         (err != UC_ERR_OK && !(err == UC_ERR_FETCH_UNMAPPED && after.eip == kSentinel));
    if (faulted) {
      // A jump, call or return to memory that cannot be executed completed: the fault is at its
      // target. Any other fault stops the session at the instruction that raised it.
      const bool jumped_away = mem_fault &&
                               (mem_type == UC_MEM_FETCH_UNMAPPED || mem_type == UC_MEM_FETCH_PROT) &&
                               !(mem_address >= start && mem_address < std::uint64_t{start} + 16);
      if (jumped_away) after.instructions = registers.instructions + 1;
      const std::uint32_t where = jumped_away ? after.eip : start;
      fault_address = where;
      const std::string what = Describe_Fault(where, err);
      after.eip = where;
      uc_reg_write(uc, UC_X86_REG_EIP, &after.eip);
      after.returned = false;
      registers = after;
      fault_text = Stop_Text(what, where, after.instructions);
      Trim_History();
      return StepOutcome::Faulted;
    }
    after.instructions = registers.instructions + 1;
    registers = after;
    Trim_History();
    return registers.eip == kSentinel ? StepOutcome::Returned : StepOutcome::Done;
  }
};

DebugSession::DebugSession() : impl_(std::make_unique<Impl>()) {}
DebugSession::~DebugSession() = default;

std::uint32_t DebugSession::Code_Base() { return kCodeBase; }
std::uint32_t DebugSession::Return_Address() { return kSentinel; }

std::vector<std::pair<std::uint32_t, std::uint32_t>> DebugSession::Mapped_Ranges() const {
  return {{kSystemPage, kSystemPageSize}, {kStackBase, kStackSize}, {kCodeBase, impl_->code_mapped}};
}

DebugStatus DebugSession::Start(std::string_view code, const std::array<std::int32_t, 4>& args,
                                const DebugOptions& options) {
  impl_->code.assign(code);
  impl_->args = args;
  impl_->options = options;
  return Reset();
}

DebugStatus DebugSession::Reset() {
  Impl& d = *impl_;
  d.steps.clear();
  d.writes.clear();
  d.dropped = 0;
  changed_ = 0;
  fault_text_.clear();
  fault_address_ = 0;
  registers_ = RegisterState{};
  status_ = DebugStatus::NotStarted;
  if (d.code.empty()) {
    fault_text_ = "The code image is empty: there is nothing to run";
    return status_;
  }
  if (d.code.size() > kMaxCode) {
    fault_text_ = "The code image is too large to run (" + std::to_string(d.code.size()) + " bytes)";
    return status_;
  }
  if (uc_err err = d.Open()) {
    d.Close();
    fault_text_ = std::string("The routine could not be set up: ") + uc_strerror(err);
    return status_;
  }
  registers_ = d.Read_Registers(0);
  d.stop_requested = &stop_requested_;
  status_ = DebugStatus::Ready;
  return status_;
}

namespace {
std::uint32_t Changed_Bits(const RegisterState& a, const RegisterState& b) {
  std::uint32_t bits = 0;
  for (int i = 0; i < kRegCount; ++i)
    if (Reg_Value(a, i) != Reg_Value(b, i)) bits |= 1u << i;
  for (std::size_t f = 0; f < std::size(kNamedFlags); ++f)
    if ((a.eflags ^ b.eflags) & kNamedFlags[f].mask) bits |= 1u << (kRegCount + f);
  return bits;
}
}  // namespace

DebugStatus DebugSession::Finish(const RegisterState& before) {
  changed_ = Changed_Bits(before, registers_);
  return status_;
}

namespace {
// A command that ran past its time limit stops at the instruction it would run next, in RUN's words.
void Time_Out(double seconds, const RegisterState& at, std::uint32_t& fault_address,
              std::string& fault_text) {
  fault_address = at.eip;
  fault_text = Stop_Text(Timeout_Text(seconds), at.eip, at.instructions);
}

bool Is_Running_Status(DebugStatus s) {
  return s == DebugStatus::Ready || s == DebugStatus::Breakpoint || s == DebugStatus::Stopped ||
         s == DebugStatus::TimedOut;
}
}  // namespace

DebugStatus DebugSession::Run_Until(const std::function<bool(const RegisterState& before)>& done,
                                    bool honour_breakpoints) {
  if (!Is_Running_Status(status_)) return status_;
  Impl& d = *impl_;
  const RegisterState first = registers_;
  stop_requested_.store(false, std::memory_order_relaxed);
  fault_text_.clear();
  const double seconds = d.Timeout_Seconds();
  d.deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  for (std::uint64_t n = 1;; ++n) {
    const RegisterState before = registers_;
    const Impl::StepOutcome outcome = d.Step(registers_, fault_text_, fault_address_);
    if (outcome == Impl::StepOutcome::Faulted) {
      status_ = DebugStatus::Faulted;
      break;
    }
    if (outcome == Impl::StepOutcome::Returned) {
      status_ = DebugStatus::Returned;
      break;
    }
    const bool stop_by_observer = on_step && !on_step();
    if (done(before)) {
      status_ = DebugStatus::Ready;
      break;
    }
    if (honour_breakpoints && breakpoints_.count(registers_.eip) != 0) {
      status_ = DebugStatus::Breakpoint;
      break;
    }
    if (stop_by_observer || stop_requested_.load(std::memory_order_relaxed)) {
      status_ = DebugStatus::Stopped;
      break;
    }
    if ((n & 0x3FF) == 0 && Clock::now() > d.deadline) {
      status_ = DebugStatus::TimedOut;
      Time_Out(seconds, registers_, fault_address_, fault_text_);
      break;
    }
  }
  return Finish(first);
}

DebugStatus DebugSession::Step_Into() {
  return Run_Until([](const RegisterState&) { return true; }, false);
}

DebugStatus DebugSession::Step_Over() {
  if (!Is_Running_Status(status_)) return status_;
  const std::string b = impl_->Read(registers_.eip, 16);
  std::size_t i = 0;
  while (i < b.size() && Is_Prefix(static_cast<unsigned char>(b[i]))) ++i;
  const int op = i < b.size() ? static_cast<unsigned char>(b[i]) : -1;
  const int reg = i + 1 < b.size() ? (static_cast<unsigned char>(b[i + 1]) >> 3) & 7 : -1;
  const bool is_call = op == 0xE8 || op == 0x9A || (op == 0xFF && (reg == 2 || reg == 3));
  const std::size_t length = is_call ? Instruction_Length(b) : 0;
  if (length == 0) return Step_Into();
  const std::uint32_t return_to = registers_.eip + static_cast<std::uint32_t>(length);
  const std::uint32_t esp = registers_.esp;
  // Back at the next instruction with the call's stack: a recursive call of the same site
  // comes back there with a deeper stack first.
  return Run_Until([&](const RegisterState&) { return registers_.eip == return_to && registers_.esp >= esp; },
                   true);
}

DebugStatus DebugSession::Step_Out() {
  if (!Is_Running_Status(status_)) return status_;
  const std::uint32_t esp = registers_.esp;
  bool was_return = false;
  return Run_Until(
      [&](const RegisterState& before) {
        // The RET that pops a return address at or above the current stack top ends this call.
        const std::string b = impl_->Read(before.eip, 16);
        std::size_t i = 0;
        while (i < b.size() && Is_Prefix(static_cast<unsigned char>(b[i]))) ++i;
        const int op = i < b.size() ? static_cast<unsigned char>(b[i]) : -1;
        was_return = (op == 0xC3 || op == 0xC2 || op == 0xCB || op == 0xCA) && before.esp >= esp;
        return was_return;
      },
      true);
}

DebugStatus DebugSession::Continue() {
  if (!on_step) return Run_Fast(std::nullopt);
  return Run_Until([](const RegisterState&) { return false; }, true);
}

DebugStatus DebugSession::Run_To(std::uint32_t address) {
  if (!on_step) return Run_Fast(address);
  return Run_Until([&](const RegisterState&) { return registers_.eip == address; }, true);
}

DebugStatus DebugSession::Run_Fast(std::optional<std::uint32_t> target) {
  if (!Is_Running_Status(status_)) return status_;
  Impl& d = *impl_;
  const RegisterState first = registers_;
  stop_requested_.store(false, std::memory_order_relaxed);
  fault_text_.clear();
  const double seconds = d.Timeout_Seconds();
  std::set<std::uint32_t> stops = breakpoints_;
  if (target) stops.insert(*target);
  switch (d.Run_Fast(registers_, stops, seconds, fault_text_, fault_address_)) {
    case Impl::FastOutcome::Breakpoint:
      status_ = target && registers_.eip == *target ? DebugStatus::Ready : DebugStatus::Breakpoint;
      break;
    case Impl::FastOutcome::Returned:
      status_ = DebugStatus::Returned;
      break;
    case Impl::FastOutcome::Faulted:
      status_ = DebugStatus::Faulted;
      break;
    case Impl::FastOutcome::Stopped:
      status_ = DebugStatus::Stopped;
      break;
    case Impl::FastOutcome::TimedOut: {
      status_ = DebugStatus::TimedOut;
      Time_Out(seconds, registers_, fault_address_, fault_text_);
      break;
    }
  }
  return Finish(first);
}

DebugStatus DebugSession::Step_Back() {
  Impl& d = *impl_;
  if (status_ == DebugStatus::NotStarted) return status_;
  if (d.steps.empty()) {
    changed_ = 0;
    return DebugStatus::NoHistory;
  }
  const RegisterState before = registers_;
  if (d.steps.back().checkpoint && !d.Replay_Last(registers_, fault_text_, fault_address_)) {
    changed_ = 0;
    return DebugStatus::NoHistory;
  }
  d.Undo_Last(registers_);
  fault_text_.clear();
  status_ = DebugStatus::Ready;
  return Finish(before);
}

void DebugSession::Set_Breakpoint(std::uint32_t address, bool on) {
  if (on)
    breakpoints_.insert(address);
  else
    breakpoints_.erase(address);
}

std::optional<std::string> DebugSession::Read_Memory(std::uint32_t address, std::size_t size) const {
  // Larger than everything mapped: it cannot be all readable, and is not worth allocating.
  if (impl_->uc == nullptr || size > std::size_t{kStackSize} + kMaxCode) return std::nullopt;
  std::string b(size, '\0');
  if (size > 0 && uc_mem_read(impl_->uc, address, b.data(), size) != UC_ERR_OK) return std::nullopt;
  return b;
}

std::uint32_t DebugSession::Aborted_At() const {
  return impl_->uc != nullptr ? emulator::Aborted_At(impl_->uc) : 0;
}

std::size_t DebugSession::History_Steps() const { return impl_->steps.size(); }
std::size_t DebugSession::History_Bytes() const { return impl_->Bytes_Used(); }
std::uint64_t DebugSession::History_Dropped() const { return impl_->dropped; }

std::string Changed_Text(std::uint32_t changed, const RegisterState& after) {
  std::string out;
  char buf[32];
  for (int i = 0; i < kRegCount; ++i) {
    if (i == kEip || i == kEflags || !(changed & (1u << i))) continue;
    std::snprintf(buf, sizeof buf, "%s=&H%08X", kRegNames[i], Reg_Value(after, i));
    if (!out.empty()) out.push_back(' ');
    out += buf;
  }
  for (std::size_t f = 0; f < std::size(kNamedFlags); ++f) {
    if (!(changed & (1u << (kRegCount + f)))) continue;
    if (!out.empty()) out.push_back(' ');
    out += kNamedFlags[f].name;
    out += (after.eflags & kNamedFlags[f].mask) ? "=1" : "=0";
  }
  return out;
}

}  // namespace orvo
