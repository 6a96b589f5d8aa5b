// Instructions without operands: one table of mnemonic -> bytes per entry point.

#include <array>

#include "base/text.h"
#include "encoders/encoders.h"
#include "encoders/line_faults.h"
#include "operands/operands.h"

namespace orvo {
namespace {

struct FixedRow {
  std::string_view mnemonic;
  std::string_view bytes;
};

// clang-format off
constexpr std::array kFlagTable{
    FixedRow{"CLC",    "\xF8"},
    FixedRow{"STC",    "\xF9"},
    FixedRow{"CMC",    "\xF5"},
    FixedRow{"CLD",    "\xFC"},
    FixedRow{"STD",    "\xFD"},
    FixedRow{"CLI",    "\xFA"},
    FixedRow{"STI",    "\xFB"},
    FixedRow{"LAHF",   "\x9F"},
    FixedRow{"SAHF",   "\x9E"},
    FixedRow{"PUSHF",  "\x66\x9C"},
    FixedRow{"PUSHFD", "\x9C"},
    FixedRow{"POPF",   "\x66\x9D"},
    FixedRow{"POPFD",  "\x9D"},
};

constexpr std::array kNoOperandTable{
    FixedRow{"AAA",   "\x37"},
    FixedRow{"AAD",   "\xD5\x0A"},
    FixedRow{"AAM",   "\xD4\x0A"},
    FixedRow{"AAS",   "\x3F"},
    FixedRow{"CBW",   "\x66\x98"},
    FixedRow{"CWDE",  "\x98"},
    FixedRow{"CWD",   "\x66\x99"},
    FixedRow{"CDQ",   "\x99"},
    FixedRow{"DAA",   "\x27"},
    FixedRow{"DAS",   "\x2F"},
    FixedRow{"INTO",  "\xCE"},
    FixedRow{"LEAVE", "\xC9"},
    FixedRow{"NOP",   "\x90"},
    FixedRow{"WAIT",  "\x9B"},
    FixedRow{"FWAIT", "\x9B"},
    FixedRow{"HLT",   "\xF4"},
    FixedRow{"IRET",  "\x66\xCF"},
    FixedRow{"IRETD", "\xCF"},
    FixedRow{"XLAT",  "\xD7"},
    FixedRow{"XLATB", "\xD7"},
    FixedRow{"LOCK",  "\xF0"},
};
// clang-format on

template <std::size_t N>
ByteString Lookup(const std::array<FixedRow, N>& table, std::string_view text) {
  const std::string_view t = Trim(text);
  for (const FixedRow& row : table)
    if (Equals_NoCase(row.mnemonic, t)) return ByteString(row.bytes);
  return {};
}

}  // namespace

ByteString Assemble_FlagOp(std::string_view text) { return Lookup(kFlagTable, text); }
ByteString Assemble_NoOperand(std::string_view text) { return Lookup(kNoOperandTable, text); }
ByteString Assemble_AamAad(std::string_view mnemonic, std::string_view operand, Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  const std::string_view t = Trim(operand);
  if (Equals_NoCase(t, m)) return Assemble_NoOperand(m);  // base 10
  return Guard_Faults(sink, m, t, {}, [&]() -> ByteString {
    std::string op(t);
    const OpType suffix = Get_ImmSuffix(op);
    // The base is an unsigned byte: a minus would wrap it into another base.
    const std::string_view digits = Trim(op);
    if ((suffix == OpType::None || suffix == OpType::Imm8) && Is_Number(op, sink) &&
        !digits.starts_with('-') && Is_Imm8(op, sink)) {
      const ByteString base = To_Byte(op, sink);
      if (base.size() == 1) return ByteString(1, m == "AAM" ? '\xD4' : '\xD5') + base;
    }
    sink.Add("Invalid operand: " + std::string(t) + kCR + kCR + kTab + "Usage:" + kCR + m + kCR + m +
             " imm8");
    return {};
  });
}

ByteString Assemble_Pushad() { return ByteString("\x60"); }
ByteString Assemble_Popad() { return ByteString("\x61"); }

}  // namespace orvo
