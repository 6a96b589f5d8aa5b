#pragma once
// Operations below the compile driver without their Diagnostics argument, for tests that look at
// the boxes through a recording handler: each one records into a sink of its own and shows what
// it recorded right after the call, as the driver does.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "assembler/code_image.h"
#include "assembler/dispatch.h"
#include "assembler/labels.h"
#include "base/diagnostics.h"
#include "encoders/encoders.h"
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

std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label);
std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label, FixUp& fixup);
std::string Dispatch_Line_Full(const LineTerms& terms, LabelTable& labels, bool& invalid_label, FixUp& fixup);
std::string Dispatch_FixUp(const LineTerms& terms, CodeImage& image, const LabelTable& labels,
                           const FixLine& line, bool stack);
std::string Fix_Jump(CodeImage& image, const LabelTable& labels, std::string_view key,
                     std::string_view operand, const FixLine& line);
std::string Fix_LoopJump(CodeImage& image, const LabelTable& labels, std::string_view key,
                         std::string_view operand, const FixLine& line);
ByteString Encode_TwoOperand(std::string_view mnemonic, std::string_view first, std::string_view second,
                             const detail::MemRef* known_first = nullptr,
                             const detail::MemRef* known_second = nullptr);
ByteString Encode_OneOperand(std::string_view key, std::string_view operand, std::string_view count);
ByteString Assemble_Data(std::string_view key, std::string_view operand);
ByteString Assemble_DataLine(std::string_view operand);
bool Export_CodeImage(std::string_view image, const std::string& file_name, bool as_hex);
bool Export_CodeImage(const CodeImage& image, const std::string& file_name, bool as_hex);
void Save_CodeImage(const CodeImage& image, const std::string& path);

namespace detail {
bool Literal_Value(std::string_view text, std::int64_t& value);
MemRef Read_MemRef(std::string_view rest);
OperandReading Read_Operand(std::string_view text, const MemRef* known = nullptr);
OpType Operand_Type(const OperandReading& reading);
std::string Operand_Refusal(std::string_view operand, std::optional<MemRef>& known);
}  // namespace detail

}  // namespace orvo
