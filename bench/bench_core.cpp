// Benchmarks of the core: whole compiles of generated sources and the hottest operations.
//   build-bench/bin/orvo_bench --benchmark_filter=Compile
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "assembler/compile.h"
#include "encoders/encoders.h"
#include "base/message_box.h"
#include "operands/operands.h"
#include "base/hex.h"
#include "run/run_engine.h"

namespace orvo {
namespace {

// The same mix as bench/generate.py: MOV, ALU, PUSH/POP, JMP/Jcc to labels, CONST use, DB.
std::string Generate(int lines, int labels, int consts) {
  static const char* regs[] = {"EAX", "ECX", "EDX", "EBX", "ESI", "EDI"};
  static const char* alu[] = {"ADD", "SUB", "AND", "OR", "XOR", "CMP", "ADC", "SBB"};
  static const char* jcc[] = {"JNZ", "JZ", "JC", "JNC", "JG", "JL", "JA", "JB"};
  std::mt19937 rnd(1);
  auto pick = [&](int n) { return static_cast<int>(rnd() % static_cast<unsigned>(n)); };
  std::string s;
  s.reserve(static_cast<std::size_t>(lines) * 16);
  for (int c = 0; c < consts; ++c) s += "CONST CV" + std::to_string(c) + " EQU " + std::to_string(pick(100000)) + "\r\n";
  const int body = lines - consts;
  const int every = std::max(1, body / std::max(1, labels));
  int defined = 0;
  for (int i = 0; i < body; ++i) {
    if (i % every == 0 && defined < labels) {
      s += "L" + std::to_string(defined++) + ":\r\n";
      continue;
    }
    const std::string r1 = regs[pick(6)], r2 = regs[pick(6)];
    switch (pick(10)) {
      case 0: s += "MOV " + r1 + "," + std::to_string(pick(100000)); break;
      case 1: s += "MOV " + r1 + ",[" + r2 + "+" + std::to_string(pick(200)) + "]"; break;
      case 2: s += std::string(alu[pick(8)]) + " " + r1 + "," + r2; break;
      case 3: s += std::string(alu[pick(8)]) + " " + r1 + ",CV" + std::to_string(pick(std::max(1, consts))); break;
      case 4: s += "PUSH " + r1; break;
      case 5: s += "POP " + r1; break;
      case 6: s += "JMP L" + std::to_string(pick(std::max(1, labels))); break;
      case 7: s += std::string(jcc[pick(8)]) + " L" + std::to_string(pick(std::max(1, labels))); break;
      case 8: s += "DB 1,2,3,4"; break;
      default: s += "MOV [" + r1 + "+" + std::to_string(pick(100)) + "]," + r2; break;
    }
    s += "\r\n";
  }
  for (int l = defined; l < labels; ++l) s += "L" + std::to_string(l) + ":\r\n";
  return s;
}

struct Quiet : MessageHandler {
  MsgAnswer Show(const Message&) override { return MsgAnswer::No; }
};

void BM_Compile(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const int labels = static_cast<int>(state.range(1));
  const int consts = static_cast<int>(state.range(2));
  const std::string source = Generate(lines, labels, consts);
  Quiet quiet;
  ScopedMessageHandler scope(quiet);
  CompileSession session;
  for (auto _ : state) {
    benchmark::DoNotOptimize(session.Compile(source, {}));
  }
  state.SetItemsProcessed(state.iterations() * lines);
  state.counters["code_bytes"] = static_cast<double>(session.Image().Size());
}
BENCHMARK(BM_Compile)
    ->Args({10000, 500, 10})
    ->Args({100000, 5000, 10})
    ->Args({1000000, 50000, 10})
    ->Args({10000, 1000, 10})
    ->Args({100000, 10000, 10})
    ->Args({10000, 500, 1000})
    ->Args({100000, 5000, 1000})
    ->Unit(benchmark::kMillisecond);

void BM_SplitLines(benchmark::State& state) {
  const std::string source = Generate(100000, 5000, 10);
  for (auto _ : state) benchmark::DoNotOptimize(Split_Lines(source));
}
BENCHMARK(BM_SplitLines)->Unit(benchmark::kMillisecond);

void BM_ReplaceConsts(benchmark::State& state) {
  ConstTable table;
  Diagnostics sink;
  for (int c = 0; c < state.range(0); ++c)
    table.Define_Const("CV" + std::to_string(c) + " EQU " + std::to_string(c), sink);
  std::string line;
  for (auto _ : state) {
    line = "ADD EAX,CV17";
    table.Replace_Consts(line, sink);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_ReplaceConsts)->Arg(10)->Arg(1000);

void BM_GetOperandType(benchmark::State& state) {
  const char* operands[] = {"EAX", "[EBX+4]", "DWORD PTR [ESP-8]", "12345", "&HFF", "LABEL1", "al"};
  Diagnostics sink;
  for (auto _ : state)
    for (const char* op : operands) benchmark::DoNotOptimize(Get_OperandType(op, sink));
}
BENCHMARK(BM_GetOperandType);

void BM_EncodeTwoOperand(benchmark::State& state) {
  Diagnostics sink;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Encode_TwoOperand("MOV", "EAX", "[EBX+4]", sink));
    benchmark::DoNotOptimize(Encode_TwoOperand("ADD", "ECX", "1000", sink));
  }
}
BENCHMARK(BM_EncodeTwoOperand);

void BM_FindLabel(benchmark::State& state) {
  LabelTable labels;
  for (int i = 0; i < state.range(0); ++i) {
    labels.Add_LabelEntry("L" + std::to_string(i), true);
    labels.Add_Length(5);
  }
  const std::string probe = "L" + std::to_string(state.range(0) - 1);
  for (auto _ : state) benchmark::DoNotOptimize(labels.Find_Label(probe));
}
BENCHMARK(BM_FindLabel)->Arg(100)->Arg(50000);

void BM_ListingTexts(benchmark::State& state) {
  const std::string source = Generate(100000, 5000, 10);
  Quiet quiet;
  ScopedMessageHandler scope(quiet);
  CompileSession session;
  session.Compile(source, {});
  for (auto _ : state) {
    benchmark::DoNotOptimize(session.Listing_().Hex_Text());
    benchmark::DoNotOptimize(session.Listing_().PreCode_Text());
  }
}
BENCHMARK(BM_ListingTexts)->Unit(benchmark::kMillisecond);

void BM_RunShortRoutine(benchmark::State& state) {
  Quiet quiet;
  ScopedMessageHandler scope(quiet);
  RunEngine engine;
  const std::string code("\xB8\x07\x00\x00\x00\xC2\x10\x00", 8);  // MOV EAX,7 / RET 16
  for (auto _ : state) benchmark::DoNotOptimize(engine.Run_Code(code, {0, 0, 0, 0}, {}));
}
BENCHMARK(BM_RunShortRoutine)->Unit(benchmark::kMicrosecond);

// The same with a new engine each time: the set-up a first run pays.
void BM_RunFreshEngine(benchmark::State& state) {
  Quiet quiet;
  ScopedMessageHandler scope(quiet);
  const std::string code("\xB8\x07\x00\x00\x00\xC2\x10\x00", 8);
  for (auto _ : state) {
    RunEngine engine;
    benchmark::DoNotOptimize(engine.Run_Code(code, {0, 0, 0, 0}, {}));
  }
}
BENCHMARK(BM_RunFreshEngine)->Unit(benchmark::kMicrosecond);

void BM_RunLoop(benchmark::State& state) {
  Quiet quiet;
  ScopedMessageHandler scope(quiet);
  RunEngine engine;
  // MOV ECX,n / L: DEC ECX / JNZ L / MOV EAX,ECX / RET 16
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  std::string code("\xB9", 1);
  for (int i = 0; i < 4; ++i) code.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  code += std::string("\x49\x75\xFD\x89\xC8\xC2\x10\x00", 8);
  RunLimits limits;
  limits.timeout_seconds = 60.0;
  std::uint64_t executed = 0;
  for (auto _ : state) executed += engine.Run_Code(code, {0, 0, 0, 0}, limits).registers.instructions;
  state.counters["instr/s"] = benchmark::Counter(static_cast<double>(executed), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunLoop)->Arg(100000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace orvo

BENCHMARK_MAIN();
