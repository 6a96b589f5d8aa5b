// String instructions INS OUTS LODS MOVS STOS CMPS SCAS in their B/W/D forms, and the repeat
// prefixes REP (F3h) and REPE/REPZ (F3h), REPNE/REPNZ (F2h).

#include <array>
#include <string>
#include <string_view>

#include "base/text.h"
#include "encoders/encoders.h"
#include "encoders/one_operand.h"

namespace orvo {
namespace {

enum class StringFamily : std::uint8_t { Ins, Outs, Lods, Movs, Stos, Cmps, Scas };

struct StringRow {
  std::string_view mnemonic;
  StringFamily family;
  std::string_view bytes;  // the word form is the dword opcode behind 66h
};

// clang-format off
constexpr std::array kStringRows{
    StringRow{"INSB",  StringFamily::Ins,  "\x6C"}, StringRow{"INSW",  StringFamily::Ins,  "\x66\x6D"}, StringRow{"INSD",  StringFamily::Ins,  "\x6D"},
    StringRow{"OUTSB", StringFamily::Outs, "\x6E"}, StringRow{"OUTSW", StringFamily::Outs, "\x66\x6F"}, StringRow{"OUTSD", StringFamily::Outs, "\x6F"},
    StringRow{"LODSB", StringFamily::Lods, "\xAC"}, StringRow{"LODSW", StringFamily::Lods, "\x66\xAD"}, StringRow{"LODSD", StringFamily::Lods, "\xAD"},
    StringRow{"MOVSB", StringFamily::Movs, "\xA4"}, StringRow{"MOVSW", StringFamily::Movs, "\x66\xA5"}, StringRow{"MOVSD", StringFamily::Movs, "\xA5"},
    StringRow{"STOSB", StringFamily::Stos, "\xAA"}, StringRow{"STOSW", StringFamily::Stos, "\x66\xAB"}, StringRow{"STOSD", StringFamily::Stos, "\xAB"},
    StringRow{"CMPSB", StringFamily::Cmps, "\xA6"}, StringRow{"CMPSW", StringFamily::Cmps, "\x66\xA7"}, StringRow{"CMPSD", StringFamily::Cmps, "\xA7"},
    StringRow{"SCASB", StringFamily::Scas, "\xAE"}, StringRow{"SCASW", StringFamily::Scas, "\x66\xAF"}, StringRow{"SCASD", StringFamily::Scas, "\xAF"},
};
// clang-format on

constexpr auto kStringIndex = Sort_ByMnemonic(kStringRows);

const StringRow* Find_String(std::string_view mnemonic) {
  return Find_Mnemonic_NoCase(kStringIndex, Trim(mnemonic));
}

ByteString Assemble_StringFamily(StringFamily family, std::string_view mnemonic) {
  const StringRow* row = Find_String(mnemonic);
  return (row && row->family == family) ? ByteString(row->bytes) : ByteString();
}

bool Is_CompareFamily(StringFamily f) { return f == StringFamily::Cmps || f == StringFamily::Scas; }

}  // namespace

ByteString Assemble_Ins(std::string_view mnemonic) {
  return Assemble_StringFamily(StringFamily::Ins, mnemonic);
}
ByteString Assemble_Outs(std::string_view mnemonic) {
  return Assemble_StringFamily(StringFamily::Outs, mnemonic);
}
ByteString Assemble_Lods(std::string_view mnemonic) {
  return Assemble_StringFamily(StringFamily::Lods, mnemonic);
}
ByteString Assemble_Movs(std::string_view mnemonic) {
  return Assemble_StringFamily(StringFamily::Movs, mnemonic);
}
ByteString Assemble_Stos(std::string_view mnemonic) {
  return Assemble_StringFamily(StringFamily::Stos, mnemonic);
}
ByteString Assemble_Cmps(std::string_view mnemonic) {
  return Assemble_StringFamily(StringFamily::Cmps, mnemonic);
}
ByteString Assemble_Scas(std::string_view mnemonic) {
  return Assemble_StringFamily(StringFamily::Scas, mnemonic);
}

ByteString Assemble_Rep(std::string_view key, std::string_view operand, Diagnostics& sink) {
  const std::string prefix = Trim_Upper(key);
  const std::string op = Trim_Upper(operand);
  const StringRow* row = Find_Mnemonic(kStringIndex, op);
  if (prefix == "REP") {
    if (row && !Is_CompareFamily(row->family)) return '\xF3' + ByteString(row->bytes);
    sink.Add(std::string("Error in REP:") + kCR + kTab + "Not supported: " + op + kCR + kCR +
             "Syntax:" + kCR + kTab + "REP StringOperation(B/W/D)" + kCR +
             " StringOperation - INS, MOVS, OUTS, LODS, STOS");
    return {};
  }
  const bool repe = prefix == "REPE" || prefix == "REPZ";
  const bool repne = prefix == "REPNE" || prefix == "REPNZ";
  if (!repe && !repne) return {};
  if (row && Is_CompareFamily(row->family)) return (repe ? '\xF3' : '\xF2') + ByteString(row->bytes);
  sink.Add("Error in " + prefix + ":" + kCR + kTab + "Not supported: " + op + kCR + kCR + "Syntax:" + kCR +
           kTab + prefix + " StringOperation(B/W/D)" + kCR + " StringOperation - CMPS, SCAS");
  return {};
}

}  // namespace orvo
