#include "cli/cli_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "app/source_files.h"
#include "base/file_access.h"

namespace orvo::cli {

namespace {
int stdout_error = 0;  // errno of the first failed write of standard output
}  // namespace

bool Write_Stream(std::FILE* f, std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0) return true;
  if (f == stdout && stdout_error == 0) stdout_error = errno;
  return false;
}

int Finish_Output(int status) {
  if (std::fflush(stdout) != 0 && stdout_error == 0) stdout_error = errno;
  if (std::ferror(stdout)) {
    std::fprintf(stderr, "orvo: cannot write standard output: %s\n",
                 Error_Description(stdout_error != 0 ? stdout_error : EIO).c_str());
    status = status == 0 ? 1 : status;
  }
  // Boxes of build and list go to stderr: losing them loses the result too.
  if (std::fflush(stderr) != 0 || std::ferror(stderr)) status = status == 0 ? 1 : status;
  return status;
}

MsgAnswer PrintingMessageHandler::Show(const Message& message) {
  const std::string line =
      format_ == MessageFormat::Json ? Message_Json(message) + "\n" : Message_Text(message);
  Write_Stream(out_, line);
  return message.style == MsgStyle::YesNoCritical ? MsgAnswer::No : MsgAnswer::Ok;
}

std::optional<std::string> Read_SourceBytes(const std::string& source) {
  std::string error;
  if (source == "-") {
    auto data = Read_Whole_Descriptor(STDIN_FILENO, error, kMaxSourceBytes);
    if (!data) std::fprintf(stderr, "orvo: cannot read standard input: %s\n", error.c_str());
    return data;
  }
  // A pipe is read as cat reads it, waiting for its writer; a person at a terminal is told so.
  struct stat st {};
  if (::stat(source.c_str(), &st) == 0 && S_ISFIFO(st.st_mode) && ::isatty(STDERR_FILENO))
    std::fprintf(stderr, "orvo: waiting for a program to write into the pipe %s\n", source.c_str());
  ReadLimits limits;
  limits.max_bytes = kMaxSourceBytes;
  auto data = Read_Whole_File(source, error, limits);
  if (!data) std::fprintf(stderr, "orvo: cannot read %s: %s\n", source.c_str(), error.c_str());
  return data;
}

std::optional<std::string> Read_Source(const std::string& source) {
  auto data = Read_SourceBytes(source);
  if (!data) return std::nullopt;
  return Mend_LineEnds(std::move(*data));
}

}  // namespace orvo::cli
