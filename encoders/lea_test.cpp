// LEA (8Dh, register in reg, base in r/m) and TEST (84h/85h, A8h/A9h, F6h/F7h /0).

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/two_operand_tables.h"
#include "operands/detail.h"

namespace orvo {
namespace {

using enum OpType;

// clang-format off
constexpr OpcodeTable kTestTable{std::array{
    //         dst  src    opcode       group         table
    OpcodeRow{AL,  Imm8,  "",          kNoGroupByte, 0xA8, kFixed},
    OpcodeRow{AX,  Imm16, "\x66",      kNoGroupByte, 0xA9, kFixed},
    OpcodeRow{EAX, Imm32, "",          kNoGroupByte, 0xA9, kFixed},
    OpcodeRow{M8,  Imm8,  "\xF6",      kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R8,  Imm8,  "\xF6",      kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M16, Imm16, "\x66\xF7",  kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R16, Imm16, "\x66\xF7",  kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M32, Imm32, "\xF7",      kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, Imm32, "\xF7",      kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M8,  R8,    "\x84",      kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R8,  R8,    "\x84",      kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M16, R16,   "\x66\x85",  kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R16, R16,   "\x66\x85",  kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M32, R32,   "\x85",      kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, R32,   "\x85",      kNoGroupByte, 0xC0, kFixed},
}};
// clang-format on

void Report_Lea(Diagnostics& sink, std::string_view which, std::string_view heading, std::string_view forms) {
  Report_OperandForms(sink, "LEA", which, heading, forms);
}

}  // namespace

// LEA takes an address: a register in r/m (mod 11) has none and raises #UD.
std::optional<std::uint8_t> Get_LeaOpcode(OpType dst, OpType src, std::string& opcode) {
  if ((dst != R16 && dst != R32) || !Is_Mem(src)) return std::nullopt;
  opcode = dst == R16 ? "\x66\x8D" : "\x8D";
  return 0x00;
}

const OpcodeRow* Find_TestRow(OpType dst, OpType src) { return kTestTable.Find(dst, src); }

std::optional<std::uint8_t> Get_TestOpcode(OpType dst, OpType src, std::string& opcode, Diagnostics& sink) {
  if (const OpcodeRow* row = kTestTable.Find(dst, src)) return Apply_Row(*row, 0, opcode);
  std::string text = "Error in TEST.";
  text += kCR;
  text += kCR;
  text += kTab;
  text += "Not supported:";
  text += kCR;
  text += "TEST ";
  text += Type_Code(dst);
  text += ',';
  text += Type_Code(src);
  sink.Add(text, MsgStyle::OkExclamation);
  return std::nullopt;
}

ByteString Assemble_Lea(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Assemble_Lea(first, second, nullptr, sink);
}

ByteString Assemble_Lea(std::string_view first, std::string_view second, const detail::MemRef* known_second,
                        Diagnostics& sink) {
  return Guard_Entry(sink, "LEA", first, second, [&]() -> ByteString {
    const OpType dst = Get_OperandType(first, sink);
    if (dst != R16 && dst != R32) {
      Report_Lea(sink, " invalid destination operand.", "Must be:", "r16 or r32.");
      return {};
    }
    const OpType src = detail::Operand_Type(detail::Read_Operand(second, sink, known_second), sink);
    if (Is_Imm(src)) {
      Report_Lea(sink, " invalid source operand.", "Not supported:", "imm8 or imm16 or imm32.");
      return {};
    }
    // A register source has no address to load (mod 11 raises #UD), and an unclassifiable
    // source would come out as LEA r,[EAX].
    if (!Is_Mem(src)) {
      Report_Lea(sink, " invalid source operand.", "Must be:", "m16 or m32.");
      return {};
    }
    return Encode_TwoOperand("LEA", first, second, nullptr, known_second, sink);
  });
}

}  // namespace orvo
