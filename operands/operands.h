#pragma once
// The operand model: register codes, operand-type codes, numeric literals and their conversion
// to little-endian bytes, memory operands and the ModRM register byte. All functions are pure
// text operations and show nothing: the literal messages ("Number too big: ", "Conversion
// error") are recorded into the Diagnostics the caller passes, in the order raised. Arithmetic
// faults are thrown as orvo::Fault for the encoders to catch.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "base/fault.h"
#include "base/text.h"

namespace orvo {

// ---- Registers -------------------------------------------------------------------------------
inline constexpr std::uint8_t kNoRegister = 255;

// Code 0..7 (EAX ECX EDX EBX ESP EBP ESI EDI order) of a trimmed, any-case name, or 255.
std::uint8_t Get_Reg32Code(std::string_view text);
std::uint8_t Get_Reg16Code(std::string_view text);
std::uint8_t Get_Reg8Code(std::string_view text);
// CS SS DS ES FS GS in any case, trimmed.
bool Is_SegmentRegister(std::string_view text);
// A general register of any width.
bool Is_RegisterName(std::string_view text);
// Every register name an operand may use (general and segment), in capitals.
std::vector<std::string> Register_Names();

// ---- Operand types ---------------------------------------------------------------------------
// None is the empty code (not classifiable). AL/AX/EAX are the accumulator destination codes.
enum class OpType : std::uint8_t { None, R8, R16, R32, M8, M16, M32, Imm8, Imm16, Imm32, AL, AX, EAX };

// The text code: "r8", "m16", "imm32", "AL", ... and "" for None.
std::string_view Type_Code(OpType type);
constexpr bool Is_Reg(OpType t) { return t == OpType::R8 || t == OpType::R16 || t == OpType::R32; }
constexpr bool Is_Mem(OpType t) { return t == OpType::M8 || t == OpType::M16 || t == OpType::M32; }
constexpr bool Is_Imm(OpType t) { return t == OpType::Imm8 || t == OpType::Imm16 || t == OpType::Imm32; }
// Width in bits of a register, memory or immediate type (AL/AX/EAX included), 0 for None.
constexpr int Type_Bits(OpType t) {
  switch (t) {
    case OpType::R8:
    case OpType::M8:
    case OpType::Imm8:
    case OpType::AL:
      return 8;
    case OpType::R16:
    case OpType::M16:
    case OpType::Imm16:
    case OpType::AX:
      return 16;
    case OpType::R32:
    case OpType::M32:
    case OpType::Imm32:
    case OpType::EAX:
      return 32;
    case OpType::None:
      break;
  }
  return 0;
}

// Size code of a memory operand: 0 none, 1 BYTE PTR, 2 WORD PTR, 3 DWORD PTR or a bare "[".
// Trims text and removes a size prefix from it.
int Strip_SizePtr(std::string& text);
// Segment register names are neither labels nor immediates: None, so encoders refuse them.
OpType Get_OperandType(std::string_view text, Diagnostics& sink);
// A name that may stand for a label: a letter or "_", then letters, digits and "_"; no register
// of any width or mode, no segment register, no size or distance word. Trimmed, any case.
bool Is_LabelShaped(std::string_view text);
// The operand names a label (Is_LabelShaped).
bool Is_LabelName(std::string_view text);
// Removes trailing spaces and a final "?" / "%" / "&" from text; reports Imm8/Imm16/Imm32 or None.
OpType Get_ImmSuffix(std::string& text);
OpType Get_ImmType(std::string_view text, Diagnostics& sink);

// ---- Numeric literals ------------------------------------------------------------------------
// The largest unsigned byte, word and dword: the limits the range tests apply and the boxes quote.
inline constexpr std::uint32_t kByteMax = 0xFF, kWordMax = 0xFFFF, kDwordMax = 0xFFFFFFFF;
// Trimmed, in capitals, &B rewritten as &H; "" after recording "Number too big: ".
std::string Normalize_Number(std::string_view text, Diagnostics& sink);
// Trims text; removes a leading "-" and the spaces after it; true when one was removed.
bool Strip_Minus(std::string& text);
// Value of a digit string in base 2 or 16 (digits put in capitals); throws Fault above 255.
std::uint8_t Parse_Digits(int base, std::string& digits);
bool Is_Number(std::string_view text, Diagnostics& sink);
bool Is_Imm8(std::string_view text, Diagnostics& sink);
bool Is_Imm16(std::string_view text, Diagnostics& sink);
// Leading value: a decimal number (sign, digits, fraction, exponent, blanks skipped) or &H
// number at the start of the text; 0 when none. &H digits are an unsigned magnitude, negated by
// a sign in front (-&H38 is -56); a value beyond the double range is +/-infinity.
double Leading_Value(std::string_view text);
// Hex text of a value: rounded, as signed 32-bit, upper-case, two's complement when negative.
// Throws Fault (overflow) outside the signed 32-bit range.
std::string Hex_Text_Of(double value);

// Conversions to little-endian byte strings. To_Byte/To_Word return "" after recording a
// "Conversion error"; digit pairs above FFh or decimal values outside 32 bits throw Fault.
// To_Dword and To_Bytes give a minus before &H or &B the two's complement (-&H1: FF FF FF FF).
std::string To_Byte(std::string_view text, Diagnostics& sink);
std::string To_Word(std::string_view text, Diagnostics& sink);
std::string To_Dword(std::string_view text, Diagnostics& sink);
std::string To_Bytes(std::string_view text, Diagnostics& sink);

// Why an operand is refused before any encoder reads it: a memory operand that is not a whole
// address, or a text that starts like a number and is none ("Not a number: 1abc"). Empty when
// the operand may go on to its encoder.
std::string Operand_Refusal(std::string_view operand, Diagnostics& sink);

// ---- Memory operands and ModRM ---------------------------------------------------------------
enum class MemForm : std::int16_t { NotBracketed = 0, Bracketed = 1, WithDisp = 2 };

// Splits "[base+disp]" / "[base-disp]"; returns the base text. disp is written only for
// WithDisp ("-" put in front for a minus sign).
std::string Parse_MemOperand(std::string_view text, MemForm& form, std::string& disp);
// The same with the base as a view into text.
std::string_view Split_MemOperand(std::string_view text, MemForm& form, std::string& disp);
// Mod bits 00h, 40h or 80h for the operand's displacement.
std::uint8_t Get_DispMod(std::string_view operand, Diagnostics& sink);
// A type suffix on disp overrides the mod bits and is removed.
void Apply_DispSuffix(std::uint8_t& mod, std::string& disp);
// Register byte (reg*8 + r/m) for a type signature, 0 for signatures outside the table,
// 255 when a register name is not valid.
std::uint8_t Build_ModRM(OpType dst, OpType src, std::string_view dst_base, std::string_view src_base);

// Pair operations: 8 * reg + r/m, or 255 when either name is not in its column.
std::uint8_t Pack_R8R8(std::string_view first, std::string_view second);       // reg=first
std::uint8_t Pack_R16R16(std::string_view first, std::string_view second);     // reg=first
std::uint8_t Pack_R8R32(std::string_view first, std::string_view second);      // reg=first (r8m8)
std::uint8_t Pack_R16R32(std::string_view first, std::string_view second);     // reg=first (r16m16)
std::uint8_t Pack_R32R32(std::string_view first, std::string_view second);     // reg=first
std::uint8_t Pack_R32R32_Rm(std::string_view first, std::string_view second);  // reg=second
std::uint8_t Pack_R32R8_Rm(std::string_view first, std::string_view second);   // reg=second (m8r8)
std::uint8_t Pack_R32R16_Rm(std::string_view first, std::string_view second);  // reg=second (m16r16)

}  // namespace orvo
