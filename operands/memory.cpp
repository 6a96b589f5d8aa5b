// Memory operands ([base], [base+disp], [base-disp]), displacement widths and register bytes.

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

}  // namespace detail

namespace {

constexpr std::uint8_t kMod8 = 0x40, kMod32 = 0x80;
using detail::Pack;
static_assert(kNoRegister == 255 && Pack(kNoRegister, 1) == kNoRegister && Pack(3, 5) == 29);

}  // namespace

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

std::uint8_t Get_DispMod(std::string_view operand) { return detail::Disp_Mod(detail::Split_Mem(operand)); }

std::uint8_t detail::Disp_Mod(const MemParts& parts) {
  if (parts.form != 2) return 0;
  // The displacement text is "-" + piece for a minus sign: normalizing leaves it as it is and
  // stripping the minus leaves the trimmed piece.
  const detail::NormalLiteral literal(parts.sign == '+' ? parts.disp : std::string_view());
  std::string_view n = parts.sign == '+' ? literal.view() : Trim(parts.disp);
  const bool negative = parts.sign == '-' || detail::Strip_Minus_View(n);
  if (!detail::Imm_Test(n, 2, 3, 255)) return kMod32;
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

std::uint8_t detail::Build_ModRM(OpType dst, OpType src, RegInfo dst_base, RegInfo src_base) {
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
