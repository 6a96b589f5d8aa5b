// The debug session: a command's round trip to the new state, step back, and continue at full
// speed with breakpoints set against RUN on the same loop (BM_RunLoop).

#include <benchmark/benchmark.h>

#include <string>

#include "run/debug_child.h"
#include "run/debug_session.h"

namespace orvo {
namespace {

// MOV ECX,n / L: DEC ECX / JNZ L / MOV EAX,ECX / RET 16
std::string Loop_Code(std::uint32_t n) {
  std::string code("\xB9", 1);
  for (int i = 0; i < 4; ++i) code.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  return code + std::string("\x49\x75\xFD\x89\xC8\xC2\x10\x00", 8);
}

// One step and the state it leaves: what a window's Step button costs.
void BM_DebugStepInto(benchmark::State& state) {
  DebugSession s;
  s.Start(Loop_Code(0xFFFFFFFF), {}, DebugOptions{});
  for (auto _ : state) {
    s.Step_Into();
    benchmark::DoNotOptimize(s.Registers().eax);
    benchmark::DoNotOptimize(s.Changed());
  }
  state.counters["history MiB"] = static_cast<double>(s.History_Bytes()) / (1 << 20);
}
BENCHMARK(BM_DebugStepInto)->Unit(benchmark::kMicrosecond);

// The same step in the session's child process, with the reads the window's panels make: the
// round trip of a command over the wire.
void BM_IsolatedStepInto(benchmark::State& state) {
  IsolatedDebugSession s;
  const DebugReads reads{64, 0x00400000, 128};
  s.Start(Loop_Code(0xFFFFFFFF), {}, DebugOptions{}, {}, reads);
  for (auto _ : state) benchmark::DoNotOptimize(s.Run(DebugCommand::StepInto, 0, reads).registers.ecx);
}
BENCHMARK(BM_IsolatedStepInto)->Unit(benchmark::kMicrosecond);

// A step and its undo, memory written each time (PUSH EAX / POP EAX / JMP back).
void BM_DebugStepAndBack(benchmark::State& state) {
  DebugSession s;
  s.Start(std::string("\x50\x58\xEB\xFC", 4), {}, DebugOptions{});
  for (auto _ : state) {
    s.Step_Into();
    s.Step_Back();
    benchmark::DoNotOptimize(s.Registers().esp);
  }
}
BENCHMARK(BM_DebugStepAndBack)->Unit(benchmark::kMicrosecond);

// Continue to the return with breakpoints set where the loop never goes (second argument 1), or
// none: the speed to compare with BM_RunLoop and BM_RunLoopInProcess.
void BM_DebugContinueLoop(benchmark::State& state) {
  const std::string code = Loop_Code(static_cast<std::uint32_t>(state.range(0)));
  std::uint64_t executed = 0;
  for (auto _ : state) {
    DebugSession s;
    s.Start(code, {}, DebugOptions{60.0});
    if (state.range(1) != 0)
      for (std::uint32_t at : {0x00400008u, 0x0040000Au, 0x00410000u}) s.Set_Breakpoint(at, true);
    s.Continue();
    executed += s.Registers().instructions;
  }
  state.counters["instr/s"] = benchmark::Counter(static_cast<double>(executed), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DebugContinueLoop)->Args({100000000, 1})->Args({100000000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond)->Iterations(1);

// RUN on the same loop in this process: its CPU time compares with BM_DebugContinueLoop's without
// the child process's hand-over and a busy machine's waits (run both with
// --benchmark_enable_random_interleaving and repetitions).
void BM_RunLoopInProcess(benchmark::State& state) {
  RunEngine engine;
  RunLimits limits;
  limits.timeout_seconds = 60.0;
  limits.isolated = false;
  const std::string code = Loop_Code(static_cast<std::uint32_t>(state.range(0)));
  std::uint64_t executed = 0;
  for (auto _ : state) executed += engine.Run_Code(code, {}, limits).registers.instructions;
  state.counters["instr/s"] = benchmark::Counter(static_cast<double>(executed), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunLoopInProcess)->Arg(100000000)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

// RUN in this process on an emulator opened after others (a RUN and a debug session's two): the
// same code runs measurably slower on a later instance of the emulator library than on the
// first, and a debug session's engine for full speed is never the first. This is the figure
// BM_DebugContinueLoop compares with like for like.
void BM_RunLoopLaterEngine(benchmark::State& state) {
  RunLimits limits;
  limits.timeout_seconds = 60.0;
  limits.isolated = false;
  RunEngine first;
  first.Run_Code(Loop_Code(10), {}, limits);
  DebugSession session;
  session.Start(Loop_Code(10), {}, DebugOptions{});
  RunEngine engine;
  const std::string code = Loop_Code(static_cast<std::uint32_t>(state.range(0)));
  std::uint64_t executed = 0;
  for (auto _ : state) executed += engine.Run_Code(code, {}, limits).registers.instructions;
  state.counters["instr/s"] = benchmark::Counter(static_cast<double>(executed), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunLoopLaterEngine)->Arg(100000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Step back over the end of a 10M-instruction continue: the run is repeated from its checkpoint.
void BM_DebugStepBackOverContinue(benchmark::State& state) {
  const std::string code = Loop_Code(5000000);
  for (auto _ : state) {
    state.PauseTiming();
    DebugSession s;
    s.Start(code, {}, DebugOptions{60.0});
    s.Continue();
    state.ResumeTiming();
    s.Step_Back();
    benchmark::DoNotOptimize(s.Registers().eip);
  }
}
BENCHMARK(BM_DebugStepBackOverContinue)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace orvo
