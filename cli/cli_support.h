#pragma once
// Shared pieces of the orvo subcommands: reading SOURCE, printing boxes, compiling.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assembler/compile.h"
#include "base/message_box.h"

namespace orvo::cli {

enum class MessageFormat { Text, Json };

// Prints each box as it is shown: JSON lines or a readable block; Yes/No is answered No.
class PrintingMessageHandler : public MessageHandler {
 public:
  PrintingMessageHandler(std::FILE* out, MessageFormat format) : out_(out), format_(format) {}
  MsgAnswer Show(const Message& message) override;

 private:
  std::FILE* out_;
  MessageFormat format_;
};

// Writes and flushes; false when the bytes did not all reach the stream. The first failure's
// cause is kept for Finish_Output.
bool Write_Stream(std::FILE* f, std::string_view bytes);

// The exit status once every output has been flushed: output that was lost (a full disk, a
// closed stream) turns success into 1; a lost standard output is reported on stderr.
int Finish_Output(int status);

// Reads SOURCE (a path or "-" for stdin), at most kMaxSourceBytes, line ends mended. On failure
// prints why on stderr and returns nullopt.
std::optional<std::string> Read_Source(const std::string& source);
// The same bytes as read, lone LFs and all (for a compile that splits lines at LineBreaks::CrLfOrLf).
std::optional<std::string> Read_SourceBytes(const std::string& source);

// Options every subcommand shares.
struct CommonOptions {
  bool stack = false;
  std::string messages = "text";
  std::string source;
};

// orvo run: implemented beside the run engine.
struct RunOptions {
  CommonOptions common;
  double timeout_seconds = 10.0;
  bool registers = false;
  std::vector<std::string> arguments;
};
int Run_Command(const RunOptions& options);

// orvo trace: a row per executed instruction, then the result as orvo run prints it.
struct TraceOptions {
  CommonOptions common;
  double timeout_seconds = 10.0;
  std::uint64_t max_steps = 1000000;
  std::vector<std::string> arguments;
};
int Trace_Command(const TraceOptions& options);

}  // namespace orvo::cli
