#include "encoders/operand_reads.h"

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
