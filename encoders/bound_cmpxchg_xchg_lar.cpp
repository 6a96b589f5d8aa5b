// BOUND, CMPXCHG, XCHG and LAR: register/memory pairs without immediates. Each entry admits
// its signatures (memory sized by the register beside it) before the shared encoder runs.

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/two_operand_tables.h"

namespace orvo {
namespace {

using enum OpType;

// clang-format off
// The bounds pair is read from memory: a register operand (mod 11) raises #UD.
constexpr OpcodeTable kBoundTable{std::array{
    //         dst  src   opcode          group         table
    OpcodeRow{R16, M16,  "\x66\x62",     kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, M32,  "\x62",         kNoGroupByte, 0x00, kFixed},
}};

constexpr OpcodeTable kCmpxchgTable{std::array{
    OpcodeRow{M8,  R8,   "\x0F\xB0",     kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R8,  R8,   "\x0F\xB0",     kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M16, R16,  "\x66\x0F\xB1", kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R16, R16,  "\x66\x0F\xB1", kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M32, R32,  "\x0F\xB1",     kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, R32,  "\x0F\xB1",     kNoGroupByte, 0xC0, kFixed},
}};

// No short accumulator form (90h+r): every XCHG takes a ModRM byte.
constexpr OpcodeTable kXchgTable{std::array{
    OpcodeRow{R8,  R8,   "\x86",         kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M8,  R8,   "\x86",         kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R8,  M8,   "\x86",         kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R16, R16,  "\x66\x87",     kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M16, R16,  "\x66\x87",     kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R16, M16,  "\x66\x87",     kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, R32,  "\x87",         kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{M32, R32,  "\x87",         kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, M32,  "\x87",         kNoGroupByte, 0x00, kFixed},
}};

constexpr OpcodeTable kLarTable{std::array{
    OpcodeRow{R16, R16,  "\x66\x0F\x02", kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{R16, M16,  "\x66\x0F\x02", kNoGroupByte, 0x00, kFixed},
    OpcodeRow{R32, R32,  "\x0F\x02",     kNoGroupByte, 0xC0, kFixed},
    OpcodeRow{R32, M32,  "\x0F\x02",     kNoGroupByte, 0x00, kFixed},
}};
// clang-format on

template <std::size_t N>
std::optional<std::uint8_t> Lookup(const OpcodeTable<N>& table, OpType dst, OpType src, std::string& opcode) {
  if (const OpcodeRow* row = table.Find(dst, src)) return Apply_Row(*row, 0, opcode);
  return std::nullopt;
}

// Classifies, sizes memory by the register beside it, admits the table's signatures.
template <std::size_t N>
ByteString Assemble_Pair(std::string_view mnemonic, const OpcodeTable<N>& table, std::string_view usage,
                         std::string_view first, std::string_view second, Diagnostics& sink) {
  return Guard_Entry(sink, mnemonic, first, second, [&]() -> ByteString {
    OpType dst = Get_OperandType(first, sink), src = Get_OperandType(second, sink);
    Match_MemSize(dst, src);
    if (table.Find(dst, src) == nullptr) {
      sink.Add("Error in " + std::string(mnemonic) + Usage_Block(usage));
      return {};
    }
    return Encode_TwoOperand(mnemonic, first, second, sink);
  });
}

}  // namespace

std::optional<std::uint8_t> Get_BoundOpcode(OpType dst, OpType src, std::string& opcode) {
  return Lookup(kBoundTable, dst, src, opcode);
}
std::optional<std::uint8_t> Get_CmpxchgOpcode(OpType dst, OpType src, std::string& opcode) {
  return Lookup(kCmpxchgTable, dst, src, opcode);
}
std::optional<std::uint8_t> Get_XchgOpcode(OpType dst, OpType src, std::string& opcode) {
  return Lookup(kXchgTable, dst, src, opcode);
}
std::optional<std::uint8_t> Get_LarOpcode(OpType dst, OpType src, std::string& opcode) {
  return Lookup(kLarTable, dst, src, opcode);
}

ByteString Assemble_Bound(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Assemble_Pair("BOUND", kBoundTable, "BOUND r16,m16&16 or r32,m32&32", first, second, sink);
}
ByteString Assemble_Cmpxchg(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Assemble_Pair("CMPXCHG", kCmpxchgTable, "CMPXCHG r/m8(16/32),r8(16/32)", first, second, sink);
}
ByteString Assemble_Xchg(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Assemble_Pair("XCHG", kXchgTable, "XCHG r/m8(16/32),r8(16/32) or r8(16/32),r/m8(16/32)", first,
                       second, sink);
}
ByteString Assemble_Lar(std::string_view first, std::string_view second, Diagnostics& sink) {
  return Assemble_Pair("LAR", kLarTable, "LAR r16/(32),r/m16(32)", first, second, sink);
}

}  // namespace orvo
