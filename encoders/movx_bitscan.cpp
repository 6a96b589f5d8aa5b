// MOVZX, MOVSX, BSF and BSR: 0Fh-escaped, destination register in reg. These tables form the
// register part of the ModRM byte themselves and return it inside the table byte.

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/one_operand.h"
#include "encoders/two_operand_tables.h"
#include "operands/detail.h"

namespace orvo {
namespace {

using enum OpType;

struct EscapeRow {
  std::string_view mnemonic;
  std::uint8_t byte_source;  // opcode after 0Fh for an 8-bit source (or any source for BSF/BSR)
  std::uint8_t word_source;  // for a 16-bit source (MOVZX/MOVSX r32,r/m16)
};

// clang-format off
constexpr std::array kEscapeOpcodes{
    EscapeRow{"MOVZX", 0xB6, 0xB7},
    EscapeRow{"MOVSX", 0xBE, 0xBF},
    EscapeRow{"BSF",   0xBC, 0xBC},
    EscapeRow{"BSR",   0xBD, 0xBD},
    EscapeRow{"IMUL",  0xAF, 0xAF},
};

constexpr std::array kMovxAdmitted{
    std::pair{R16, R8}, std::pair{R16, M8}, std::pair{R32, R8},
    std::pair{R32, M8}, std::pair{R32, R16}, std::pair{R32, M16},
};
constexpr std::array kBitScanAdmitted{
    std::pair{R16, R16}, std::pair{R16, M16}, std::pair{R32, R32}, std::pair{R32, M32},
};
constexpr std::string_view kImulForms =
    " r16,r/m16 or r32,r/m32\rIMUL r16,r/m16,imm16 or r32,r/m32,imm32\rIMUL r16,imm16 or r32,imm32";
// clang-format on

template <std::size_t N>
bool Admitted(const std::array<std::pair<OpType, OpType>, N>& list, OpType dst, OpType src) {
  for (const auto& [d, s] : list)
    if (d == dst && s == src) return true;
  return false;
}

std::uint8_t Code_Of(OpType type, std::string_view text) {
  switch (type) {
    case R8:
      return Get_Reg8Code(text);
    case R16:
      return Get_Reg16Code(text);
    default:
      return Get_Reg32Code(text);  // r32 and the base register of a memory operand
  }
}

std::optional<std::uint8_t> Escape_Opcode(std::string_view mnemonic, OpType dst, OpType src,
                                          std::string& opcode, std::string_view first_text,
                                          std::string_view second_text) {
  const std::string_view m = Trim(mnemonic);
  const EscapeRow* row = nullptr;
  for (const EscapeRow& r : kEscapeOpcodes)
    if (Equals_NoCase(r.mnemonic, m)) row = &r;
  if (row == nullptr || (dst != R16 && dst != R32)) return std::nullopt;
  opcode = dst == R16 ? "\x66\x0F" : "\x0F";
  opcode.push_back(static_cast<char>(src == R16 || src == M16 ? row->word_source : row->byte_source));
  const std::uint8_t dst_code = Code_Of(dst, first_text);
  // A memory source puts its r/m field in with its own bytes.
  const std::uint8_t src_code = Is_Mem(src) ? 0 : Code_Of(src, second_text);
  if (dst_code == kNoRegister || src_code == kNoRegister) return std::nullopt;
  const auto part = static_cast<std::uint8_t>(8 * dst_code + src_code);
  return Is_Reg(src) ? static_cast<std::uint8_t>(0xC0 + part) : part;
}

}  // namespace

std::optional<std::uint8_t> Get_MovxOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                           std::string& opcode, std::string_view first_text,
                                           std::string_view second_text) {
  return Escape_Opcode(mnemonic, dst, src, opcode, first_text, second_text);
}

std::optional<std::uint8_t> Get_BitScanOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                              std::string& opcode, std::string_view first_text,
                                              std::string_view second_text) {
  return Escape_Opcode(mnemonic, dst, src, opcode, first_text, second_text);
}

namespace {
// The bytes of a plain escape line, before they are appended.
bool Escape_Plain_Bytes(std::string_view key, std::string_view first, std::string_view second,
                        InstructionBytes& out) {
  const EscapeRow* row = nullptr;
  for (const EscapeRow& r : kEscapeOpcodes)
    if (r.mnemonic == key) row = &r;
  detail::PlainOperand a, b;
  if (row == nullptr || !detail::Read_Plain(first, a) || !detail::Read_Plain(second, b)) return false;
  using Kind = detail::PlainOperand::Kind;
  if (a.kind != Kind::Register || b.kind == Kind::Number) return false;
  OpType dst = detail::Plain_Type(a), src = detail::Plain_Type(b);
  if (key == "MOVZX" || key == "MOVSX") {
    // Widening: the source keeps the width written or read.
    if (!Admitted(kMovxAdmitted, dst, src)) return false;
  } else {
    // A size written beside the register must name its width; bare brackets take the register's.
    if (b.kind == Kind::Memory && b.size_written && Type_Bits(src) != Type_Bits(dst)) return false;
    Match_MemSize(dst, src);
    if (!Admitted(kBitScanAdmitted, dst, src)) return false;
  }
  out.Put(dst == R16 ? "\x66\x0F" : "\x0F");
  out.Put(src == R16 || src == M16 ? row->word_source : row->byte_source);
  const auto reg = static_cast<std::uint8_t>(8 * a.reg.code);
  if (b.kind == Kind::Memory)
    detail::Put_MemBytes(out, reg, b.ref);
  else
    out.Put(static_cast<std::uint8_t>(0xC0 + reg + b.reg.code));
  return true;
}
}  // namespace

bool Encode_Escape_Plain(std::string_view key, std::string_view first, std::string_view second,
                         LineBytes& out) {
  InstructionBytes bytes;
  if (!Escape_Plain_Bytes(key, first, second, bytes)) return false;
  out.Put(bytes);
  return true;
}

bool Assemble_Imul_Plain(std::string_view first, std::string_view rest, LineBytes& out) {
  std::string_view source = rest, imm;
  detail::PlainOperand number;
  if (const std::size_t comma = rest.find(','); comma != std::string_view::npos) {
    source = rest.substr(0, comma);
    imm = rest.substr(comma + 1);
  } else if (detail::Read_Plain(rest, number) && number.kind == detail::PlainOperand::Kind::Number) {
    source = first;  // IMUL r,imm multiplies the register by the immediate in place
    imm = rest;
  }
  InstructionBytes escape;
  if (!Escape_Plain_Bytes("IMUL", first, source, escape)) return false;
  if (imm.data() == nullptr) {
    out.Put(escape);
    return true;
  }
  if (!detail::Read_Plain(imm, number) || number.kind != detail::PlainOperand::Kind::Number) return false;
  // 0Fh AFh /r becomes 69h /r, and the immediate has the destination's width.
  const std::string_view escaped = escape.View();
  const bool word = escaped[0] == '\x66';
  if (word && !detail::Plain_Fits(number.number, Imm16)) return false;
  InstructionBytes bytes;
  if (word) bytes.Put(0x66);
  bytes.Put(0x69);
  bytes.Put(escaped.substr(word ? 3 : 2));
  bytes.Put_LE(number.number.value, word ? 2 : 4);
  out.Put(bytes);
  return true;
}

ByteString Assemble_Movx(std::string_view mnemonic, std::string_view first, std::string_view second,
                         Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  return Guard_Entry(sink, m, first, second, [&]() -> ByteString {
    if (!Admitted(kMovxAdmitted, Get_OperandType(first, sink), Get_OperandType(second, sink))) {
      Report_Usage(sink, m, " r16,r/m8 or r32,r/m8 or r32,r/m16");
      return {};
    }
    return Encode_TwoOperand(m, first, second, sink);
  });
}

ByteString Assemble_BitScan(std::string_view mnemonic, std::string_view first, std::string_view second,
                            Diagnostics& sink) {
  const std::string m = Trim_Upper(mnemonic);
  return Guard_Entry(sink, m, first, second, [&]() -> ByteString {
    OpType dst = Get_OperandType(first, sink), src = Get_OperandType(second, sink);
    Match_MemSize(dst, src);
    if (!Admitted(kBitScanAdmitted, dst, src)) {
      Report_Usage(sink, m, " r16,r/m16 or r32,r/m32");
      return {};
    }
    return Encode_TwoOperand(m, first, second, sink);
  });
}

ByteString Assemble_Imul(std::string_view first, std::string_view rest, Diagnostics& sink) {
  return Guard_Entry(sink, "IMUL", first, rest, [&]() -> ByteString {
    std::string_view source = rest, imm;
    if (const std::size_t comma = rest.find(','); comma != std::string_view::npos) {
      source = rest.substr(0, comma);
      imm = rest.substr(comma + 1);
    } else if (Is_Imm(Get_OperandType(rest, sink))) {
      source = first;  // IMUL r,imm multiplies the register by the immediate in place
      imm = rest;
    }
    OpType dst = Get_OperandType(first, sink), src = Get_OperandType(source, sink);
    Match_MemSize(dst, src);
    if (!Admitted(kBitScanAdmitted, dst, src)) {
      Report_Usage(sink, "IMUL", kImulForms);
      return {};
    }
    ByteString bytes = Encode_TwoOperand("IMUL", first, source, sink);
    if (bytes.empty() || imm.data() == nullptr) return bytes;

    // There is no sign-extended imm8 form here: the immediate has the destination's width.
    std::string value(Trim(imm));
    const OpType suffix = Get_ImmSuffix(value);
    const OpType width = dst == R16 ? Imm16 : Imm32;
    ByteString encoded;
    if ((suffix == OpType::None || suffix == width) && Is_Number(value, sink)) {
      if (width == Imm16) {
        // A negative word below -32768 would wrap into a positive one.
        const double v = Signed_Value(value, sink);
        if (Is_Imm16(value, sink) && v >= -32768 && v <= 65535) encoded = To_Word(value, sink);
      } else {
        Checked_Dword(value, encoded, sink);
      }
    }
    if (encoded.size() != (width == Imm16 ? 2u : 4u)) {
      Report_Usage(sink, "IMUL", kImulForms);
      return {};
    }
    // 0Fh AFh /r becomes 69h /r: same ModRM, SIB and displacement, then the immediate.
    const std::size_t escape = bytes[0] == '\x66' ? 1 : 0;
    bytes.replace(escape, 2, 1, '\x69');
    return bytes + encoded;
  });
}

}  // namespace orvo
