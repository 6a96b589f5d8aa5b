// The run engine on arbitrary code bytes and arguments. One engine serves every input, as the
// window keeps one: a routine must not be able to leave anything behind that hurts the next.
//   byte 0 bit 0 clear: bytes 1..16 are the four arguments (little-endian), bit 1 puts the
//                       address of Show_Value into the first; the rest is the code.
//   byte 0 bit 0 set:   the argument fields as text, separated by '|', up to a NUL; the rest is
//                       the code, run through Command3_Run (argument rule, boxes).
// Run it with LSAN_OPTIONS=suppressions=fuzz/lsan.supp (a leak of the emulator library).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "ide/message_box.h"
#include "output/run/run_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  static orvo::RunEngine engine;
  orvo::RecordingMessageHandler recorder;
  orvo::ScopedMessageHandler scope(recorder);
  orvo::RunLimits limits;
  limits.timeout_seconds = 0.005;  // endless loops are the routine's right; keep each input short
  // Renew the emulator after a few MiB of growth, so that short inputs reach the mid-run renewal
  // that long self-modifying routines need.
  limits.renew_after_kib = 4 * 1024;
  // In the process, so that the emulator side is covered. Code the emulator library aborts on
  // (far CALL/JMP through a register, LOCK before most instructions) is left to the isolated
  // engine and its test.
  limits.isolated = false;
  for (std::size_t i = 0; i + 1 < size; ++i)
    if (data[i] == 0xF0 ||
        (data[i] == 0xFF && ((data[i + 1] & 0xF0) == 0xD0 || (data[i + 1] & 0xF0) == 0xE0) &&
         (data[i + 1] & 0x08)))
      return 0;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::uint8_t flags = data[0];
  orvo::RunResult result;
  if (flags & 1) {
    const std::size_t nul = input.find('\0', 1);
    const std::string_view fields_text =
        input.substr(1, nul == std::string_view::npos ? input.size() : nul - 1);
    const std::string_view code = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    std::array<std::string, 4> fields{"0", "0", "0", "0"};
    std::size_t at = 0;
    for (std::size_t i = 0; i < 4 && at <= fields_text.size(); ++i) {
      const std::size_t bar = fields_text.find('|', at);
      fields[i] = fields_text.substr(at, bar == std::string_view::npos ? std::string_view::npos : bar - at);
      if (bar == std::string_view::npos) break;
      at = bar + 1;
    }
    result = orvo::Command3_Run(engine, code, fields, limits);
    if (recorder.Messages().empty()) __builtin_trap();  // every run ends with a box
  } else {
    std::array<std::int32_t, 4> args{};
    const std::size_t arg_bytes = std::min<std::size_t>(16, size - 1);
    std::memcpy(args.data(), data + 1, arg_bytes);
    if (flags & 2) args[0] = static_cast<std::int32_t>(orvo::Get_FnAddress());
    result = engine.Run_Code(input.substr(1 + arg_bytes), args, limits);
    if (result.status != orvo::RunStatus::Returned && result.what.empty()) __builtin_trap();
  }
  (void)orvo::Run_ErrorText(result);
  (void)orvo::Format_Registers(result.registers);
  return 0;
}
