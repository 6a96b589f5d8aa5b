#pragma once
// RUN without the window: the argument fields, the run, and the box that reports it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/source_lines.h"
#include "run/run_engine.h"

namespace orvo {

// "\rline N: text" to follow a fault box's text for a stop at where inside the routine's code,
// else nothing.
std::string Fault_LineText(const SourceLineMap* lines, std::uint32_t where);

// Command3_Click without the window: converts the four fields, runs code, and shows the
// "FUNCTION RETURN: " box or the "Error in assembler program" box. Returns the run's result
// (status Faulted with an empty image run, or when an argument is out of range). With lines, the
// error box ends with the source line of the fault: "line N: text".
RunResult Command3_Run(RunEngine& engine, std::string_view code, const std::array<std::string, 4>& fields,
                       const RunLimits& limits, const SourceLineMap* lines = nullptr);

}  // namespace orvo
