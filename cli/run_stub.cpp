// Until the run engine is built, orvo run compiles and reports that running is unavailable.
#include <cstdio>

#include "cli/cli_support.h"

namespace orvo::cli {
int Run_Command(const RunOptions&) {
  std::fprintf(stderr, "orvo: running routines is not available in this build\n");
  return 2;
}
}  // namespace orvo::cli
