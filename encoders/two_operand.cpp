// The shared two-operand encoder: classifies and size-matches both operands, converts the
// displacement and the immediate, builds the register byte, asks the family table for the
// opcode bytes and joins the pieces: opcode, ModRM slot, SIB, displacement, immediate.

#include <algorithm>
#include <array>

#include "encoders/encoders.h"
#include "encoders/messages.h"
#include "encoders/two_operand_tables.h"
#include "operands/detail.h"
#include "operands/mnemonic_index.h"

namespace orvo {
namespace {

// With an immediate source, AL, AX and EAX as destination have short forms of their own.
OpType Accumulator_Form(const detail::RegInfo& reg, OpType dst) {
  if (reg.Code(8) == 0) return OpType::AL;
  if (reg.Code(16) == 0) return OpType::AX;
  if (reg.Code(32) == 0) return OpType::EAX;
  return dst;
}

enum class Family { Alu, Mov, BitTest, In, Out, Lea, Test, Movx, BitScan, Bound, Cmpxchg, Xchg, Lar };

struct FamilyRow {
  std::string_view mnemonic;
  Family family;
};

// clang-format off
constexpr std::array kFamilies{
    FamilyRow{"ADC",     Family::Alu},
    FamilyRow{"ADD",     Family::Alu},
    FamilyRow{"AND",     Family::Alu},
    FamilyRow{"BOUND",   Family::Bound},
    FamilyRow{"BSF",     Family::BitScan},
    FamilyRow{"BSR",     Family::BitScan},
    FamilyRow{"BT",      Family::BitTest},
    FamilyRow{"BTC",     Family::BitTest},
    FamilyRow{"BTR",     Family::BitTest},
    FamilyRow{"BTS",     Family::BitTest},
    FamilyRow{"CMP",     Family::Alu},
    FamilyRow{"CMPXCHG", Family::Cmpxchg},
    FamilyRow{"IMUL",    Family::BitScan},  // the two-operand form, r16/r32 in reg
    FamilyRow{"IN",      Family::In},
    FamilyRow{"LAR",     Family::Lar},
    FamilyRow{"LEA",     Family::Lea},
    FamilyRow{"MOV",     Family::Mov},
    FamilyRow{"MOVSX",   Family::Movx},
    FamilyRow{"MOVZX",   Family::Movx},
    FamilyRow{"OR",      Family::Alu},
    FamilyRow{"OUT",     Family::Out},
    FamilyRow{"SBB",     Family::Alu},
    FamilyRow{"SUB",     Family::Alu},
    FamilyRow{"TEST",    Family::Test},
    FamilyRow{"XCHG",    Family::Xchg},
    FamilyRow{"XOR",     Family::Alu},
};
// clang-format on
constexpr auto kFamilyIndex = Sort_ByMnemonic(kFamilies);

std::optional<Family> Family_Of(std::string_view mnemonic) {
  if (const FamilyRow* row = Find_Mnemonic(kFamilyIndex, mnemonic)) return row->family;
  return std::nullopt;
}

// Immediate conversions read the digits only: a trailing type suffix would be read as one
// more hexadecimal digit ("&HFF&").
std::string Without_Suffix(std::string_view text) {
  std::string t(text);
  Get_ImmSuffix(t);
  return t;
}

// More than eight hexadecimal digits cannot be a 32-bit value; the conversion would drop or
// add bytes without a word.
bool Hex_Fits_Dword(std::string_view text, Diagnostics& sink) {
  // 0x / ...h literals are read in &H form: their digits count as well.
  const detail::NormalLiteral literal(text, sink);
  std::string_view t = literal.view();
  detail::Strip_Minus_View(t);
  return !Starts_With_NoCase(t, "&H") || t.size() - 2 <= 8;
}

void Report_RangeBox(Diagnostics& sink, std::string_view text, std::string_view mnemonic,
                     std::string_view first, std::string_view second) {
  std::string title(mnemonic);
  title += ' ';
  title += first;
  title += ',';
  title += second;
  sink.Add(text, MsgStyle::OkExclamation, title);
}

// Width named by a size prefix, 0 when the operand has none (brackets alone follow the register).
int Written_Bits(std::string_view text) {
  const std::string_view t = Trim_Left(text);
  if (t.empty()) return 0;
  switch (Upper_Char(t[0])) {
    case 'B':
      return Starts_With_NoCase(t, "BYTE PTR") ? 8 : 0;
    case 'W':
      return Starts_With_NoCase(t, "WORD PTR") ? 16 : 0;
    case 'D':
      return Starts_With_NoCase(t, "DWORD PTR") ? 32 : 0;
    default:
      return 0;
  }
}

// A memory operand with a written size beside a register of another width.
bool Sizes_Contradict(int bits1, OpType type1, int bits2, OpType type2) {
  if (bits1 != 0 && Is_Mem(type1) && Is_Reg(type2)) return bits1 != Type_Bits(type2);
  if (bits2 != 0 && Is_Mem(type2) && Is_Reg(type1)) return bits2 != Type_Bits(type1);
  return false;
}

// Runs the encoder's steps. A fault inside a step is reported and the next step follows; the
// line is then refused at the end, because the faulted step left a piece of the instruction
// missing or wrong.
class Steps {
 public:
  Steps(std::string_view mnemonic, const std::string& first, const std::string& second, Diagnostics& sink)
      : mnemonic_(mnemonic), first_(first), second_(second), sink_(sink) {}

  // step() returns false when it refused the line.
  template <typename Step>
  bool Run(Step&& step) {
    try {
      return step();
    } catch (const Fault& fault) {
      Report_LineFault(sink_, fault, mnemonic_, first_, second_, LineShape::TwoOperands);
      faulted_ = true;
    }
    return true;
  }
  bool Faulted() const { return faulted_; }

 private:
  std::string_view mnemonic_;
  const std::string& first_;
  const std::string& second_;
  Diagnostics& sink_;
  bool faulted_ = false;
};

ByteString Encode(const std::string& mnemonic, Family family, std::string first, std::string second,
                  const detail::MemRef* known_first, const detail::MemRef* known_second, Diagnostics& sink) {
  Steps steps(mnemonic, first, second, sink);
  OpType dst = OpType::None, src = OpType::None;
  int size1 = 0, size2 = 0;
  std::string_view base1, base2;  // views into first and second, which stay as they are from step 6 on
  // Each operand is read once and the reading passed on; it is taken again only where a step
  // rewrote the text.
  detail::OperandReading read1, read2;
  bool kept1 = false, kept2 = false;  // the text is still the one read
  detail::MemParts parts1, parts2;    // the memory parts of first and second from step 6 on
  detail::RegInfo reg1, reg2;         // the registers base1 and base2 name
  std::string disp1, disp2;
  MemForm kind1 = MemForm::NotBracketed, kind2 = MemForm::NotBracketed;
  std::uint8_t reg = 0, table = 0;
  std::string opcode, imm;
  bool label_source = false;  // a label's placeholder stands in the second operand

  // 1. A label operand stands in as a 32-bit zero until its address is known. Segment
  //    registers look like names but are no labels.
  //    A register, or a text with a size or a "[", is no label name.
  steps.Run([&] {
    read2 = detail::Read_Operand(second, sink, known_second);
    if (read2.size == 0 && read2.reg.width == 0 && !Is_SegmentRegister(second) && Is_LabelName(second)) {
      second = "0&";
      label_source = true;
      read2 = detail::Read_Operand(second, sink);
    }
    return true;
  });

  // 2. Types.
  steps.Run([&] {
    read1 = detail::Read_Operand(first, sink, known_first);
    dst = detail::Operand_Type(read1, sink);
    src = detail::Operand_Type(read2, sink);
    return true;
  });

  // The first operand keeps its text until the size words are cut in step 5.
  const int written1 = Written_Bits(first);

  // 3. Immediate size rules.
  if (!steps.Run([&] {
        switch (family) {
          case Family::BitTest: {
            const OpType suffix = Get_ImmSuffix(second);
            read2 = detail::Read_Operand(second, sink);
            if (suffix == OpType::Imm16 || suffix == OpType::Imm32) {
              sink.Add("Error in " + mnemonic + kCR + "Invalid immediate identifier" +
                       Usage_Block(mnemonic, " r/m16(32),imm8"));
              return false;
            }
            return true;
          }
          case Family::In:
          case Family::BitScan:
          case Family::Bound:
          case Family::Cmpxchg:
          case Family::Xchg:
          case Family::Lar:
            return true;
          default: {
            // A suffix sizes bare brackets; beside a written size word it must name the same width.
            // (A label's placeholder is checked against its destination by the label pass.)
            const int written = written1;
            if (written != 0 && Is_Mem(dst) && Is_Imm(src) && !label_source) {
              std::string copy(second);
              const OpType suffix = Get_ImmSuffix(copy);
              if (suffix != OpType::None && Type_Bits(suffix) != written) {
                Report_InvalidOperands(sink, mnemonic, Mem_Of_Bits(written), suffix);
                return false;
              }
            }
            src = Adjust_ImmSize(dst, src, second);
            return true;
          }
        }
      }))
    return {};

  // 4. Memory size follows the register beside it. A size written out must agree with it: the
  //    register's width would otherwise win silently. MOVZX/MOVSX widen by design, and LEA
  //    reads no memory.
  // LAR reads a 16-bit selector whatever its destination: WORD PTR is its true width. BOUND
  // reads a pair of bounds: DWORD PTR is the true width of a 16-bit pair.
  const int written2 = Written_Bits(second);
  if (family != Family::Movx && family != Family::Lea && !(family == Family::Lar && written2 == 16) &&
      !(family == Family::Bound && written2 == 32) && Sizes_Contradict(written1, dst, written2, src)) {
    Report_InvalidOperands(sink, mnemonic, dst, src);
    return {};
  }
  if (family != Family::Movx) Match_MemSize(dst, src);

  // 5. Size prefixes; two memory operands have no encoding.
  if (!steps.Run([&] {
        // Stripping leaves a text as it is when the reading has nothing to cut.
        kept1 = read1.rest.size() == first.size();
        kept2 = read2.rest.size() == second.size();
        size1 = detail::Strip_SizePtr(first, read1);
        size2 = detail::Strip_SizePtr(second, read2);
        if (size1 != 0 && size2 != 0) {
          sink.Add(std::string(1, kTab) + "Not Supported:" + kCR + mnemonic + " " +
                   std::string(Type_Code(dst)) + ", " + std::string(Type_Code(src)));
          return false;
        }
        return true;
      }))
    return {};

  // 6. Base-or-register texts and displacements.
  steps.Run([&] {
    // A text left as it was read keeps its reading; a stripped one is split again.
    const auto take = [](const std::string& text, bool kept, const detail::OperandReading& read,
                         detail::MemParts& parts, detail::RegInfo& base_reg) {
      if (kept) {
        parts = read.mem;
        base_reg = read.reg;
      } else {
        parts = detail::Split_Mem(text);
        base_reg = detail::Lookup_Register(parts.base);
      }
    };
    take(first, kept1, read1, parts1, reg1);
    take(second, kept2, read2, parts2, reg2);
    base1 = Split_MemOperand(parts1, kind1, disp1);
    base2 = Split_MemOperand(parts2, kind2, disp2);
    return true;
  });

  // 7. The memory operand, read whole by the shared reader. Its register enters the ModRM byte
  //    through the reader's bytes: the register byte gets 0 in its r/m field.
  detail::MemRef mem;
  const bool has_mem = size1 != 0 || size2 != 0;
  if (has_mem && !steps.Run([&] {
        mem = (size1 != 0 ? read1 : read2).ref;
        if (mem.error != detail::MemError::None) {
          // The reading was taken before the size prefix was cut: read again for the text.
          const std::string& text = size1 != 0 ? first : second;
          sink.Add(detail::Mem_ErrorText(detail::Read_MemRef(text, sink), text));
          return false;
        }
        (size1 != 0 ? reg1 : reg2) = detail::RegInfo{32, 0};
        return true;
      }))
    return {};

  // 8. Register byte. MOV's register pairs use the store form (89h): source in reg.
  steps.Run([&] {
    reg = detail::Build_ModRM(dst, src, reg1, reg2);
    if (family == Family::Mov && dst == OpType::R32 && src == OpType::R32) {
      reg = detail::Pack(reg2.Code(32), reg1.Code(32));
    } else if (family == Family::Mov && dst == OpType::R16 && src == OpType::R16) {
      reg = static_cast<std::uint8_t>(reg1.Code(16) + 8 * reg2.Code(16));
    }
    return true;
  });

  // 9. Immediate: the port of OUT stands first, every other immediate second.
  if (!steps.Run([&] {
        OpType type = OpType::None;
        std::string_view text;
        if (Is_Imm(dst)) {
          type = dst;
          text = base1;
        } else if (Is_Imm(src)) {
          type = src;
          text = base2;
        } else {
          return true;
        }
        // A plain decimal needs no normalization: its range and its bytes follow from its value.
        if (std::uint32_t value = 0; detail::Plain_Decimal(text, value)) {
          const int width = type == OpType::Imm8 ? 1 : type == OpType::Imm16 ? 2 : 4;
          const bool fits = width == 4 || (width == 1 ? text.size() <= 3 && value <= 255
                                                      : text.size() <= 5 && value <= 65535);
          if (fits) {
            imm.clear();
            Append_LE(imm, value, width);
            return true;
          }
        }
        const std::string digits = Without_Suffix(text);
        bool valid = false;
        std::size_t width = 0;
        std::string_view refusal;
        switch (type) {
          case OpType::Imm8:
            refusal = "imm8 is out of range";
            width = 1;
            valid = Is_Imm8(text, sink);
            if (valid) imm = To_Byte(digits, sink);
            break;
          case OpType::Imm16:
            refusal = "imm16 is out of range";
            width = 2;
            valid = Is_Imm16(text, sink);
            if (valid) imm = To_Word(digits, sink);
            break;
          default:
            refusal = "Not a valid imm32";
            width = 4;
            valid = Is_Number(text, sink) && Hex_Fits_Dword(digits, sink);
            if (valid) imm = To_Dword(digits, sink);
            break;
        }
        if (valid && imm.empty() && width < 4) return false;  // the conversion has recorded its box
        if (!valid || imm.size() != width) {
          Report_RangeBox(sink, refusal, mnemonic, first, second);
          return false;
        }
        return true;
      }))
    return {};

  // 10. Short accumulator forms.
  steps.Run([&] {
    // Not bracketed: base1 is first.
    if (size1 == 0 && kind1 == MemForm::NotBracketed && Is_Imm(src)) dst = Accumulator_Form(reg1, dst);
    return true;
  });

  // 12. Family table.
  std::optional<std::uint8_t> table_byte;
  if (!steps.Run([&] {
        switch (family) {
          case Family::Alu:
            table_byte = Get_AluOpcode(mnemonic, dst, src, opcode, sink);
            break;
          case Family::Mov:
            table_byte = Get_MovOpcode(dst, src, opcode, sink);
            break;
          case Family::BitTest:
            table_byte = Get_BitTestOpcode(mnemonic, dst, src, opcode, sink);
            // Bit base in r/m, bit number in reg.
            if ((dst == OpType::M32 || dst == OpType::R32) && src == OpType::R32)
              reg = detail::Pack(reg2.Code(32), reg1.Code(32));
            else if (dst == OpType::R16 && src == OpType::R16)
              reg = static_cast<std::uint8_t>(reg1.Code(16) + 8 * reg2.Code(16));
            else if ((dst == OpType::M32 || dst == OpType::M16) && src == OpType::Imm8)
              reg = reg1.Code(32);
            break;
          case Family::In:
            table_byte = Get_InOpcode(dst, src, opcode);
            break;
          case Family::Out:
            table_byte = Get_OutOpcode(dst, src, opcode);
            break;
          case Family::Lea:
            table_byte = Get_LeaOpcode(dst, src, opcode);
            break;
          case Family::Test:
            table_byte = Get_TestOpcode(dst, src, opcode, sink);
            break;
          case Family::Movx:
            table_byte = Get_MovxOpcode(mnemonic, dst, src, opcode, base1, base2);
            break;
          case Family::BitScan:
            reg = 0;
            table_byte = Get_BitScanOpcode(mnemonic, dst, src, opcode, base1, base2);
            break;
          case Family::Bound:
            table_byte = Get_BoundOpcode(dst, src, opcode);
            break;
          case Family::Cmpxchg:
            table_byte = Get_CmpxchgOpcode(dst, src, opcode);
            // Destination in r/m, source in reg, as in the memory forms.
            if (dst == OpType::R8 && src == OpType::R8)
              reg = static_cast<std::uint8_t>(reg1.Code(8) + 8 * reg2.Code(8));
            else if (dst == OpType::R16 && src == OpType::R16)
              reg = static_cast<std::uint8_t>(reg1.Code(16) + 8 * reg2.Code(16));
            else if (dst == OpType::R32 && src == OpType::R32)
              reg = detail::Pack(reg2.Code(32), reg1.Code(32));
            break;
          case Family::Xchg:
            table_byte = Get_XchgOpcode(dst, src, opcode);
            break;
          case Family::Lar:
            table_byte = Get_LarOpcode(dst, src, opcode);
            break;
        }
        return table_byte.has_value();
      }))
    return {};
  if (steps.Faulted()) return {};
  table = *table_byte;

  // IN and OUT have no ModRM byte: opcode and port only.
  if (family == Family::In || family == Family::Out) return opcode + imm;

  // 13. Final assembly; the ModRM slot is a byte sum that must not carry. A memory operand
  //     adds its ModRM, SIB and displacement in one piece.
  ByteString result;
  steps.Run([&] {
    const unsigned sum = unsigned{table} + reg;
    if (sum > 0xFF) Raise_Overflow();
    result.reserve(opcode.size() + 7 + imm.size());
    result = opcode;
    if (has_mem)
      detail::Append_MemBytes(result, static_cast<std::uint8_t>(sum), mem);
    else
      result.push_back(static_cast<char>(sum));
    result += imm;
    return true;
  });
  if (steps.Faulted()) return {};
  return result;
}

// The shapes most lines have, for MOV, TEST, LEA and the arithmetic/logic group: register pairs of
// one width, a register beside a memory operand, and a plain number into a register or a memory
// operand. They are encoded straight into out from one reading of each operand, with the same
// tables and register bytes as the steps above. False leaves the line to the steps: every shape
// not named, and every case the steps would refuse or show a box for, goes there.
bool Encode_Plain(std::uint8_t group, Family family, std::string_view first, std::string_view second,
                  LineBytes& out) {
  detail::PlainOperand a, b;
  if (!detail::Read_Plain(first, a) || !detail::Read_Plain(second, b)) return false;
  using Kind = detail::PlainOperand::Kind;
  if (a.kind == Kind::Number) return false;
  OpType dst = detail::Plain_Type(a);
  OpType src = detail::Plain_Type(b);
  const bool has_imm = b.kind == Kind::Number;
  const bool has_mem = a.kind == Kind::Memory || b.kind == Kind::Memory;
  if (has_imm) {
    // The destination's width decides a word or dword immediate; a byte destination takes the
    // number's own type. The steps refuse a value beyond it, or a wider immediate beside a byte.
    if (dst == OpType::M16 || dst == OpType::R16) src = OpType::Imm16;
    if (dst == OpType::M32 || dst == OpType::R32) src = OpType::Imm32;
    if (!detail::Plain_Fits(b.number, src) || Type_Bits(src) != Type_Bits(dst)) return false;
  } else {
    if (a.kind == Kind::Memory && b.kind == Kind::Memory) return false;
    // A size written beside a register must name its width; bare brackets take the register's.
    // LEA reads no memory: the size word beside its register says nothing.
    const bool written = (a.kind == Kind::Memory ? a : b).size_written && has_mem;
    if (written && family != Family::Lea && Type_Bits(dst) != Type_Bits(src)) return false;
    Match_MemSize(dst, src);
    if (Type_Bits(dst) != Type_Bits(src)) return false;
  }
  if (family == Family::Lea && (has_imm || !has_mem)) return false;
  const detail::RegInfo reg1 = a.kind == Kind::Memory ? detail::RegInfo{32, 0} : a.reg;
  const detail::RegInfo reg2 = b.kind == Kind::Memory ? detail::RegInfo{32, 0} : b.reg;
  std::uint8_t reg = detail::Build_ModRM(dst, src, reg1, reg2);
  if (family == Family::Mov && dst == OpType::R32 && src == OpType::R32) {
    reg = detail::Pack(reg2.Code(32), reg1.Code(32));
  } else if (family == Family::Mov && dst == OpType::R16 && src == OpType::R16) {
    reg = static_cast<std::uint8_t>(reg1.Code(16) + 8 * reg2.Code(16));
  }
  if (has_imm && a.kind == Kind::Register) dst = Accumulator_Form(reg1, dst);
  std::uint8_t table = 0;
  InstructionBytes bytes;
  if (family == Family::Lea) {
    if (dst != OpType::R16 && dst != OpType::R32) return false;
    bytes.Put(dst == OpType::R16 ? "\x66\x8D" : "\x8D");
  } else {
    const OpcodeRow* row = family == Family::Mov    ? Find_MovRow(dst, src)
                           : family == Family::Test ? Find_TestRow(dst, src)
                           : family == Family::Alu  ? Find_AluRow(dst, src)
                                                    : nullptr;
    if (row == nullptr) return false;
    table = Put_Row(*row, group, bytes);
  }
  // A byte sum that carries, or register bits in a memory operand's mod or r/m field, is a
  // fault the steps report.
  const unsigned sum = unsigned{table} + reg;
  if (sum > 0xFF || (has_mem && (sum & 0xC7) != 0)) return false;
  if (has_mem)
    detail::Put_MemBytes(bytes, static_cast<std::uint8_t>(sum), a.kind == Kind::Memory ? a.ref : b.ref);
  else
    bytes.Put(static_cast<std::uint8_t>(sum));
  if (has_imm) bytes.Put_LE(b.number.value, Type_Bits(src) / 8);
  out.Put(bytes);
  return true;
}

}  // namespace

OpType Adjust_ImmSize(OpType& dst, OpType src, std::string_view second) {
  if (!Is_Imm(src)) return src;
  std::string copy(second);
  const OpType suffix = Get_ImmSuffix(copy);
  if (suffix != OpType::None && Is_Mem(dst)) {
    dst = Mem_Of_Bits(Type_Bits(suffix));
    return suffix;
  }
  switch (dst) {
    case OpType::M16:
    case OpType::R16:
      return OpType::Imm16;
    case OpType::M32:
    case OpType::R32:
      return OpType::Imm32;
    default:
      return src;
  }
}

ByteString Encode_TwoOperand(std::string_view mnemonic, std::string_view first, std::string_view second,
                             Diagnostics& sink) {
  return Encode_TwoOperand(mnemonic, first, second, nullptr, nullptr, sink);
}

ByteString Encode_TwoOperand(std::string_view mnemonic, std::string_view first, std::string_view second,
                             const detail::MemRef* known_first, const detail::MemRef* known_second,
                             Diagnostics& sink) {
  const std::string key = Trim_Upper(mnemonic);
  const std::optional<Family> family = Family_Of(key);
  if (!family) return {};
  return Guard_Entry(sink, key, first, second, [&] {
    return Encode(key, *family, std::string(first), std::string(second), known_first, known_second, sink);
  });
}

bool Encode_MovLabel_Plain(std::string_view first, std::string_view second, LineBytes& out) {
  detail::PlainOperand target;
  if (!detail::Read_Plain(first, target) || target.kind != detail::PlainOperand::Kind::Register ||
      target.reg.width != 32 || !Is_LabelName(second))
    return false;
  InstructionBytes bytes;
  bytes.Put(static_cast<std::uint8_t>(0xB8 + target.reg.code));
  bytes.Put_LE(0, 4);
  out.Put(bytes);
  return true;
}

bool Encode_TwoOperand_Plain(PlainTwoFamily family, std::uint8_t group, std::string_view first,
                             std::string_view second, LineBytes& out) {
  static constexpr Family kFamilies[] = {Family::Mov, Family::Alu, Family::Test, Family::Lea};
  return Encode_Plain(group, kFamilies[static_cast<int>(family)], first, second, out);
}

}  // namespace orvo
