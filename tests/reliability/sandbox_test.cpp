// The routine reaches nothing outside the emulator: system calls, far transfers, segment loads,
// privileged state and every address outside its mapped regions end the run with a box, and the
// engine goes on serving the next routine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "app/run_action.h"
#include "run/run_engine.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;

RunLimits Limits() {
  RunLimits l;
  l.timeout_seconds = 5;
  return l;
}

struct EscapeRow {
  std::string name;
  std::string code;  // hex
  std::string what;  // start of the description ("" = any)
};

TEST(Sandbox, NoWayOut) {
  const EscapeRow rows[] = {
      {"SYSENTER", "0F34", "System call instruction (SYSENTER)"},
      {"SYSCALL", "0F05", "System call instruction (SYSCALL)"},
      {"INT 80h", "B801000000 CD80", "Software interrupt (INT 128)"},
      {"INT 2Eh", "CD2E", "Software interrupt (INT 46)"},
      {"far jump to a kernel selector", "EA 00004000 1800", ""},
      {"far jump to a null selector", "EA 00004000 0000", ""},
      {"far call", "9A 00004000 0800", ""},
      {"far return", "6A08 6800004000 CB", ""},
      {"IRETD to ring 0", "9C 6A08 6800004000 CF", ""},
      {"load DS with the kernel data selector", "66B81800 8ED8", "General protection fault"},
      {"load SS with the kernel data selector", "66B81800 8ED0", ""},
      {"load FS beyond the GDT", "66B8FF00 8EE0", ""},
      {"LDS", "C5 05 00004000", ""},
      {"POP DS", "6A18 1F", ""},
      {"LGDT", "0F011500004000", "Privileged instruction"},
      {"LIDT", "0F011D00004000", "Privileged instruction"},
      {"MOV CR3,EAX", "0F22D8", "Privileged instruction"},
      {"WRMSR", "0F30", "Privileged instruction"},
      {"RDMSR", "0F32", "Privileged instruction"},
      {"write the GDT", "C705 08000100 FFFF0000", "Write to read-only memory at &H10008"},
      {"write the Show_Value stub", "C605 80000100 C3", "Write to read-only memory at &H10080"},
      {"read below the system page", "A1 FC FF 00 00", "Read from unmapped memory at &HFFFC"},
      {"read above the system page", "A1 00 10 01 00", "Read from unmapped memory at &H11000"},
      {"read above the stack", "A1 00 00 20 00", "Read from unmapped memory at &H200000"},
      {"read past the call buffer", "A1 00 00 41 00", "Read from unmapped memory at &H410000"},
      {"read the sentinel", "A1 00 00 FF 7F", "Read from unmapped memory at &H7FFF0000"},
      {"read the top of memory", "A1 FC FF FF FF", "Read from unmapped memory at &HFFFFFFFC"},
      {"write a host-looking address", "C705 00104000 00000000 A3 00 00 00 60",
       "Write to unmapped memory at &H60000000"},
      {"jump to a host-looking address", "B8 00 00 40 55 FFE0", "Jump to unmapped memory at &H55400000"},
      {"execute the system page's data", "B8 00 00 01 00 FFE0", ""},
  };
  RunEngine engine;
  for (const EscapeRow& row : rows) {
    test::Recorder rec;
    const RunResult r = Command3_Run(engine, Hex_Bytes(row.code), {"0", "0", "0", "0"}, Limits());
    EXPECT_EQ(r.status, RunStatus::Faulted) << row.name << ": " << r.what;
    EXPECT_EQ(r.what.rfind(row.what, 0), 0u) << row.name << ": " << r.what;
    EXPECT_NE(r.what.find(" at EIP=&H"), std::string::npos) << row.name << ": " << r.what;
    ASSERT_EQ(rec.Messages().size(), 1u) << row.name;
    EXPECT_EQ(rec.Messages()[0], (Message{Run_ErrorText(r), MsgStyle::OkExclamation, "ORVO IDE"}))
        << row.name;
    // Nothing the routine did survives into the next run.
    const RunResult next = engine.Run_Code(Hex_Bytes("8B442404 C21000"), {41, 0, 0, 0}, Limits());
    EXPECT_EQ(next.status, RunStatus::Returned) << row.name << ": " << next.what;
    EXPECT_EQ(next.eax, 41) << row.name;
  }
}

// Fuzzing found code the emulator aborts on while translating it: far CALL and JMP through a
// register, and LOCK before instructions that cannot take it. On a processor each is an invalid
// instruction; here the run must end with its box and the process must live on.
TEST(Sandbox, CodeTheEmulatorCannotTranslate) {
  const std::string codes[] = {
      "FFD8",                    // CALL FAR EAX (the fuzzer's find)
      "90 FFDF",                 // CALL FAR EDI
      "66FFE8",                  // JMP FAR AX
      "2EFFEF",                  // JMP FAR EDI behind a segment prefix
      "F03800",                  // LOCK CMP [EAX],AL
      "F0A6",                    // LOCK CMPSB
      "F00FA3C0",                // LOCK BT EAX,EAX
      "F00FBAE001",              // LOCK BT EAX,1
      "F00FABC0",                // LOCK BTS EAX,EAX
      "F0813D0000400001000000",  // LOCK CMP DWORD [400000h],1
      "B807000000 EB00 F03900",  // after a jump
  };
  RunEngine engine;
  for (const std::string& code : codes) {
    test::Recorder rec;
    const RunResult r = Command3_Run(engine, Hex_Bytes(code), {"0", "0", "0", "0"}, Limits());
    EXPECT_EQ(r.status, RunStatus::Faulted) << code << ": " << r.what;
    EXPECT_NE(r.what.find(" at EIP=&H4000"), std::string::npos) << code << ": " << r.what;
    ASSERT_EQ(rec.Messages().size(), 1u) << code;
    EXPECT_EQ(rec.Messages()[0], (Message{Run_ErrorText(r), MsgStyle::OkExclamation, "ORVO IDE"})) << code;
    const RunResult next = engine.Run_Code(Hex_Bytes("8B442404 C21000"), {41, 0, 0, 0}, Limits());
    EXPECT_EQ(next.status, RunStatus::Returned) << code << ": " << next.what;
    EXPECT_EQ(next.eax, 41) << code;
  }
}

long Resident_Kib(const std::string& pid) {
  std::ifstream statm("/proc/" + pid + "/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4;
}

// This process and the engine's child process, which holds the emulator.
long Resident_Kib() {
  long total = Resident_Kib("self");
  std::ifstream children("/proc/self/task/" + std::to_string(::getpid()) + "/children");
  for (std::string pid; children >> pid;) total += Resident_Kib(pid);
  return total;
}

// Counts the boxes instead of keeping them, so that only the engine's memory is measured.
struct BoxCounter : MessageHandler {
  std::size_t error_boxes = 0, other_boxes = 0;
  MsgAnswer Show(const Message& m) override {
    ++(m.text.rfind("Error in assembler program\r\r", 0) == 0 && m.style == MsgStyle::OkExclamation
           ? error_boxes
           : other_boxes);
    return MsgAnswer::Ok;
  }
};

// Ten thousand faulting routines in one process: every run shows its box, and the process does
// not grow (the engine renews the emulator every few hundred runs; none of that may leak). Every
// thousandth routine rewrites its own code until its time runs out.
TEST(Sandbox, TenThousandFaultingRunsShowEveryBoxAndDoNotGrow) {
  // Mostly faults the emulator reports quickly, one in ten of the slower memory and divide faults.
  const std::string codes[] = {Hex_Bytes("0F0B"),           Hex_Bytes("F4"),     Hex_Bytes("CD80"),
                               Hex_Bytes("0F34"),           Hex_Bytes("CC"),     Hex_Bytes("0F05"),
                               Hex_Bytes("EA000040001800"), Hex_Bytes("6A181F"), Hex_Bytes("0F30")};
  const std::string slow[] = {Hex_Bytes("31C9F7F1"), Hex_Bytes("A100000000"),
                              Hex_Bytes("C70508000100FFFF0000")};
  // MOV EBX,400000h / L: INC BYTE PTR [EBX+9] / MOV EAX,0 / JMP L
  const std::string rewrites = Hex_Bytes("BB00004000 FE4309 B800000000 E9F3FFFFFF");
  RunLimits short_limit = Limits();
  short_limit.timeout_seconds = 0.3;
  const std::array<std::string, 4> fields{"0", "0", "0", "0"};
  RunEngine engine;
  BoxCounter boxes;
  ScopedMessageHandler scope(boxes);
  const int runs = 10000;
  long first_quarter = 0, last = 0;
  for (int i = 0; i < runs; ++i) {
    if (i == runs / 4) first_quarter = Resident_Kib();
    if (i % 1000 == 700) {
      ASSERT_EQ(Command3_Run(engine, rewrites, fields, short_limit).status, RunStatus::TimedOut) << i;
      continue;
    }
    const std::string& code = i % 10 == 9 ? slow[(i / 10) % 3] : codes[i % 9];
    ASSERT_EQ(Command3_Run(engine, code, fields, Limits()).status, RunStatus::Faulted) << i;
  }
  last = Resident_Kib();
  EXPECT_EQ(boxes.error_boxes, static_cast<std::size_t>(runs));
  EXPECT_EQ(boxes.other_boxes, 0u);
#ifndef __SANITIZE_ADDRESS__  // ASan keeps freed memory in quarantine; LeakSanitizer checks at exit
  // A renewed emulator may sit a few MiB higher or lower than the one before it.
  EXPECT_LT(last - first_quarter, 8192)
      << "resident KiB after 2500 runs " << first_quarter << ", after " << runs << " " << last;
#else
  (void)first_quarter;
  (void)last;
#endif
}

}  // namespace
}  // namespace orvo
