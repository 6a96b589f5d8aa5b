#include "cli/cli_support.h"

#include <iostream>
#include <iterator>

#include "ide/file_access.h"
#include "ide/source_files.h"

namespace orvo::cli {

MsgAnswer PrintingMessageHandler::Show(const Message& message) {
  const std::string line = format_ == MessageFormat::Json ? Message_Json(message) + "\n" : Message_Text(message);
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  return message.style == MsgStyle::YesNoCritical ? MsgAnswer::No : MsgAnswer::Ok;
}

std::optional<std::string> Read_Source(const std::string& source) {
  if (source == "-") {
    std::string data((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (std::cin.bad()) {
      std::fprintf(stderr, "orvo: cannot read standard input\n");
      return std::nullopt;
    }
    return Mend_LineEnds(data);
  }
  std::string error;
  auto data = Read_Whole_File(source, error);
  if (!data) {
    std::fprintf(stderr, "orvo: cannot read %s: %s\n", source.c_str(), error.c_str());
    return std::nullopt;
  }
  return Mend_LineEnds(*data);
}

}  // namespace orvo::cli
