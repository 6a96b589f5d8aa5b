// The bit-test group BT BTS BTR BTC: register forms 0F (A3 + g - 20h), immediate forms 0F BA /g ib.

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/two_operand_tables.h"

namespace orvo {
namespace {

using enum OpType;

struct BitTestRow {
  std::string_view mnemonic;
  std::uint8_t group;  // /digit in bits 5..3
};

// clang-format off
constexpr std::array kBitTestGroup{
    BitTestRow{"BT",  0x20},  // /4
    BitTestRow{"BTS", 0x28},  // /5
    BitTestRow{"BTR", 0x30},  // /6
    BitTestRow{"BTC", 0x38},  // /7
};

constexpr OpcodeTable kBitTestTable{std::array{
    //         dst  src   opcode             g + ...       table  g added?
    OpcodeRow{M16, R16,  "\x66\x0F",        0xA3 - 0x20,  0x00, kFixed},
    OpcodeRow{R16, R16,  "\x66\x0F",        0xA3 - 0x20,  0xC0, kFixed},
    OpcodeRow{M32, R32,  "\x0F",            0xA3 - 0x20,  0x00, kFixed},
    OpcodeRow{R32, R32,  "\x0F",            0xA3 - 0x20,  0xC0, kFixed},
    OpcodeRow{R16, Imm8, "\x66\x0F\xBA",    kNoGroupByte, 0xC0, kPlusGroup},
    OpcodeRow{M16, Imm8, "\x66\x0F\xBA",    kNoGroupByte, 0x00, kPlusGroup},
    OpcodeRow{R32, Imm8, "\x0F\xBA",        kNoGroupByte, 0xC0, kPlusGroup},
    OpcodeRow{M32, Imm8, "\x0F\xBA",        kNoGroupByte, 0x00, kPlusGroup},
}};
// clang-format on

}  // namespace

std::uint8_t Get_BitTestDigit(std::string_view mnemonic) {
  const std::string_view m = Trim(mnemonic);
  for (const BitTestRow& row : kBitTestGroup)
    if (Equals_NoCase(row.mnemonic, m)) return row.group;
  return 0;
}

std::optional<std::uint8_t> Get_BitTestOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                              std::string& opcode, Diagnostics& sink) {
  const std::uint8_t g = Get_BitTestDigit(mnemonic);
  const std::string m = Trim_Upper(mnemonic);
  if (dst == M8 || dst == R8) {
    sink.Add("Error in " + m + kCR + "Destination operand to small: " + std::string(Type_Code(dst)) +
             Usage_Block(m, " r/m16(32),r16(32)"));
    return std::nullopt;
  }
  if (src == Imm16 || src == Imm32) {
    sink.Add("Error in " + m + kCR + "Source operand to big: " + std::string(Type_Code(src)) +
             Usage_Block(m, " r/m16(32),imm8"));
    return std::nullopt;
  }
  if (const OpcodeRow* row = kBitTestTable.Find(dst, src)) return Apply_Row(*row, g, opcode);
  std::string text = "Invalid operand(s) in " + m + kCR + kTab + std::string(Type_Code(dst)) + "," +
                     std::string(Type_Code(src)) + Usage_Block(m, " r/m16(32),r16(32)");
  text += kCR;
  text += m;
  text += " r/m16(32),imm8";
  sink.Add(text);
  return std::nullopt;
}

}  // namespace orvo
