#include "cli/compiled_routine.h"

#include <cstdio>

#include "run/run_engine.h"

namespace orvo::cli {

int With_CompiledRoutine(const CommonOptions& common, const std::vector<std::string>& arguments,
                         const char* command, const std::function<int(const CompiledRoutine&)>& run) {
  if (arguments.size() > 4) {
    std::fprintf(stderr, "orvo: %s takes at most four arguments\n", command);
    return 2;
  }
  auto text = Read_Source(common.source);
  if (!text) return 2;
  const MessageFormat format = common.messages == "json" ? MessageFormat::Json : MessageFormat::Text;
  PrintingMessageHandler printer(stdout, format);
  ScopedMessageHandler scope(printer);
  CompileSession session;
  CompileOptions compile;
  compile.stack = common.stack;
  if (session.Compile(*text, compile) != CompileOutcome::Finished) return 1;
  // The text stays for the fault box's source line.
  const SourceLineMap lines(session.Listing_(), session.Image().Size(), compile.stack, Split_Lines(*text));

  CompiledRoutine routine{session, lines, {std::to_string(Get_FnAddress()), "0", "0", "0"}, format};
  for (std::size_t i = 0; i < arguments.size(); ++i) routine.fields[i] = arguments[i];
  return run(routine);
}

}  // namespace orvo::cli
