#pragma once
// ConstTable: named pieces of source text, substituted into every line before it is assembled.

#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class ConstTable {
 public:
  ConstTable() { Reset(); }
  void Reset();
  // The CONST line without its first six characters. Shows the usage or register box when the
  // definition is refused.
  void Define_Const(std::string_view text);
  // Rewrites line in place (trimmed, constants substituted). Returns false when nothing was
  // defined or the line is empty (the line is then left exactly as it was).
  bool Replace_Consts(std::string& line) const;
  std::size_t Size() const { return names_.size() - 1; }
  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<std::string>& Values() const { return values_; }

 private:
  // Index 0 holds an empty entry and is never used.
  std::vector<std::string> names_;
  std::vector<std::string> values_;
};

}  // namespace orvo
