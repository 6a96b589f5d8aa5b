#pragma once
// View-based pieces shared by the operand files. They read the caller's text in place (any
// letter case) so that classification allocates nothing for ordinary operands.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "base/instruction_bytes.h"
#include "base/text.h"
#include "operands/operands.h"

namespace orvo::detail {

// A literal after normalization: a view of the trimmed text itself, or of a rewritten &B
// literal held here. A &B literal too big to rewrite records "Number too big: " into the sink
// (once per construction) and reads as empty.
class NormalLiteral {
 public:
  // Only a literal that starts with &B is rewritten; every other text is its trimmed view.
  // A literal in the 0x / 0b / ...h / ...b notations is rewritten in &H form, so that the
  // tests and conversions read it as they read &H.
  NormalLiteral(std::string_view text, Diagnostics& sink) : view_(Trim(text)) {
    if (const std::size_t at = Magnitude_At(view_);
        view_.size() >= at + 2 && view_[at] == '&' && Upper_Char(view_[at + 1]) == 'B')
      Rewrite(at, sink);
    else if (view_.size() >= 2 && May_BeRadixNotation(view_))
      Rewrite_Radix();
  }
  NormalLiteral(const NormalLiteral&) = delete;
  NormalLiteral& operator=(const NormalLiteral&) = delete;
  std::string_view view() const { return rewritten_ ? std::string_view(buf_) : view_; }

 private:
  void Rewrite(std::size_t at, Diagnostics& sink);
  bool Rewrite_BinaryNow(std::size_t at, Diagnostics& sink);  // false after "Number too big"
  bool Recall();                           // a recent rewrite of the same text, copied
  void Remember() const;
  // Where the magnitude starts: after a minus and the blanks that follow it.
  static constexpr std::size_t Magnitude_At(std::string_view t) {
    std::size_t i = 0;
    if (!t.empty() && t[0] == '-') {
      ++i;
      while (i < t.size() && t[i] == ' ') ++i;
    }
    return i;
  }
  void Rewrite_Radix();
  void Rewrite_RadixNow();
  // Cheap filter: a digit (after a minus) and then an X or B, or an H or B at the end (before a
  // type suffix). Decimal literals fail it at once.
  static constexpr bool May_BeRadixNotation(std::string_view t) {
    std::size_t i = 0;
    if (t[0] == '-') {
      ++i;
      while (i < t.size() && t[i] == ' ') ++i;
    }
    if (i >= t.size() || !Is_Digit(t[i])) return false;
    if (i + 1 < t.size()) {
      const char second = Upper_Char(t[i + 1]);
      if (second == 'X' || second == 'B') return true;
    }
    std::size_t e = t.size();
    if (t[e - 1] == '?' || t[e - 1] == '%' || t[e - 1] == '&') --e;
    while (e > i && t[e - 1] == ' ') --e;
    const char last = e > i ? Upper_Char(t[e - 1]) : '\0';
    return last == 'H' || last == 'B';
  }

  std::string buf_;
  std::string_view view_;
  bool rewritten_ = false;
};

// Trims, then drops one leading "-" and the spaces after it.
constexpr bool Strip_Minus_View(std::string_view& t) {
  std::size_t b = 0, e = t.size();
  while (b < e && t[b] == ' ') ++b;
  while (e > b && t[e - 1] == ' ') --e;
  t = t.substr(b, e - b);
  if (t.empty() || t[0] != '-') return false;
  std::size_t i = 1;
  while (i < t.size() && t[i] == ' ') ++i;
  t = t.substr(i);
  return true;
}

// Tests on a normalized literal whose minus has been stripped. Number_Test holds only for a
// whole literal: one notation, nothing left over but a type suffix.
bool Number_Test(std::string_view t);
// The notation of a literal's magnitude (no sign, no suffix, trimmed).
enum class Notation : std::uint8_t { Invalid, Decimal, AmpHex, AmpBin, ZeroX, ZeroB, HexH, BinB };
Notation Literal_Notation(std::string_view magnitude);
// The value of a whole literal (sign applied, type suffix ignored); false for any other text.
// Magnitudes beyond 2^40 read as 2^40: out of every operand's range.
bool Literal_Value(std::string_view text, std::int64_t& value, Diagnostics& sink);
bool Imm_Test(std::string_view t, std::size_t hex_digits, std::size_t chars, double max);
// A plain decimal: one to nine digits and nothing else. Its value fits 31 bits, so the hex text
// of the value never overflows and conversions can skip that text. The one reader of such
// numbers: literals, data items and immediates take them here.
bool Plain_Decimal(std::string_view t, std::uint32_t& value);
bool Label_Test(std::string_view t);
// An unsigned literal without a sign, blanks or type suffix, in any notation: its value and
// the digit count the range rules read (decimal digits, or the hex digits of its &H form).
struct PlainNumber {
  std::uint32_t value = 0;
  std::uint8_t digits = 0;
  bool decimal = false;
};
// False for every other text, and for values the conversions would refuse or overflow on.
bool Plain_Literal(std::string_view t, PlainNumber& out);

// Size code and remaining text of a size prefix, without copying (text already trimmed).
int Size_Prefix(std::string_view& t);

// Width 8/16/32 and code of a general register name (trimmed, any case); width 0 for none.
struct RegInfo {
  int width = 0;
  std::uint8_t code = 255;
  // The code when the name is a register of that width, else 255 (as Get_Reg32Code and kin).
  constexpr std::uint8_t Code(int of_width) const { return width == of_width ? code : 255; }
};
RegInfo Lookup_Register(std::string_view text);

// The base text of a memory operand and its displacement piece.
struct MemParts {
  std::string_view base;
  std::string_view disp;  // the piece after the sign (without the "-")
  char sign = 0;          // '+', '-' or 0
  int form = 0;           // 0 not bracketed, 1 bracketed, 2 with displacement
};
MemParts Split_Mem(std::string_view text);
// Split_MemOperand on parts already split.
std::string_view Split_MemOperand(const MemParts& parts, MemForm& form, std::string& disp);
// A memory operand read whole: [base + index*scale + disp], terms in any order. Errors name
// the term they are about.
enum class MemError : std::uint8_t {
  None,
  Empty,             // [] or a sign with no term after it (--, +-, a trailing +)
  NotANumber,        // a term that starts like a number but is none
  Label,             // a name: labels have no place in a displacement
  NotRegister32,     // a register of another width, or a segment register
  BadTerm,           // anything else (expressions, stray text)
  BadScale,          // a scale other than 1, 2, 4, 8
  EspIndex,          // ESP cannot be an index
  TooManyRegisters,  // more than a base and an index
  NegativeRegister,  // a register cannot be subtracted
  TwoDisplacements,  // a second number
  NoRegister,        // no base and no index
  DispRange,         // beyond 32 bits
  Disp8Range,        // forced to 8 bits, outside -128..127
  NoBaseDisp8,       // no base register: the displacement is always 32 bits
  AfterBracket,      // text after the closing bracket
};
struct MemRef {
  MemError error = MemError::None;
  std::uint8_t base = 255;   // register code, 255 for none
  std::uint8_t index = 255;  // register code (never ESP), 255 for none
  std::uint8_t scale = 0;    // SIB scale bits: 0..3 for *1 *2 *4 *8
  std::uint8_t mod = 0;      // 00h, 40h or 80h (00h with a disp32 when there is no base)
  std::int64_t disp = 0;
  std::string_view term;  // the term an error is about
};
// Reads the operand after its size prefix: "[...]", or a bare 32-bit register (DWORD PTR EBX).
MemRef Read_MemRef(std::string_view rest, Diagnostics& sink);
// ModRM, SIB and displacement of a memory operand. reg_bits holds the reg field (bits 5..3,
// the register or the opcode's digit); anything else in it is a fault.
void Append_MemBytes(std::string& out, std::uint8_t reg_bits, const MemRef& m);
// The same bytes put after an opcode being built, for a reading known to be good: reg_bits
// holds the reg field only and m has no error.
inline void Put_MemBytes(InstructionBytes& out, std::uint8_t reg_bits, const MemRef& m) {
  constexpr std::uint8_t kEsp = 4, kEbp = 5, kNone = kNoRegister;
  const bool sib = m.index != kNone || m.base == kEsp || m.base == kNone;
  const std::uint8_t rm = sib ? kEsp : m.base;
  const std::uint8_t mod = m.base == kNone ? 0x00 : m.mod;
  out.Put(static_cast<std::uint8_t>(mod | reg_bits | rm));
  if (sib) {
    const std::uint8_t index = m.index == kNone ? kEsp : m.index;  // index 100: none
    const std::uint8_t base = m.base == kNone ? kEbp : m.base;     // base 101 with mod 00: disp32 only
    out.Put(static_cast<std::uint8_t>((m.scale << 6) | (index << 3) | base));
  }
  const auto disp = static_cast<std::uint32_t>(m.disp);
  if (mod == 0x40) out.Put(static_cast<std::uint8_t>(disp & 0xFF));
  if (mod == 0x80 || m.base == kNone) out.Put_LE(disp, 4);
}
// Why a memory operand is refused, for a box.
std::string Mem_ErrorText(const MemRef& m, std::string_view operand);

// One reading of an operand text, for the encoders that look at an operand several times: the
// text trimmed, its size prefix, the memory parts after the prefix and the register its base
// names. Views into the text, valid while it is unchanged.
struct OperandReading {
  std::string_view trimmed;
  std::string_view rest;  // trimmed, without a size prefix (Strip_SizePtr's result)
  int size = 0;           // Size_Prefix code
  MemParts mem;           // the operand as its own base text; for memory only the form
  RegInfo reg;            // the register operand (none for memory)
  MemRef ref;             // Read_MemRef(rest) when size is not 0
};
// A memory operand's reference is read here unless the caller read this same text already and
// passes that reading (known).
OperandReading Read_Operand(std::string_view text, Diagnostics& sink, const MemRef* known = nullptr);
// An operand of the common shapes, read without raising anything: a general register, a
// bracketed memory operand read whole, or a plain literal (Plain_Literal).
struct PlainOperand {
  enum class Kind : std::uint8_t { Register, Memory, Number };
  Kind kind = Kind::Register;
  RegInfo reg;                // Register
  int size = 0;               // Memory: its Size_Prefix code
  bool size_written = false;  // Memory: BYTE/WORD/DWORD PTR in front
  MemRef ref;                 // Memory
  PlainNumber number;         // Number
};
// False for any other operand, and for one whose reading would record a box: the full readers
// take those.
bool Read_Plain(std::string_view text, PlainOperand& out);
// The same reading, step by step (trim, size word, register, number, address): Read_Plain
// takes the common shapes in one pass and leaves the rest to it.
bool Read_Plain_Steps(std::string_view text, PlainOperand& out);
// The immediate type Get_ImmType gives a plain number: by its digit count and value.
inline OpType Plain_ImmType(const PlainNumber& n) {
  if (n.decimal) {
    if (n.digits <= 3 && n.value <= kByteMax) return OpType::Imm8;
    if (n.digits <= 5 && n.value <= kWordMax) return OpType::Imm16;
    return OpType::Imm32;
  }
  return n.digits <= 2 ? OpType::Imm8 : n.digits <= 4 ? OpType::Imm16 : OpType::Imm32;
}

// Whether a plain number passes the range rules of an immediate of the type (Imm8, Imm16, else
// a dword): a byte or a word by its digits and value, a dword always (Plain_Literal reads no
// wider number).
inline bool Plain_Fits(const PlainNumber& n, OpType type) {
  switch (type) {
    case OpType::Imm8:
      return n.decimal ? n.digits <= 3 && n.value <= kByteMax : n.digits <= 2;
    case OpType::Imm16:
      return n.decimal ? n.digits <= 5 && n.value <= kWordMax : n.digits <= 4;
    default:
      return true;
  }
}

// The type Operand_Type gives the operand.
inline OpType Plain_Type(const PlainOperand& o) {
  static constexpr OpType kMem[] = {OpType::None, OpType::M8, OpType::M16, OpType::M32};
  static constexpr OpType kReg[] = {OpType::R8, OpType::R16, OpType::R32};
  switch (o.kind) {
    case PlainOperand::Kind::Memory:
      return kMem[o.size];
    case PlainOperand::Kind::Register:
      return kReg[o.reg.width == 8 ? 0 : o.reg.width == 16 ? 1 : 2];
    case PlainOperand::Kind::Number:
      return Plain_ImmType(o.number);
  }
  return OpType::None;
}

// Operand_Refusal that also hands over the reading of a memory operand it read (known stays
// empty for other operands), so that an encoder need not read the operand again.
std::string Operand_Refusal(std::string_view operand, std::optional<MemRef>& known, Diagnostics& sink);
// Get_OperandType of the text read; records the literal boxes as that does.
OpType Operand_Type(const OperandReading& reading, Diagnostics& sink);
// Strip_SizePtr of the text read (reading must be of text as it is now).
int Strip_SizePtr(std::string& text, const OperandReading& reading);

// Mod bits 00h, 40h or 80h for the displacement of split parts (Get_DispMod without the split).
std::uint8_t Disp_Mod(const MemParts& parts, Diagnostics& sink);

// reg * 8 + r/m, or 255 when either code is not a register.
constexpr std::uint8_t Pack(std::uint8_t reg, std::uint8_t rm) {
  return (reg == 255 || rm == 255) ? 255 : static_cast<std::uint8_t>(reg * 8 + rm);
}

// Build_ModRM on registers already looked up: an encoder that reads its operands once passes
// what it read.
inline std::uint8_t Build_ModRM(OpType dst, OpType src, RegInfo dst_base, RegInfo src_base) {
  using T = OpType;
  const auto code8 = [](RegInfo r) { return r.Code(8); };
  const auto code16 = [](RegInfo r) { return r.Code(16); };
  const auto code32 = [](RegInfo r) { return r.Code(32); };
  // Immediate forms: the register or base is the r/m field, the reg field is the table's.
  if (dst == T::R8 && src == T::Imm8) return code8(dst_base);
  if (dst == T::R16 && (src == T::Imm16 || src == T::Imm8)) return code16(dst_base);
  if (dst == T::R32 && (src == T::Imm32 || src == T::Imm8 || src == T::Imm16)) return code32(dst_base);
  if ((dst == T::M8 && src == T::Imm8) || (dst == T::M16 && src == T::Imm16) ||
      (dst == T::M32 && src == T::Imm32))
    return code32(dst_base);
  // Memory destination: base in r/m, source register in reg.
  if (dst == T::M8 && src == T::R8) return Pack(code8(src_base), code32(dst_base));
  if (dst == T::M16 && src == T::R16) return Pack(code16(src_base), code32(dst_base));
  if (dst == T::M32 && src == T::R32) return Pack(code32(src_base), code32(dst_base));
  // Register destination: destination in reg, source register or base in r/m.
  if (dst == T::R8 && src == T::R8) return Pack(code8(dst_base), code8(src_base));
  if (dst == T::R16 && src == T::R16) return Pack(code16(dst_base), code16(src_base));
  if (dst == T::R32 && src == T::R32) return Pack(code32(dst_base), code32(src_base));
  if (dst == T::R8 && src == T::M8) return Pack(code8(dst_base), code32(src_base));
  if (dst == T::R16 && src == T::M16) return Pack(code16(dst_base), code32(src_base));
  if (dst == T::R32 && src == T::M32) return Pack(code32(dst_base), code32(src_base));
  return 0;
}

// Value of one character or digit string in Parse_Digits' reading, throwing Fault above 255.
std::uint8_t Digits_Value(int base, std::string_view digits);

}  // namespace orvo::detail
