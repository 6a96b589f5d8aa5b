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
  return 0;
}
