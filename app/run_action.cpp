#include "app/run_action.h"

#include "base/message_box.h"

namespace orvo {

std::string Fault_LineText(const SourceLineMap* lines, std::uint32_t where) {
  if (lines == nullptr || where < Get_CodeBase()) return {};
  const std::string line = lines->Describe(where - Get_CodeBase());
  return line.empty() ? line : "\r" + line;
}

RunResult Command3_Run(RunEngine& engine, std::string_view code, const std::array<std::string, 4>& fields,
                       const RunLimits& limits, const SourceLineMap* lines) {
  std::array<std::int32_t, 4> args{};
  for (std::size_t i = 0; i < 4; ++i) {
    if (!Parse_ArgumentNumber(fields[i], args[i])) {
      Show_Message(Argument_RangeText(i, fields[i]), MsgStyle::OkExclamation, kAppTitle);
      RunResult bad;
      bad.status = RunStatus::Faulted;
      bad.what = "Argument " + std::to_string(i + 1) + " is out of range";
      return bad;
    }
  }
  RunResult result = engine.Run_Code(code, args, limits);
  if (result.status == RunStatus::Returned)
    Show_Message("FUNCTION RETURN: " + std::to_string(result.eax), MsgStyle::Ok);
  else
    Show_Message(Run_ErrorText(result) + Fault_LineText(lines, result.where), MsgStyle::OkExclamation,
                 kAppTitle);
  return result;
}

}  // namespace orvo
