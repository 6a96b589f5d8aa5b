// The whole compile of arbitrary source bytes, with and without the stack frame. Every box is
// recorded (Yes/No answered both ways); nothing may crash, leak or hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "assembler/compile.h"
#include "base/message_box.h"
#include "support/recording_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1 << 16)) return 0;
  orvo::RecordingMessageHandler recorder;
  orvo::ScopedMessageHandler scope(recorder);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  orvo::CompileSession session;
  orvo::CompileOptions options;
  options.stack = size > 0 && (data[0] & 1);
  recorder.default_answer = (size > 1 && (data[1] & 1)) ? orvo::MsgAnswer::Yes : orvo::MsgAnswer::No;
  session.Compile(text, options);
  (void)session.Listing_().Hex_Text();
  (void)session.Listing_().Raw_Bytes_Text();
  return 0;
}
