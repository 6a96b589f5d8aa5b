// Every row of the operand-less tables and every segment register push and pop, byte for byte:
// a wrong byte in one row must fail here. Bytes agree with NASM in 32-bit mode (PUSHF, POPF and
// IRET are the 16-bit forms, NASM's PUSHFW, POPFW and IRETW).

#include <gtest/gtest.h>

#include "assembler/compile.h"
#include "line_rows.h"

namespace orvo::test {
namespace {

TEST(FixedTables, FlagRows) {
  static constexpr BytesRow kRows[] = {
      {"CLC", "F8", "clc"},        {"STC", "F9", "stc"},       {"CMC", "F5", "cmc"},
      {"CLD", "FC", "cld"},        {"STD", "FD", "std"},       {"CLI", "FA", "cli"},
      {"STI", "FB", "sti"},        {"LAHF", "9F", "lahf"},     {"SAHF", "9E", "sahf"},
      {"PUSHF", "66 9C", "pushf"}, {"PUSHFD", "9C", "pushfd"}, {"POPF", "66 9D", "popf"},
      {"POPFD", "9D", "popfd"},    {"pushfd", "9C", "pushfd"},
  };
  Expect_Bytes(kRows);
}

TEST(FixedTables, NoOperandRows) {
  static constexpr BytesRow kRows[] = {
      {"AAA", "37", "aaa"},       {"AAD", "D5 0A", "aad"},   {"AAM", "D4 0A", "aam"},
      {"AAS", "3F", "aas"},       {"CBW", "66 98", "cbw"},   {"CWDE", "98", "cwde"},
      {"CWD", "66 99", "cwd"},    {"CDQ", "99", "cdq"},      {"DAA", "27", "daa"},
      {"DAS", "2F", "das"},       {"INTO", "CE", "into"},    {"LEAVE", "C9", "leave"},
      {"NOP", "90", "nop"},       {"WAIT", "9B", "wait"},    {"FWAIT", "9B", "wait"},
      {"HLT", "F4", "hlt"},       {"IRET", "66 CF", "iret"}, {"IRETD", "CF", "iretd"},
      {"XLAT", "D7", "xlatb"},    {"XLATB", "D7", "xlatb"},  {"cdq", "99", "cdq"},
      {"PUSHAD", "60", "pushal"}, {"POPAD", "61", "popal"},
  };
  Expect_Bytes(kRows);
}

TEST(FixedTables, SegmentRegisterPushAndPop) {
  static constexpr BytesRow kRows[] = {
      {"PUSH ES", "06", "push es"},  {"PUSH CS", "0E", "push cs"},    {"PUSH SS", "16", "push ss"},
      {"PUSH DS", "1E", "push ds"},  {"PUSH FS", "0F A0", "push fs"}, {"PUSH GS", "0F A8", "push gs"},
      {"POP ES", "07", "pop es"},    {"POP SS", "17", "pop ss"},      {"POP DS", "1F", "pop ds"},
      {"POP FS", "0F A1", "pop fs"}, {"POP GS", "0F A9", "pop gs"},
  };
  Expect_Bytes(kRows);
}

// &B literals hold up to 32 significant digits; leading zeros do not count.
TEST(FixedTables, BinaryLiteralsOfThirtyTwoDigits) {
  static constexpr BytesRow kRows[] = {
      {"DD &B10000000000000000000000000000000", "00 00 00 80"},
      {"DD &B11111111111111111111111111111111", "FF FF FF FF"},
      {"DD &B01111111111111111111111111111111", "FF FF FF 7F"},
      {"DD &B0000000010000000000000000000000000000001", "01 00 00 80"},
      {"DD &B1000000000000000000000000000000", "00 00 00 40"},
      {"DW &B1111111111111111", "FF FF"},
  };
  Expect_Bytes(kRows);
  static constexpr BoxRow kBoxes[] = {
      {"DD &B100000000000000000000000000000000",
       "Error in DD:\r\tOut of range\r\rSyntax:\r\tDD Value(0-4294967295)"},
      {"DW 65536", "Error in DW:\r\tOut of range\r\rSyntax:\r\tDW Value(0-65535)"},
      {"DW &H10000", "Error in DW:\r\tOut of range\r\rSyntax:\r\tDW Value(0-65535)"},
      {"DB 256", "Error in DB:\r\tOut of range\r\rSyntax:\r\tDB Value(0-255)"},
  };
  Expect_Boxes(kBoxes);
  static constexpr BytesRow kEdges[] = {{"DW 65535", "FF FF"}, {"DB 255", "FF"}};
  Expect_Bytes(kEdges);
}

}  // namespace
}  // namespace orvo::test
