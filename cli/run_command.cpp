// orvo run: compile SOURCE, then run the code image in the emulator with up to four arguments.
// Boxes (compile messages, Show_Value, the result) are printed on stdout in the order shown.

#include <cstdio>
#include <utility>

#include "cli/cli_support.h"

#ifdef ORVO_HAVE_RUN
#include "output/run/run_engine.h"
#include "output/run/source_lines.h"
#endif

namespace orvo::cli {

#ifdef ORVO_HAVE_RUN

int Run_Command(const RunOptions& options) {
  if (options.arguments.size() > 4) {
    std::fprintf(stderr, "orvo: run takes at most four arguments\n");
    return 2;
  }
  auto text = Read_Source(options.common.source);
  if (!text) return 2;

  PrintingMessageHandler printer(
      stdout, options.common.messages == "json" ? MessageFormat::Json : MessageFormat::Text);
  ScopedMessageHandler scope(printer);
  CompileSession session;
  CompileOptions compile;
  compile.stack = options.common.stack;
  // The text stays for the fault box's source line.
  if (session.Compile(*text, compile) != CompileOutcome::Finished) return 1;
  const SourceLineMap lines(session.Listing_(), session.Image().Size(), compile.stack, Split_Lines(*text));

  std::array<std::string, 4> fields = {std::to_string(Get_FnAddress()), "0", "0", "0"};
  for (std::size_t i = 0; i < options.arguments.size(); ++i) fields[i] = options.arguments[i];
  RunLimits limits;
  limits.timeout_seconds = options.timeout_seconds;
  limits.box_time_counts = true;  // boxes are printed: nobody waits, the routine's time is all of it
  RunEngine engine;
  const RunResult result = Command3_Run(engine, session.Image().Bytes(), fields, limits, &lines);
  // A run that never started (an argument out of range, an empty image) has no registers to show.
  if (options.registers && (result.registers.instructions > 0 || result.registers.eip != 0)) {
    Write_Stream(stdout, Format_Registers(result.registers));
  }
  return result.status == RunStatus::Returned ? 0 : 1;
}

#else

int Run_Command(const RunOptions&) {
  std::fprintf(stderr, "orvo: running routines is not available in this build (no emulator)\n");
  return 2;
}

#endif

}  // namespace orvo::cli
