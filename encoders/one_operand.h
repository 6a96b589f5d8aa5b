#pragma once
// Internals of the one-operand group and the families built on it (PUSH/POP, jumps and calls,
// shifts, SETcc, VERR/VERW, data, strings): opcode-table lookups, immediate and displacement
// encoding, and the fault guard every entry point runs its body in.

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "encoders/encoders.h"
#include "encoders/line_faults.h"
#include "operands/mnemonic_index.h"
#include "operands/operands.h"

namespace orvo {

// ---- Group tables ----------------------------------------------------------------------------
// The nine operand types the group encoder takes: register, memory or immediate of any width.
constexpr bool Is_OneOperandType(OpType t) { return Is_Reg(t) || Is_Mem(t) || Is_Imm(t); }

enum class GroupFamily : std::uint8_t { None, MulDiv, IncDec, Shift, Ver, Pop };
enum class ShiftCount : std::uint8_t { Invalid, One, CL, Imm8 };

// Family and reg digit (already times 8) of a group mnemonic in capitals; None when unknown.
struct GroupDigit {
  GroupFamily family = GroupFamily::None;
  std::uint8_t digit = 0;
};
GroupDigit Get_GroupDigit(std::string_view mnemonic);

// The opcodes of the shifts for each kind of count.
struct ShiftOpcodes {
  ShiftCount count;
  std::uint8_t byte_form;
  std::uint8_t word_form;
};
// clang-format off
inline constexpr std::array kShiftOpcodes{
    //           count              byte  word/dword
    ShiftOpcodes{ShiftCount::One,   0xD0, 0xD1},
    ShiftOpcodes{ShiftCount::CL,    0xD2, 0xD3},
    ShiftOpcodes{ShiftCount::Imm8,  0xC0, 0xC1},
};
// clang-format on
const ShiftOpcodes* Find_ShiftOpcodes(ShiftCount count);

// A register or address operand of the NOT/NEG/MUL/IMUL/DIV/IDIV, INC/DEC or shift group (key
// in capitals; count and count_byte for the shifts) into out, without a box; false leaves the
// line to the full encoder.
bool Encode_OneOperand_Plain(std::string_view key, std::string_view operand, ShiftCount count,
                             std::uint8_t count_byte, LineBytes& out);

// Opcode string and table byte of an r/m group form: byte_form for 8 bits, word_form for 16 and
// 32 bits (66h in front for 16); the table byte is the digit for memory, C0h + digit for a
// register. Other types give ("", 0).
std::uint8_t Get_GroupForm(std::uint8_t byte_form, std::uint8_t word_form, std::uint8_t digit, OpType type,
                           std::string& opcode);
// The same, put after an instruction's bytes so far.
std::uint8_t Put_GroupForm(std::uint8_t byte_form, std::uint8_t word_form, std::uint8_t digit, OpType type,
                           InstructionBytes& opcode);
// "Syntax error:" box of a family table asked for a mnemonic it does not hold.
void Report_OpcodeMissing(Diagnostics& sink, std::string_view mnemonic);

// The family tables: each fills the opcode string and returns the table byte; ("", 0) refuses.
std::uint8_t Get_MulDivOpcode(std::string_view mnemonic, OpType type, std::string& opcode, Diagnostics& sink);
std::uint8_t Get_IncDecOpcode(std::string_view mnemonic, OpType type, std::string& opcode, Diagnostics& sink);
std::uint8_t Get_ShiftOpcode(std::string_view mnemonic, OpType type, std::string_view count,
                             std::string& opcode, Diagnostics& sink);
std::uint8_t Get_PopOpcode(OpType type, std::string& opcode);
std::uint8_t Put_PopOpcode(OpType type, InstructionBytes& opcode);
std::uint8_t Get_SetccOpcode(std::string_view mnemonic, OpType type, std::string& opcode);
std::uint8_t Get_VerOpcode(std::string_view mnemonic, OpType type, std::string& opcode);
// Second opcode byte (90h..9Fh) of a SETcc mnemonic in capitals, 0 when it names none.
std::uint8_t Get_SetccByte(std::string_view mnemonic);

ShiftCount Get_ShiftCountType(std::string_view count, Diagnostics& sink);

// ---- Immediates and displacements ------------------------------------------------------------
ByteString Encode_ImmOperand(std::string_view mnemonic, std::string_view operand, Diagnostics& sink);
ByteString Get_ImmOpcode(std::string_view mnemonic, OpType imm_type, Diagnostics& sink);

// Value of a literal with its sign: the leading value, negated when a minus led the text.
double Signed_Value(std::string_view text, Diagnostics& sink);
// Counts, ports and vectors are 0..255 (stack counts and frame sizes 0..65535): a negative one
// would wrap to another number. Records "Out of range" titled with the instruction and returns
// false for a negative value.
bool Check_Unsigned8(std::string_view value_text, std::string_view instruction, Diagnostics& sink);
bool Check_Unsigned16(std::string_view value_text, std::string_view instruction, Diagnostics& sink);
// To_Dword for a literal that must fit 32 bits: false when its digits exceed a doubleword (the
// conversion would drop the top digit or add bytes); otherwise out holds exactly four bytes.
bool Checked_Dword(std::string_view text, ByteString& out, Diagnostics& sink);

// ---- Data ------------------------------------------------------------------------------------
// Items of a DB/DW/DD list: cut at commas outside double quotes; quotes stay in the items.
std::vector<std::string_view> Split_DataList(std::string_view text);

}  // namespace orvo
