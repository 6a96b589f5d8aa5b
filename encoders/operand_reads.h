#pragma once
// The operand reads as the encoders call them: the same functions without a Diagnostics
// argument. Each one reads with a sink of its own and shows what the read recorded right after
// the call, so a literal's box keeps its place among the encoder's own boxes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {

OpType Get_OperandType(std::string_view text);
OpType Get_ImmType(std::string_view text);
std::string Normalize_Number(std::string_view text);
bool Is_Number(std::string_view text);
bool Is_Imm8(std::string_view text);
bool Is_Imm16(std::string_view text);
std::string To_Byte(std::string_view text);
std::string To_Word(std::string_view text);
std::string To_Dword(std::string_view text);
std::string To_Bytes(std::string_view text);
std::string Operand_Refusal(std::string_view operand);
std::uint8_t Get_DispMod(std::string_view operand);

namespace detail {
bool Literal_Value(std::string_view text, std::int64_t& value);
MemRef Read_MemRef(std::string_view rest);
OperandReading Read_Operand(std::string_view text, const MemRef* known = nullptr);
OpType Operand_Type(const OperandReading& reading);
std::string Operand_Refusal(std::string_view operand, std::optional<MemRef>& known);
}  // namespace detail

}  // namespace orvo
