#include <gtest/gtest.h>

#include "assembler/compile.h"
#include "line_rows.h"

namespace orvo::test {
namespace {

TEST(PushPop, Forms) {
  static constexpr BytesRow kRows[] = {
      {"push eax", "50", "push eax"},
      {"POP EDI", "5F", "pop edi"},
      {"push fs", "0F A0", "push fs"},
      {"POP GS", "0F A9", "pop gs"},
      {"PUSH CS", "0E", "push cs"},
      {"PUSH ss", "16", "push ss"},
      {"POP DS", "1F", "pop ds"},
      {"POP ds", "1F", "pop ds"},  // segment names in any case, like PUSH
      {"POP es", "07", "pop es"},
      {"PUSH AX", "66 FF F0", "push ax"},
      {"POP AX", "66 58", "pop ax"},
      {"PUSH DWORD PTR [EBP+8]", "FF 75 08", "push dword ptr [ebp + 8]"},
      {"PUSH [ebp+12]", "FF 75 0C", "push dword ptr [ebp + 0xc]"},
      {"PUSH [ESP]", "FF 34 24", "push dword ptr [esp]"},
      {"PUSH [EBP]", "FF 75 00", "push dword ptr [ebp]"},
      {"POP [EAX]", "8F 00", "pop dword ptr [eax]"},
      {"POP WORD PTR [ESI+4]", "66 8F 46 04", "pop word ptr [esi + 4]"},
      {"PUSH WORD PTR [EAX-4]", "66 FF 70 FC", "push word ptr [eax - 4]"},
      {"PUSH 5", "6A 05", "push 5"},
      {"PUSH -1", "6A FF", "push -1"},
      {"PUSH 127", "6A 7F", "push 0x7f"},
      // 6Ah sign-extends its byte: 128..255 take the 32-bit form.
      {"PUSH 128", "68 80 00 00 00", "push 0x80"},
      {"PUSH 200", "68 C8 00 00 00", "push 0xc8"},
      {"PUSH -200", "68 38 FF FF FF"},
      {"PUSH 200?", "6A C8"},
      {"PUSH 5&", "68 05 00 00 00", "push 5"},
      {"PUSH 5%", "66 68 05 00", "push 5"},
      {"PUSH 300", "66 68 2C 01", "push 0x12c"},
      {"PUSH 300&", "68 2C 01 00 00"},
      {"PUSH &HFFFFFFFF", "68 FF FF FF FF"},
      {"PUSH &H00000000FF", "68 FF 00 00 00"},  // leading zeros add no bytes
      {"PUSH Data", "68 00 00 00 00"},          // the label pass writes the address
      {"PUSH _Data", "68 00 00 00 00"},
  };
  Expect_Bytes(kRows);
}

TEST(PushPop, Refusals) {
  static constexpr BoxRow kRows[] = {
      {"POP CS", ""},
      {"PUSH", ""},  // not a push of a label named PUSH
      {"POP", ""},
      {"POP 5", ""},
      {"POP BYTE PTR [EAX]", ""},
      {"POP AL", ""},
      {"POP Data", ""},
      {"PUSH x-y", ""},
      {"PUSH -Data", ""},
      {"PUSH 300?", "Out of Byte", "PUSH 300"},
      {"PUSH 70000%", "Out of Word", "PUSH 70000"},
      {"PUSH &H123456789", "Out of Dword", "PUSH &H123456789"},
      {"PUSH 4294967295", "Overflow\r\rPUSH 4294967295", "6"},
      {"PUSH DWORD PTR [XYZ+4]", "Invalid use of label: XYZ\r\rA label cannot be part of an address."},
  };
  Expect_Boxes(kRows);
}

// The default source with its constants written out, inside the stack frame.
TEST(PushPop, DefaultSourceWithoutMov) {
  Recorder rec;
  CompileSession s;
  CompileOptions stack;
  stack.stack = true;
  ASSERT_EQ(s.Compile("REM MSGBOX\r\nConst Arg1 EQU [ebp+8]\r\nConst Arg2 EQU [ebp+12]\r\nPUSHAD\r\n"
                      "PUSH Arg2\r\nCALL Arg1\r\nPOPAD",
                      stack),
            CompileOutcome::Finished);
  EXPECT_EQ(Spaced_Hex(s.Image().Bytes()),
            Spaced_Hex(Hex_Bytes("5589E5535657 60 FF750C FF5508 61 5F5E5B89EC5DC21000")));
  EXPECT_TRUE(rec.Messages().empty());
}

}  // namespace
}  // namespace orvo::test
