#include "app/source_lines.h"

#include <algorithm>
#include <charconv>

#include "assembler/code_image.h"
#include "assembler/compile.h"
#include "base/text.h"

namespace orvo {

SourceLineMap::SourceLineMap(const Listing& listing, std::size_t image_size, bool stack,
                             std::vector<std::string_view> lines)
    : lines_(std::move(lines)) {
  if (!listing.Has_Addresses()) return;
  for (std::size_t i = 0; i < listing.Line_Count() && i < listing.Raw_Bytes_Rows(); ++i) {
    const std::size_t length = listing.Raw_Bytes(i).size();
    if (length == 0) continue;
    const std::string address = listing.Address_Decimal(i);
    std::uint32_t begin = 0;
    if (address.empty() ||
        std::from_chars(address.data(), address.data() + address.size(), begin).ec != std::errc())
      continue;
    ranges_.push_back({begin, begin + static_cast<std::uint32_t>(length), static_cast<std::uint32_t>(i)});
  }
  // Lines come in address order; keep the search sound should that ever change.
  std::sort(ranges_.begin(), ranges_.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
  if (stack && image_size >= kPrologue.size() + kEpilogue.size()) {
    prologue_end_ = static_cast<std::uint32_t>(kPrologue.size());
    epilogue_end_ = static_cast<std::uint32_t>(image_size);
    epilogue_begin_ = epilogue_end_ - static_cast<std::uint32_t>(kEpilogue.size());
  }
}

bool Has_StackFrame(const Listing& listing, std::size_t image_size) {
  std::size_t lines_bytes = 0;
  for (std::size_t i = 0; i < listing.Raw_Bytes_Rows(); ++i) lines_bytes += listing.Raw_Bytes(i).size();
  return image_size == lines_bytes + kPrologue.size() + kEpilogue.size();
}

SourceLine SourceLineMap::Find(std::uint32_t offset) const {
  if (offset < prologue_end_) return {SourceLine::Kind::Prologue, 0};
  if (offset >= epilogue_begin_ && offset < epilogue_end_) return {SourceLine::Kind::Epilogue, 0};
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), offset,
                             [](std::uint32_t at, const Range& r) { return at < r.begin; });
  if (it == ranges_.begin()) return {};
  --it;
  if (offset >= it->end) return {};
  return {SourceLine::Kind::Line, it->index};
}

std::string_view SourceLineMap::Text(std::size_t index) const {
  return index < lines_.size() ? Trim(lines_[index]) : std::string_view();
}

std::string SourceLineMap::Describe(std::uint32_t offset) const {
  const SourceLine at = Find(offset);
  switch (at.kind) {
    case SourceLine::Kind::Prologue:
      return "prologue of the stack frame";
    case SourceLine::Kind::Epilogue:
      return "epilogue of the stack frame";
    case SourceLine::Kind::Line:
      return "line " + std::to_string(at.index + 1) + ": " + std::string(Text(at.index));
    case SourceLine::Kind::None:
      break;
  }
  return {};
}

std::int64_t SourceLineMap::Offset_Of(std::size_t index) const {
  for (const Range& r : ranges_)
    if (r.index == index) return r.begin;
  return -1;
}

}  // namespace orvo
