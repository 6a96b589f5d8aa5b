// orvo run: compile SOURCE, then run the code image in the emulator with up to four arguments.
// Boxes (compile messages, Show_Value, the result) are printed on stdout in the order shown.

#include <cstdio>

#include "app/run_action.h"
#include "cli/cli_support.h"
#include "cli/compiled_routine.h"
#include "run/run_engine.h"

namespace orvo::cli {

int Run_Command(const RunOptions& options) {
  return With_CompiledRoutine(options.common, options.arguments, "run", [&](const CompiledRoutine& routine) {
    RunLimits limits;
    limits.timeout_seconds = options.timeout_seconds;
    limits.box_time_counts = true;  // boxes are printed: nobody waits, the routine's time is all of it
    RunEngine engine;
    const RunResult result =
        Command3_Run(engine, routine.session.Image().Bytes(), routine.fields, limits, &routine.lines);
    // A run that never started (an argument out of range, an empty image) has no registers to show.
    if (options.registers && (result.registers.instructions > 0 || result.registers.eip != 0)) {
      Write_Stream(stdout, Format_Registers(result.registers));
    }
    return result.status == RunStatus::Returned ? 0 : 1;
  });
}

}  // namespace orvo::cli
