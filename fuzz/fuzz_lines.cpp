// The whole compile of programs written from the fuzzer's bytes in the shape of the language:
// instructions from the dispatch table and the jump/SETcc rules, registers of every width,
// memory operands with base, index, scale and displacement, numbers in every notation, labels,
// constants, data lines, comments. A few edits per line (a dropped, doubled or stray character,
// a changed case) make near-valid lines. Besides crashes and sanitizer reports, a compile that
// stops without a box, or finishes without addresses, is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "assembler/compile.h"
#include "assembler/dispatch.h"
#include "base/message_box.h"
#include "support/recording_handler.h"

namespace {

constexpr std::array<std::string_view, 30> kConditions = {
    "O",   "NO", "B",  "NAE", "C",  "AE", "NB", "NC", "E",   "Z",  "NE", "NZ", "BE", "NA", "A",
    "NBE", "S",  "NS", "P",   "PE", "NP", "PO", "L",  "NGE", "GE", "NL", "LE", "NG", "G",  "NLE"};
constexpr std::array<std::string_view, 8> kReg32 = {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"};
constexpr std::array<std::string_view, 8> kReg16 = {"AX", "CX", "DX", "BX", "SP", "BP", "SI", "DI"};
constexpr std::array<std::string_view, 8> kReg8 = {"AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH"};
constexpr std::array<std::string_view, 6> kSegment = {"CS", "SS", "DS", "ES", "FS", "GS"};
constexpr std::array<std::string_view, 4> kSizeWords = {"BYTE PTR ", "WORD PTR ", "DWORD PTR ", "QWORD PTR "};
constexpr std::array<std::string_view, 6> kLabels = {"L1", "Loop_2", "_", "Table", "X", "end_here"};
constexpr std::array<std::string_view, 4> kConstNames = {"Arg1", "N", "Size_", "K9"};
constexpr std::array<char, 10> kStray = {' ', ',', ':', '[', ']', '+', '*', '-', '\'', '"'};

class LineWriter {
 public:
  explicit LineWriter(FuzzedDataProvider& in) : in_(in), mnemonics_(orvo::Dispatch_Mnemonics()) {}

  std::string Program() {
    std::string text;
    const int lines = in_.ConsumeIntegralInRange(1, 2000);
    for (int i = 0; i < lines && in_.remaining_bytes() > 0; ++i) {
      if (i > 0) text += "\r\n";
      std::string line = Line();
      Edit(line);
      text += line;
    }
    return text;
  }

 private:
  template <typename List>
  auto Pick(const List& list) {
    return list[in_.ConsumeIntegralInRange<std::size_t>(0, list.size() - 1)];
  }

  std::string Number() {
    const std::uint32_t v = in_.ConsumeIntegral<std::uint32_t>();
    // Small values most of the time: the bounds of imm8, rel8 and disp8 sit there.
    const std::uint32_t value = in_.ConsumeBool() ? v % 300 : v;
    std::string out;
    switch (in_.ConsumeIntegralInRange(0, 6)) {
      case 0:
        out = std::to_string(value);
        break;
      case 1:
        out = "-" + std::to_string(value);
        break;
      case 2:
        out = "&H" + Hex(value);
        break;
      case 3:
        out = "-&H" + Hex(value);
        break;
      case 4:
        out = "&B" + Binary(value);
        break;
      case 5:
        out = std::to_string(value) + (in_.ConsumeBool() ? "%" : "&");
        break;
      case 6:
        out = std::to_string(static_cast<std::uint64_t>(value) << in_.ConsumeIntegralInRange(0, 40));
        break;
    }
    return out;
  }

  static std::string Hex(std::uint32_t v) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    do {
      out.insert(out.begin(), kDigits[v & 15]);
      v >>= 4;
    } while (v != 0);
    return out;
  }

  static std::string Binary(std::uint32_t v) {
    std::string out;
    do {
      out.insert(out.begin(), static_cast<char>('0' + (v & 1)));
      v >>= 1;
    } while (v != 0);
    return out;
  }

  // Registers and size words of one width (0: 8, 1: 16, 2: 32 bits), so that most operand pairs
  // agree and the line gets past the first checks.
  std::string Register(int width) {
    switch (width) {
      case 0:
        return std::string(Pick(kReg8));
      case 1:
        return std::string(Pick(kReg16));
      default:
        return std::string(Pick(kReg32));
    }
  }

  std::string Memory(int width) {
    std::string out;
    if (in_.ConsumeIntegralInRange(0, 2) == 0)
      out += in_.ConsumeIntegralInRange(0, 15) == 0 ? Pick(kSizeWords) : kSizeWords[width];
    if (in_.ConsumeIntegralInRange(0, 7) == 0) out += std::string(Pick(kSegment)) + ":";
    out += '[';
    bool any = false;
    if (in_.ConsumeBool()) {
      out += in_.ConsumeIntegralInRange(0, 15) == 0 ? Pick(kReg16) : Pick(kReg32);
      any = true;
    }
    if (in_.ConsumeIntegralInRange(0, 2) == 0) {
      if (any) out += '+';
      out += Pick(kReg32);
      if (in_.ConsumeBool()) {
        static constexpr std::array<std::string_view, 6> kScales = {"1", "2", "4", "8", "3", "16"};
        out += '*';
        out +=
            in_.ConsumeIntegralInRange(0, 7) == 0 ? Pick(kScales) : kScales[in_.ConsumeIntegralInRange(0, 3)];
      }
      any = true;
    }
    if (!any || in_.ConsumeBool()) {
      std::string disp = in_.ConsumeIntegralInRange(0, 4) == 0 ? std::string(Pick(kLabels)) : Number();
      if (any && disp[0] != '-') out += '+';
      out += disp;
    }
    out += ']';
    return out;
  }

  std::string Operand(int width) {
    switch (in_.ConsumeIntegralInRange(0, 31)) {
      case 0:
        return std::string(Pick(kSegment));
      case 1:
        return Register(in_.ConsumeIntegralInRange(0, 2));  // a width that may not agree
      case 2:
        return std::string(Pick(kConstNames));
      case 3:
        return in_.ConsumeRandomLengthString(12);
      case 4:
      case 5:
      case 6:
        return std::string(Pick(kLabels));
      default:
        break;
    }
    switch (in_.ConsumeIntegralInRange(0, 2)) {
      case 0:
        return Register(width);
      case 1:
        return Memory(width);
      default:
        return Number();
    }
  }

  std::string Mnemonic() {
    switch (in_.ConsumeIntegralInRange(0, 9)) {
      case 0:
        return "J" + std::string(Pick(kConditions));
      case 1:
        return "SET" + std::string(Pick(kConditions));
      default:
        return std::string(Pick(mnemonics_));
    }
  }

  std::string Instruction() {
    std::string line = Mnemonic();
    const int width = in_.ConsumeIntegralInRange(0, 2);
    int operands = in_.ConsumeIntegralInRange(0, 2);
    if (in_.ConsumeIntegralInRange(0, 15) == 0) operands = 3;
    for (int k = 0; k < operands; ++k) {
      line += k == 0 ? " " : ",";
      // A register first most of the time: two memory operands are refused at once.
      line += k == 0 && in_.ConsumeBool() ? Register(width) : Operand(width);
    }
    return line;
  }

  std::string Data() {
    static constexpr std::array<std::string_view, 3> kData = {"DB", "DW", "DD"};
    std::string line;
    if (in_.ConsumeBool()) line = std::string(Pick(kLabels)) + " ";
    line += Pick(kData);
    const int items = in_.ConsumeIntegralInRange(1, 6);
    for (int k = 0; k < items; ++k) {
      line += k == 0 ? " " : ",";
      if (in_.ConsumeIntegralInRange(0, 3) == 0)
        line += "\"" + in_.ConsumeRandomLengthString(10) + (in_.ConsumeBool() ? "\"" : "");
      else
        line += Number();
    }
    return line;
  }

  std::string Line() {
    switch (in_.ConsumeIntegralInRange(0, 31)) {
      case 0:
        return std::string(Pick(kLabels)) + ":";
      case 1:
        return std::string(Pick(kLabels)) + ": " + Instruction();
      case 2:
        return "CONST " + std::string(Pick(kConstNames)) + (in_.ConsumeBool() ? " = " : " EQU ") +
               Operand(in_.ConsumeIntegralInRange(0, 2));
      case 3:
        return Data();
      case 4: {
        static constexpr std::array<std::string_view, 3> kComments = {"; ", "' ", "REM "};
        return std::string(Pick(kComments)) + in_.ConsumeRandomLengthString(20);
      }
      case 5:
        return in_.ConsumeRandomLengthString(24);
      case 6:
        return {};
      default: {
        std::string line = Instruction();
        if (in_.ConsumeIntegralInRange(0, 7) == 0) line += " ; " + in_.ConsumeRandomLengthString(8);
        return line;
      }
    }
  }

  // Near-valid lines: one small edit now and then, and any case.
  void Edit(std::string& line) {
    if (line.empty()) return;
    const std::size_t at = in_.ConsumeIntegralInRange<std::size_t>(0, line.size() - 1);
    switch (in_.ConsumeIntegralInRange(0, 31)) {
      case 0:
        line.erase(at, 1);
        break;
      case 1:
        line.insert(at, 1, line[at]);
        break;
      case 2:
        line.insert(at, 1, Pick(kStray));
        break;
      case 3:
        for (char& c : line)
          if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        break;
      case 4:
        line = "  " + line + "\t ";
        break;
      default:
        break;
    }
  }

  FuzzedDataProvider& in_;
  std::vector<std::string_view> mnemonics_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  orvo::CompileOptions options;
  options.stack = in.ConsumeBool();
  orvo::RecordingMessageHandler recorder;
  recorder.default_answer = in.ConsumeBool() ? orvo::MsgAnswer::Yes : orvo::MsgAnswer::No;
  orvo::ScopedMessageHandler scope(recorder);
  const std::string text = LineWriter(in).Program();

  orvo::CompileSession session;
  const orvo::CompileOutcome outcome = session.Compile(text, options);
  if (outcome == orvo::CompileOutcome::Stopped && recorder.Messages().empty()) __builtin_trap();
  if (outcome == orvo::CompileOutcome::Finished && !session.Listing_().Has_Addresses()) __builtin_trap();
  (void)session.Listing_().Hex_Text();
  return 0;
}
