// MOV: register, memory and immediate forms.

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/two_operand_tables.h"

namespace orvo {
namespace {

using enum OpType;

// clang-format off
constexpr OpcodeTable kMovTable{std::array{
    //         dst  src    opcode        group        table  group?
    OpcodeRow{M8,  R8,    "\x88",       kNoGroupByte, 0x00, kFixed},  // reg = source
    OpcodeRow{R8,  R8,    "\x8A",       kNoGroupByte, 0xC0, kFixed},  // reg = destination
    OpcodeRow{M16, R16,   "\x66\x89",   kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R16, R16,   "\x66\x89",   kNoGroupByte, 0xC0, kFixed},  // reg = source
    OpcodeRow{M32, R32,   "\x89",       kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, R32,   "\x89",       kNoGroupByte, 0xC0, kFixed},  // reg = source
    OpcodeRow{R8,  M8,    "\x8A",       kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R16, M16,   "\x66\x8B",   kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, M32,   "\x8B",       kNoGroupByte, 0x00, kFixed},
    OpcodeRow{M8,  Imm8,  "\xC6",       kNoGroupByte, 0x00, kFixed},  // /0
    OpcodeRow{R8,  Imm8,  "",           kNoGroupByte, 0xB0, kFixed},  // B0+r
    OpcodeRow{M16, Imm16, "\x66\xC7",   kNoGroupByte, 0x00, kFixed},  // /0
    OpcodeRow{M32, Imm32, "\xC7",       kNoGroupByte, 0x00, kFixed},  // /0
    OpcodeRow{R16, Imm16, "\x66",       kNoGroupByte, 0xB8, kFixed},  // B8+r
    OpcodeRow{R32, Imm32, "",           kNoGroupByte, 0xB8, kFixed},  // B8+r
    OpcodeRow{AL,  Imm8,  "",           kNoGroupByte, 0xB0, kFixed},
    OpcodeRow{AX,  Imm16, "\x66",       kNoGroupByte, 0xB8, kFixed},
    OpcodeRow{EAX, Imm32, "",           kNoGroupByte, 0xB8, kFixed},
}};
// clang-format on

}  // namespace

const OpcodeRow* Find_MovRow(OpType dst, OpType src) { return kMovTable.Find(dst, src); }

std::optional<std::uint8_t> Get_MovOpcode(OpType dst, OpType src, std::string& opcode, Diagnostics& sink) {
  if (const OpcodeRow* row = kMovTable.Find(dst, src)) return Apply_Row(*row, 0, opcode);
  Report_InvalidOperands(sink, "MOV", dst, src);
  return std::nullopt;
}

ByteString Assemble_Mov(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Encode_TwoOperand("MOV", first, second, sink);
}

}  // namespace orvo
