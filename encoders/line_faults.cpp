#include "encoders/line_faults.h"

#include "base/text.h"

namespace orvo {
namespace {
std::string Line_Text(std::string_view what, std::string_view mnemonic, std::string_view first,
                      std::string_view second, LineShape shape) {
  std::string text(what);
  text += kCR;
  text += kCR;
  text += mnemonic;
  text += ' ';
  text += first;
  if (shape == LineShape::TwoOperands || !second.empty()) {
    text += ',';
    text += second;
  }
  return text;
}
}  // namespace

void Report_LineFault(Diagnostics& sink, const Fault& fault, std::string_view mnemonic,
                      std::string_view first, std::string_view second, LineShape shape) {
  sink.Add(Line_Text(fault.description(), mnemonic, first, second, shape), MsgStyle::Ok,
           Decimal_Text(fault.number()));
}

void Report_LineFailure(Diagnostics& sink, std::string_view what, std::string_view mnemonic,
                        std::string_view first, std::string_view second, LineShape shape) {
  sink.Add(Line_Text(what, mnemonic, first, second, shape));
}

}  // namespace orvo
