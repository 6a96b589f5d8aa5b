#pragma once
// Row checks for the one-operand, control-flow, data and string families: a source line goes
// through the pass-2 dispatch as the compile would hand it over, and its bytes, boxes and (with
// Capstone) its decoding are compared with the row.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "assembler/dispatch.h"
#include "base/text.h"
#include "support/disasm.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace orvo::test {

inline std::string Assemble_Line(std::string_view line) {
  LabelTable labels;
  bool invalid_label = false;
  return Dispatch_Line(Get_LineTerms(Trim(line)), labels, invalid_label);
}

// line -> bytes, no box. With a decoding, the bytes are one whole instruction that decodes to it.
struct BytesRow {
  std::string_view line;
  std::string_view hex;
  std::string_view decoded = {};
};

// line -> no bytes and exactly this box (no box at all when text is empty).
struct BoxRow {
  std::string_view line;
  std::string_view text;
  std::optional<std::string_view> title = std::nullopt;
};

inline void Expect_Decodes(std::string_view line, const std::string& bytes, std::string_view decoded) {
  if (decoded.empty() || !Have_Disassembler()) return;
  EXPECT_EQ(Disassemble32(bytes), decoded) << line;
  EXPECT_EQ(Instruction_Length(bytes), static_cast<int>(bytes.size())) << line;
}

template <class Rows>
void Expect_Bytes(const Rows& rows) {
  for (const BytesRow& row : rows) {
    Recorder rec;
    const std::string bytes = Assemble_Line(row.line);
    EXPECT_EQ(Spaced_Hex(bytes), Spaced_Hex(Hex_Bytes(row.hex))) << row.line;
    EXPECT_TRUE(rec.Messages().empty()) << row.line << ": " << rec.Messages().front().text;
    Expect_Decodes(row.line, bytes, row.decoded);
  }
}

template <class Rows>
void Expect_Boxes(const Rows& rows) {
  for (const BoxRow& row : rows) {
    Recorder rec;
    EXPECT_EQ(Spaced_Hex(Assemble_Line(row.line)), "") << row.line;
    if (row.text.empty()) {
      EXPECT_TRUE(rec.Messages().empty()) << row.line;
      continue;
    }
    ASSERT_EQ(rec.Messages().size(), 1u) << row.line;
    const Message& box = rec.Messages().front();
    EXPECT_EQ(box.text, row.text) << row.line;
    EXPECT_EQ(box.style, MsgStyle::Ok) << row.line;
    if (row.title) {
      EXPECT_EQ(box.title, std::optional<std::string>(std::string(*row.title))) << row.line;
    } else {
      EXPECT_EQ(box.title, std::nullopt) << row.line;
    }
  }
}

}  // namespace orvo::test
