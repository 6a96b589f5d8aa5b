// The one-pass operand reader against the step-by-step one: random operand texts built from the
// pieces addresses, registers and numbers are made of, right and wrong. Where either says yes,
// both must, with the same reading.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "operands/detail.h"

namespace orvo::detail {
namespace {

std::string Describe(bool read, const PlainOperand& o) {
  if (!read) return "refused";
  std::ostringstream s;
  switch (o.kind) {
    case PlainOperand::Kind::Register:
      s << "reg " << o.reg.width << "/" << int{o.reg.code};
      break;
    case PlainOperand::Kind::Number:
      s << "number " << o.number.value << " digits " << int{o.number.digits} << (o.number.decimal ? " dec" : "");
      break;
    case PlainOperand::Kind::Memory:
      s << "mem size " << o.size << (o.size_written ? " written" : "") << " base " << int{o.ref.base} << " index "
        << int{o.ref.index} << " scale " << int{o.ref.scale} << " mod " << int{o.ref.mod} << " disp " << o.ref.disp;
      break;
  }
  return s.str();
}

std::string Address(std::mt19937& rnd) {
  const char* const registers[] = {"EAX", "ecx", "EDX", "EbX", "ESP", "EBP", "ESI", "EDI", "AX", "BL", "CS", "EIP"};
  const char* const scaled[] = {"EAX*2", "ECX*4", "EDX*8", "ESI*1", "ESP*2", "EDI*3", "EBX*16", "2*EBX", "EAX *2"};
  // Near misses of a register term, now and then: short, long, a byte that is no letter.
  const char* const odd_terms[] = {"E", "EA", "EAXX", "eSp", "E\xC1X", "ECX*", "EBP*8*2", "EDI*4x", "EAX*2+"};
  const char* const numbers[] = {"0",     "4",     "127",  "128",  "129",  "255",   "256",     "0127",   "999999999",
                                 "2147483647", "2147483648", "4294967295", "4294967296", "0x80000000", "0x80000001", "0x7F", "0x80", "0x0080",
                                 "7Fh",   "080h",  "0FFFFFFFFh", "&H7F", "&H07F", "&HFFFFFFFF", "&B1111", "0b1",
                                 "101b",  "5?",    "5&",   "1E2",   "&HG",   "0x",       "LBL",    ""};
  std::string inner;
  const int terms = 1 + static_cast<int>(rnd() % 3);
  for (int k = 0; k < terms; ++k) {
    if (k > 0 || rnd() % 10 == 0) inner += rnd() % 3 == 0 ? "-" : "+";
    switch (rnd() % 3) {
      case 0:
        inner += rnd() % 8 == 0 ? odd_terms[rnd() % std::size(odd_terms)]
                                : registers[rnd() % std::size(registers)];
        break;
      case 1:
        inner += scaled[rnd() % std::size(scaled)];
        break;
      default:
        inner += numbers[rnd() % std::size(numbers)];
        break;
    }
  }
  if (!inner.empty() && inner[0] == '+' && rnd() % 2 == 0) inner.erase(0, 1);
  if (rnd() % 20 == 0) inner.insert(rnd() % (inner.size() + 1), " ");
  std::string text = "[" + inner + "]";
  if (rnd() % 30 == 0) text += "]";
  if (rnd() % 30 == 0) text.insert(1, "[");
  const char* const sizes[] = {"", "", "", "BYTE PTR ", "word ptr ", "DWORD PTR ", "DWORD PTR", "BYTE  PTR ", "QWORD PTR "};
  const char* const odd_sizes[] = {"dword ptr  ", "DWORD PTRX ", "DWORD PTR [", "DWORD  PTR ", "WORD PTR\t"};
  return (rnd() % 16 == 0 ? odd_sizes[rnd() % std::size(odd_sizes)] : sizes[rnd() % std::size(sizes)]) + text;
}

TEST(PlainReading, OnePassReadsAsTheSteps) {
  const char* const others[] = {"EAX",  "eax",    "AX",    "al",  "BH",    "SP",    "CS",    "CR0",
                                "EAXX", "E",      "0",     "255", "0x100", "&H0FF", "&B101", "0b2",
                                "12h",  "-1",     "5?",    "LBL", "_x",    " EAX",  "EAX ",  "",
                                "EBX]", "e\xC1x", "A\xD8", "  ",  "\x01X", "bH",    "eSi"};
  std::mt19937 rnd(7);
  int memory_read = 0;
  for (int n = 0; n < 200000; ++n) {
    const std::string text = rnd() % 4 == 0 ? std::string(others[rnd() % std::size(others)]) : Address(rnd);
    PlainOperand quick, steps;
    const bool by_quick = Read_Plain(text, quick);
    const bool by_steps = Read_Plain_Steps(text, steps);
    ASSERT_EQ(Describe(by_quick, quick), Describe(by_steps, steps)) << text;
    if (by_steps && steps.kind == PlainOperand::Kind::Memory) ++memory_read;
  }
  // Enough addresses are read for the comparison to cover the accepted shapes.
  EXPECT_GT(memory_read, 20000);
}

// The shapes programs write most, read by hand: both readers must give these readings.
TEST(PlainReading, CommonAddresses) {
  struct Row {
    const char* text;
    const char* reading;
  };
  const Row rows[] = {
      {"[EBX]", "mem size 3 base 3 index 255 scale 0 mod 0 disp 0"},
      {"[ebp]", "mem size 3 base 5 index 255 scale 0 mod 64 disp 0"},
      {"[ESP]", "mem size 3 base 4 index 255 scale 0 mod 0 disp 0"},
      {"[EBX+ESP]", "mem size 3 base 4 index 3 scale 0 mod 0 disp 0"},
      {"[EBP+ESI]", "mem size 3 base 5 index 6 scale 0 mod 64 disp 0"},
      {"[ESP+ESP]", "refused"},
      {"[EAX+ESP*2]", "refused"},
      {"[EAX+EBX*3]", "refused"},
      {"[EAX+EBX*]", "refused"},
      {"[EAX+]", "refused"},
      {"[EAXX]", "refused"},
      {"[EA]", "refused"},
      {"[EAX-EBX]", "refused"},
      {"[ECX+EDI*2]", "mem size 3 base 1 index 7 scale 1 mod 0 disp 0"},
      {"DWORD PTR [EBP+EDX*8-77330]", "mem size 3 written base 5 index 2 scale 3 mod 128 disp -77330"},
      {"BYTE PTR [EDI+0b110101]", "mem size 1 written base 7 index 255 scale 0 mod 64 disp 53"},
      {"word ptr  [EAX+4]", "mem size 2 written base 0 index 255 scale 0 mod 64 disp 4"},
      {"DWORD PTR[EAX]", "mem size 3 written base 0 index 255 scale 0 mod 0 disp 0"},
      {"[ESI+127]", "mem size 3 base 6 index 255 scale 0 mod 64 disp 127"},
      {"[ESI+128]", "mem size 3 base 6 index 255 scale 0 mod 128 disp 128"},
      {"[ESI-128]", "mem size 3 base 6 index 255 scale 0 mod 64 disp -128"},
      {"[ESI-129]", "mem size 3 base 6 index 255 scale 0 mod 128 disp -129"},
      {"[ESI+0127]", "mem size 3 base 6 index 255 scale 0 mod 128 disp 127"},
      {"[ESI+&H7F]", "mem size 3 base 6 index 255 scale 0 mod 64 disp 127"},
      {"[ESI+&H07F]", "mem size 3 base 6 index 255 scale 0 mod 128 disp 127"},
      {"[ESI-&HC8]", "mem size 3 base 6 index 255 scale 0 mod 128 disp -200"},
      {"[ESI-&h80]", "mem size 3 base 6 index 255 scale 0 mod 64 disp -128"},
      {"[ESI-&H080]", "mem size 3 base 6 index 255 scale 0 mod 128 disp -128"},
      {"[ESI-&B1]", "mem size 3 base 6 index 255 scale 0 mod 64 disp -1"},
      {"[ESI-&B11]", "mem size 3 base 6 index 255 scale 0 mod 128 disp -3"},
      {"[EAX+5+EBX]", "mem size 3 base 0 index 3 scale 0 mod 64 disp 5"},
      {"[EAX+EBX*4+0x10]", "mem size 3 base 0 index 3 scale 2 mod 64 disp 16"},
      {"eSi", "reg 32/6"},
      {"bh", "reg 8/7"},
      {"Sp", "reg 16/4"},
      {"e\xC1x", "refused"},
      {"[EAX-2147483648]", "mem size 3 base 0 index 255 scale 0 mod 128 disp -2147483648"},
  };
  for (const Row& row : rows) {
    PlainOperand quick, steps;
    EXPECT_EQ(Describe(Read_Plain(row.text, quick), quick), row.reading) << row.text;
    EXPECT_EQ(Describe(Read_Plain_Steps(row.text, steps), steps), row.reading) << row.text;
  }
}

}  // namespace
}  // namespace orvo::detail
