#pragma once
// Helpers shared by the test suites: byte strings from hex, and a recorder for boxes.

#include <string>
#include <string_view>

#include "base/message_box.h"
#include "support/recording_handler.h"

namespace orvo::test {

// "B8 05 00 00 00" or "B805000000" -> bytes.
std::string Hex_Bytes(std::string_view hex);

// A character device for tests that write to one: as root, a node of its own in folder (a fault
// that replaced the device would replace only that node, never the system's /dev/full or
// /dev/null); otherwise the system's device, which a process without root cannot replace.
std::string Private_Device(const std::string& folder, const char* name, unsigned major, unsigned minor);
// The "disk full" device (1,7) and the null device (1,3) that way.
inline std::string Full_Device(const std::string& folder) { return Private_Device(folder, "full", 1, 7); }
inline std::string Null_Device(const std::string& folder) { return Private_Device(folder, "null", 1, 3); }
// bytes -> "B8 05 00 00 00" (for readable failure output).
std::string Spaced_Hex(std::string_view bytes);

// Installs a recorder for the lifetime of the object.
struct Recorder : RecordingMessageHandler {
  Recorder() : scope(*this) {}
  ScopedMessageHandler scope;
};

}  // namespace orvo::test
