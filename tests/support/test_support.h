#pragma once
// Helpers shared by the test suites: byte strings from hex, and a recorder for boxes.

#include <string>
#include <string_view>

#include "base/message_box.h"
#include "support/recording_handler.h"

namespace orvo::test {

// "B8 05 00 00 00" or "B805000000" -> bytes.
std::string Hex_Bytes(std::string_view hex);
// bytes -> "B8 05 00 00 00" (for readable failure output).
std::string Spaced_Hex(std::string_view bytes);

// Installs a recorder for the lifetime of the object.
struct Recorder : RecordingMessageHandler {
  Recorder() : scope(*this) {}
  ScopedMessageHandler scope;
};

}  // namespace orvo::test
