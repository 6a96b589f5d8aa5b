#include "support/cli_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef ORVO_BINARY_DIR
#define ORVO_BINARY_DIR "."
#endif

namespace orvo::test {
namespace {
std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

CliResult Run_Orvo(const std::string& arguments, const std::string& input) {
  static int counter = 0;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("orvo-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(dir);
  {
    std::ofstream in(dir / "in", std::ios::binary);
    in << input;
  }
  const std::string command = std::string("'") + ORVO_BINARY_DIR + "/bin/orvo' " + arguments + " <'" +
                              (dir / "in").string() + "' >'" + (dir / "out").string() + "' 2>'" +
                              (dir / "err").string() + "'";
  const int raw = std::system(command.c_str());
  CliResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = Slurp(dir / "out");
  r.err = Slurp(dir / "err");
  std::filesystem::remove_all(dir);
  return r;
}

}  // namespace orvo::test
