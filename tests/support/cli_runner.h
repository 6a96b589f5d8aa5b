#pragma once
// Runs build/bin/orvo with arguments and standard input; captures stdout, stderr and the status.

#include <string>

namespace orvo::test {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

CliResult Run_Orvo(const std::string& arguments, const std::string& input);

}  // namespace orvo::test
