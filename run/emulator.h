#pragma once
// The emulated machine the run engine and the debug session share. Address space (flat, 32-bit):
//   00010000  system page, read + execute: GDT, the entry trampoline, the Show_Value stub
//   00100000  stack, 1 MiB, read + write (ESP starts near the top)
//   00400000  call buffer: the code image, read + write + execute (data lines, self-modifying code)
//   7FFF0000  sentinel return address (never mapped): reaching it means the routine returned
// The routine runs at privilege level 3 with flat code and data segments. Also here: the words
// both use for what stopped a routine, so RUN and the debugger say a fault the same way.

#include <unicorn/unicorn.h>

#include <array>
#include <cstdint>
#include <string>

#include "run/run_engine.h"

namespace orvo::emulator {

constexpr std::uint32_t kSystemPage = 0x00010000;
constexpr std::uint32_t kSystemPageSize = 0x1000;
constexpr std::uint32_t kShowValue = kSystemPage + 0x80;
constexpr std::uint32_t kStackBase = 0x00100000;
constexpr std::uint32_t kStackSize = 0x00100000;
constexpr std::uint32_t kStackTop = kStackBase + kStackSize;
constexpr std::uint32_t kInitialEsp = kStackTop - 0x100;  // room above the arguments
constexpr std::uint32_t kCodeBase = 0x00400000;
constexpr std::uint32_t kCodeChunk = 0x10000;   // the call buffer is mapped in 64 KiB steps
constexpr std::uint32_t kMaxCode = 0x04000000;  // 64 MiB: far below the sentinel
constexpr std::uint32_t kSentinel = 0x7FFF0000;
constexpr std::uint32_t kInitialEflags = 0x202;  // IF set, DF clear, IOPL 0

// Bytes of call buffer mapped for an image of code_size bytes.
constexpr std::uint32_t Code_Mapping(std::uint32_t code_size) {
  return (code_size + kCodeChunk - 1) / kCodeChunk * kCodeChunk;
}

// Opens an engine with the memory map (code_mapped bytes of call buffer), the GDT and the
// Show_Value stub, and enters privilege level 3 through IRETD. No hooks yet; on failure the
// engine may be left open for the caller to close.
uc_err Open_Flat(uc_engine*& uc, std::uint32_t code_mapped);

// What ended an emulator call, as the hooks record it.
enum class Stop { None, Interrupt, PortIo, Callback, TimeOut, SystemCall, Halted, Breakpoint, Requested };

// The hooks every engine has: interrupts and exceptions, accesses the map does not allow, IN and
// OUT (the emulator does not check the I/O permission for them), SYSCALL and SYSENTER (which it
// would step over), and a memory hook that keeps EIP
// exact. They record what stopped the routine here.
struct StopHooks {
  Stop stop = Stop::None;
  std::uint32_t intno = 0, port = 0;
  bool port_out = false;
  bool mem_fault = false;
  uc_mem_type mem_type = UC_MEM_READ;
  std::uint64_t mem_address = 0;
  std::string callback_error;         // why Show_Value failed (Stop::Callback)
  const char* system_call = nullptr;  // "SYSCALL" or "SYSENTER" (Stop::SystemCall)
  std::uint32_t system_call_at = 0;   // where that instruction starts

  uc_err Add_To(uc_engine* uc);
  // Records the first reason only and ends the emulator call.
  void Stop_With(uc_engine* uc, Stop why);
  void Clear();
};

// The routine's entry: the sentinel return address and the four arguments on the stack, the
// general registers zero, ESP and EFLAGS as at a call. EIP is left to the caller.
uc_err Enter_Routine(uc_engine* uc, const std::array<std::int32_t, 4>& args);

// EAX..EDI, EFLAGS, EIP and the ESP a RET 16 leaves; the count and `returned` stay zero.
RegisterState Read_Registers(uc_engine* uc);
void Write_Registers(uc_engine* uc, const RegisterState& registers);

// n bytes at address; empty when any of them is not mapped.
std::string Read_Bytes(uc_engine* uc, std::uint32_t address, std::size_t n);

// Instructions from a up to b, decoded from the code as it stands.
std::uint32_t Instructions_Between(uc_engine* uc, std::uint32_t a, std::uint32_t b);

// The value Show_Value was called with ([ESP+4] at its first byte); false when the stack is
// not readable there (its RET 4 will fault).
bool Show_Value_Argument(uc_engine* uc, std::int32_t& value);
// Shows the Show_Value box; false with error set when showing it failed.
bool Show_Value_Box(std::int32_t value, std::string& error);

bool Is_Prefix(unsigned char b);
std::string Hex_Address(std::uint64_t v);
std::string Instructions_Text(std::uint64_t n);  // "1 instruction", "7 instructions"
std::string Timeout_Text(double seconds);        // "Time-out: the routine ran longer than 2 seconds"
// What stopped the routine, where, and how many instructions completed before:
// "<what> at EIP=&H400010 after 7 instructions".
std::string Stop_Text(const std::string& what, std::uint32_t where, std::uint64_t instructions);

// IN and OUT stop the routine after the instruction: where it starts, from the address after
// it and the port it used (next when the bytes before it are no port instruction).
std::uint32_t Port_Instruction_Start(uc_engine* uc, std::uint32_t next, std::uint32_t port);
std::string Port_Text(std::uint32_t port, bool out);

// INT n, INT 3 and INTO stop the routine with EIP past them: where the instruction that raised
// interrupt intno starts, and what it was.
std::uint32_t Interrupt_Start(uc_engine* uc, std::uint32_t intno, std::uint32_t eip);
std::string Interrupt_Text(uc_engine* uc, std::uint32_t intno, std::uint32_t start);

// SYSCALL (0F 05) or SYSENTER (0F 34) stops the routine; EIP is not always brought up to date
// before them, but is never past them: the first such instruction from eip on (eip when none).
std::uint32_t System_Call_Start(uc_engine* uc, std::uint32_t eip, std::uint8_t opcode);
std::string System_Call_Text(const char* name);  // "System call instruction (SYSCALL)"

// A memory access the map does not allow, by the emulator's kind of access.
std::string Memory_Fault_Text(uc_mem_type type, std::uint64_t address);

// The emulator library aborts its process, rather than raise #UD, on a few instructions while it
// translates them (far CALL and JMP through a register, LOCK before an instruction that cannot
// take it). Where it did: the first such instruction of the block at EIP, else EIP.
std::uint32_t Aborted_At(uc_engine* uc);

}  // namespace orvo::emulator
