#pragma once
// Rows for the two-operand family tests: a source line with the bytes it gives, or with the one
// box it shows and no bytes. Lines go through the real pass-2 dispatch.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "assembler/dispatch.h"
#include "ide/message_box.h"
#include "operands/text.h"
#include "support/test_support.h"

namespace orvo::test {

inline std::string Assemble_Line(std::string_view line) {
  LabelTable labels;
  bool invalid_label = false;
  return Dispatch_Line(Get_LineTerms(Trim(line)), labels, invalid_label);
}

struct BytesRow {
  std::string_view line;
  std::string_view hex;
};

struct RefusalRow {
  std::string_view line;
  std::string_view text;
  MsgStyle style = MsgStyle::Ok;
  std::optional<std::string_view> title = std::nullopt;
};

inline void Expect_Bytes(const BytesRow& row) {
  Recorder rec;
  const std::string bytes = Assemble_Line(row.line);
  EXPECT_EQ(Spaced_Hex(bytes), Spaced_Hex(Hex_Bytes(row.hex))) << row.line;
  for (const Message& m : rec.Messages()) ADD_FAILURE() << row.line << ": unexpected box " << Message_Text(m);
}

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
