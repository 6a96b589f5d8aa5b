// The debug session on Unicorn, one instruction per emulator call. The address space is the run
// engine's: system page (GDT, entry trampoline, Show_Value stub), 1 MiB stack, the call buffer at
// 00400000 and the never-mapped sentinel return address; the routine runs at privilege level 3.

#include "output/run/debug_session.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "ide/message_box.h"
#include "operands/text.h"
#include "output/run/insn_length.h"

namespace orvo {
namespace {

using Clock = std::chrono::steady_clock;

// Keep in step with the run engine's map: tests compare the two on the same routines.
constexpr std::uint32_t kSystemPage = 0x00010000;
constexpr std::uint32_t kSystemPageSize = 0x1000;
constexpr std::uint32_t kGdt = kSystemPage;
constexpr std::uint32_t kTrampoline = kSystemPage + 0x40;
constexpr std::uint32_t kTrampolineEnd = kSystemPage + 0x70;
constexpr std::uint32_t kShowValue = kSystemPage + 0x80;
constexpr std::uint32_t kStackBase = 0x00100000;
constexpr std::uint32_t kStackSize = 0x00100000;
constexpr std::uint32_t kInitialEsp = kStackBase + kStackSize - 0x100;
constexpr std::uint32_t kCodeBase = 0x00400000;
constexpr std::uint32_t kCodeChunk = 0x10000;
constexpr std::uint32_t kMaxCode = 0x04000000;
constexpr std::uint32_t kSentinel = 0x7FFF0000;
constexpr std::uint32_t kInitialEflags = 0x202;
constexpr std::uint32_t kUserCode = 0x08 | 3;
constexpr std::uint32_t kUserData = 0x10 | 3;
constexpr std::uint32_t kKernelData = 0x18;
constexpr unsigned char kShowValueStub[] = {0x31, 0xC0, 0xC2, 0x04, 0x00};

constexpr std::uint64_t Descriptor(std::uint8_t access) {
  return 0xFFFFull | (std::uint64_t{access} << 40) | (0xFull << 48) | (0xCull << 52);
}

constexpr int kUcRegs[kRegCount] = {UC_X86_REG_EAX, UC_X86_REG_ECX,   UC_X86_REG_EDX, UC_X86_REG_EBX,
                                    UC_X86_REG_ESP, UC_X86_REG_EBP,   UC_X86_REG_ESI, UC_X86_REG_EDI,
                                    UC_X86_REG_EIP, UC_X86_REG_EFLAGS};

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

std::string Hex_Address(std::uint64_t v) { return "&H" + Hex_Upper(static_cast<std::uint32_t>(v)); }

bool Is_Prefix(unsigned char b) {
  return b == 0x66 || b == 0x67 || b == 0xF0 || b == 0xF2 || b == 0xF3 || b == 0x26 || b == 0x2E ||
         b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65;
}

}  // namespace

// The writable memory and the registers where a run at full speed began.
struct Checkpoint {
  RegisterState registers;
  std::string stack;
  std::string code;
};

struct DebugSession::Impl {
  enum class Stop { None, Interrupt, PortIo, Callback, Breakpoint, Requested, TimeOut };

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
  Clock::time_point deadline;
  const std::atomic<bool>* stop_requested = nullptr;
  std::unordered_map<std::uint64_t, std::uint32_t> block_icounts;  // (address, size) -> instructions

  // Set by the hooks during one step.
  Stop stop = Stop::None;
  std::uint32_t intno = 0, port = 0;
  bool port_out = false;
  bool mem_fault = false;
  uc_mem_type mem_type = UC_MEM_READ;
  std::uint64_t mem_address = 0;
  std::string callback_error;

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
    for (int reg : kUcRegs) {
      std::uint32_t v = 0;
      uc_reg_read(from, reg, &v);
      uc_reg_write(to, reg, &v);
    }
    std::string bytes(kStackSize, '\0');
    uc_mem_read(from, kStackBase, bytes.data(), kStackSize);
    uc_mem_write(to, kStackBase, bytes.data(), kStackSize);
    bytes.resize(code_mapped);
    uc_mem_read(from, kCodeBase, bytes.data(), code_mapped);
    uc_mem_write(to, kCodeBase, bytes.data(), code_mapped);
    uc_ctl_remove_cache(to, kCodeBase, std::uint64_t{kCodeBase} + code_mapped);
  }

  std::size_t Bytes_Used() const {
    return steps.size() * sizeof(StepRecord) + writes.size() * sizeof(WriteRecord) + checkpoint_bytes;
  }

  uc_err Open_Engine(uc_engine*& opened, bool full_speed) {
    uc_err err = uc_open(UC_ARCH_X86, UC_MODE_32, &opened);
    if (err != UC_ERR_OK) return err;
    uc_engine* const e = opened;
    if ((err = uc_mem_map(e, kSystemPage, kSystemPageSize, UC_PROT_READ | UC_PROT_EXEC))) return err;
    if ((err = uc_mem_map(e, kStackBase, kStackSize, UC_PROT_READ | UC_PROT_WRITE))) return err;
    code_mapped = (static_cast<std::uint32_t>(code.size()) + kCodeChunk - 1) / kCodeChunk * kCodeChunk;
    if ((err = uc_mem_map(e, kCodeBase, code_mapped, UC_PROT_ALL))) return err;
    const std::uint64_t gdt[4] = {0, Descriptor(0xFA), Descriptor(0xF2), Descriptor(0x92)};
    if ((err = uc_mem_write(e, kGdt, gdt, sizeof gdt))) return err;
    if ((err = uc_mem_write(e, kShowValue, kShowValueStub, sizeof kShowValueStub))) return err;

    // Enter privilege level 3 through IRETD, as the run engine does.
    std::string t;
    t += Bytes({0x6A, kUserData, 0x68});
    Append_LE(t, kInitialEsp, 4);
    t += Bytes({0x6A, 0x02, 0x6A, kUserCode, 0x68});
    Append_LE(t, kTrampolineEnd, 4);
    t += Bytes({0xCF});
    if ((err = uc_mem_write(e, kTrampoline, t.data(), t.size()))) return err;
    uc_x86_mmr gdtr{};
    gdtr.base = kGdt;
    gdtr.limit = sizeof gdt - 1;
    if ((err = uc_reg_write(e, UC_X86_REG_GDTR, &gdtr))) return err;
    const std::uint32_t kernel_ss = kKernelData, data = kUserData, esp = kInitialEsp;
    if ((err = uc_reg_write(e, UC_X86_REG_SS, &kernel_ss))) return err;
    for (int reg : {UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_FS, UC_X86_REG_GS})
      if ((err = uc_reg_write(e, reg, &data))) return err;
    if ((err = uc_reg_write(e, UC_X86_REG_ESP, &esp))) return err;
    if ((err = uc_emu_start(e, kTrampoline, kTrampolineEnd, 0, 0))) return err;
    std::uint32_t cs = 0;
    uc_reg_read(e, UC_X86_REG_CS, &cs);
    if (cs != kUserCode) return UC_ERR_EXCEPTION;

    uc_hook h;
    if ((err = uc_hook_add(e, &h, UC_HOOK_CODE, reinterpret_cast<void*>(&On_ShowValue), this, kShowValue,
                           kShowValue)))
      return err;
    if ((err = uc_hook_add(e, &h, UC_HOOK_INTR, reinterpret_cast<void*>(&On_Interrupt), this, 1, 0)))
      return err;
    if ((err = uc_hook_add(e, &h, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&On_BadMemory), this, 1, 0)))
      return err;
    if ((err = uc_hook_add(e, &h, UC_HOOK_INSN, reinterpret_cast<void*>(&On_In), this, 1, 0, UC_X86_INS_IN)))
      return err;
    if ((err =
             uc_hook_add(e, &h, UC_HOOK_INSN, reinterpret_cast<void*>(&On_Out), this, 1, 0, UC_X86_INS_OUT)))
      return err;
    if (full_speed &&
        (err = uc_hook_add(e, &h, UC_HOOK_BLOCK, reinterpret_cast<void*>(&On_Block), this, 1, 0)))
      return err;
    // A memory hook keeps EIP exact at every access, so a data fault names its instruction.
    if ((err = uc_hook_add(e, &h, UC_HOOK_MEM_READ, reinterpret_cast<void*>(&On_Read), this, kSentinel,
                           kSentinel)))
      return err;
    // Called before each write lands: the old bytes are what step back puts back.
    if ((err = uc_hook_add(e, &h, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&On_Write), this, 1, 0)))
      return err;

    if ((err = uc_mem_write(e, kCodeBase, code.data(), code.size()))) return err;
    std::uint32_t frame[5] = {kSentinel};
    for (int i = 0; i < 4; ++i) frame[i + 1] = static_cast<std::uint32_t>(args[static_cast<std::size_t>(i)]);
    if ((err = uc_mem_write(e, kInitialEsp, frame, sizeof frame))) return err;
    const std::uint32_t zero = 0, eflags = kInitialEflags, eip = kCodeBase;
    for (int reg : {UC_X86_REG_EAX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_EBX, UC_X86_REG_EBP,
                    UC_X86_REG_ESI, UC_X86_REG_EDI})
      if ((err = uc_reg_write(e, reg, &zero))) return err;
    if ((err = uc_reg_write(e, UC_X86_REG_ESP, &esp))) return err;
    if ((err = uc_reg_write(e, UC_X86_REG_EFLAGS, &eflags))) return err;
    if ((err = uc_reg_write(e, UC_X86_REG_EIP, &eip))) return err;
    return UC_ERR_OK;
  }

  // ---- hooks
  static void On_Read(uc_engine*, uc_mem_type, std::uint64_t, int, std::int64_t, void*) {}

  std::uint32_t Block_Icount(std::uint32_t address, std::uint32_t size) {
    const std::uint64_t key = (std::uint64_t{address} << 32) | size;
    if (auto it = block_icounts.find(key); it != block_icounts.end()) return it->second;
    const std::uint32_t n = Instructions_Between(address, address + size);
    block_icounts.emplace(key, n);
    return n;
  }

  // Instructions from a up to b, decoded from the code as it stands.
  std::uint32_t Instructions_Between(std::uint32_t a, std::uint32_t b) const {
    const std::string bytes = Read(a, b - a);
    std::uint32_t n = 0;
    for (std::size_t at = 0; at < bytes.size(); ++n) {
      const std::size_t length = Instruction_Length(std::string_view(bytes).substr(at));
      if (length == 0) break;
      at += length;
    }
    return n;
  }

  static void On_Block(uc_engine*, std::uint64_t address, std::uint32_t size, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (!self->fast) return;
    // A write into the code of the running block ends it after the writing instruction and the
    // rest runs as a new block: only part of the one counted ran.
    if (self->code_written && address > self->last_block &&
        address < self->last_block + self->last_block_size) {
      const std::uint32_t ran =
          self->Instructions_Between(self->last_block, static_cast<std::uint32_t>(address));
      self->fast_instructions -= std::min<std::uint64_t>(
          self->fast_instructions, self->last_block_icount - std::min(ran, self->last_block_icount));
    }
    self->code_written = false;
    if (self->last_block != address || self->last_block_size != size) {
      self->last_block = static_cast<std::uint32_t>(address);
      self->last_block_size = size;
      self->last_block_icount = self->Block_Icount(self->last_block, size);
    }
    self->fast_instructions += self->last_block_icount;
    // Every loop passes through a block start: the clock and a stop request are looked at here.
    if ((++self->ticks & 0x3FFF) == 0) {
      if (Clock::now() > self->deadline) self->Stop_With(Stop::TimeOut);
      if (self->stop_requested->load(std::memory_order_relaxed)) self->Stop_With(Stop::Requested);
    }
  }

  static void On_Breakpoint(uc_engine*, std::uint64_t address, std::uint32_t, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (self->skip_pending && address == self->skip_breakpoint) {
      self->skip_pending = false;
      return;
    }
    self->skip_pending = false;
    self->Stop_With(Stop::Breakpoint);
  }

  static void On_ShowValue(uc_engine* engine, std::uint64_t, std::uint32_t, void* user) {
    auto* self = static_cast<Impl*>(user);
    if (self->replaying) return;
    std::uint32_t esp = 0;
    std::int32_t value = 0;
    uc_reg_read(engine, UC_X86_REG_ESP, &esp);
    if (uc_mem_read(engine, esp + 4u, &value, sizeof value) != UC_ERR_OK) return;  // RET 4 will fault
    try {
      Show_Value(value);
    } catch (const std::exception& e) {
      self->callback_error = e.what();
      self->Stop_With(Stop::Callback);
    } catch (...) {
      self->callback_error = "unknown error";
      self->Stop_With(Stop::Callback);
    }
  }

  void Stop_With(Stop why) {
    if (stop == Stop::None) stop = why;
    uc_emu_stop(uc);
  }

  static void On_Interrupt(uc_engine*, std::uint32_t number, void* user) {
    auto* self = static_cast<Impl*>(user);
    self->intno = number;
    self->Stop_With(Stop::Interrupt);
  }

  static bool On_BadMemory(uc_engine*, uc_mem_type type, std::uint64_t address, int, std::int64_t,
                           void* user) {
    auto* self = static_cast<Impl*>(user);
    self->mem_fault = true;
    self->mem_type = type;
    self->mem_address = address;
    return false;
  }

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

  static std::uint32_t On_In(uc_engine*, std::uint32_t number, int, void* user) {
    auto* self = static_cast<Impl*>(user);
    self->port = number;
    self->port_out = false;
    self->Stop_With(Stop::PortIo);
    return 0;
  }

  static void On_Out(uc_engine*, std::uint32_t number, int, std::uint32_t, void* user) {
    auto* self = static_cast<Impl*>(user);
    self->port = number;
    self->port_out = true;
    self->Stop_With(Stop::PortIo);
  }

  // ---- state
  RegisterState Read_Registers(std::uint64_t instructions) const {
    RegisterState r;
    for (int i = 0; i < kRegCount; ++i) uc_reg_read(uc, kUcRegs[i], Reg_Slot(r, i));
    r.instructions = instructions;
    r.esp_expected = kInitialEsp + 4 + 16;
    r.returned = r.eip == kSentinel;
    return r;
  }

  void Write_Registers(const RegisterState& r) {
    for (int i = 0; i < kRegCount; ++i) {
      const std::uint32_t v = Reg_Value(r, i);
      uc_reg_write(uc, kUcRegs[i], &v);
    }
  }

  std::string Read(std::uint32_t address, std::size_t n) const {
    std::string b(n, '\0');
    if (uc_mem_read(uc, address, b.data(), n) != UC_ERR_OK) return {};
    return b;
  }

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

  // The run engine's words for a #GP, from the opcode behind any prefixes.
  std::string Describe_GeneralProtection(std::uint32_t where) const {
    const std::string b = Read(where, 8);
    std::size_t i = 0;
    while (i < b.size() && Is_Prefix(static_cast<unsigned char>(b[i]))) ++i;
    const int op = i < b.size() ? static_cast<unsigned char>(b[i]) : -1;
    const int op2 = i + 1 < b.size() ? static_cast<unsigned char>(b[i + 1]) : -1;
    switch (op) {
      case 0xF4:
        return "Privileged instruction (HLT)";
      case 0xFA:
        return "Privileged instruction (CLI)";
      case 0xFB:
        return "Privileged instruction (STI)";
      case 0xE4:
      case 0xE5:
      case 0xEC:
      case 0xED:
      case 0x6C:
      case 0x6D:
        return "Port input instruction (IN)";
      case 0xE6:
      case 0xE7:
      case 0xEE:
      case 0xEF:
      case 0x6E:
      case 0x6F:
        return "Port output instruction (OUT)";
      case 0xCF:
        return "Privileged instruction (IRET)";
      case 0x0F:
        if (op2 == 0x00 || op2 == 0x01 || op2 == 0x06 || op2 == 0x08 || op2 == 0x09 || op2 == 0x30 ||
            op2 == 0x32 || (op2 >= 0x20 && op2 <= 0x23))
          return "Privileged instruction";
        break;
      default:
        break;
    }
    return "General protection fault (privileged instruction or bad segment)";
  }

  std::string Describe_Fault(std::uint32_t where, uc_err err) const {
    if (stop == Stop::Callback) return "Show_Value failed: " + callback_error;
    if (stop == Stop::PortIo)
      return std::string(port_out ? "Port output instruction (OUT to port "
                                  : "Port input instruction (IN from port ") +
             Hex_Address(port) + ")";
    if (stop == Stop::Interrupt) {
      const std::string b = Read(where, 2);
      const int op = b.size() == 2 ? static_cast<unsigned char>(b[0]) : -1;
      if (op == 0xCD)
        return intno == 3 ? "Breakpoint (INT 3)" : "Software interrupt (INT " + std::to_string(intno) + ")";
      if (op == 0xCC) return "Breakpoint (INT 3)";
      if (op == 0xCE && intno == 4) return "Overflow (INTO)";
      switch (intno) {
        case 0:
          return "Divide error (division by zero or quotient too large)";
        case 5:
          return "BOUND range exceeded";
        case 6:
          return "Invalid instruction";
        case 13:
          return Describe_GeneralProtection(where);
        default:
          return "Processor exception " + std::to_string(intno);
      }
    }
    if (mem_fault) {
      const std::string at = Hex_Address(mem_address);
      const bool below_stack = mem_address < kStackBase && mem_address + 0x10000 >= kStackBase;
      switch (mem_type) {
        case UC_MEM_READ_UNMAPPED:
          return below_stack ? "Stack overflow: read below the stack at " + at
                             : "Read from unmapped memory at " + at;
        case UC_MEM_WRITE_UNMAPPED:
          return below_stack ? "Stack overflow: write below the stack at " + at
                             : "Write to unmapped memory at " + at;
        case UC_MEM_FETCH_UNMAPPED:
          return "Jump to unmapped memory at " + at;
        case UC_MEM_WRITE_PROT:
          return "Write to read-only memory at " + at;
        case UC_MEM_FETCH_PROT:
          return "Execution of non-executable memory at " + at;
        default:
          return "Invalid memory access at " + at;
      }
    }
    if (err == UC_ERR_INSN_INVALID) return "Invalid instruction";
    return uc_strerror(err);
  }

  // Where the instruction that stopped the run starts: INT n, INT 3, INTO, IN and OUT stop it with
  // EIP already past them.
  std::uint32_t Fault_Start(std::uint32_t eip) const {
    auto byte = [&](std::uint32_t at) {
      const std::string b = Read(at, 1);
      return b.empty() ? -1 : static_cast<unsigned char>(b[0]);
    };
    if (stop == Stop::Interrupt) {
      if (byte(eip - 2) == 0xCD && byte(eip - 1) == static_cast<int>(intno)) return eip - 2;
      if ((intno == 3 && byte(eip - 1) == 0xCC) || (intno == 4 && byte(eip - 1) == 0xCE)) return eip - 1;
      return eip;
    }
    if (stop == Stop::PortIo) {
      // E4-E7 imm8, EC-EF, 6C-6F, each perhaps behind an operand-size prefix.
      std::uint32_t start = eip;
      const int last = byte(eip - 1);
      if (byte(eip - 2) >= 0xE4 && byte(eip - 2) <= 0xE7 && last == static_cast<int>(port & 0xFF))
        start = eip - 2;
      else if ((last >= 0xEC && last <= 0xEF) || (last >= 0x6C && last <= 0x6F))
        start = eip - 1;
      if (start != eip && byte(start - 1) == 0x66) --start;
      return start;
    }
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
    code_written = false;
    fast_instructions = 0;
    last_block = last_block_size = last_block_icount = 0;
    ticks = 0;
    stop = Stop::None;
    mem_fault = false;
    callback_error.clear();
    deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const uc_err err = uc_emu_start(uc, registers.eip, kSentinel, 0, 0);
    fast = false;
    for (uc_hook h : hooks) uc_hook_del(uc, h);

    RegisterState after = Read_Registers(0);
    FastOutcome outcome = FastOutcome::Faulted;
    std::uint32_t stop_at = after.eip;
    if (stop == Stop::None && err == UC_ERR_OK && after.eip == kSentinel)
      outcome = FastOutcome::Returned;
    else if (stop == Stop::Breakpoint)
      outcome = FastOutcome::Breakpoint;
    else if (stop == Stop::TimeOut)
      outcome = FastOutcome::TimedOut;
    else if (stop == Stop::Requested)
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
      fault_text = Describe_Fault(stop_at, err) + " at EIP=" + Hex_Address(stop_at) + " after " +
                   std::to_string(after.instructions) +
                   (after.instructions == 1 ? " instruction" : " instructions");
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
    stop = Stop::None;
    mem_fault = false;
    callback_error.clear();
    recording = true;
    const std::uint32_t start = registers.eip;
    const uc_err err = uc_emu_start(uc, start, kSentinel, 0, 1);
    recording = false;
    RegisterState after = Read_Registers(registers.instructions);
    const bool faulted = stop != Stop::None || mem_fault ||
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
      fault_text = what + " at EIP=" + Hex_Address(where) + " after " + std::to_string(after.instructions) +
                   (after.instructions == 1 ? " instruction" : " instructions");
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
  double seconds = d.options.timeout_seconds;
  if (!(seconds > 0)) seconds = DebugOptions{}.timeout_seconds;
  const Clock::time_point deadline =
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
    if ((n & 0x3FF) == 0 && Clock::now() > deadline) {
      status_ = DebugStatus::TimedOut;
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", seconds);
      fault_address_ = registers_.eip;
      fault_text_ = std::string("Time-out: the routine ran longer than ") + buf +
                    (seconds == 1 ? " second" : " seconds") + " at EIP=" + Hex_Address(registers_.eip) +
                    " after " + std::to_string(registers_.instructions) +
                    (registers_.instructions == 1 ? " instruction" : " instructions");
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
  double seconds = d.options.timeout_seconds;
  if (!(seconds > 0)) seconds = DebugOptions{}.timeout_seconds;
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
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", seconds);
      fault_address_ = registers_.eip;
      fault_text_ = std::string("Time-out: the routine ran longer than ") + buf +
                    (seconds == 1 ? " second" : " seconds") + " at EIP=" + Hex_Address(registers_.eip) +
                    " after " + std::to_string(registers_.instructions) +
                    (registers_.instructions == 1 ? " instruction" : " instructions");
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
