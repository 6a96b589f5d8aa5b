// The run engine on Unicorn, over the machine of run/emulator.h.
// The routine runs at privilege level 3, so CLI, HLT, LGDT and the like raise #GP as they would
// for a user program; IN and OUT are trapped by an instruction hook because the emulator does not
// check the I/O permission for them, and so are SYSCALL and SYSENTER, which it would skip.
// Segment loads of selectors the GDT does not give the routine (kernel data, beyond the table,
// the LDT) raise #GP. A null selector in DS, ES, FS or GS loads without a fault, as on the
// processor; the processor would fault at the first access through it, but the emulator does not
// check segments on access (it adds the null segment's base 0, so the access reads the same flat
// memory), and checking every access would cost every run its speed.
//
// The emulator library translates code into a 1 GiB buffer and breaks when that buffer fills
// (it follows stale block links): self-modifying code and images of millions of blocks get there
// in seconds. The engine watches the process's resident memory and, well before, renews the
// emulator in the middle of the run: registers and written memory move to a fresh instance.

#include "run/run_engine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unicorn/unicorn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "base/message_box.h"
#include "base/text.h"
#include "run/child_process.h"
#include "run/emulator.h"
#include "run/insn_length.h"
#include "run/wire.h"

namespace orvo {
namespace {

using Clock = std::chrono::steady_clock;

using namespace emulator;
using namespace wire;

constexpr std::uint32_t kStackClear = 0x1000;  // stack bytes zeroed before each run

// Counts how often each translated block ran; the instruction count is worked out after the
// run from the blocks' instruction counts, which keeps the per-block cost to a table update.
class BlockCounter {
 public:
  BlockCounter() : slots_(kSlots) { used_.reserve(kSlots); }

  void Reset() {
    for (std::uint32_t i : used_) slots_[i] = {};
    used_.clear();
    overflow_.clear();
    last_slot_ = nullptr;
    last_address_ = 0xFFFFFFFF;
  }

  // True the first time a block is seen (it was just translated).
  bool Hit(std::uint32_t address) {
    if (address == last_address_ && last_slot_ != nullptr) {
      ++*last_slot_;
      return false;
    }
    last_address_ = address;
    last_slot_ = Slot(address);
    return ++*last_slot_ == 1;
  }

  // Takes back the last hit, of a block that was entered but stopped before it ran.
  void Undo(std::uint32_t address) {
    if (address == last_address_ && last_slot_ != nullptr && *last_slot_ > 0) --*last_slot_;
  }

  template <typename F>
  void For_Each(F&& f) const {
    for (std::uint32_t i : used_) f(slots_[i].address, slots_[i].count);
    for (const auto& [address, count] : overflow_) f(address, count);
  }

 private:
  static constexpr std::uint32_t kSlots = 4096;  // power of two
  struct Entry {
    std::uint32_t address = 0;
    bool used = false;
    std::uint64_t count = 0;
  };

  std::uint64_t* Slot(std::uint32_t address) {
    std::uint32_t i = (address * 2654435761u) >> 20;
    for (std::uint32_t probes = 0; probes < 16; ++probes, i = (i + 1) & (kSlots - 1)) {
      Entry& e = slots_[i];
      if (e.used && e.address == address) return &e.count;
      if (!e.used && used_.size() < kSlots * 3 / 4) {
        e.used = true;
        e.address = address;
        used_.push_back(i);
        return &e.count;
      }
    }
    return &overflow_[address];  // a routine with thousands of blocks
  }

  std::vector<Entry> slots_;
  std::vector<std::uint32_t> used_;
  std::unordered_map<std::uint32_t, std::uint64_t> overflow_;
  std::uint64_t* last_slot_ = nullptr;
  std::uint32_t last_address_ = 0xFFFFFFFF;
};

}  // namespace

std::uint32_t Get_FnAddress() { return kShowValue; }
std::uint32_t Get_CodeBase() { return kCodeBase; }

std::int32_t Show_Value(std::int32_t value) {
  const std::string text =
      "DEC=" + std::to_string(value) + "\rHEX=&H" + Hex_Upper(static_cast<std::uint32_t>(value));
  Show_Message(text, MsgStyle::Ok, kAppTitle);
  return 0;
}

std::string Run_ErrorText(const RunResult& result) {
  std::string text = "Error in assembler program";
  if (!result.what.empty()) text.append("\r\r").append(result.what);
  return text;
}

namespace {

// Set by SIGUSR1 in the child process: the parent asks the running routine to stop.
volatile std::sig_atomic_t g_stop_signal = 0;

// What a Show_Value box reports back to the run, besides the box itself.
struct BoxFeedback {
  Clock::duration waited{};  // the time the box waited for the person (not the routine's)
  bool stop = false;         // Stop was asked for while the box was open
};

// The emulator proper. It runs in a child process (below): the emulator library aborts the whole
// process on some invalid instructions while translating them.
struct Emulator : StopHooks {
  uc_engine* uc = nullptr;
  uc_context* user_context = nullptr;  // CPU state at privilege level 3, saved once
  std::string open_error;
  std::uint32_t code_mapped = 0;
  std::uint32_t code_size = 0;  // bytes of the current image
  std::uint32_t dirty_end = 0;  // offset in the call buffer up to which it may not be zero
  std::uint32_t stack_low = kStackTop - kStackClear;  // the stack below this is still zero
  bool running = false;
  std::vector<char> zeros;
  // Translations of earlier runs are dropped but their space in the translation buffer is only
  // reclaimed when the buffer is full (hundreds of MiB): a fresh instance now and then keeps the
  // process small, at about 0.4 ms per restart.
  static constexpr int kRunsPerInstance = 256;
  int runs_since_start = 0;
  // Within a run, and before the next one, a fresh instance takes over once the process has grown
  // renew_after_kib past a fresh one: far below the 1 GiB at which the library's translation
  // buffer fills. In the process (no child) this is the only bound on the emulator's memory.
  long renew_after_kib = RunLimits{}.renew_after_kib;
  std::uint32_t renewals = 0;
  int statm_fd = -1;
  long fresh_kib = 0;
  bool renew_due = false;
  std::uint64_t instructions_before = 0;  // completed in instances renewed during this run

  // Show_Value boxes of the current run.
  unsigned boxes = 0, max_boxes = 1000;
  bool box_time_counts = false;
  std::function<bool()> more_boxes;              // may more boxes follow the limit?
  BoxFeedback* feedback = nullptr;               // in the child: what the parent's box reported
  const std::atomic<bool>* stop_flag = nullptr;  // in the process: RunEngine::Request_Stop

  // State of the current run, written by the hooks.
  BlockCounter blocks;
  std::uint32_t last_block = 0, last_block_size = 0;
  std::uint32_t ticks = 0, new_blocks = 0, translations = 0;
  Clock::time_point deadline;
  Clock::time_point next_memory_check;
  std::string halt_reason;

  Emulator() {
    statm_fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    Start();
  }
  ~Emulator() {
    Close();
    if (statm_fd >= 0) ::close(statm_fd);
  }

  void Start() {
    if (uc_err err = Open()) {
      open_error = std::string("The emulator could not be started: ") + uc_strerror(err);
      Close();
    }
    runs_since_start = 0;
    fresh_kib = Resident_Kib();
  }

  void Close() {
    if (user_context != nullptr) uc_context_free(user_context);
    if (uc != nullptr) uc_close(uc);
    user_context = nullptr;
    uc = nullptr;
    code_mapped = 0;
    dirty_end = 0;
    stack_low = kStackTop - kStackClear;
  }

  // Resident memory of this process; 0 when it cannot be read.
  long Resident_Kib() const {
    char text[128];
    const ssize_t n = statm_fd >= 0 ? ::pread(statm_fd, text, sizeof text - 1, 0) : -1;
    if (n <= 0) return 0;
    text[n] = '\0';
    const char* p = std::strchr(text, ' ');
    return p != nullptr ? std::strtol(p + 1, nullptr, 10) * (::sysconf(_SC_PAGESIZE) / 1024) : 0;
  }

  // Moves the stopped run to a fresh instance: CPU state, the written stack and the call buffer.
  uc_err Renew(std::uint32_t resume_at) {
    // The block the run goes on with was counted on entry, before the stop took effect.
    blocks.Undo(resume_at);
    instructions_before = Count_Instructions(true, 0);
    blocks.Reset();
    uc_context* state = nullptr;
    uc_err err = uc_context_alloc(uc, &state);
    if (err == UC_ERR_OK) err = uc_context_save(uc, state);
    const std::uint32_t stack_from = stack_low & ~0xFFFu;
    const std::uint32_t code_used = std::min(std::max(code_size, dirty_end), code_mapped);
    const std::string stack = Read_Bytes(stack_from, kStackTop - stack_from);
    const std::string code = Read_Bytes(kCodeBase, code_used);
    const std::uint32_t mapped = code_mapped, dirty = dirty_end, low = stack_low;
    if (err != UC_ERR_OK || stack.size() != kStackTop - stack_from || code.size() != code_used) {
      if (state != nullptr) uc_context_free(state);
      return err != UC_ERR_OK ? err : UC_ERR_READ_UNMAPPED;
    }
    Close();
    Start();
    if (uc == nullptr) err = UC_ERR_NOMEM;
    if (err == UC_ERR_OK && mapped != code_mapped &&
        (err = uc_mem_unmap(uc, kCodeBase, code_mapped)) == UC_ERR_OK)
      if ((err = uc_mem_map(uc, kCodeBase, mapped, UC_PROT_ALL)) == UC_ERR_OK) code_mapped = mapped;
    if (err == UC_ERR_OK) err = uc_mem_write(uc, kStackTop - stack.size(), stack.data(), stack.size());
    if (err == UC_ERR_OK) err = uc_mem_write(uc, kCodeBase, code.data(), code.size());
    if (err == UC_ERR_OK) err = uc_context_restore(uc, state);
    uc_context_free(state);
    dirty_end = dirty;
    stack_low = low;
    return err;
  }

  uc_err Open() {
    uc_err err = Open_Flat(uc, kCodeChunk);
    if (err != UC_ERR_OK) return err;
    code_mapped = kCodeChunk;
    zeros.assign(kCodeChunk, 0);
    // The CPU state at privilege level 3 is kept for every run.
    if ((err = uc_context_alloc(uc, &user_context))) return err;
    if ((err = uc_context_save(uc, user_context))) return err;

    uc_hook h;
    if ((err = uc_hook_add(uc, &h, UC_HOOK_BLOCK, reinterpret_cast<void*>(&On_Block), this, 1, 0)))
      return err;
    if ((err = uc_hook_add(uc, &h, UC_HOOK_EDGE_GENERATED, reinterpret_cast<void*>(&On_Translated), this, 1,
                           0)))
      return err;
    if ((err = uc_hook_add(uc, &h, UC_HOOK_CODE, reinterpret_cast<void*>(&On_ShowValue), this, kShowValue,
                           kShowValue)))
      return err;
    if ((err = Add_To(uc))) return err;
    // Writes to the stack and the call buffer (data lines, self-modifying code) tell the next run
    // what to clear.
    if ((err = uc_hook_add(uc, &h, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&On_Write), this, kStackBase,
                           kCodeBase + kMaxCode - 1)))
      return err;
    return UC_ERR_OK;
  }

  void Stop_With(Stop why) { StopHooks::Stop_With(uc, why); }

  // ---- hooks (called on this thread from inside uc_emu_start)
  static void On_Block(uc_engine*, std::uint64_t address, std::uint32_t size, void* user) {
    auto* self = static_cast<Emulator*>(user);
    const bool new_block = self->blocks.Hit(static_cast<std::uint32_t>(address));
    self->last_block = static_cast<std::uint32_t>(address);
    self->last_block_size = size;
    // Every loop passes through a block start, so an endless one is caught here: 256 blocks
    // run in microseconds (a block runs at most 512 instructions), and reading the clock is well
    // under 1% of a tight loop. Long runs of new code (up to 64 KiB of translation per block) also
    // check the memory every 256 new blocks.
    if (new_block && (++self->new_blocks & 0xFF) == 0)
      self->Check(true);
    else if ((++self->ticks & 0xFF) == 0)
      self->Check(false);
  }

  // A block translated again, as code that rewrites itself is on every round, costs up to a
  // millisecond and a few KiB: those are counted apart, so that the limits hold on them too.
  static void On_Translated(uc_engine*, uc_tb*, uc_tb*, void* user) {
    auto* self = static_cast<Emulator*>(user);
    if ((++self->translations & 0xF) == 0) self->Check(false);
  }

  bool Stop_Requested() const {
    return g_stop_signal != 0 || (stop_flag != nullptr && stop_flag->load(std::memory_order_relaxed));
  }

  void Halt(std::string reason) {
    if (stop == Stop::None) halt_reason = std::move(reason);
    Stop_With(Stop::Halted);
  }

  // The resident size is read at most every few milliseconds between the forced checks: a
  // retranslated block adds a few KiB at most, so the emulator overshoots its threshold by little.
  static constexpr auto kMemoryCheckEvery = std::chrono::milliseconds(2);

  bool Grown() const { return Resident_Kib() > fresh_kib + renew_after_kib; }

  void Check(bool memory) {
    const Clock::time_point now = Clock::now();
    if (now > deadline) {
      Stop_With(Stop::TimeOut);
    } else if (Stop_Requested()) {
      Halt("The run was stopped");
    } else if (memory || now >= next_memory_check) {
      next_memory_check = now + kMemoryCheckEvery;
      if (Grown()) {
        renew_due = true;
        uc_emu_stop(uc);
      }
    }
  }

  static void On_ShowValue(uc_engine* uc, std::uint64_t, std::uint32_t, void* user) {
    auto* self = static_cast<Emulator*>(user);
    std::int32_t value = 0;
    if (!Show_Value_Argument(uc, value)) return;  // RET 4 will fault
    if (self->boxes == self->max_boxes) {
      const Clock::time_point asked = Clock::now();
      bool more = false;
      try {
        more = self->more_boxes && self->more_boxes();
      } catch (...) {
        more = false;  // nothing may leave a hook through the emulator's C frames
      }
      if (!self->box_time_counts) self->deadline += Clock::now() - asked;  // the person was asked
      if (!more) {
        self->Halt("Show_Value was called more than " + std::to_string(self->max_boxes) +
                   " times: the run was stopped");
        return;
      }
      self->boxes = 0;
    }
    ++self->boxes;
    BoxFeedback local;
    BoxFeedback& told = self->feedback != nullptr ? *self->feedback : local;
    told = {};
    const Clock::time_point shown = Clock::now();
    if (!Show_Value_Box(value, self->callback_error)) self->Stop_With(Stop::Callback);
    // The time a box waits for the person is not the routine's.
    if (self->feedback == nullptr) told.waited = Clock::now() - shown;
    if (!self->box_time_counts) self->deadline += told.waited;
    if (told.stop || self->Stop_Requested())
      self->Halt("The run was stopped");
    else if (Clock::now() > self->deadline)
      self->Stop_With(Stop::TimeOut);
  }

  static void On_Write(uc_engine*, uc_mem_type, std::uint64_t address, int size, std::int64_t, void* user) {
    auto* self = static_cast<Emulator*>(user);
    if (address < kCodeBase) {
      self->stack_low = std::min(self->stack_low, static_cast<std::uint32_t>(address));
      return;
    }
    const std::uint32_t end =
        static_cast<std::uint32_t>(address - kCodeBase) + static_cast<std::uint32_t>(size);
    self->dirty_end = std::max(self->dirty_end, end);
  }

  // ---- one run
  uc_err Prepare(std::string_view code, const std::array<std::int32_t, 4>& args) {
    uc_err err = UC_ERR_OK;
    const std::uint32_t need = Code_Mapping(static_cast<std::uint32_t>(code.size()));
    // The same image always meets the same mapping: a longer earlier one must not leave memory
    // readable past this one's end.
    if (need != code_mapped) {
      if ((err = uc_mem_unmap(uc, kCodeBase, code_mapped))) return err;
      code_mapped = 0;
      if ((err = uc_mem_map(uc, kCodeBase, need, UC_PROT_ALL))) return err;
      code_mapped = need;
      dirty_end = 0;
    }
    // The call buffer holds the image followed by zeros: what an earlier run left there (its
    // longer code, data it wrote) is cleared, and so are translations of it. Beyond dirty_end
    // the buffer is still zero and any translation there is still right.
    const std::uint32_t size = static_cast<std::uint32_t>(code.size());
    if ((err = uc_mem_write(uc, kCodeBase, code.data(), size))) return err;
    for (std::uint32_t at = size; at < std::min(dirty_end, code_mapped);) {
      const std::uint32_t n = std::min<std::uint32_t>(std::min(dirty_end, code_mapped) - at,
                                                      static_cast<std::uint32_t>(zeros.size()));
      if ((err = uc_mem_write(uc, kCodeBase + at, zeros.data(), n))) return err;
      at += n;
    }
    const std::uint32_t stale = std::max(size, std::min(dirty_end, code_mapped));
    if ((err = uc_ctl_remove_cache(uc, kCodeBase, std::uint64_t{kCodeBase} + stale))) return err;
    dirty_end = size;
    code_size = size;

    // The stack as the routine's writes left it is zeroed down to the lowest address written.
    for (std::uint32_t at = std::min(stack_low, kStackTop - kStackClear) & ~0xFFFu; at < kStackTop;) {
      const std::uint32_t n =
          std::min<std::uint32_t>(kStackTop - at, static_cast<std::uint32_t>(zeros.size()));
      if ((err = uc_mem_write(uc, at, zeros.data(), n))) return err;
      at += n;
    }
    stack_low = kStackTop - kStackClear;
    if ((err = uc_context_restore(uc, user_context))) return err;
    if ((err = Enter_Routine(uc, args))) return err;

    blocks.Reset();
    last_block = last_block_size = 0;
    ticks = new_blocks = translations = 0;
    Clear();
    halt_reason.clear();
    system_call = nullptr;
    renew_due = false;
    renewals = 0;
    instructions_before = 0;
    boxes = 0;
    g_stop_signal = 0;
    return UC_ERR_OK;
  }

  // Instructions and end of the block the emulator translates at address.
  bool Block_At(std::uint32_t address, std::uint32_t& icount, std::uint32_t& end) {
    uc_tb tb{};
    if (uc_ctl_request_cache(uc, std::uint64_t{address}, &tb) != UC_ERR_OK || tb.size == 0) return false;
    icount = tb.icount;
    end = address + tb.size;
    return true;
  }

  // Each block was counted whole on entry; the one the run stopped in ran only up to stop_at.
  std::uint64_t Count_Instructions(bool returned, std::uint32_t stop_at) {
    std::uint64_t total = instructions_before;
    blocks.For_Each([&](std::uint32_t address, std::uint64_t count) {
      std::uint32_t icount = 0, end = 0;
      if (Block_At(address, icount, end)) total += count * icount;
    });
    if (!returned && last_block_size != 0 && stop_at >= last_block &&
        stop_at < last_block + last_block_size) {
      std::uint32_t icount = 0, end = 0;
      if (Block_At(last_block, icount, end)) {
        const std::int64_t ran =
            std::clamp<std::int64_t>(Instructions_Between(uc, last_block, stop_at), 0, icount);
        total -= std::min<std::uint64_t>(total, icount - static_cast<std::uint64_t>(ran));
      }
    }
    return total;
  }

  std::string Read_Bytes(std::uint32_t address, std::size_t n) {
    return emulator::Read_Bytes(uc, address, n);
  }

  RunResult Run(std::string_view code, const std::array<std::int32_t, 4>& args, const RunLimits& limits) {
    RunResult result;
    result.status = RunStatus::Faulted;
    if (running) {
      result.what = "A routine is already running";
      return result;
    }
    // A run that stopped short of the threshold leaves its translations behind: once they add up
    // to it, the next run starts in a fresh instance.
    renew_after_kib = limits.renew_after_kib;
    if (uc == nullptr || ++runs_since_start > kRunsPerInstance || Grown()) {
      Close();
      Start();
      if (uc == nullptr) {
        result.what = open_error;
        return result;
      }
    }
    if (code.empty()) {
      result.what = "The code image is empty: there is nothing to run";
      return result;
    }
    if (code.size() > kMaxCode) {
      result.what = "The code image is too large to run (" + std::to_string(code.size()) + " bytes)";
      return result;
    }
    if (uc_err err = Prepare(code, args)) {
      result.what = std::string("The routine could not be set up: ") + uc_strerror(err);
      return result;
    }

    const double seconds = Effective_TimeoutSeconds(limits);
    const Clock::time_point start = Clock::now();
    deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    next_memory_check = start + kMemoryCheckEvery;
    max_boxes = limits.max_boxes;
    more_boxes = limits.more_boxes;
    box_time_counts = limits.box_time_counts;

    running = true;
    uc_err err = UC_ERR_OK;
    for (std::uint32_t from = kCodeBase;;) {
      err = uc_emu_start(uc, from, kSentinel, 0, 0);
      if (!renew_due || stop != Stop::None || mem_fault || err != UC_ERR_OK) break;
      renew_due = false;
      uc_reg_read(uc, UC_X86_REG_EIP, &from);
      if (from == kSentinel) break;
      ++renewals;
      if (uc_err renew_err = Renew(from)) {
        running = false;
        Close();
        result.what = std::string("The emulator could not go on with the run: ") +
                      (open_error.empty() ? uc_strerror(renew_err) : open_error);
        return result;
      }
    }
    running = false;

    result.renewals = renewals;
    RegisterState& r = result.registers;
    r = Read_Registers(uc);
    result.eax = static_cast<std::int32_t>(r.eax);

    const bool returned = stop == Stop::None && err == UC_ERR_OK && r.eip == kSentinel;
    r.returned = returned;
    if (returned) {
      r.instructions = Count_Instructions(true, r.eip);
      result.status = RunStatus::Returned;
      return result;
    }

    std::string what;
    std::uint32_t where = r.eip;
    if (stop == Stop::TimeOut) {
      result.status = RunStatus::TimedOut;
      what = Timeout_Text(seconds);
    } else if (stop == Stop::Callback) {
      what = "Show_Value failed: " + callback_error;
    } else if (stop == Stop::Halted) {
      what = halt_reason;
    } else if (stop == Stop::SystemCall) {
      what = System_Call_Text(system_call);
      where = system_call_at;
    } else if (stop == Stop::PortIo) {
      what = Port_Text(port, port_out);
      where = Port_Instruction_Start(uc, r.eip, port);
    } else if (stop == Stop::Interrupt) {
      where = Interrupt_Start(uc, intno, r.eip);
      what = Interrupt_Text(uc, intno, where);
    } else if (mem_fault) {
      what = Memory_Fault_Text(mem_type, mem_address);
      if (mem_type == UC_MEM_FETCH_UNMAPPED) where = r.eip;
    } else if (err == UC_ERR_INSN_INVALID) {
      what = "Invalid instruction";
    } else if (err == UC_ERR_OK) {
      what = "The routine stopped without returning";
    } else {
      what = uc_strerror(err);
    }
    // The count is of the instructions completed before the one named.
    r.instructions = Count_Instructions(false, where);
    result.what = Stop_Text(what, where, r.instructions);
    result.where = where;
    return result;
  }
};

// ---- the emulator in a child process -----------------------------------------------------------
// The parent sends a run; the child runs it and sends back every box the routine shows (the parent
// shows it and answers) and then the result. A child that dies (the emulator aborted) costs the
// run, not the program; the next run starts a new child.

using namespace child;

// The child's exit status when memory ran out (its address space is limited).
constexpr int kExitNoMemory = 86;

// In the child: boxes go to the parent, which shows them and answers with the time the box
// waited for the person and whether Stop was asked for meanwhile.
class ForwardingHandler : public MessageHandler {
 public:
  ForwardingHandler(int fd, BoxFeedback& feedback) : fd_(fd), feedback_(feedback) {}
  MsgAnswer Show(const Message& m) override {
    std::string payload(1, static_cast<char>(m.style));
    payload.push_back(m.title ? 1 : 0);
    Append_Text(payload, m.title.value_or(""));
    Append_Text(payload, m.text);
    char type = 0;
    std::string reply;
    if (!Send_Frame(fd_, kBoxRequest, payload) || Read_Frame(fd_, type, reply) != 0) ::_exit(0);
    if (type == kBoxFailed) throw std::runtime_error(reply);
    Reader in(reply);
    const auto answer = static_cast<MsgAnswer>(in.U8());
    std::uint64_t waited_us = in.U32();
    waited_us |= std::uint64_t{in.U32()} << 32;
    feedback_.waited = std::chrono::microseconds(waited_us);
    feedback_.stop = in.U8() != 0;
    if (feedback_.stop) Stop_Debug();  // a debug command ends as a run does
    return answer;
  }

  bool More_Boxes() {
    char type = 0;
    std::string reply;
    if (!Send_Frame(fd_, kMoreBoxes, {}) || Read_Frame(fd_, type, reply) != 0) ::_exit(0);
    return type == kMoreAnswer && !reply.empty() && reply[0] != 0;
  }

 private:
  int fd_;
  BoxFeedback& feedback_;
};

// For the signal handlers of the child.
Emulator* g_child_emulator = nullptr;
int g_child_fd = -1;
long long g_child_address_limit = 0;

extern "C" void On_ChildAbort(int) {
  std::uint32_t at = 0;
  if (g_child_emulator != nullptr && g_child_emulator->uc != nullptr)
    at = Aborted_At(g_child_emulator->uc);
  else if (!Debug_Aborted_At(at))
    return;
  const char frame[9] = {kAbortedAt,
                         4,
                         0,
                         0,
                         0,
                         static_cast<char>(at),
                         static_cast<char>(at >> 8),
                         static_cast<char>(at >> 16),
                         static_cast<char>(at >> 24)};
  (void)::send(g_child_fd, frame, sizeof frame, MSG_NOSIGNAL);
  // Returning lets abort() end the process with SIGABRT.
}

// Size of this process's address space in bytes, read without allocating.
long long Address_Space_Bytes() {
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[64];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  long long pages = 0;
  for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) pages = pages * 10 + (text[i] - '0');
  return pages * ::sysconf(_SC_PAGESIZE);
}

// The emulator library does not check its allocations: out of address space, it dereferences a
// null pointer. Near the limit that is what the fault means.
extern "C" void On_ChildFault(int signal) {
  if (g_child_address_limit > 0 && Address_Space_Bytes() + (128ll << 20) > g_child_address_limit)
    ::_exit(kExitNoMemory);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

extern "C" void On_ChildStop(int) {
  g_stop_signal = 1;
  Stop_Debug();
}

void Install_ChildSignals() {
  static char alternate_stack[64 * 1024];
  stack_t ss{};
  ss.ss_sp = alternate_stack;
  ss.ss_size = sizeof alternate_stack;
  ::sigaltstack(&ss, nullptr);
  struct sigaction act {};
  act.sa_flags = SA_ONSTACK | SA_RESETHAND;
  act.sa_handler = &On_ChildFault;
  ::sigaction(SIGSEGV, &act, nullptr);
  ::sigaction(SIGBUS, &act, nullptr);
  act.sa_handler = &On_ChildAbort;
  ::sigaction(SIGABRT, &act, nullptr);
  act.sa_flags = SA_RESTART;
  act.sa_handler = &On_ChildStop;
  ::sigaction(SIGUSR1, &act, nullptr);
}

// The child's loop: runs and debug sessions as the parent sends them, until the channel closes.
[[noreturn]] void Child_Main(int fd, pid_t parent, long long address_space) {
  // The emulator dies with the program: a killed parent must not leave it spinning.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(0);
  // Nothing of the parent's but the channel: another engine's child must see its own channel close.
  ::close_range(4, ~0U, 0);
  if (const int null = ::open("/dev/null", O_WRONLY); null >= 0)
    ::dup2(null, 2);  // the library's abort notes
  if (const long long inherited = Address_Space_Bytes(); inherited > 0) {
    g_child_address_limit = inherited + address_space;
    const rlimit limit{static_cast<rlim_t>(g_child_address_limit),
                       static_cast<rlim_t>(g_child_address_limit)};
    ::setrlimit(RLIMIT_AS, &limit);
  }
  std::set_new_handler([] { ::_exit(kExitNoMemory); });
  g_child_fd = fd;
  Install_ChildSignals();
  // Made at the first run: a child that only debugs has no use for it.
  std::unique_ptr<Emulator> emulator;
  BoxFeedback feedback;
  ForwardingHandler forward(fd, feedback);
  ScopedMessageHandler scope(forward);
  for (;;) {
    char type = 0;
    std::string payload;
    if (Read_Frame(fd, type, payload) != 0) ::_exit(0);
    if (type != kRunRequest) {
      if (!Serve_Debug(fd, type, payload)) ::_exit(0);
      continue;
    }
    if (!emulator) {
      emulator = std::make_unique<Emulator>();
      emulator->feedback = &feedback;
      g_child_emulator = emulator.get();
    }
    Reader in(payload);
    std::array<std::int32_t, 4> args{};
    for (auto& a : args) a = static_cast<std::int32_t>(in.U32());
    RunLimits limits;
    limits.timeout_seconds = static_cast<double>(in.U32()) / 1e6;
    limits.max_boxes = in.U32();
    limits.box_time_counts = in.U8() != 0;
    limits.renew_after_kib = in.U32();
    limits.more_boxes = [&forward] { return forward.More_Boxes(); };
    const RunResult r = emulator->Run(in.Rest(), args, limits);
    std::string out(1, static_cast<char>(r.status));
    const RegisterState& g = r.registers;
    for (std::uint32_t v :
         {g.eax, g.ecx, g.edx, g.ebx, g.esp, g.ebp, g.esi, g.edi, g.eflags, g.eip, g.esp_expected,
          static_cast<std::uint32_t>(g.instructions), static_cast<std::uint32_t>(g.instructions >> 32)})
      Append_LE(out, v, 4);
    out.push_back(g.returned ? 1 : 0);
    Append_Text(out, r.what);
    Append_LE(out, r.renewals, 4);
    Append_LE(out, r.where, 4);
    if (!Send_Frame(fd, kRunDone, out)) ::_exit(0);
  }
}

RunResult Read_Result(std::string_view payload) {
  Reader in(payload);
  RunResult r;
  r.status = static_cast<RunStatus>(std::min<std::uint8_t>(in.U8(), 2));
  RegisterState& g = r.registers;
  for (std::uint32_t* v :
       {&g.eax, &g.ecx, &g.edx, &g.ebx, &g.esp, &g.ebp, &g.esi, &g.edi, &g.eflags, &g.eip, &g.esp_expected})
    *v = in.U32();
  g.instructions = in.U32();
  g.instructions |= std::uint64_t{in.U32()} << 32;
  g.returned = in.U8() != 0;
  r.what = in.Text();
  r.renewals = in.U32();
  r.where = in.U32();
  r.eax = static_cast<std::int32_t>(g.eax);
  return r;
}

}  // namespace

namespace child {

void Process::Stop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}

bool Process::Start() {
  Stop();
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pair[0]);
    ::close(pair[1]);
    return false;
  }
  if (pid == 0) {
    ::close(pair[0]);
    if (pair[1] != 3 && ::dup2(pair[1], 3) < 0) ::_exit(1);
    Child_Main(3, parent, address_space_);
  }
  ::close(pair[1]);
  pid_ = pid;
  fd_ = pair[0];
  return true;
}

std::string Process::Lost() {
  int status = 0;
  if (pid_ > 0) {
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  Stop();
  if (WIFEXITED(status) && WEXITSTATUS(status) == kExitNoMemory)
    return "The emulator ran out of memory (the routine may use at most " + std::to_string(address_space_ >> 20) +
           " MiB with the emulator's own)";
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT)
    return "Invalid instruction: the emulator cannot translate the routine's code";
  if (WIFSIGNALED(status)) return std::string("The emulator stopped: ") + ::strsignal(WTERMSIG(status));
  return "The emulator stopped";
}

bool Answer_Box(int fd, std::string_view payload, bool box_time_counts, const std::atomic<bool>& stop,
                bool& stop_told, Clock::duration& waited) {
  Reader in(payload);
  const auto style = static_cast<MsgStyle>(std::min<std::uint8_t>(in.U8(), 3));
  const bool has_title = in.U8() != 0;
  const std::string title = in.Text();
  const std::string text = in.Text();
  const Clock::time_point shown = Clock::now();
  waited = {};
  stop_told = false;
  try {
    const MsgAnswer answer =
        Show_Message(text, style, has_title ? std::optional<std::string_view>(title) : std::nullopt);
    waited = Clock::now() - shown;
    std::string reply(1, static_cast<char>(answer));
    const auto waited_us = static_cast<std::uint64_t>(
        box_time_counts ? 0 : std::chrono::duration_cast<std::chrono::microseconds>(waited).count());
    Append_LE(reply, static_cast<std::uint32_t>(waited_us), 4);
    Append_LE(reply, static_cast<std::uint32_t>(waited_us >> 32), 4);
    // A stop asked for while the box was open (from the box itself, too) ends the run before the
    // routine goes on.
    stop_told = stop.load();
    reply.push_back(stop_told ? 1 : 0);
    return Send_Frame(fd, kBoxAnswer, reply);
  } catch (const std::exception& e) {
    waited = Clock::now() - shown;
    return Send_Frame(fd, kBoxFailed, e.what());
  } catch (...) {
    waited = Clock::now() - shown;
    return Send_Frame(fd, kBoxFailed, "unknown error");
  }
}

}  // namespace child

struct RunEngine::Impl {
  // The emulator library keeps a little memory past the end of an instance (bitmaps of pages
  // whose code the routine rewrote); a fresh child now and then gives all of it back.
  static constexpr int kRunsPerChild = 4096;
  child::Process child{child::kRunAddressSpace};
  int child_runs = 0;
  bool running = false;
  std::atomic<bool> stop_requested{false};
  std::unique_ptr<Emulator> local;  // when no child process can be made

  RunResult Run_Local(std::string_view code, const std::array<std::int32_t, 4>& args,
                      const RunLimits& limits) {
    if (!local) local = std::make_unique<Emulator>();
    local->stop_flag = &stop_requested;
    return local->Run(code, args, limits);
  }

  RunResult Run(std::string_view code, const std::array<std::int32_t, 4>& args, const RunLimits& limits) {
    RunResult result;
    result.status = RunStatus::Faulted;
    if (running) {
      result.what = "A routine is already running";
      return result;
    }
    stop_requested = false;
    if (!limits.isolated || local) return Run_Local(code, args, limits);
    if (code.size() > kMaxCode) {
      result.what = "The code image is too large to run (" + std::to_string(code.size()) + " bytes)";
      return result;
    }
    if (child.Running() && ++child_runs > kRunsPerChild) child.Stop();
    if (!child.Running()) {
      child_runs = 1;
      if (!child.Start()) return Run_Local(code, args, limits);
    }
    const int fd = child.Fd();
    const double seconds = Effective_TimeoutSeconds(limits);
    std::string request;
    for (std::int32_t a : args) Append_LE(request, static_cast<std::uint32_t>(a), 4);
    Append_LE(request, static_cast<std::uint32_t>(seconds * 1e6), 4);
    Append_LE(request, limits.max_boxes, 4);
    request.push_back(limits.box_time_counts ? 1 : 0);
    Append_LE(request, limits.renew_after_kib, 4);
    request.append(code);

    running = true;
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{running};
    if (!Send_Frame(fd, kRunRequest, request)) {
      result.what = child.Lost();
      return result;
    }
    // The child keeps the time-out itself; this guard, with a margin, is for a child that hangs.
    // Time in boxes moves it on: the child may not count that time.
    Clock::time_point guard = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(seconds + 10));
    bool stop_sent = false;
    std::optional<std::uint32_t> aborted_at;
    for (;;) {
      if (stop_requested && !stop_sent) stop_sent = ::kill(child.Pid(), SIGUSR1) == 0;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(guard - Clock::now()).count();
      char type = 0;
      std::string payload;
      // Short waits, so that a stop asked for from another thread reaches the child soon.
      const int r = Read_Frame(fd, type, payload, static_cast<int>(std::clamp<long long>(left, 0, 100)));
      if (r == -2 && left > 0) continue;
      if (r == -2) {
        child.Stop();
        result.status = RunStatus::TimedOut;
        result.what = "Time-out: the emulator did not answer";
        return result;
      }
      if (r != 0) {
        result.what = child.Lost();
        if (aborted_at) {
          result.what += " at EIP=" + Hex_Address(*aborted_at);
          result.where = *aborted_at;  // the box names its line
        }
        return result;
      }
      if (type == kRunDone) return Read_Result(payload);
      if (type == kAbortedAt) {
        if (payload.size() >= 4) aborted_at = Read_LE32(payload, 0);
        continue;
      }
      if (type == kMoreBoxes) {
        const Clock::time_point asked = Clock::now();
        bool more = false;
        try {
          more = limits.more_boxes && limits.more_boxes();
        } catch (...) {
          more = false;
        }
        guard += Clock::now() - asked;
        if (!Send_Frame(fd, kMoreAnswer, std::string(1, more ? 1 : 0))) {
          result.what = child.Lost();
          return result;
        }
        continue;
      }
      if (type != kBoxRequest) {
        result.what = child.Lost();
        return result;
      }
      bool stop_told = false;
      Clock::duration waited{};
      const bool sent = child::Answer_Box(fd, payload, limits.box_time_counts, stop_requested, stop_told, waited);
      guard += waited;
      stop_sent = stop_sent || stop_told;
      if (!sent) {
        result.what = child.Lost();
        return result;
      }
    }
  }
};

RunEngine::RunEngine() : impl_(std::make_unique<Impl>()) {}
RunEngine::~RunEngine() = default;

RunResult RunEngine::Run_Code(std::string_view code, const std::array<std::int32_t, 4>& args,
                              const RunLimits& limits) {
  return impl_->Run(code, args, limits);
}

void RunEngine::Request_Stop() { impl_->stop_requested = true; }

double Effective_TimeoutSeconds(const RunLimits& limits) {
  const double seconds = limits.timeout_seconds > 0 ? limits.timeout_seconds : RunLimits{}.timeout_seconds;
  return std::clamp(seconds, kMinTimeoutSeconds, kMaxTimeoutSeconds);
}

std::string Format_Registers(const RegisterState& r) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "EAX=&H%08X  ECX=&H%08X  EDX=&H%08X  EBX=&H%08X\n"
                "ESP=&H%08X  EBP=&H%08X  ESI=&H%08X  EDI=&H%08X\n"
                "EFLAGS=&H%08X  EIP=&H%08X\n",
                r.eax, r.ecx, r.edx, r.ebx, r.esp, r.ebp, r.esi, r.edi, r.eflags, r.eip);
  std::string out = buf;
  out += "Instructions executed: " + std::to_string(r.instructions) + "\n";
  if (r.returned && r.esp != r.esp_expected) {
    const std::int64_t diff = std::int64_t{r.esp} - std::int64_t{r.esp_expected};
    if (diff == -16)
      out +=
          "ESP is 16 bytes below its value after RET 16: the routine returned with a plain RET and "
          "left its four arguments on the stack.\n";
    else
      out += "ESP is " + std::to_string(diff < 0 ? -diff : diff) +
             (diff < 0 ? " bytes below" : " bytes above") + " its value after RET 16 (&H" +
             Hex_Upper(r.esp_expected) + ").\n";
  }
  return out;
}

}  // namespace orvo
