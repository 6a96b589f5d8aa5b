// The run engine on arbitrary code bytes and arguments. One engine serves every input, as the
// window keeps one: a routine must not be able to leave anything behind that hurts the next.
//   byte 0 bit 0 clear: bytes 1..16 are the four arguments (little-endian), bit 1 puts the
//                       address of Show_Value into the first; the rest is the code.
//   byte 0 bit 0 set:   the argument fields as text, separated by '|', up to a NUL; the rest is
//                       the code, run through Command3_Run (argument rule, boxes).
//   byte 0 & 0xFC == 0xA4: a long run (bits 0 and 1 as above). The next byte L (before the
//                       fields above) repeats the code until the image is 1 KiB << (L & 15)
//                       long (at most 8 MiB), and lets it run for 0.25 s * (1 + (L >> 4)), up
//                       to 4 s: long enough for a routine that rewrites itself, or a long chain
//                       of short jumps, to move to a fresh emulator many times (here after every
//                       4 MiB of growth). Rare among random flags (1 in 64); mutations of a long
//                       input keep its flags, so its runs stay short enough not to starve the
//                       rest.
// Run it with LSAN_OPTIONS=suppressions=fuzz/lsan.supp (a leak of the emulator library) and a
// -timeout well above 8 s (libFuzzer runs an input twice when it suspects a leak).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/run_action.h"
#include "base/message_box.h"
#include "run/run_engine.h"
#include "support/recording_handler.h"

namespace {

constexpr std::size_t kMaxLongImage = std::size_t{8} << 20;

// The code body repeated until the image is target bytes long (whole copies and a partial one).
std::string Repeat_Code(std::string_view body, std::size_t target) {
  std::string image;
  if (body.empty()) return image;
  image.reserve(target);
  while (image.size() + body.size() <= target) image.append(body);
  image.append(body.substr(0, target - image.size()));
  return image;
}

// Code the emulator library aborts its process on (far CALL/JMP through a register, LOCK before
// most instructions) is left to the isolated engine and its test.
bool Aborts_Emulator(std::string_view code) {
  for (std::size_t i = 0; i < code.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(code[i]);
    if (b == 0xF0) return true;
    if (b == 0xFF && i + 1 < code.size()) {
      const auto modrm = static_cast<std::uint8_t>(code[i + 1]);
      if (((modrm & 0xF0) == 0xD0 || (modrm & 0xF0) == 0xE0) && (modrm & 0x08)) return true;
    }
  }
  return false;
}

}  // namespace

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

  const std::uint8_t flags = data[0];
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t long_image = 0;
  std::string without_shape;
  if ((flags & 0xFC) == 0xA4) {
    if (size < 2) return 0;
    const std::uint8_t shape = data[1];
    long_image = std::min(kMaxLongImage, std::size_t{1024} << (shape & 15));
    limits.timeout_seconds = 0.25 * (1 + (shape >> 4));
    // The flags byte stays in front; the shape byte goes.
    without_shape.assign(input.substr(0, 1)).append(input.substr(2));
    input = without_shape;
  }
  auto code_of = [&](std::string_view body) {
    return long_image ? Repeat_Code(body, long_image) : std::string(body);
  };

  orvo::RunResult result;
  if (flags & 1) {
    const std::size_t nul = input.find('\0', 1);
    const std::string_view fields_text =
        input.substr(1, nul == std::string_view::npos ? input.size() : nul - 1);
    const std::string code =
        code_of(nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1));
    if (Aborts_Emulator(code)) return 0;
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
    const std::size_t arg_bytes = std::min<std::size_t>(16, input.size() - 1);
    std::memcpy(args.data(), input.data() + 1, arg_bytes);
    if (flags & 2) args[0] = static_cast<std::int32_t>(orvo::Get_FnAddress());
    const std::string code = code_of(input.substr(1 + arg_bytes));
    if (Aborts_Emulator(code)) return 0;
    result = engine.Run_Code(code, args, limits);
    if (result.status != orvo::RunStatus::Returned && result.what.empty()) __builtin_trap();
  }
  (void)orvo::Run_ErrorText(result);
  (void)orvo::Format_Registers(result.registers);
  return 0;
}
