// Cross-check by meaning for addresses: every base (and none), every index (and none), every
// scale and displacements around the one-byte boundary are assembled in a register form and a
// group form; an independent disassembler must read back the same address. A random grammar
// wider than the language then checks that every line is either refused with a box or reads
// back as what it says.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "assembler/compile.h"
#include "line_rows.h"

namespace orvo::test {
namespace {

const char* const kR32[] = {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"};

// What an address means, and how the disassembler writes it.
struct Address {
  int base = -1, index = -1, scale = 1;
  std::int64_t disp = 0;

  std::string Cs() const {
    std::string s = "[";
    if (base >= 0) s += Lower(kR32[base]);
    if (index >= 0) {
      if (base >= 0) s += " + ";
      s += Lower(kR32[index]);
      if (scale != 1) s += "*" + std::to_string(scale);
    }
    if (disp > 0) s += " + " + Cs_Number(static_cast<std::uint64_t>(disp));
    if (disp < 0) s += " - " + Cs_Number(static_cast<std::uint64_t>(-disp));
    return s + "]";
  }
};

void Expect_ReadsBack(const std::string& line, const std::string& expected, int& failures) {
  Recorder rec;
  const std::string bytes = Assemble_Line(line);
  const std::string text = Disassemble32(bytes);
  const bool ok = !bytes.empty() && rec.Messages().empty() &&
                  Instruction_Length(bytes) == static_cast<int>(bytes.size()) && text == expected;
  if (!ok && ++failures <= 25)
    ADD_FAILURE() << line << " -> " << Spaced_Hex(bytes) << " reads \"" << text << "\", expected \""
                  << expected << "\""
                  << (rec.Messages().empty() ? "" : " (box: " + rec.Messages()[0].text + ")");
}

TEST(MemoryCrossCheck, EveryBaseIndexScaleAndDisplacement) {
  ASSERT_TRUE(Have_Disassembler());
  struct Disp {
    const char* text;
    std::int64_t value;
  };
  const Disp disps[] = {{"", 0}, {"+127", 127}, {"-128", -128}, {"+128", 128}, {"-129", -129}, {"+0x10", 16}};
  int failures = 0, lines = 0;
  for (int base = -1; base < 8; ++base) {
    for (int index = -1; index < 8; ++index) {
      if (index == 4) continue;  // ESP is never an index
      for (const int scale : {1, 2, 4, 8}) {
        if (index < 0 && scale != 1) continue;
        if (base < 0 && index < 0) continue;
        for (const Disp& d : disps) {
          std::string inner;
          if (base >= 0) inner = kR32[base];
          if (index >= 0) {
            if (!inner.empty()) inner += "+";
            inner += std::string(kR32[index]) + "*" + std::to_string(scale);
          }
          inner += d.text;
          const Address a{base, index, scale, d.value};
          // Written base first and index first; the address is the same.
          Expect_ReadsBack("MOV ECX,[" + inner + "]", "mov ecx, dword ptr " + a.Cs(), failures);
          Expect_ReadsBack("NEG WORD PTR [" + inner + "]", "neg word ptr " + a.Cs(), failures);
          Expect_ReadsBack("MOV [" + inner + "],DL", "mov byte ptr " + a.Cs() + ", dl", failures);
          // Terms in another order: displacement first, then the index, then the base.
          std::string reversed = d.text[0] == '+' ? std::string(d.text + 1) : std::string(d.text);
          if (index >= 0)
            reversed += std::string(reversed.empty() ? "" : "+") + std::to_string(scale) + "*" + kR32[index];
          if (base >= 0) reversed += std::string(reversed.empty() ? "" : "+") + kR32[base];
          Expect_ReadsBack("LEA EDI,[" + reversed + "]", "lea edi, " + a.Cs(), failures);
          lines += 4;
        }
      }
    }
  }
  EXPECT_EQ(failures, 0) << "of " << lines << " lines";
}

// ---- Random addresses from a grammar wider than the language --------------------------------

struct Term {
  std::string text;
  enum Kind { Register, Scaled, Number, Junk } kind = Junk;
  int reg = -1, scale = 1;
  std::int64_t value = 0;
  char suffix = 0;
};

class AddressGrammar {
 public:
  explicit AddressGrammar(unsigned seed) : rng_(seed) {}

  Term Next() {
    switch (Pick(10)) {
      case 0:
      case 1:
      case 2: {
        Term t;
        t.kind = Term::Register;
        t.reg = Pick(8);
        t.text = kR32[t.reg];
        return t;
      }
      case 3:
      case 4: {
        static constexpr int kScales[] = {1, 2, 4, 8, 1, 2, 4, 8, 0, 3, 16};
        Term t;
        t.reg = Pick(8);
        t.scale = kScales[Pick(11)];
        const std::string scale = std::to_string(t.scale);
        t.text = Pick(2) ? std::string(kR32[t.reg]) + "*" + scale : scale + "*" + kR32[t.reg];
        t.kind = (t.scale == 1 || t.scale == 2 || t.scale == 4 || t.scale == 8) ? Term::Scaled : Term::Junk;
        return t;
      }
      case 5:
      case 6:
      case 7: {
        static constexpr std::int64_t kValues[] = {0,   1,   8,   100,  127,   128,
                                                   200, 255, 256, 1000, 65536, 0x12345678};
        Term t;
        t.kind = Term::Number;
        t.value = kValues[Pick(12)];
        t.text = Notation(t.value);
        if (Pick(5) == 0) {
          t.suffix = "?&%"[Pick(3)];
          t.text += t.suffix;
        }
        return t;
      }
      default: {
        static constexpr const char* kJunk[] = {"AX",  "BL",  "DS",  "CR0",  "XMM0", "RAX",
                                                "XYZ", "_x",  "4*2", "1abc", "0x",   "1_000",
                                                "12b", "&HG", "2Gh", "1.5",  "(4)",  "EAX*ECX"};
        Term t;
        t.text = kJunk[Pick(18)];
        return t;
      }
    }
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

 private:
  std::string Notation(std::int64_t v) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(v));
    std::string binary;
    for (std::int64_t k = v; k > 0; k /= 2) binary.insert(binary.begin(), static_cast<char>('0' + k % 2));
    if (binary.empty()) binary = "0";
    switch (Pick(6)) {
      case 0:
        return "&H" + std::string(hex);
      case 1:
        return "0x" + std::string(hex);
      case 2:
        return "0" + std::string(hex) + "h";
      case 3:
        if (v < 4096) return binary + "b";
        [[fallthrough]];
      case 4:
        if (v < 4096) return "0b" + binary;
        [[fallthrough]];
      default:
        return std::to_string(v);
    }
  }
  std::mt19937 rng_;
};

// The address a list of signed terms means, or nothing when the language refuses it.
std::optional<Address> Meaning(const std::vector<std::pair<char, Term>>& terms) {
  std::vector<int> plain;
  int scaled = -1, scale = 1, numbers = 0;
  std::int64_t disp = 0;
  char suffix = 0;
  for (const auto& [sign, t] : terms) {
    switch (t.kind) {
      case Term::Junk:
        return std::nullopt;
      case Term::Register:
        if (sign == '-') return std::nullopt;
        plain.push_back(t.reg);
        break;
      case Term::Scaled:
        if (sign == '-' || scaled >= 0) return std::nullopt;
        scaled = t.reg, scale = t.scale;
        break;
      case Term::Number:
        if (++numbers > 1) return std::nullopt;
        disp = sign == '-' ? -t.value : t.value;
        suffix = t.suffix;
        break;
    }
  }
  Address a;
  a.disp = disp;
  if (scaled >= 0) {
    if (plain.size() > 1) return std::nullopt;
    a.index = scaled, a.scale = scale;
    if (!plain.empty()) a.base = plain[0];
  } else if (plain.size() == 2) {
    a.base = plain[0], a.index = plain[1];
    if (a.index == 4) std::swap(a.base, a.index);
  } else if (plain.size() == 1) {
    a.base = plain[0];
  } else {
    return std::nullopt;
  }
  if (plain.size() > 2 || a.index == 4) return std::nullopt;
  if (suffix == '?' && (a.base < 0 || disp < -128 || disp > 127)) return std::nullopt;
  a.disp = static_cast<std::int32_t>(static_cast<std::uint32_t>(disp));  // as the CPU adds it
  return a;
}

TEST(MemoryCrossCheck, RandomAddressesAreRefusedOrMeanWhatTheySay) {
  ASSERT_TRUE(Have_Disassembler());
  AddressGrammar grammar(20261207);
  int failures = 0, refused = 0, accepted = 0;
  for (int n = 0; n < 4000; ++n) {
    std::vector<std::pair<char, Term>> terms;
    std::string inner;
    const int count = 1 + grammar.Pick(4);
    for (int k = 0; k < count; ++k) {
      const char sign = (k == 0 && grammar.Pick(6) != 0) ? '+' : "+-"[grammar.Pick(2)];
      const Term t = grammar.Next();
      if (k > 0 || sign == '-') inner += sign;
      if (grammar.Pick(8) == 0) inner += ' ';
      inner += t.text;
      terms.emplace_back(sign, t);
    }
    // Now and then a doubled sign or a trailing one: no term follows it.
    const bool broken = grammar.Pick(20) == 0;
    if (broken) inner += "+-"[grammar.Pick(2)];
    const std::optional<Address> meaning = broken ? std::nullopt : Meaning(terms);
    const std::string line = "MOV EAX,[" + inner + "]";
    if (meaning) {
      ++accepted;
      Expect_ReadsBack(line, "mov eax, dword ptr " + meaning->Cs(), failures);
      continue;
    }
    ++refused;
    Recorder rec;
    const std::string bytes = Assemble_Line(line);
    if ((!bytes.empty() || rec.Messages().size() != 1) && ++failures <= 25)
      ADD_FAILURE() << line << " -> " << Spaced_Hex(bytes) << " with " << rec.Messages().size()
                    << " boxes, expected one box and no bytes";
  }
  EXPECT_EQ(failures, 0);
  // The grammar must reach both sides.
  EXPECT_GT(accepted, 500);
  EXPECT_GT(refused, 500);
}

TEST(MemoryCrossCheck, RandomNumbersAreRefusedOrMeanWhatTheySay) {
  ASSERT_TRUE(Have_Disassembler());
  std::mt19937 rng(1207);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  static constexpr std::int64_t kValues[] = {0, 1, 3, 45, 127, 128, 255, 256, 4096, 65535, 70000, 0x7FFFFFFF};
  static constexpr char kJunk[] = {'_', 'x', 'Z', 'g', '$', '-', '+', '*', 'G'};
  int failures = 0, refused = 0, accepted = 0;
  for (int n = 0; n < 3000; ++n) {
    const std::int64_t v = kValues[pick(12)];
    char hex[24];
    std::snprintf(hex, sizeof hex, pick(2) ? "%llX" : "%llx", static_cast<unsigned long long>(v));
    std::string binary;
    for (std::int64_t k = v; k > 0; k /= 2) binary.insert(binary.begin(), static_cast<char>('0' + k % 2));
    if (binary.empty()) binary = "0";
    std::string text;
    switch (pick(7)) {
      case 0:
        text = std::to_string(v);
        break;
      case 1:
        text = "&H" + std::string(hex);
        break;
      case 2:
        text = "0x" + std::string(hex);
        break;
      case 3:
        text = "0" + std::string(hex) + (pick(2) ? "h" : "H");
        break;
      case 4:
        text = "&B" + binary;
        break;
      case 5:
        text = "0b" + binary;
        break;
      default:
        text = binary + "b";
        break;
    }
    const bool negative = pick(4) == 0;
    if (negative) text = "-" + text;
    // A character no notation allows, somewhere after the first digit.
    const bool junk = pick(3) == 0;
    if (junk) {
      // At the end or before the last character, never in front: a name starts with a letter.
      const std::size_t first = negative ? 2 : 1;
      text.insert(std::max(first, text.size() - static_cast<std::size_t>(pick(2))), 1, kJunk[pick(9)]);
    }
    const std::string line = "MOV EAX," + text;
    if (!junk) {
      ++accepted;
      const auto value = static_cast<std::uint32_t>(negative ? -v : v);
      Expect_ReadsBack(line, "mov eax, " + Cs_Number(value), failures);
      continue;
    }
    ++refused;
    Recorder rec;
    const std::string bytes = Assemble_Line(line);
    if ((!bytes.empty() || rec.Messages().empty()) && ++failures <= 25)
      ADD_FAILURE() << line << " -> " << Spaced_Hex(bytes) << " with " << rec.Messages().size()
                    << " boxes, expected a refusal";
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(accepted, 500);
  EXPECT_GT(refused, 500);
}

// Whole lines through the compile: a random address, number or register in an instruction, with
// or without a label of its own, a comment, blanks, or text that belongs to no operand. A line
// either fails the compile with a box, or its bytes read back as exactly what it says.
TEST(MemoryCrossCheck, RandomWholeLinesAreRefusedOrMeanWhatTheySay) {
  ASSERT_TRUE(Have_Disassembler());
  AddressGrammar grammar(14014);
  struct Piece {
    const char* text;
    bool sound;
  };
  // Numbers in every notation and how the disassembler writes them; "" where the text is refused
  // (it would be read by its leading part).
  struct Number {
    const char* text;
    const char* cs;
  };
  static constexpr Number kNumbers[] = {
      {"100", "0x64"},      {"0x64", "0x64"},      {"64h", "0x64"},  {"064H", "0x64"}, {"&H64", "0x64"},
      {"1100100b", "0x64"}, {"0b1100100", "0x64"}, {"100&", "0x64"}, {"64", "0x40"},   {"7", "7"},
      {"64x", ""},          {"1_00", ""},          {"0x", ""},       {"100 0", ""},    {"&HG4", ""},
      {"100-", ""},         {"0b102", ""},         {"1abc", ""},
  };
  static constexpr Piece kRegisters[] = {{"EAX", true}, {"RAX", false}, {"XMM0", false}, {"CR0", false}};
  static constexpr Piece kPrefixes[] = {{"", true}, {"here: ", true}, {"_h1: ", true}, {"here:", true}};
  static constexpr Piece kSuffixes[] = {
      {"", true},    {" ; note", true}, {"\t", true},    {" ;a:\"b\" LBL", true}, {"   ", true},
      {" X", false}, {" 5", false},     {",ECX", false}, {" LBL", false},         {"]", false},
  };
  const auto pick = [&](const auto& rows) -> const auto& { return rows[grammar.Pick(std::size(rows))]; };
  int failures = 0, refused = 0, accepted = 0;
  for (int n = 0; n < 6000; ++n) {
    std::vector<std::pair<char, Term>> terms;
    std::string inner;
    const int count = 1 + grammar.Pick(2);
    for (int k = 0; k < count; ++k) {
      const char sign = (k == 0 || grammar.Pick(4) != 0) ? '+' : '-';
      const Term t = grammar.Next();
      if (k > 0) inner += sign;
      inner += t.text;
      terms.emplace_back(sign, t);
    }
    const std::optional<Address> address = Meaning(terms);
    const Number& number = pick(kNumbers);
    const Piece& reg = pick(kRegisters);
    const Piece& prefix = pick(kPrefixes);
    const Piece& suffix = pick(kSuffixes);
    std::string code, expected;
    bool sound = prefix.sound && suffix.sound;
    const bool number_ok = *number.cs != 0;
    switch (grammar.Pick(4)) {
      case 0:
        code = std::string("MOV ") + reg.text + ",[" + inner + "]";
        sound = sound && reg.sound && address;
        if (address) expected = "mov eax, dword ptr " + address->Cs();
        break;
      case 1:
        code = "ADD [" + inner + "],EDX";
        sound = sound && address;
        if (address) expected = "add dword ptr " + address->Cs() + ", edx";
        break;
      case 2:
        code = "IMUL ECX,[" + inner + "]," + number.text;
        sound = sound && address && number_ok;
        if (address) expected = "imul ecx, dword ptr " + address->Cs() + ", " + number.cs;
        break;
      default:
        code = std::string("MOV ") + reg.text + "," + number.text;
        sound = sound && reg.sound && number_ok;
        expected = std::string("mov eax, ") + number.cs;
        break;
    }
    const std::string line = prefix.text + code + suffix.text;
    Recorder rec;
    CompileSession session;
    const CompileOutcome outcome = session.Compile(line, {});
    const std::string& bytes = session.Image().Bytes();
    if (sound) {
      ++accepted;
      const std::string text = Disassemble32(bytes);
      const bool ok = outcome == CompileOutcome::Finished && !session.Failed() &&
                      Instruction_Length(bytes) == static_cast<int>(bytes.size()) && text == expected;
      if (!ok && ++failures <= 25)
        ADD_FAILURE() << line << " -> " << Spaced_Hex(bytes) << " reads \"" << text << "\", expected \""
                      << expected << "\""
                      << (session.Boxes().empty() ? "" : " (box: " + session.Boxes()[0].text + ")");
      continue;
    }
    ++refused;
    if ((outcome == CompileOutcome::Finished || !session.Failed() || session.Boxes().empty()) &&
        ++failures <= 25)
      ADD_FAILURE() << line << " -> " << Spaced_Hex(bytes) << " compiled; expected a refusal";
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(accepted, 400);
  EXPECT_GT(refused, 2000);
}

}  // namespace
}  // namespace orvo::test
