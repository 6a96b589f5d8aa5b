#pragma once
// Box for a failure inside an encoder: what happened, an empty line, then the line's instruction.
// A fault of an operand operation is titled with its number. Nothing thrown inside an encoder
// leaves it: the line is refused instead.

#include <exception>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "base/fault.h"

namespace orvo {

// Two-operand lines always show "first,second"; others add ",second" only when there is one.
enum class LineShape { OneOperand, TwoOperands };

void Report_LineFault(Diagnostics& sink, const Fault& fault, std::string_view mnemonic,
                      std::string_view first, std::string_view second = {},
                      LineShape shape = LineShape::OneOperand);
void Report_LineFailure(Diagnostics& sink, std::string_view what, std::string_view mnemonic,
                        std::string_view first, std::string_view second = {},
                        LineShape shape = LineShape::OneOperand);

// Runs body(); a fault or any other exception is reported and the line yields no bytes.
template <class Body>
std::string Guard_Faults(Diagnostics& sink, std::string_view mnemonic, std::string_view first,
                         std::string_view second, Body&& body, LineShape shape = LineShape::OneOperand) {
  try {
    return body();
  } catch (const Fault& fault) {
    Report_LineFault(sink, fault, mnemonic, first, second, shape);
  } catch (const std::exception& e) {
    Report_LineFailure(sink, e.what(), mnemonic, first, second, shape);
  }
  return {};
}

}  // namespace orvo
