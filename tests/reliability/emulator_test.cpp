// The emulator child under routines that try to hurt it: code that rewrites itself for as long
// as it may, Show_Value in an endless loop, a killed parent, state left behind for the next
// routine, and ways out of the flat model.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "run/run_engine.h"
#include "support/cli_runner.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;

RunLimits Limits(double seconds, bool isolated = true) {
  RunLimits l;
  l.timeout_seconds = seconds;
  l.isolated = isolated;
  return l;
}

std::string Children_Of(pid_t pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::string all, one;
  while (children >> one) all += one + " ";
  return all;
}

long Resident_Kib(const std::string& pid) {
  std::ifstream statm("/proc/" + pid + "/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Largest resident size the engine's child process reaches while a run goes on.
class ChildMemoryWatch {
 public:
  ChildMemoryWatch()
      : thread_([this] {
          while (!done_) {
            std::istringstream pids(Children_Of(::getpid()));
            for (std::string pid; pids >> pid;) {
              const long kib = Resident_Kib(pid);
              if (first_ == 0) first_ = kib;
              if (kib > peak_) peak_ = kib;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        }) {}
  ~ChildMemoryWatch() { Finish(); }
  void Finish() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long Growth_Kib() const { return peak_ - first_; }
  long Peak_Kib() const { return peak_; }

 private:
  std::atomic<bool> done_{false};
  std::atomic<long> first_{0}, peak_{0};
  std::thread thread_;
};

// MOV EBX,400000h / L: INC BYTE PTR [EBX+9] / MOV EAX,0 / JMP L: each round rewrites the
// immediate of the MOV it is about to run, so the block is translated again every time, until the
// emulator library's translation buffer is full (its child process used to crash there).
const std::string kRewritesItself = Hex_Bytes("BB00004000 FE4309 B800000000 E9F3FFFFFF");

TEST(Emulator, SelfModifyingCodeRunsToItsTimeLimit) {
  RunEngine engine;
  const RunResult r = engine.Run_Code(kRewritesItself, {}, Limits(2));
  EXPECT_EQ(r.status, RunStatus::TimedOut) << r.what;
  EXPECT_EQ(r.what.rfind("Time-out: the routine ran longer than 2 seconds at EIP=&H4000", 0), 0u) << r.what;
  EXPECT_GT(r.registers.instructions, 1000u);
  EXPECT_EQ(engine.Run_Code(Hex_Bytes("8B442404 C21000"), {41, 0, 0, 0}, Limits(5)).eax, 41);
}

// Code that is translated once fills the translation buffer as well when there is enough of it:
// 120 000 PUSHAD / POPAD pairs take about 200 MiB of translations. The emulator grows by at most
// its renewal threshold (64 MiB) and a little more between two checks.
TEST(Emulator, LargeImagesAreTranslatedInBoundedMemory) {
  std::string code;
  for (int i = 0; i < 120000; ++i) code += Hex_Bytes("6061");
  code += Hex_Bytes("B807000000 C21000");
  RunEngine engine;
  // A first short run starts the child, so that the watch sees it from its start.
  ASSERT_EQ(engine.Run_Code(Hex_Bytes("B807000000C21000"), {}, Limits(5)).eax, 7);
  ChildMemoryWatch watch;
  const RunResult r = engine.Run_Code(code, {}, Limits(600));
  watch.Finish();
  ASSERT_EQ(r.status, RunStatus::Returned) << r.what;
  EXPECT_EQ(r.eax, 7);
  EXPECT_EQ(r.registers.instructions, 240002u);
  // AddressSanitizer's shadow and quarantine add their own share to what the emulator translates.
#if defined(__SANITIZE_ADDRESS__)
  constexpr long kBoundKib = 512 * 1024;
#else
  constexpr long kBoundKib = 128 * 1024;
#endif
  EXPECT_LT(watch.Growth_Kib(), kBoundKib) << "peak resident KiB " << watch.Peak_Kib();
}

// A run moved to a fresh emulator halfway goes on with the same registers, memory and count.
// A low threshold makes it happen several times within a short run.
TEST(Emulator, RenewedRunKeepsRegistersMemoryAndTheCount) {
  // MOV EBX,400000h / MOV ECX,30000 / L: INC BYTE [EBX+0Eh] (the immediate of the next line) /
  // MOV EDX,0 / INC DWORD [EBX+30h] / LOOP L / MOV EAX,[EBX+30h] / PUSH EAX / POP ESI / RET 16 /
  // DD 0 at +30h
  std::string rewrites = Hex_Bytes("BB00004000 B930750000 FE430E BA00000000 FF4330 E2F3 8B4330 50 5E C21000");
  rewrites += std::string(0x30 - rewrites.size(), '\0') + Hex_Bytes("00000000");
  // 30 000 blocks of JMP $+2, each translated once, then MOV EAX,7 / RET 16.
  std::string blocks;
  for (int i = 0; i < 30000; ++i) blocks += Hex_Bytes("EB00");
  blocks += Hex_Bytes("B807000000 C21000");
  for (bool isolated : {true, false}) {
    RunEngine engine;
    RunLimits limits = Limits(120, isolated);
    limits.renew_after_kib = 4096;
    const RunResult r = engine.Run_Code(rewrites, {}, limits);
    ASSERT_EQ(r.status, RunStatus::Returned) << r.what;
    EXPECT_GT(r.renewals, 0u) << "isolated " << isolated;
    EXPECT_EQ(r.eax, 30000) << "isolated " << isolated;
    EXPECT_EQ(r.registers.ebx, 0x400000u);
    EXPECT_EQ(r.registers.ecx, 0u);
    EXPECT_EQ(r.registers.edx, 30000u & 0xFF);
    EXPECT_EQ(r.registers.esi, 30000u);
    EXPECT_EQ(r.registers.esp, r.registers.esp_expected);
    // Rewritten blocks are entered more than once per round, so the count is only bounded here.
    EXPECT_GE(r.registers.instructions, 2 + 4 * 30000u + 5);

    const RunResult b = engine.Run_Code(blocks, {}, limits);
    ASSERT_EQ(b.status, RunStatus::Returned) << b.what;
    EXPECT_GT(b.renewals, 0u) << "isolated " << isolated;
    EXPECT_EQ(b.eax, 7);
    EXPECT_EQ(b.registers.instructions, 30000u + 2) << "isolated " << isolated;
    // The stack and call buffer of the renewed emulator are clean for the next routine.
    EXPECT_EQ(engine.Run_Code(Hex_Bytes("A130004000 C21000"), {}, Limits(5, isolated)).eax, 0);
  }
}

// Pages of 500 ADD EAX,imm32 (one block each, a millisecond to translate), chained by JMP; the last
// one jumps to tail_at. Placed from 401000h on, after a first page that starts with head.
std::string Big_Blocks(const std::string& head, int pages, std::uint32_t tail_at) {
  std::string code = head;
  code.resize(0x1000, '\x90');
  for (int p = 0; p < pages; ++p) {
    std::string page;
    for (int i = 0; i < 500; ++i) page += Hex_Bytes("0578563412");
    const std::uint32_t jmp_at = 0x401000 + static_cast<std::uint32_t>(p) * 0x1000 + 500 * 5;
    const std::uint32_t target = p + 1 < pages ? jmp_at - 500 * 5 + 0x1000 : tail_at;
    const std::uint32_t rel = target - (jmp_at + 5);
    page += Hex_Bytes("E9");
    for (int i = 0; i < 4; ++i) page.push_back(static_cast<char>(rel >> (8 * i)));
    page.resize(0x1000, '\x90');
    code += page;
  }
  return code;
}

// Each round rewrites an immediate in the big block (MOV EBX,401000h / L: INC BYTE [EBX+1] /
// JMP 401000h, which comes back to L): the emulator translates it again on every round, and
// thousands of rounds between two looks at the clock would take seconds.
TEST(Emulator, TimeLimitHoldsOnBigBlocksTranslatedEveryRound) {
  const std::string code = Big_Blocks(Hex_Bytes("BB00104000 FE4301 E9F30F0000"), 1, 0x400005);
  for (bool isolated : {true, false}) {
    RunEngine engine;
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = engine.Run_Code(code, {}, Limits(0.2, isolated));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.what.rfind("Time-out: the routine ran longer than 0.2 seconds at EIP=&H40", 0), 0u)
        << r.what << " isolated " << isolated;
    // Generous for a loaded machine: without the clock on retranslations this is 5 to 20 s.
    EXPECT_LT(took, 2.0) << "isolated " << isolated;
  }
}

// Runs that return before the emulator looks at its memory still leave their translations in
// its buffer: in the process (no child to renew), the next run starts in a fresh emulator once
// they add up to the threshold, so the process stays within it.
TEST(Emulator, ShortRunsInTheProcessStayWithinTheRenewalThreshold) {
  // 48 big blocks (MOV EAX,7 / RET 16 after them), each translated once per run.
  const std::string code = Big_Blocks(Hex_Bytes("E9FB0F0000 B807000000 C21000"), 48, 0x400005);
  RunEngine engine;
  RunLimits limits = Limits(30, false);
  limits.renew_after_kib = 2 * 1024;
  ASSERT_EQ(engine.Run_Code(code, {}, limits).eax, 7);
  const std::string self = std::to_string(::getpid());
  const long first = Resident_Kib(self);
  long peak = first;
  for (int i = 0; i < 64; ++i) {
    const RunResult r = engine.Run_Code(code, {}, limits);
    ASSERT_EQ(r.status, RunStatus::Returned) << r.what;
    ASSERT_EQ(r.eax, 7);
    peak = std::max(peak, Resident_Kib(self));
  }
#ifndef __SANITIZE_ADDRESS__  // ASan keeps freed memory in quarantine
  // The threshold, the run that crosses it, and a few MiB for the allocator; 64 runs in one
  // emulator would take about 16 MiB.
  EXPECT_LT(peak - first, 8 * 1024) << "resident KiB after the first run " << first << ", peak " << peak;
#endif
}

// ---- Show_Value in a loop: the time limit and the number of boxes hold

// L: PUSH 1 / CALL [ESP+8] / JMP L
const std::string kBoxesForEver = Hex_Bytes("6A01 FF542408 EBF8");
const std::array<std::int32_t, 4> kShowValueArgs{static_cast<std::int32_t>(Get_FnAddress()), 0, 0, 0};

struct CountingBoxes : MessageHandler {
  std::size_t boxes = 0;
  std::function<void()> on_box;
  MsgAnswer Show(const Message&) override {
    ++boxes;
    if (on_box) on_box();
    return MsgAnswer::Ok;
  }
};

TEST(Emulator, ShowValueInALoopStopsAfterAThousandBoxes) {
  for (bool isolated : {true, false}) {
    CountingBoxes boxes;
    ScopedMessageHandler scope(boxes);
    RunEngine engine;
    RunLimits limits = Limits(3600, isolated);
    const RunResult r = engine.Run_Code(kBoxesForEver, kShowValueArgs, limits);
    EXPECT_EQ(r.status, RunStatus::Faulted) << r.what;
    EXPECT_EQ(
        r.what.rfind("Show_Value was called more than 1000 times: the run was stopped at EIP=&H10080", 0), 0u)
        << r.what;
    EXPECT_EQ(boxes.boxes, 1000u) << "isolated " << isolated;

    // The window's hook lets another thousand follow, once.
    boxes.boxes = 0;
    int asked = 0;
    limits.more_boxes = [&asked] { return ++asked == 1; };
    const RunResult more = engine.Run_Code(kBoxesForEver, kShowValueArgs, limits);
    EXPECT_EQ(more.status, RunStatus::Faulted) << more.what;
    EXPECT_EQ(boxes.boxes, 2000u) << "isolated " << isolated;
    EXPECT_EQ(asked, 2);
  }
}

TEST(Emulator, TimeLimitHoldsWhenBoxesAreCounted) {
  for (bool isolated : {true, false}) {
    CountingBoxes boxes;
    // Each box takes a millisecond: a thousand of them are far past the limit.
    boxes.on_box = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    ScopedMessageHandler scope(boxes);
    RunEngine engine;
    RunLimits limits = Limits(0.1, isolated);
    limits.box_time_counts = true;
    const RunResult r = engine.Run_Code(kBoxesForEver, kShowValueArgs, limits);
    EXPECT_EQ(r.status, RunStatus::TimedOut) << r.what;
    EXPECT_LT(boxes.boxes, 1000u);
  }
}

TEST(Emulator, StopEndsTheRunBetweenBoxesAndWhileItRuns) {
  for (bool isolated : {true, false}) {
    RunEngine engine;
    CountingBoxes boxes;
    boxes.on_box = [&] {
      if (boxes.boxes == 3) engine.Request_Stop();
    };
    ScopedMessageHandler scope(boxes);
    const RunResult r = engine.Run_Code(kBoxesForEver, kShowValueArgs, Limits(3600, isolated));
    EXPECT_EQ(r.status, RunStatus::Faulted);
    EXPECT_EQ(r.what.rfind("The run was stopped at EIP=&H10080", 0), 0u) << r.what;
    EXPECT_EQ(boxes.boxes, 3u);

    // From another thread, while the routine loops without a box.
    std::thread stopper([&engine] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      engine.Request_Stop();
    });
    const RunResult loop = engine.Run_Code(Hex_Bytes("EBFE"), {}, Limits(3600, isolated));
    stopper.join();
    EXPECT_EQ(loop.what.rfind("The run was stopped at EIP=&H400000", 0), 0u) << loop.what;
    // A stop asked for before a run does not end the next one.
    EXPECT_EQ(engine.Run_Code(Hex_Bytes("B807000000C21000"), {}, Limits(5, isolated)).eax, 7);
  }
}

// ---- the command line

std::string Source_File(const std::string& name, const std::string& text) {
  const auto path =
      std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()) + ".asm");
  std::ofstream(path) << text;
  return path.string();
}

TEST(Emulator, CommandLineTimeOutExitsOneAndCountsBoxTime) {
  const std::string loop = Source_File("orvo-loop", "MOV EAX,0\nL:\nINC EAX\nJMP L\n");
  test::CliResult r = test::Run_Orvo("run '" + loop + "' --timeout 0.2", "");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("Time-out: the routine ran longer than 0.2 seconds"), std::string::npos) << r.out;

  const std::string boxes = Source_File("orvo-boxes", "MOV EAX,0\nL:\nPUSH 1\nCALL [ESP+8]\nJMP L\n");
  r = test::Run_Orvo("run '" + boxes + "' --timeout 0.1", "");
  EXPECT_EQ(r.status, 1) << r.err;
  std::size_t shown = 0;
  for (std::size_t at = r.out.find("DEC=1"); at != std::string::npos; at = r.out.find("DEC=1", at + 1))
    ++shown;
  EXPECT_GT(shown, 0u);
  EXPECT_LE(shown, 1000u);
  std::filesystem::remove(loop);
  std::filesystem::remove(boxes);
}

// Killing the program kills its emulator: nothing spins on after it.
TEST(Emulator, KilledProgramTakesItsEmulatorAlong) {
  const std::string loop = Source_File("orvo-spin", "MOV EAX,0\nL:\nINC EAX\nJMP L\n");
  const pid_t orvo = ::fork();
  ASSERT_GE(orvo, 0);
  if (orvo == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    const std::string binary = std::string(ORVO_BINARY_DIR) + "/bin/orvo";
    ::execl(binary.c_str(), binary.c_str(), "run", loop.c_str(), "--timeout", "60",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string emulator;
  for (int i = 0; i < 500 && emulator.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::istringstream(Children_Of(orvo)) >> emulator;
  }
  ASSERT_FALSE(emulator.empty()) << "orvo started no emulator";
  ::kill(orvo, SIGKILL);
  ::waitpid(orvo, nullptr, 0);
  // The emulator is killed with its parent and reaped by whoever adopts it.
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    std::ifstream stat("/proc/" + emulator + "/stat");
    std::string pid, name, state;
    gone = !(stat >> pid >> name >> state) || state == "Z" || state == "X";
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(gone) << "emulator " << emulator << " still runs";
  if (!gone) ::kill(std::stoi(emulator), SIGKILL);
  std::filesystem::remove(loop);
}

// ---- every run starts from the same memory

struct CarryRow {
  std::string name;
  std::string first;   // run first
  std::string second;  // must see none of the first one's traces
  std::int32_t eax;
  std::string what;  // "" when the second run returns eax
};

TEST(Emulator, NothingCarriesOverToTheNextRun) {
  const CarryRow rows[] = {
      // MOV DWORD [100000h],5 (the bottom of the stack) / RET 16; then MOV EAX,[100000h] / RET 16
      {"bottom of the stack", Hex_Bytes("C70500001000 05000000 C21000"), Hex_Bytes("A100001000 C21000"), 0,
       ""},
      {"middle of the stack", Hex_Bytes("C705F0FF1700 05000000 C21000"), Hex_Bytes("A1F0FF1700 C21000"), 0,
       ""},
      {"below ESP", Hex_Bytes("6A05 6A06 83C408 C21000"), Hex_Bytes("8B4424F8 C21000"), 0, ""},
      {"call buffer past the image", Hex_Bytes("C70500014000 05000000 C21000"),
       Hex_Bytes("A100014000 C21000"), 0, ""},
      // A longer image was mapped further: the short one after it must not read there.
      {"mapping of a longer image", std::string(0x30000, '\x90') + Hex_Bytes("B801000000C21000"),
       Hex_Bytes("A100004100 C21000"), 0,
       "Read from unmapped memory at &H410000 at EIP=&H400000 after 0 instructions"},
  };
  for (bool isolated : {true, false}) {
    RunEngine engine;
    for (const CarryRow& row : rows) {
      ASSERT_EQ(engine.Run_Code(row.first, {}, Limits(5, isolated)).status, RunStatus::Returned) << row.name;
      const RunResult r = engine.Run_Code(row.second, {}, Limits(5, isolated));
      if (row.what.empty()) {
        EXPECT_EQ(r.status, RunStatus::Returned) << row.name << ": " << r.what;
        EXPECT_EQ(r.eax, row.eax) << row.name << " isolated " << isolated;
      } else {
        EXPECT_EQ(r.what, row.what) << row.name << " isolated " << isolated;
      }
    }
  }
}

// ---- ways out of the flat model

struct FaultRow {
  std::string name;
  std::string code;  // hex
  std::string what;  // the whole description
};

TEST(Emulator, SystemCallsAndForeignSelectorsFault) {
  const FaultRow rows[] = {
      // The emulator would skip them: MOV EAX,5 / RET 16 must not be reached.
      {"SYSCALL", "0F05 B805000000 C21000",
       "System call instruction (SYSCALL) at EIP=&H400000 after 0 instructions"},
      {"SYSENTER", "90 0F34 B805000000 C21000",
       "System call instruction (SYSENTER) at EIP=&H400001 after 1 instruction"},
      {"DS from the LDT", "66B80700 8ED8",
       "General protection fault (privileged instruction or bad segment) at EIP=&H400004 after 1 "
       "instruction"},
      {"ES beyond the GDT", "66B82B00 8EC0",
       "General protection fault (privileged instruction or bad segment) at EIP=&H400004 after 1 "
       "instruction"},
      {"null SS", "66 31C0 8ED0",
       "General protection fault (privileged instruction or bad segment) at EIP=&H400003 after 1 "
       "instruction"},
      {"GS with kernel data", "66B81B00 8EE8",
       "General protection fault (privileged instruction or bad segment) at EIP=&H400004 after 1 "
       "instruction"},
  };
  for (bool isolated : {true, false}) {
    RunEngine engine;
    for (const FaultRow& row : rows) {
      const RunResult r = engine.Run_Code(Hex_Bytes(row.code), {}, Limits(5, isolated));
      EXPECT_EQ(r.status, RunStatus::Faulted) << row.name;
      EXPECT_EQ(r.what, row.what) << row.name << " isolated " << isolated;
    }
  }
}

// The emulator does not check segments on access: with a null DS the read goes to the flat
// address, as if DS were still the flat data segment (no fault, but no other memory either).
TEST(Emulator, NullDataSegmentReadsTheFlatMemory) {
  RunEngine engine;
  // XOR EAX,EAX / MOV DS,AX / MOV EAX,[400010h] / RET 16 / DD 1234h at +10h
  const std::string code =
      Hex_Bytes("31C0 8ED8 A110004000 C21000") + std::string(4, '\0') + Hex_Bytes("34120000");
  const RunResult r = engine.Run_Code(code, {}, Limits(5));
  ASSERT_EQ(r.status, RunStatus::Returned) << r.what;
  EXPECT_EQ(r.eax, 0x1234);
}

// The emulator library aborts its process on these while translating them; the run names the
// instruction.
TEST(Emulator, UntranslatableCodeIsReportedWithItsAddress) {
  const FaultRow rows[] = {
      {"CALL FAR EAX", "FFD8", "at EIP=&H400000"},
      {"CALL FAR EDI after a NOP", "90 FFDF", "at EIP=&H400001"},
      {"JMP FAR AX", "B801000000 66FFE8", "at EIP=&H400005"},
      {"LOCK CMP after a valid LOCK ADD", "B800014000 F00100 F03800", "at EIP=&H400008"},
      {"in a later block", "B807000000 EB02 9090 F0A6", "at EIP=&H400009"},
  };
  RunEngine engine;
  for (const FaultRow& row : rows) {
    const RunResult r = engine.Run_Code(Hex_Bytes(row.code), {}, Limits(5));
    EXPECT_EQ(r.status, RunStatus::Faulted) << row.name;
    EXPECT_EQ(r.what, "Invalid instruction: the emulator cannot translate the routine's code " + row.what)
        << row.name;
  }
}

}  // namespace
}  // namespace orvo
