// Memory operands ([base], [base+disp], [base-disp]), displacement widths and register bytes.

#include <array>
#include <cstring>
#include <utility>

#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {
namespace detail {

MemParts Split_Mem(std::string_view text) {
  const std::string_view t = Trim(text);
  MemParts parts;
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') {
    parts.base = t;
    return parts;
  }
  const std::string_view inner = t.substr(1, t.size() - 2);
  parts.form = 1;
  // "+" is looked for first, so [EBX+-4] splits at the "+". One pass finds both signs: the
  // texts are short, a library search per sign costs more than the scan.
  std::size_t plus = std::string_view::npos, minus = std::string_view::npos;
  for (std::size_t i = 0; i < inner.size() && plus == std::string_view::npos; ++i) {
    if (inner[i] == '+')
      plus = i;
    else if (inner[i] == '-' && minus == std::string_view::npos)
      minus = i;
  }
  if (plus != std::string_view::npos) {
    parts.sign = '+';
  } else if (minus != std::string_view::npos) {
    parts.sign = '-';
  } else {
    parts.base = inner;
    return parts;
  }
  const std::size_t at = parts.sign == '+' ? plus : minus;
  parts.base = inner.substr(0, at);
  const std::string_view rest = inner.substr(at + 1);
  parts.disp = rest.substr(0, rest.find(parts.sign));  // pieces after a second sign are dropped
  parts.form = 2;
  return parts;
}

namespace {

constexpr std::uint8_t kEsp = 4, kEbp = 5, kNone = 255;

bool Is_SuffixChar(char c) { return c == '?' || c == '%' || c == '&'; }

// A register term, or a register scaled by 1, 2, 4 or 8 on either side of "*".
MemError Read_Register(std::string_view term, std::uint8_t& code, int& scale, std::string_view& bad,
                       Diagnostics& sink) {
  const std::size_t star = term.find('*');
  std::string_view name = term;
  scale = 0;  // not written
  if (star != std::string_view::npos) {
    std::string_view left = Trim(term.substr(0, star)), right = Trim(term.substr(star + 1));
    if (Lookup_Register(left).width == 0) std::swap(left, right);
    name = left;
    std::int64_t factor = 0;
    if (right.find('*') != std::string_view::npos || Lookup_Register(name).width == 0 ||
        !Literal_Value(right, factor, sink) || Is_SuffixChar(right.back())) {
      bad = term;
      return MemError::BadTerm;
    }
    if (factor != 1 && factor != 2 && factor != 4 && factor != 8) {
      bad = right;
      return MemError::BadScale;
    }
    scale = factor == 1 ? 1 : factor == 2 ? 2 : factor == 4 ? 3 : 4;  // SIB bits + 1
  }
  const RegInfo reg = Lookup_Register(name);
  if (reg.width != 32) {
    bad = name;
    return MemError::NotRegister32;
  }
  code = reg.code;
  return MemError::None;
}

// What kind of text a term that is no register is.
MemError Classify_Other(std::string_view term) {
  const char c = term[0];
  if (Is_Digit(c) || c == '&') return MemError::NotANumber;
  if (Is_SegmentRegister(term)) return MemError::NotRegister32;
  if (!Is_Letter(c) && c != '_') return MemError::BadTerm;
  for (const char k : term)
    if (!Is_AlphaNumeric(k) && k != '_') return MemError::BadTerm;
  return MemError::Label;
}

// The forms most lines use, [REG], [REG+digits] and [REG-digits] without blanks, read directly;
// false for anything else, which the full reading takes.
bool Read_Common(std::string_view inner, MemRef& m) {
  if (inner.size() < 3 || inner.size() > 7) return false;
  const RegInfo reg = Lookup_Register(inner.substr(0, 3));
  if (reg.width != 32) return false;
  m.base = reg.code;
  if (inner.size() == 3) {
    m.mod = reg.code == kEbp ? 0x40 : 0x00;
    return true;
  }
  if (inner[3] != '+' && inner[3] != '-') return false;
  const std::string_view digits = inner.substr(4);
  std::int64_t v = 0;
  for (const char c : digits) {
    if (!Is_Digit(c)) return false;
    v = v * 10 + (c - '0');
  }
  if (digits.empty()) return false;
  m.disp = inner[3] == '-' ? -v : v;
  // Three characters at most and -128..127 take one byte, as for any decimal.
  m.mod = digits.size() <= 3 && m.disp >= -128 && m.disp <= 127 ? 0x40 : 0x80;
  return true;
}

MemRef Fail(MemError error, std::string_view term) {
  MemRef m;
  m.error = error;
  m.term = term;
  return m;
}

// The general reading of an address is the costliest step of a memory operand, and an operand
// is read again on its line (its type, then its bytes). The last few readings that succeeded
// are kept, keyed by the text between the brackets, and a repeated one is copied. A refused
// reading is never kept: reading it again names its fault again.
struct RecentMemRef {
  std::uint8_t size = 0;
  char text[31] = {};
  MemRef ref;
};
thread_local std::array<RecentMemRef, 4> recent_refs;
thread_local std::size_t next_recent_ref = 0;

const MemRef* Recall_MemRef(std::string_view inner) {
  if (inner.size() > sizeof(RecentMemRef::text)) return nullptr;
  for (const RecentMemRef& r : recent_refs)
    if (r.size != 0 && r.size == inner.size() && std::memcmp(r.text, inner.data(), inner.size()) == 0)
      return &r.ref;
  return nullptr;
}

void Remember_MemRef(std::string_view inner, const MemRef& m) {
  if (inner.empty() || inner.size() > sizeof(RecentMemRef::text)) return;
  RecentMemRef& r = recent_refs[next_recent_ref];
  next_recent_ref = (next_recent_ref + 1) % recent_refs.size();
  r.size = static_cast<std::uint8_t>(inner.size());
  std::memcpy(r.text, inner.data(), inner.size());
  r.ref = m;
}

MemRef Read_Terms(std::string_view inner, Diagnostics& sink);

}  // namespace

MemRef Read_MemRef(std::string_view rest, Diagnostics& sink) {
  const std::string_view t = Trim(rest);
  if (t.empty() || t.front() != '[') {
    // DWORD PTR EBX: the bare register is the base.
    const RegInfo reg = Lookup_Register(t);
    if (reg.width != 32) return Fail(t.empty() ? MemError::Empty : MemError::BadTerm, t);
    MemRef m;
    m.base = reg.code;
    m.mod = reg.code == kEbp ? 0x40 : 0x00;
    return m;
  }
  // The address ends at its first "]": what follows it would be dropped or read as a term.
  const std::size_t close = t.find(']');
  if (close != std::string_view::npos && close + 1 < t.size() && t.find('[', 1) > close)
    return Fail(MemError::AfterBracket, Trim(t.substr(close + 1)));
  if (t.size() < 2 || t.back() != ']') return Fail(MemError::BadTerm, t);
  const std::string_view inner = t.substr(1, t.size() - 2);
  if (MemRef m; Read_Common(inner, m)) return m;
  if (const MemRef* recent = Recall_MemRef(inner)) return *recent;
  const std::size_t raised = sink.items().size();
  MemRef m = Read_Terms(inner, sink);
  // A reading that raised a box is read again next time, so that the box is raised again.
  if (m.error == MemError::None && sink.items().size() == raised) Remember_MemRef(inner, m);
  return m;
}

namespace {

MemRef Read_Terms(std::string_view inner, Diagnostics& sink) {
  std::uint8_t regs[2] = {kNone, kNone};  // unscaled registers in the order written
  int reg_count = 0;
  std::uint8_t scaled = kNone;
  int scale = 0;
  bool has_disp = false;
  std::int64_t magnitude = 0;
  std::string_view disp_term;
  PlainNumber disp_plain;  // digits 0: the displacement is no plain number
  bool disp_negative = false;
  std::string_view shown;

  std::size_t i = 0;
  char sign = '+';
  if (const std::string_view lead = Trim_Left(inner); !lead.empty() && lead.front() == '-') {
    sign = '-';
    i = static_cast<std::size_t>(lead.data() - inner.data()) + 1;
  }
  for (;;) {
    std::size_t j = i;
    while (j < inner.size() && inner[j] != '+' && inner[j] != '-') ++j;
    const std::string_view term = Trim(inner.substr(i, j - i));
    if (term.empty()) return Fail(MemError::Empty, Trim(inner));
    // A plain decimal names no register; REG*1, *2, *4 or *8 is read as Read_Register reads it.
    std::uint32_t decimal = 0;
    const bool is_decimal = Plain_Decimal(term, decimal);
    if (!is_decimal && term.size() == 5 && term[3] == '*' &&
        (term[4] == '1' || term[4] == '2' || term[4] == '4' || term[4] == '8')) {
      if (const RegInfo index = Lookup_Register(term.substr(0, 3)); index.width == 32) {
        if (sign == '-') return Fail(MemError::NegativeRegister, term);
        if (scaled != kNone) return Fail(MemError::TooManyRegisters, term);
        scaled = index.code;
        scale = term[4] == '1' ? 0 : term[4] == '2' ? 1 : term[4] == '4' ? 2 : 3;
        if (j >= inner.size()) break;
        sign = inner[j];
        i = j + 1;
        continue;
      }
    }
    const RegInfo plain = is_decimal ? RegInfo{} : Lookup_Register(term);
    if (plain.width != 0 || (!is_decimal && term.find('*') != std::string_view::npos)) {
      std::uint8_t code = plain.code;
      int factor = 0;
      std::string_view bad;
      if (plain.width != 32)
        if (const MemError e = Read_Register(term, code, factor, bad, sink); e != MemError::None)
          return Fail(e, bad);
      if (sign == '-') return Fail(MemError::NegativeRegister, term);
      if (factor != 0) {
        if (scaled != kNone) return Fail(MemError::TooManyRegisters, term);
        scaled = code;
        scale = factor - 1;
      } else {
        if (reg_count == 2) return Fail(MemError::TooManyRegisters, term);
        regs[reg_count++] = code;
      }
    } else {
      if (has_disp) {
        std::int64_t ignored = 0;
        return Fail(Literal_Value(term, ignored, sink) ? MemError::TwoDisplacements : Classify_Other(term), term);
      }
      if (is_decimal)
        magnitude = decimal;
      else if (Plain_Literal(term, disp_plain))
        magnitude = disp_plain.value;
      else if (!Literal_Value(term, magnitude, sink))
        return Fail(Classify_Other(term), term);
      has_disp = true;
      disp_term = term;
      disp_negative = sign == '-';
      // A range box shows the number with its minus.
      const auto end = static_cast<std::size_t>(term.data() - inner.data()) + term.size();
      if (disp_negative) shown = inner.substr(i - 1, end - (i - 1));
    }
    if (j >= inner.size()) break;
    sign = inner[j];
    i = j + 1;
  }

  MemRef m;
  if (scaled != kNone) {
    if (reg_count == 2) return Fail(MemError::TooManyRegisters, Trim(inner));
    m.base = reg_count == 1 ? regs[0] : kNone;
    m.index = scaled;
    m.scale = static_cast<std::uint8_t>(scale);
  } else if (reg_count == 2) {
    m.base = regs[0];
    m.index = regs[1];
    // ESP can only be the base: [EBX+ESP] is [ESP+EBX].
    if (m.index == kEsp) std::swap(m.base, m.index);
  } else if (reg_count == 1) {
    m.base = regs[0];
  } else {
    return Fail(MemError::NoRegister, Trim(inner));
  }
  if (m.index == kEsp) return Fail(MemError::EspIndex, Trim(inner));

  if (!has_disp) {
    // [EBP] has no mod-00 form (that means disp32 without a base): it takes [EBP+0].
    m.mod = m.base == kEbp ? 0x40 : 0x00;
    return m;
  }
  m.disp = disp_negative ? -magnitude : magnitude;
  if (shown.empty()) shown = disp_term;
  if (m.disp < -(std::int64_t{1} << 31) || m.disp > 0xFFFFFFFFll) return Fail(MemError::DispRange, shown);
  const char suffix = Is_SuffixChar(disp_term.back()) ? disp_term.back() : '\0';
  if (m.base == kNone) {
    if (suffix == '?') return Fail(MemError::NoBaseDisp8, disp_term);
    m.mod = 0x00;
    return m;
  }
  if (suffix == '?') {
    if (m.disp < -128 || m.disp > 127) return Fail(MemError::Disp8Range, shown);
    m.mod = 0x40;
  } else if (suffix != '\0') {
    m.mod = 0x80;
  } else if (disp_plain.digits != 0 && !(disp_negative && disp_term[0] == '&')) {
    // A plain number's digits are those of its &H form: no text to make.
    m.mod = Plain_ImmType(disp_plain) == OpType::Imm8 && m.disp >= -128 && m.disp <= 127 ? 0x40 : 0x80;
  } else {
    // The literal's own width decides first (0100 and &H07F take four bytes), then the value:
    // one byte stands for -128..127.
    // A subtracted &B literal has always been sized as written, digits and all.
    // A plain decimal is its own normal form.
    std::uint32_t decimal = 0;
    const bool as_written =
        (disp_negative && Starts_With_NoCase(disp_term, "&B")) || Plain_Decimal(disp_term, decimal);
    const NormalLiteral literal(as_written ? std::string_view() : disp_term, sink);
    const std::string_view n = as_written ? disp_term : literal.view();
    m.mod = Imm_Test(n, 2, 3, kByteMax) && m.disp >= -128 && m.disp <= 127 ? 0x40 : 0x80;
  }
  return m;
}

}  // namespace

void Append_MemBytes(std::string& out, std::uint8_t reg_bits, const MemRef& m) {
  if ((reg_bits & 0xC7) != 0 || m.error != MemError::None) Raise_Overflow();
  InstructionBytes bytes;
  Put_MemBytes(bytes, reg_bits, m);
  bytes.Append_To(out);
}

std::string Mem_ErrorText(const MemRef& m, std::string_view operand) {
  if (m.error == MemError::None) return {};
  const std::string term(m.term);
  switch (m.error) {
    case MemError::None:
      return {};
    case MemError::NotANumber:
      return "Not a number: " + term;
    case MemError::Label:
      return "Invalid use of label: " + term + "\r\rA label cannot be part of an address.";
    case MemError::Disp8Range:
      return "Displacement out of byte range: " + term + "\r\rA one-byte displacement is -128 to 127.";
    default:
      break;
  }
  std::string why;
  switch (m.error) {
    case MemError::Empty:
      why = "A term is missing";
      break;
    case MemError::NotRegister32:
      why = "Not a 32-bit register: " + term;
      break;
    case MemError::BadScale:
      why = "The scale must be 1, 2, 4 or 8: " + term;
      break;
    case MemError::EspIndex:
      why = "ESP cannot be an index register";
      break;
    case MemError::TooManyRegisters:
      why = "At most a base and an index register";
      break;
    case MemError::NegativeRegister:
      why = "A register cannot be subtracted: " + term;
      break;
    case MemError::TwoDisplacements:
      why = "A second displacement: " + term;
      break;
    case MemError::NoRegister:
      why = "No base or index register";
      break;
    case MemError::DispRange:
      why = "Displacement out of range: " + term;
      break;
    case MemError::AfterBracket:
      why = "Text after the closing bracket: " + term;
      break;
    case MemError::NoBaseDisp8:
      why = "Without a base register the displacement is 32 bits: " + term;
      break;
    default:
      why = "Not a term of an address: " + term;
      break;
  }
  return "Invalid memory operand: " + std::string(Trim(operand)) + "\r\r" + why;
}

}  // namespace detail

namespace {

constexpr std::uint8_t kMod8 = 0x40, kMod32 = 0x80;
using detail::Pack;
static_assert(kNoRegister == 255 && Pack(kNoRegister, 1) == kNoRegister && Pack(3, 5) == 29);

}  // namespace

std::string Operand_Refusal(std::string_view operand, Diagnostics& sink) {
  std::optional<detail::MemRef> unused;
  return detail::Operand_Refusal(operand, unused, sink);
}

std::string detail::Operand_Refusal(std::string_view operand, std::optional<MemRef>& known,
                                    Diagnostics& sink) {
  known.reset();
  const std::string_view t = Trim(operand);
  if (t.empty()) return {};
  // Only a memory operand (a "[" or a size prefix) or a text that starts like a number is read
  // here; registers and names go on at once.
  const char first = Upper_Char(t[0]);
  if (first == '[' || first == 'B' || first == 'W' || first == 'D') {
    std::string_view rest = t;
    if (detail::Size_Prefix(rest) != 0) {
      known = detail::Read_MemRef(rest, sink);
      return detail::Mem_ErrorText(*known, rest);
    }
  }
  if (first != '-' && first != '&' && !Is_Digit(first)) return {};
  std::string_view n = t;
  detail::Strip_Minus_View(n);
  // Number_Test reads every notation as written, a type suffix included.
  if (n.empty() || !(Is_Digit(n[0]) || n[0] == '&') || detail::Number_Test(n)) return {};
  return "Not a number: " + std::string(t);
}

std::string Parse_MemOperand(std::string_view text, MemForm& form, std::string& disp) {
  return std::string(Split_MemOperand(text, form, disp));
}

std::string_view Split_MemOperand(std::string_view text, MemForm& form, std::string& disp) {
  return detail::Split_MemOperand(detail::Split_Mem(text), form, disp);
}

std::string_view detail::Split_MemOperand(const MemParts& parts, MemForm& form, std::string& disp) {
  form = static_cast<MemForm>(parts.form);
  if (form == MemForm::WithDisp) {
    disp.clear();
    if (parts.sign == '-') disp.push_back('-');
    disp.append(parts.disp);
  }
  return parts.base;
}

std::uint8_t Get_DispMod(std::string_view operand, Diagnostics& sink) {
  return detail::Disp_Mod(detail::Split_Mem(operand), sink);
}

std::uint8_t detail::Disp_Mod(const MemParts& parts, Diagnostics& sink) {
  if (parts.form != 2) return 0;
  // The displacement text is "-" + piece for a minus sign: normalizing leaves it as it is and
  // stripping the minus leaves the trimmed piece.
  const detail::NormalLiteral literal(parts.sign == '+' ? parts.disp : std::string_view(), sink);
  std::string_view n = parts.sign == '+' ? literal.view() : Trim(parts.disp);
  const bool negative = parts.sign == '-' || detail::Strip_Minus_View(n);
  if (!detail::Imm_Test(n, 2, 3, kByteMax)) return kMod32;
  // An 8-bit displacement is sign-extended: +128 to +255 need the 32-bit form.
  const double v = negative ? -Leading_Value(n) : Leading_Value(n);
  return (v >= -128 && v <= 127) ? kMod8 : kMod32;
}

void Apply_DispSuffix(std::uint8_t& mod, std::string& disp) {
  switch (Get_ImmSuffix(disp)) {
    case OpType::Imm8:
      mod = kMod8;
      break;
    case OpType::Imm16:
    case OpType::Imm32:
      mod = kMod32;
      break;
    default:
      break;
  }
}

std::uint8_t Build_ModRM(OpType dst, OpType src, std::string_view dst_base, std::string_view src_base) {
  return detail::Build_ModRM(dst, src, detail::Lookup_Register(dst_base), detail::Lookup_Register(src_base));
}

std::uint8_t Pack_R8R8(std::string_view first, std::string_view second) {
  return Pack(Get_Reg8Code(first), Get_Reg8Code(second));
}
std::uint8_t Pack_R16R16(std::string_view first, std::string_view second) {
  return Pack(Get_Reg16Code(first), Get_Reg16Code(second));
}
std::uint8_t Pack_R8R32(std::string_view first, std::string_view second) {
  return Pack(Get_Reg8Code(first), Get_Reg32Code(second));
}
std::uint8_t Pack_R16R32(std::string_view first, std::string_view second) {
  return Pack(Get_Reg16Code(first), Get_Reg32Code(second));
}
std::uint8_t Pack_R32R32(std::string_view first, std::string_view second) {
  return Pack(Get_Reg32Code(first), Get_Reg32Code(second));
}
std::uint8_t Pack_R32R32_Rm(std::string_view first, std::string_view second) {
  return Pack(Get_Reg32Code(second), Get_Reg32Code(first));
}
std::uint8_t Pack_R32R8_Rm(std::string_view first, std::string_view second) {
  return Pack(Get_Reg8Code(second), Get_Reg32Code(first));
}
std::uint8_t Pack_R32R16_Rm(std::string_view first, std::string_view second) {
  return Pack(Get_Reg16Code(second), Get_Reg32Code(first));
}

}  // namespace orvo
