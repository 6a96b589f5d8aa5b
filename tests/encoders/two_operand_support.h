#pragma once
// Refusal rows for the two-operand family tests: a source line with the one box it shows (text,
// style, title) and no bytes. Byte rows and Assemble_Line come from line_rows.h.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/message_box.h"
#include "line_rows.h"

namespace orvo::test {

struct RefusalRow {
  std::string_view line;
  std::string_view text;
  MsgStyle style = MsgStyle::Ok;
  std::optional<std::string_view> title = std::nullopt;
};

inline void Expect_Refusal(const RefusalRow& row) {
  Recorder rec;
  const std::string bytes = Assemble_Line(row.line);
  EXPECT_EQ(Spaced_Hex(bytes), "") << row.line;
  ASSERT_EQ(rec.Messages().size(), 1u) << row.line;
  const Message& m = rec.Messages()[0];
  EXPECT_EQ(m.text, row.text) << row.line;
  EXPECT_EQ(m.style, row.style) << row.line;
  EXPECT_EQ(m.title, row.title ? std::optional<std::string>(std::string(*row.title)) : std::nullopt)
      << row.line;
}

}  // namespace orvo::test
