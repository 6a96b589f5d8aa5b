// PUSH and POP: the one-byte register forms and the segment registers here, every other operand
// through the one-operand group.

#include <array>
#include <string>
#include <string_view>

#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "operands/detail.h"
#include "operands/operands.h"
#include "base/text.h"

namespace orvo {
namespace {

struct SegmentRow {
  std::string_view name;
  std::string_view push;
  std::string_view pop;  // empty: no POP CS on this processor
};

// clang-format off
constexpr std::array kSegmentRows{
    //         name  push          pop
    SegmentRow{"CS", "\x0E",       ""},
    SegmentRow{"SS", "\x16",       "\x17"},
    SegmentRow{"DS", "\x1E",       "\x1F"},
    SegmentRow{"ES", "\x06",       "\x07"},
    SegmentRow{"FS", "\x0F\xA0",   "\x0F\xA1"},
    SegmentRow{"GS", "\x0F\xA8",   "\x0F\xA9"},
};
// clang-format on

const SegmentRow* Find_Segment(std::string_view operand) {
  const std::string_view t = Trim(operand);
  for (const SegmentRow& row : kSegmentRows)
    if (Equals_NoCase(row.name, t)) return &row;
  return nullptr;
}

}  // namespace

std::uint8_t Put_PopOpcode(OpType type, InstructionBytes& opcode) {
  struct PopRow {
    OpType type;
    std::string_view opcode;
    std::uint8_t table;
  };
  // clang-format off
  static constexpr std::array kPopRows{
      //     type          opcode       table
      PopRow{OpType::M16,  "\x66\x8F",  0x00},
      PopRow{OpType::M32,  "\x8F",      0x00},
      PopRow{OpType::R16,  "\x66",      0x58},  // 58h+r after the prefix, no ModRM
      PopRow{OpType::R32,  "",          0x58},
  };
  // clang-format on
  for (const PopRow& row : kPopRows) {
    if (row.type != type) continue;
    opcode.Put(row.opcode);
    return row.table;
  }
  return 0x00;
}

std::uint8_t Get_PopOpcode(OpType type, std::string& opcode) {
  InstructionBytes bytes;
  const std::uint8_t table = Put_PopOpcode(type, bytes);
  opcode.assign(bytes.View());
  return table;
}

bool Assemble_PushPop_Plain(std::string_view key, std::string_view operand, LineBytes& out) {
  detail::PlainOperand o;
  if (!detail::Read_Plain(operand, o)) return false;
  const bool push = key == "PUSH";
  using Kind = detail::PlainOperand::Kind;
  if (o.kind == Kind::Register && o.reg.width == 32) {
    out.Put(static_cast<std::uint8_t>((push ? 0x50 : 0x58) + o.reg.code));
    return true;
  }
  if (o.kind != Kind::Number) return Encode_OneOperand_Plain(key, operand, ShiftCount::One, 0, out);
  if (!push) return false;
  // 6Ah sign-extends its byte: 128..255 take the 32-bit form.
  OpType type = detail::Plain_ImmType(o.number);
  if (type == OpType::Imm8 && o.number.value > 127) type = OpType::Imm32;
  const int width = type == OpType::Imm8 ? 1 : type == OpType::Imm16 ? 2 : 4;
  InstructionBytes bytes;
  bytes.Put(type == OpType::Imm8 ? "\x6A" : type == OpType::Imm16 ? "\x66\x68" : "\x68");
  bytes.Put_LE(o.number.value, width);
  out.Put(bytes);
  return true;
}

ByteString Assemble_Push(std::string_view operand, Diagnostics& sink) {
  const std::string op = Trim_Upper(operand);
  return Guard_Faults(sink, "PUSH", op, {}, [&]() -> ByteString {
    if (op == "PUSH") return {};  // a line without an operand hands over its mnemonic
    if (const std::uint8_t r = Get_Reg32Code(op); r != kNoRegister)
      return ByteString(1, static_cast<char>(0x50 + r));
    if (const SegmentRow* seg = Find_Segment(op)) return ByteString(seg->push);
    if (Is_OneOperandType(Get_OperandType(op, sink))) return Encode_OneOperand("PUSH", op, {}, sink);
    return {};
  });
}

ByteString Assemble_Pop(std::string_view operand, Diagnostics& sink) {
  return Guard_Faults(sink, "POP", operand, {}, [&]() -> ByteString {
    if (const std::uint8_t r = Get_Reg32Code(operand); r != kNoRegister)
      return ByteString(1, static_cast<char>(0x58 + r));
    // Segment names in any case, like PUSH; POP CS does not exist and falls through to nothing.
    if (const SegmentRow* seg = Find_Segment(operand); seg && !seg->pop.empty()) return ByteString(seg->pop);
    if (Is_OneOperandType(Get_OperandType(operand, sink))) return Encode_OneOperand("POP", operand, {}, sink);
    return {};
  });
}

}  // namespace orvo
