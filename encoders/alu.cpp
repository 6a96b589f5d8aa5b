// The arithmetic/logic group ADD OR ADC SBB AND SUB XOR CMP: one opcode pattern, a base value
// per mnemonic (also the /digit of the immediate forms 80h/81h).

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/two_operand_tables.h"

namespace orvo {
namespace {

using enum OpType;

struct AluBaseRow {
  std::string_view mnemonic;
  std::uint8_t base;
};

// clang-format off
constexpr std::array kAluBase{
    AluBaseRow{"ADD", 0x00},
    AluBaseRow{"OR",  0x08},
    AluBaseRow{"ADC", 0x10},
    AluBaseRow{"SBB", 0x18},
    AluBaseRow{"AND", 0x20},
    AluBaseRow{"SUB", 0x28},
    AluBaseRow{"XOR", 0x30},
    AluBaseRow{"CMP", 0x38},
};

constexpr auto kAluBaseKeys = [] {
  std::array<std::uint64_t, kAluBase.size()> keys{};
  for (std::size_t i = 0; i < kAluBase.size(); ++i) keys[i] = Pack_Mnemonic(kAluBase[i].mnemonic);
  return keys;
}();

// group = b: the register forms are b+0..b+3, the immediate forms 80h/81h with /b, the
// accumulator forms b+4 and b+5.
constexpr OpcodeTable kAluTable{std::array{
    //         dst  src    opcode       b + ...  table  b added?
    OpcodeRow{M8,  R8,    "",          0,       0x00, kFixed},
    OpcodeRow{R8,  R8,    "",          2,       0xC0, kFixed},
    OpcodeRow{M16, R16,   "\x66",      1,       0x00, kFixed},
    OpcodeRow{R16, R16,   "\x66",      3,       0xC0, kFixed},
    OpcodeRow{M32, R32,   "",          1,       0x00, kFixed},
    OpcodeRow{R32, R32,   "",          3,       0xC0, kFixed},
    OpcodeRow{R8,  M8,    "",          2,       0x00, kFixed},
    OpcodeRow{R16, M16,   "\x66",      3,       0x00, kFixed},
    OpcodeRow{R32, M32,   "",          3,       0x00, kFixed},
    OpcodeRow{M8,  Imm8,  "\x80",      kNoGroupByte, 0x00, kPlusGroup},
    OpcodeRow{R8,  Imm8,  "\x80",      kNoGroupByte, 0xC0, kPlusGroup},
    OpcodeRow{M16, Imm16, "\x66\x81",  kNoGroupByte, 0x00, kPlusGroup},
    OpcodeRow{M32, Imm32, "\x81",      kNoGroupByte, 0x00, kPlusGroup},
    OpcodeRow{R16, Imm16, "\x66\x81",  kNoGroupByte, 0xC0, kPlusGroup},
    OpcodeRow{R32, Imm32, "\x81",      kNoGroupByte, 0xC0, kPlusGroup},
    OpcodeRow{AL,  Imm8,  "",          kNoGroupByte, 0x04, kPlusGroup},
    OpcodeRow{AX,  Imm16, "\x66",      kNoGroupByte, 0x05, kPlusGroup},
    OpcodeRow{EAX, Imm32, "",          kNoGroupByte, 0x05, kPlusGroup},
}};

constexpr std::array<std::string_view, 8> kAluLineStarts{
    "ADD ", "ADC ", "SBB ", "AND ", "SUB ", "XOR ", "CMP ", "OR "};
// clang-format on

}  // namespace

std::uint8_t Get_AluBase(std::string_view mnemonic) {
  const std::string_view m = Trim(mnemonic);
  if (m.size() > kMaxPackedMnemonic) return 0;
  const std::uint64_t packed = Pack_Mnemonic_NoCase(m);
  for (std::size_t i = 0; i < kAluBase.size(); ++i)
    if (kAluBaseKeys[i] == packed) return kAluBase[i].base;
  return 0;
}

std::uint8_t Alu_Base_OfPacked(std::uint64_t packed) {
  for (std::size_t i = 0; i < kAluBase.size(); ++i)
    if (kAluBaseKeys[i] == packed) return kAluBase[i].base;
  return 0;
}

const OpcodeRow* Find_AluRow(OpType dst, OpType src) { return kAluTable.Find(dst, src); }

std::optional<std::uint8_t> Get_AluOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                          std::string& opcode, Diagnostics& sink) {
  if (const OpcodeRow* row = kAluTable.Find(dst, src)) return Apply_Row(*row, Get_AluBase(mnemonic), opcode);
  Report_InvalidOperands(sink, Trim_Upper(mnemonic), dst, src);
  return std::nullopt;
}

bool Is_AluLine(std::string_view line) {
  const std::string_view t = Trim(line);
  for (std::string_view start : kAluLineStarts)
    if (Starts_With_NoCase(t, start)) return true;
  return false;
}

}  // namespace orvo
