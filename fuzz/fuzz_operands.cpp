// The operand model and literal conversions on arbitrary operand texts; the one-pass readers
// (an operand, a whole line) must read what the steps they stand for read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "assembler/compile.h"
#include "assembler/dispatch.h"
#include "base/message_box.h"
#include "base/text.h"
#include "operands/detail.h"
#include "operands/operands.h"
#include "support/recording_handler.h"

namespace {

bool Same_Reading(const orvo::detail::PlainOperand& a, const orvo::detail::PlainOperand& b) {
  using Kind = orvo::detail::PlainOperand::Kind;
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Kind::Register:
      return a.reg.width == b.reg.width && a.reg.code == b.reg.code;
    case Kind::Number:
      return a.number.value == b.number.value && a.number.digits == b.number.digits &&
             a.number.decimal == b.number.decimal;
    case Kind::Memory:
      return a.size == b.size && a.size_written == b.size_written && a.ref.base == b.ref.base &&
             a.ref.index == b.ref.index && a.ref.scale == b.ref.scale && a.ref.mod == b.ref.mod &&
             a.ref.disp == b.ref.disp;
  }
  return false;
}

// The line split against trim, comment cut, label colon and line terms.
bool Splits_AsTheSteps(std::string_view raw) {
  std::string_view line;
  orvo::LineTerms quick;
  const bool split = orvo::Split_PlainLine(raw, line, quick);
  // Read where it stands, with more text after it.
  const std::string text = std::string(raw) + std::string(64, ',');
  std::string_view in_text_line;
  orvo::LineTerms in_text;
  if (orvo::Split_PlainLine(std::string_view(text).substr(0, raw.size()), text.size(), in_text_line, in_text) != split)
    return false;
  if (!split) return true;
  if (in_text_line.data() - text.data() != line.data() - raw.data() || in_text_line.size() != line.size() ||
      in_text.second.size() != quick.second.size())
    return false;
  const std::string_view trimmed = orvo::Trim(raw);
  if (line != trimmed || orvo::Code_Part(trimmed) != trimmed ||
      orvo::Find_LabelColon(trimmed) != std::string_view::npos)
    return false;
  const orvo::LineTerms steps = orvo::Get_LineTerms(trimmed);
  const auto same = [](std::string_view a, std::string_view b) { return a.data() == b.data() && a.size() == b.size(); };
  return quick.key.view() == steps.key.view() && same(quick.mnemonic, steps.mnemonic) &&
         same(quick.operand, steps.operand) && same(quick.first, steps.first) && same(quick.second, steps.second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  orvo::RecordingMessageHandler recorder;
  orvo::ScopedMessageHandler scope(recorder);
  const std::string text(reinterpret_cast<const char*>(data), size);
  using namespace orvo;
  Diagnostics sink;  // the reads record; nothing may reach the handler
  auto guarded = [](auto&& f) {
    try {
      f();
    } catch (const Fault&) {
      // Faults are how conversions report overflow; encoders catch them.
    }
  };
  (void)Get_OperandType(text, sink);
  (void)Is_LabelName(text);
  (void)Get_ImmType(text, sink);
  (void)Is_Number(text, sink);
  (void)Is_Imm8(text, sink);
  (void)Is_Imm16(text, sink);
  (void)Get_DispMod(text, sink);
  guarded([&] { (void)Normalize_Number(text, sink); });
  guarded([&] { (void)To_Byte(text, sink); });
  guarded([&] { (void)To_Word(text, sink); });
  guarded([&] { (void)To_Dword(text, sink); });
  guarded([&] { (void)To_Bytes(text, sink); });
  std::string copy = text;
  (void)Strip_SizePtr(copy);
  MemForm form{};
  std::string disp;
  const std::string base = Parse_MemOperand(text, form, disp);
  std::uint8_t mod = 0;
  guarded([&] { Apply_DispSuffix(mod, disp); });
  (void)Build_ModRM(Get_OperandType(text, sink), OpType::R32, base, "EAX");
  if (!recorder.Messages().empty()) __builtin_trap();

  detail::PlainOperand quick, steps;
  const bool by_quick = detail::Read_Plain(text, quick);
  if (by_quick != detail::Read_Plain_Steps(text, steps) || (by_quick && !Same_Reading(quick, steps)))
    __builtin_trap();
  if (!Splits_AsTheSteps(text)) __builtin_trap();
  return 0;
}
