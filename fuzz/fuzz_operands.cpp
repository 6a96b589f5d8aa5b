// The operand model and literal conversions on arbitrary operand texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/message_box.h"
#include "operands/operands.h"
#include "support/recording_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  orvo::RecordingMessageHandler recorder;
  orvo::ScopedMessageHandler scope(recorder);
  const std::string text(reinterpret_cast<const char*>(data), size);
  using namespace orvo;
  auto guarded = [](auto&& f) {
    try {
      f();
    } catch (const Fault&) {
      // Faults are how conversions report overflow; encoders catch them.
    }
  };
  (void)Get_OperandType(text);
  (void)Is_LabelName(text);
  (void)Get_ImmType(text);
  (void)Is_Number(text);
  (void)Is_Imm8(text);
  (void)Is_Imm16(text);
  (void)Get_DispMod(text);
  guarded([&] { (void)Normalize_Number(text); });
  guarded([&] { (void)To_Byte(text); });
  guarded([&] { (void)To_Word(text); });
  guarded([&] { (void)To_Dword(text); });
  guarded([&] { (void)To_Bytes(text); });
  std::string copy = text;
  (void)Strip_SizePtr(copy);
  MemForm form{};
  std::string disp;
  const std::string base = Parse_MemOperand(text, form, disp);
  std::uint8_t mod = 0;
  guarded([&] { Apply_DispSuffix(mod, disp); });
  (void)Build_ModRM(Get_OperandType(text), OpType::R32, base, "EAX");
  return 0;
}
