#pragma once
// What orvo run and orvo trace start from: SOURCE compiled with its boxes printed on stdout, the
// map from code to source lines, and the four argument fields.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/source_lines.h"
#include "cli/cli_support.h"

namespace orvo::cli {

struct CompiledRoutine {
  const CompileSession& session;
  const SourceLineMap& lines;
  // ARG1..ARG4 as typed; ARG1 is the address of Show_Value when not given.
  std::array<std::string, 4> fields;
  MessageFormat format;
};

// Checks the argument count (command names the subcommand in the refusal), reads and compiles
// SOURCE and calls run with the result while boxes are still printed. Returns run's exit
// status, 2 for too many arguments or an unreadable SOURCE, 1 when the compile did not finish.
int With_CompiledRoutine(const CommonOptions& common, const std::vector<std::string>& arguments,
                         const char* command, const std::function<int(const CompiledRoutine&)>& run);

}  // namespace orvo::cli
