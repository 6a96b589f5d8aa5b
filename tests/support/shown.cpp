#include "support/shown.h"

#include "output/export.h"

namespace orvo {
namespace {

// Calls read with a sink and shows what it recorded before handing back its result.
template <typename Read>
auto Shown(Read read) {
  Diagnostics sink;
  auto result = read(sink);
  sink.Forward();
  return result;
}

}  // namespace

OpType Get_OperandType(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return Get_OperandType(text, sink); });
}
OpType Get_ImmType(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return Get_ImmType(text, sink); });
}
std::string Normalize_Number(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return Normalize_Number(text, sink); });
}
bool Is_Number(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return Is_Number(text, sink); });
}
bool Is_Imm8(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return Is_Imm8(text, sink); });
}
bool Is_Imm16(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return Is_Imm16(text, sink); });
}
std::string To_Byte(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return To_Byte(text, sink); });
}
std::string To_Word(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return To_Word(text, sink); });
}
std::string To_Dword(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return To_Dword(text, sink); });
}
std::string To_Bytes(std::string_view text) {
  return Shown([&](Diagnostics& sink) { return To_Bytes(text, sink); });
}
std::string Operand_Refusal(std::string_view operand) {
  return Shown([&](Diagnostics& sink) { return Operand_Refusal(operand, sink); });
}
std::uint8_t Get_DispMod(std::string_view operand) {
  return Shown([&](Diagnostics& sink) { return Get_DispMod(operand, sink); });
}

std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label) {
  return Shown([&](Diagnostics& sink) { return Dispatch_Line(terms, labels, invalid_label, sink); });
}
std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label, FixUp& fixup) {
  return Shown([&](Diagnostics& sink) { return Dispatch_Line(terms, labels, invalid_label, fixup, sink); });
}
std::string Dispatch_Line_Full(const LineTerms& terms, LabelTable& labels, bool& invalid_label,
                               FixUp& fixup) {
  return Shown(
      [&](Diagnostics& sink) { return Dispatch_Line_Full(terms, labels, invalid_label, fixup, sink); });
}
std::string Dispatch_FixUp(const LineTerms& terms, CodeImage& image, const LabelTable& labels,
                           const FixLine& line, bool stack) {
  return Shown([&](Diagnostics& sink) { return Dispatch_FixUp(terms, image, labels, line, stack, sink); });
}
std::string Fix_Jump(CodeImage& image, const LabelTable& labels, std::string_view key,
                     std::string_view operand, const FixLine& line) {
  return Shown([&](Diagnostics& sink) { return Fix_Jump(image, labels, key, operand, line, sink); });
}
std::string Fix_LoopJump(CodeImage& image, const LabelTable& labels, std::string_view key,
                         std::string_view operand, const FixLine& line) {
  return Shown([&](Diagnostics& sink) { return Fix_LoopJump(image, labels, key, operand, line, sink); });
}
ByteString Encode_TwoOperand(std::string_view mnemonic, std::string_view first, std::string_view second,
                             const detail::MemRef* known_first, const detail::MemRef* known_second) {
  return Shown([&](Diagnostics& sink) {
    return Encode_TwoOperand(mnemonic, first, second, known_first, known_second, sink);
  });
}
ByteString Encode_OneOperand(std::string_view key, std::string_view operand, std::string_view count) {
  return Shown([&](Diagnostics& sink) { return Encode_OneOperand(key, operand, count, sink); });
}
ByteString Assemble_Data(std::string_view key, std::string_view operand) {
  return Shown([&](Diagnostics& sink) { return Assemble_Data(key, operand, sink); });
}
ByteString Assemble_DataLine(std::string_view operand) {
  return Shown([&](Diagnostics& sink) { return Assemble_DataLine(operand, sink); });
}
bool Export_CodeImage(std::string_view image, const std::string& file_name, bool as_hex) {
  return Shown([&](Diagnostics& sink) { return Export_CodeImage(image, file_name, as_hex, sink); });
}
bool Export_CodeImage(const CodeImage& image, const std::string& file_name, bool as_hex) {
  return Shown([&](Diagnostics& sink) { return Export_CodeImage(image, file_name, as_hex, sink); });
}
void Save_CodeImage(const CodeImage& image, const std::string& path) {
  Diagnostics sink;
  Save_CodeImage(image, path, sink);
  sink.Forward();
}

namespace detail {
bool Literal_Value(std::string_view text, std::int64_t& value) {
  return Shown([&](Diagnostics& sink) { return Literal_Value(text, value, sink); });
}
MemRef Read_MemRef(std::string_view rest) {
  return Shown([&](Diagnostics& sink) { return Read_MemRef(rest, sink); });
}
OperandReading Read_Operand(std::string_view text, const MemRef* known) {
  return Shown([&](Diagnostics& sink) { return Read_Operand(text, sink, known); });
}
OpType Operand_Type(const OperandReading& reading) {
  return Shown([&](Diagnostics& sink) { return Operand_Type(reading, sink); });
}
std::string Operand_Refusal(std::string_view operand, std::optional<MemRef>& known) {
  return Shown([&](Diagnostics& sink) { return Operand_Refusal(operand, known, sink); });
}
}  // namespace detail

}  // namespace orvo
