#pragma once
// Which source line an address of the code image belongs to, from a finished compile's listing:
// what a fault box, a trace row and the debugger's highlight name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class Listing;

struct SourceLine {
  enum class Kind { None, Line, Prologue, Epilogue };
  Kind kind = Kind::None;
  std::size_t index = 0;  // 0-based line of the source (Kind::Line)
};

// Whether a finished compile's image carries the stack frame: its size is the lines' bytes plus
// the prologue and epilogue.
bool Has_StackFrame(const Listing& listing, std::size_t image_size);

class SourceLineMap {
 public:
  SourceLineMap() = default;
  // listing: of a compile that ran to its end; image_size: bytes of its code image (with the
  // frame when stack is set); lines: the editor's lines, for the texts (may be empty).
  SourceLineMap(const Listing& listing, std::size_t image_size, bool stack,
                std::vector<std::string_view> lines);

  // offset: into the code image (an address minus the code base).
  SourceLine Find(std::uint32_t offset) const;
  // The editor's text of a line (trimmed), or "" when it is not known.
  std::string_view Text(std::size_t index) const;
  // "line 9: ADD EAX,ECX" (1-based), "prologue of the stack frame", "epilogue of the stack
  // frame", or "" outside the routine's code.
  std::string Describe(std::uint32_t offset) const;
  // Lowest offset of a line's code, or -1 when the line has none.
  std::int64_t Offset_Of(std::size_t index) const;

 private:
  struct Range {
    std::uint32_t begin = 0, end = 0;
    std::uint32_t index = 0;
  };
  std::vector<Range> ranges_;  // by begin, not overlapping
  std::vector<std::string_view> lines_;
  std::uint32_t prologue_end_ = 0;
  std::uint32_t epilogue_begin_ = 0, epilogue_end_ = 0;
};

}  // namespace orvo
