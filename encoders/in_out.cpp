// IN and OUT: the accumulator and a port (an 8-bit number or DX). No ModRM byte.

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/one_operand.h"
#include "encoders/two_operand_tables.h"

namespace orvo {
namespace {

using enum OpType;

// clang-format off
constexpr OpcodeTable kInTable{std::array{
    //         dst   src    opcode      group         table
    OpcodeRow{AL,   Imm8,  "\xE4",     kNoGroupByte, 0, kFixed},  // IN AL,imm8
    OpcodeRow{AX,   Imm8,  "\x66\xE5", kNoGroupByte, 0, kFixed},  // IN AX,imm8
    OpcodeRow{EAX,  Imm8,  "\xE5",     kNoGroupByte, 0, kFixed},  // IN EAX,imm8
    OpcodeRow{R8,   R16,   "\xEC",     kNoGroupByte, 0, kFixed},  // IN AL,DX
    OpcodeRow{R16,  R16,   "\x66\xED", kNoGroupByte, 0, kFixed},  // IN AX,DX
    OpcodeRow{R32,  R16,   "\xED",     kNoGroupByte, 0, kFixed},  // IN EAX,DX
}};

constexpr OpcodeTable kOutTable{std::array{
    OpcodeRow{Imm8, R8,    "\xE6",     kNoGroupByte, 0, kFixed},  // OUT imm8,AL
    OpcodeRow{Imm8, R16,   "\x66\xE7", kNoGroupByte, 0, kFixed},  // OUT imm8,AX
    OpcodeRow{Imm8, R32,   "\xE7",     kNoGroupByte, 0, kFixed},  // OUT imm8,EAX
    OpcodeRow{R16,  R8,    "\xEE",     kNoGroupByte, 0, kFixed},  // OUT DX,AL
    OpcodeRow{R16,  R16,   "\x66\xEF", kNoGroupByte, 0, kFixed},  // OUT DX,AX
    OpcodeRow{R16,  R32,   "\xEF",     kNoGroupByte, 0, kFixed},  // OUT DX,EAX
}};
// clang-format on

// AL, AX or EAX.
bool Is_Accumulator(OpType type, std::string_view reg) {
  return (type == R8 && Get_Reg8Code(reg) == 0) || (type == R16 && Get_Reg16Code(reg) == 0) ||
         (type == R32 && Get_Reg32Code(reg) == 0);
}
bool Is_DX(OpType type, std::string_view reg) { return type == R16 && Get_Reg16Code(reg) == 2; }

void Report_Operand(Diagnostics& sink, std::string_view instruction, std::string_view which,
                    std::string_view must_be) {
  Report_OperandForms(sink, instruction, which, "Must be:", must_be);
}

}  // namespace

std::optional<std::uint8_t> Get_InOpcode(OpType dst, OpType src, std::string& opcode) {
  if (const OpcodeRow* row = kInTable.Find(dst, src)) return Apply_Row(*row, 0, opcode);
  return std::nullopt;
}

std::optional<std::uint8_t> Get_OutOpcode(OpType dst, OpType src, std::string& opcode) {
  if (const OpcodeRow* row = kOutTable.Find(dst, src)) return Apply_Row(*row, 0, opcode);
  return std::nullopt;
}

ByteString Assemble_In(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Guard_Entry(sink, "IN", first, second, [&]() -> ByteString {
    MemForm form{};
    std::string disp;
    const std::string reg1 = Parse_MemOperand(first, form, disp);
    const std::string reg2 = Parse_MemOperand(second, form, disp);
    if (!Is_Accumulator(Get_OperandType(first, sink), reg1)) {
      Report_Operand(sink, "IN", " invalid destination operand.", "AL or AX or EAX.");
      return {};
    }
    const OpType src = Get_OperandType(second, sink);
    if (src != Imm8 && !Is_DX(src, reg2)) {
      Report_Operand(sink, "IN", " invalid source operand.", "imm8 or DX.");
      return {};
    }
    if (src == Imm8 && !Check_Unsigned8(second, "IN " + std::string(first) + "," + std::string(second), sink))
      return {};
    return Encode_TwoOperand("IN", first, second, sink);
  });
}

ByteString Assemble_Out(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Guard_Entry(sink, "OUT", first, second, [&]() -> ByteString {
    const OpType dst = Get_OperandType(first, sink);
    if (dst != Imm8 && !Is_DX(dst, first)) {
      Report_Operand(sink, "OUT", " invalid destination operand.", "DX or imm8.");
      return {};
    }
    if (!Is_Accumulator(Get_OperandType(second, sink), second)) {
      Report_Operand(sink, "OUT", " invalid source operand.", "AL or AX or EAX.");
      return {};
    }
    if (dst == Imm8 && !Check_Unsigned8(first, "OUT " + std::string(first) + "," + std::string(second), sink))
      return {};
    return Encode_TwoOperand("OUT", first, second, sink);
  });
}

}  // namespace orvo
