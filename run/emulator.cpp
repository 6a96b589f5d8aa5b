#include "run/emulator.h"

#include <cstdio>
#include <exception>
#include <string_view>

#include "base/message_box.h"
#include "base/text.h"
#include "run/insn_length.h"

namespace orvo::emulator {
namespace {

constexpr std::uint32_t kGdt = kSystemPage;
constexpr std::uint32_t kTrampoline = kSystemPage + 0x40;
constexpr std::uint32_t kTrampolineEnd = kSystemPage + 0x70;

// Selectors: GDT 1 = flat code DPL 3, 2 = flat data DPL 3, 3 = flat data DPL 0 (trampoline stack).
constexpr std::uint32_t kUserCode = 0x08 | 3;
constexpr std::uint32_t kUserData = 0x10 | 3;
constexpr std::uint32_t kKernelData = 0x18;

constexpr std::uint64_t Descriptor(std::uint8_t access) {
  // Base 0, limit FFFFF in 4 KiB units, 32-bit.
  return 0xFFFFull | (std::uint64_t{access} << 40) | (0xFull << 48) | (0xCull << 52);
}

// Show_Value as the routine calls it: XOR EAX,EAX / RET 4; a hook on its first byte shows the box.
constexpr unsigned char kShowValueStub[] = {0x31, 0xC0, 0xC2, 0x04, 0x00};

// RegisterState's 32-bit registers and the emulator's names for them.
struct RegisterSlot {
  int reg;
  std::uint32_t RegisterState::*field;
};
constexpr RegisterSlot kRegisterSlots[] = {
    {UC_X86_REG_EAX, &RegisterState::eax},       {UC_X86_REG_ECX, &RegisterState::ecx},
    {UC_X86_REG_EDX, &RegisterState::edx},       {UC_X86_REG_EBX, &RegisterState::ebx},
    {UC_X86_REG_ESP, &RegisterState::esp},       {UC_X86_REG_EBP, &RegisterState::ebp},
    {UC_X86_REG_ESI, &RegisterState::esi},       {UC_X86_REG_EDI, &RegisterState::edi},
    {UC_X86_REG_EFLAGS, &RegisterState::eflags}, {UC_X86_REG_EIP, &RegisterState::eip}};

int Byte_At(uc_engine* uc, std::uint32_t address) {
  unsigned char b = 0;
  return uc_mem_read(uc, address, &b, 1) == UC_ERR_OK ? b : -1;
}

// What a #GP was raised by, from the instruction's opcode (prefixes skipped).
std::string General_Protection_Text(uc_engine* uc, std::uint32_t at) {
  const std::string b = Read_Bytes(uc, at, 8);
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

}  // namespace

uc_err Open_Flat(uc_engine*& uc, std::uint32_t code_mapped) {
  uc_err err = uc_open(UC_ARCH_X86, UC_MODE_32, &uc);
  if (err != UC_ERR_OK) return err;
  if ((err = uc_mem_map(uc, kSystemPage, kSystemPageSize, UC_PROT_READ | UC_PROT_EXEC))) return err;
  if ((err = uc_mem_map(uc, kStackBase, kStackSize, UC_PROT_READ | UC_PROT_WRITE))) return err;
  if ((err = uc_mem_map(uc, kCodeBase, code_mapped, UC_PROT_ALL))) return err;

  const std::uint64_t gdt[4] = {0, Descriptor(0xFA), Descriptor(0xF2), Descriptor(0x92)};
  if ((err = uc_mem_write(uc, kGdt, gdt, sizeof gdt))) return err;
  if ((err = uc_mem_write(uc, kShowValue, kShowValueStub, sizeof kShowValueStub))) return err;

  // Enter privilege level 3 through IRETD.
  std::string t;
  t += Bytes({0x6A, kUserData, 0x68});              // PUSH SS
  Append_LE(t, kInitialEsp, 4);                     // PUSH ESP
  t += Bytes({0x6A, 0x02, 0x6A, kUserCode, 0x68});  // PUSH EFLAGS; PUSH CS
  Append_LE(t, kTrampolineEnd, 4);                  // PUSH EIP
  t += Bytes({0xCF});                               // IRETD
  if ((err = uc_mem_write(uc, kTrampoline, t.data(), t.size()))) return err;
  uc_x86_mmr gdtr{};
  gdtr.base = kGdt;
  gdtr.limit = sizeof gdt - 1;
  if ((err = uc_reg_write(uc, UC_X86_REG_GDTR, &gdtr))) return err;
  const std::uint32_t kernel_ss = kKernelData, data = kUserData, esp = kInitialEsp;
  if ((err = uc_reg_write(uc, UC_X86_REG_SS, &kernel_ss))) return err;
  for (int reg : {UC_X86_REG_DS, UC_X86_REG_ES, UC_X86_REG_FS, UC_X86_REG_GS})
    if ((err = uc_reg_write(uc, reg, &data))) return err;
  if ((err = uc_reg_write(uc, UC_X86_REG_ESP, &esp))) return err;
  if ((err = uc_emu_start(uc, kTrampoline, kTrampolineEnd, 0, 0))) return err;
  std::uint32_t cs = 0;
  uc_reg_read(uc, UC_X86_REG_CS, &cs);
  return cs == kUserCode ? UC_ERR_OK : UC_ERR_EXCEPTION;
}

uc_err StopHooks::Add_To(uc_engine* uc) {
  struct Hook {
    static void Interrupt(uc_engine* e, std::uint32_t intno, void* user) {
      auto* self = static_cast<StopHooks*>(user);
      self->intno = intno;
      self->Stop_With(e, Stop::Interrupt);
    }
    static bool Bad_Memory(uc_engine*, uc_mem_type type, std::uint64_t address, int, std::int64_t,
                           void* user) {
      auto* self = static_cast<StopHooks*>(user);
      self->mem_fault = true;
      self->mem_type = type;
      self->mem_address = address;
      return false;
    }
    static std::uint32_t In(uc_engine* e, std::uint32_t port, int, void* user) {
      auto* self = static_cast<StopHooks*>(user);
      self->port = port;
      self->port_out = false;
      self->Stop_With(e, Stop::PortIo);
      return 0;
    }
    static void Out(uc_engine* e, std::uint32_t port, int, std::uint32_t, void* user) {
      auto* self = static_cast<StopHooks*>(user);
      self->port = port;
      self->port_out = true;
      self->Stop_With(e, Stop::PortIo);
    }
    static void System_Call(uc_engine* e, StopHooks* self, std::uint8_t opcode, const char* name) {
      if (self->stop == Stop::None) {
        std::uint32_t eip = 0;
        uc_reg_read(e, UC_X86_REG_EIP, &eip);
        self->system_call = name;
        self->system_call_at = System_Call_Start(e, eip, opcode);
      }
      self->Stop_With(e, Stop::SystemCall);
    }
    static void Syscall(uc_engine* e, void* user) {
      System_Call(e, static_cast<StopHooks*>(user), 0x05, "SYSCALL");
    }
    static void Sysenter(uc_engine* e, void* user) {
      System_Call(e, static_cast<StopHooks*>(user), 0x34, "SYSENTER");
    }
    static void Memory(uc_engine*, uc_mem_type, std::uint64_t, int, std::int64_t, void*) {}
  };
  uc_hook h;
  uc_err err = UC_ERR_OK;
  if ((err = uc_hook_add(uc, &h, UC_HOOK_INTR, reinterpret_cast<void*>(&Hook::Interrupt), this, 1, 0)))
    return err;
  if ((err =
           uc_hook_add(uc, &h, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&Hook::Bad_Memory), this, 1, 0)))
    return err;
  if ((err =
           uc_hook_add(uc, &h, UC_HOOK_INSN, reinterpret_cast<void*>(&Hook::In), this, 1, 0, UC_X86_INS_IN)))
    return err;
  if ((err = uc_hook_add(uc, &h, UC_HOOK_INSN, reinterpret_cast<void*>(&Hook::Out), this, 1, 0,
                         UC_X86_INS_OUT)))
    return err;
  if ((err = uc_hook_add(uc, &h, UC_HOOK_INSN, reinterpret_cast<void*>(&Hook::Syscall), this, 1, 0,
                         UC_X86_INS_SYSCALL)))
    return err;
  if ((err = uc_hook_add(uc, &h, UC_HOOK_INSN, reinterpret_cast<void*>(&Hook::Sysenter), this, 1, 0,
                         UC_X86_INS_SYSENTER)))
    return err;
  // A memory hook, even on an address nobody uses, makes the emulator keep EIP exact at every
  // memory access, so a data fault names its instruction rather than the start of its block.
  return uc_hook_add(uc, &h, UC_HOOK_MEM_READ, reinterpret_cast<void*>(&Hook::Memory), this, kSentinel,
                     kSentinel);
}

void StopHooks::Stop_With(uc_engine* uc, Stop why) {
  if (stop == Stop::None) stop = why;
  uc_emu_stop(uc);
}

std::uint32_t System_Call_Start(uc_engine* uc, std::uint32_t eip, std::uint8_t opcode) {
  std::uint32_t at = eip;
  for (int count = 0; count < 512; ++count) {  // a translation block holds fewer instructions
    std::string b;
    for (std::size_t n = 15; n > 0 && b.empty(); --n) b = Read_Bytes(uc, at, n);  // near a map's end
    const std::size_t length = Instruction_Length(b);
    if (length == 0) break;
    if (length >= 2 && static_cast<std::uint8_t>(b[length - 2]) == 0x0F &&
        static_cast<std::uint8_t>(b[length - 1]) == opcode)
      return at;
    at += static_cast<std::uint32_t>(length);
  }
  return eip;
}

std::string System_Call_Text(const char* name) {
  return std::string("System call instruction (") + name + ")";
}

void StopHooks::Clear() { *this = StopHooks{}; }

uc_err Enter_Routine(uc_engine* uc, const std::array<std::int32_t, 4>& args) {
  uc_err err = UC_ERR_OK;
  std::uint32_t frame[5] = {kSentinel};
  for (std::size_t i = 0; i < 4; ++i) frame[i + 1] = static_cast<std::uint32_t>(args[i]);
  if ((err = uc_mem_write(uc, kInitialEsp, frame, sizeof frame))) return err;
  const std::uint32_t zero = 0, esp = kInitialEsp, eflags = kInitialEflags;
  for (int reg : {UC_X86_REG_EAX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_EBX, UC_X86_REG_EBP,
                  UC_X86_REG_ESI, UC_X86_REG_EDI})
    if ((err = uc_reg_write(uc, reg, &zero))) return err;
  if ((err = uc_reg_write(uc, UC_X86_REG_ESP, &esp))) return err;
  return uc_reg_write(uc, UC_X86_REG_EFLAGS, &eflags);
}

RegisterState Read_Registers(uc_engine* uc) {
  RegisterState r;
  for (const RegisterSlot& slot : kRegisterSlots) uc_reg_read(uc, slot.reg, &(r.*slot.field));
  r.esp_expected = kInitialEsp + 4 + 16;
  return r;
}

void Write_Registers(uc_engine* uc, const RegisterState& r) {
  for (const RegisterSlot& slot : kRegisterSlots) uc_reg_write(uc, slot.reg, &(r.*slot.field));
}

std::string Read_Bytes(uc_engine* uc, std::uint32_t address, std::size_t n) {
  std::string b(n, '\0');
  if (uc_mem_read(uc, address, b.data(), n) != UC_ERR_OK) return {};
  return b;
}

std::uint32_t Instructions_Between(uc_engine* uc, std::uint32_t a, std::uint32_t b) {
  const std::string code = Read_Bytes(uc, a, b - a);
  std::uint32_t n = 0;
  for (std::size_t at = 0; at < code.size(); ++n) {
    const std::size_t length = Instruction_Length(std::string_view(code).substr(at));
    if (length == 0) break;
    at += length;
  }
  return n;
}

bool Show_Value_Argument(uc_engine* uc, std::int32_t& value) {
  std::uint32_t esp = 0;
  uc_reg_read(uc, UC_X86_REG_ESP, &esp);
  return uc_mem_read(uc, esp + 4u, &value, sizeof value) == UC_ERR_OK;
}

bool Show_Value_Box(std::int32_t value, std::string& error) {
  // Called from an emulator hook: nothing may leave it through the emulator's C frames.
  try {
    Show_Value(value);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unknown error";
  }
  return false;
}

bool Is_Prefix(unsigned char b) {
  return b == 0x66 || b == 0x67 || b == 0xF0 || b == 0xF2 || b == 0xF3 || b == 0x26 || b == 0x2E ||
         b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65;
}

std::string Hex_Address(std::uint64_t v) { return "&H" + Hex_Upper(static_cast<std::uint32_t>(v)); }

std::string Instructions_Text(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " instruction" : " instructions");
}

std::string Timeout_Text(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", seconds);
  return std::string("Time-out: the routine ran longer than ") + buf +
         (seconds == 1 ? " second" : " seconds");
}

std::string Stop_Text(const std::string& what, std::uint32_t where, std::uint64_t instructions) {
  return what + " at EIP=" + Hex_Address(where) + " after " + Instructions_Text(instructions);
}

std::uint32_t Port_Instruction_Start(uc_engine* uc, std::uint32_t next, std::uint32_t port) {
  // E4-E7 imm8, EC-EF, 6C-6F, each perhaps behind an operand-size prefix.
  const int last = Byte_At(uc, next - 1);
  std::uint32_t start = next;
  if (Byte_At(uc, next - 2) >= 0xE4 && Byte_At(uc, next - 2) <= 0xE7 && last == static_cast<int>(port & 0xFF))
    start = next - 2;
  else if ((last >= 0xEC && last <= 0xEF) || (last >= 0x6C && last <= 0x6F))
    start = next - 1;
  else
    return next;
  if (Byte_At(uc, start - 1) == 0x66) --start;
  return start;
}

std::string Port_Text(std::uint32_t port, bool out) {
  return std::string(out ? "Port output instruction (OUT to port "
                         : "Port input instruction (IN from port ") +
         Hex_Address(port) + ")";
}

std::uint32_t Interrupt_Start(uc_engine* uc, std::uint32_t intno, std::uint32_t eip) {
  const int last = Byte_At(uc, eip - 1);
  if (Byte_At(uc, eip - 2) == 0xCD && last == static_cast<int>(intno)) return eip - 2;
  if ((intno == 3 && last == 0xCC) || (intno == 4 && last == 0xCE)) return eip - 1;
  return eip;
}

std::string Interrupt_Text(uc_engine* uc, std::uint32_t intno, std::uint32_t start) {
  const int op = Byte_At(uc, start);
  if (op == 0xCD && Byte_At(uc, start + 1) == static_cast<int>(intno))
    return intno == 3 ? "Breakpoint (INT 3)" : "Software interrupt (INT " + std::to_string(intno) + ")";
  if (intno == 3 && op == 0xCC) return "Breakpoint (INT 3)";
  if (intno == 4 && op == 0xCE) return "Overflow (INTO)";
  switch (intno) {
    case 0:
      return "Divide error (division by zero or quotient too large)";
    case 1:
      return "Debug exception";
    case 5:
      return "BOUND range exceeded";
    case 6:
      return "Invalid instruction";
    case 10:
    case 11:
    case 12:
      return "Bad segment";
    case 13:
      return General_Protection_Text(uc, start);
    case 14:
      return "Page fault";
    case 17:
      return "Alignment check";
    default:
      return "Processor exception " + std::to_string(intno);
  }
}

std::string Memory_Fault_Text(uc_mem_type type, std::uint64_t address) {
  const std::string at = Hex_Address(address);
  const bool below_stack = address < kStackBase && address + 0x10000 >= kStackBase;
  switch (type) {
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
    case UC_MEM_READ_PROT:
      return "Read from protected memory at " + at;
    case UC_MEM_FETCH_PROT:
      return "Execution of non-executable memory at " + at;
    default:
      return "Invalid memory access at " + at;
  }
}

namespace {

// Would the emulator library abort on this one instruction (it does rather than raise #UD)? Far
// CALL and JMP through a register, and LOCK before an instruction that cannot take it.
bool Untranslatable(const unsigned char* b, std::size_t length) {
  std::size_t i = 0;
  bool lock = false;
  for (; i < length && Is_Prefix(b[i]); ++i) lock |= b[i] == 0xF0;
  if (i >= length) return false;
  const unsigned op = b[i];
  const bool two_byte = op == 0x0F;
  const std::size_t at_modrm = i + (two_byte ? 2 : 1);
  const unsigned op2 = two_byte && i + 1 < length ? b[i + 1] : 0;
  const unsigned modrm = at_modrm < length ? b[at_modrm] : 0xC0;
  const unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7;
  if (!two_byte && op == 0xFF && mod == 3 && (reg == 3 || reg == 5)) return true;
  if (!lock) return false;
  if (mod == 3) return true;
  if (!two_byte) {
    if (op < 0x40) return (op & 7) > 1 || op >= 0x38;  // ALU r/m,reg forms, all but CMP
    if (op >= 0x80 && op <= 0x83) return reg == 7;
    if (op == 0x86 || op == 0x87) return false;
    if (op == 0xF6 || op == 0xF7) return reg != 2 && reg != 3;
    if (op == 0xFE || op == 0xFF) return reg > 1;
    return true;
  }
  if (op2 == 0xAB || op2 == 0xB3 || op2 == 0xBB || op2 == 0xB0 || op2 == 0xB1 || op2 == 0xC0 || op2 == 0xC1)
    return false;
  if (op2 == 0xBA) return reg < 5;
  if (op2 == 0xC7) return reg != 1;
  return true;
}

}  // namespace

// The instruction the emulator aborts on: it was translating the block at EIP; the first
// instruction there it cannot translate, else the block's start.
std::uint32_t Aborted_At(uc_engine* uc) {
  std::uint32_t eip = 0;
  uc_reg_read(uc, UC_X86_REG_EIP, &eip);
  std::uint32_t at = eip;
  for (int n = 0; n < 512; ++n) {
    unsigned char b[16];
    std::size_t got = sizeof b;
    while (got > 0 && uc_mem_read(uc, at, b, got) != UC_ERR_OK) --got;
    const std::size_t length = Instruction_Length(std::string_view(reinterpret_cast<const char*>(b), got));
    if (length == 0) break;
    if (Untranslatable(b, length)) return at;
    at += static_cast<std::uint32_t>(length);
  }
  return eip;
}

}  // namespace orvo::emulator
