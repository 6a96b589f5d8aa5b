// Cross-check by meaning: generated two-operand lines (registers of every width, every base
// register, displacements around the 8/32-bit boundary, size prefixes and suffixes) are
// assembled and decoded again by an independent disassembler, which must read back the
// instruction the line says, as exactly one instruction.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "support/disasm.h"
#include "two_operand_support.h"

namespace orvo::test {
namespace {

const std::vector<std::string> kR32{"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"};
const std::vector<std::string> kR16{"AX", "CX", "DX", "BX", "SP", "BP", "SI", "DI"};
const std::vector<std::string> kR8{"AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH"};

const std::vector<std::string>& Registers(int bits) { return bits == 8 ? kR8 : bits == 16 ? kR16 : kR32; }

// Value of a literal of the forms used here: [-]digits or [-]&Hdigits.
std::int64_t Literal_Value(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  const bool hex = text.size() > 2 && text[0] == '&' && text[1] == 'H';
  const std::int64_t v = std::stoll(std::string(hex ? text.substr(2) : text), nullptr, hex ? 16 : 10);
  return negative ? -v : v;
}

std::string Immediate(std::string_view literal, int bits) {
  const std::uint64_t mask = bits == 32 ? 0xFFFFFFFFull : (1ull << bits) - 1;
  return Cs_Number(static_cast<std::uint64_t>(Literal_Value(literal)) & mask);
}

// ENTER's operands read back as signed numbers.
std::string Signed_Immediate(std::string_view literal, int bits) {
  const std::int64_t half = std::int64_t{1} << (bits - 1);
  std::int64_t v = Literal_Value(literal) & (2 * half - 1);
  if (v >= half) v -= 2 * half;
  return v < 0 ? "-" + Cs_Number(static_cast<std::uint64_t>(-v)) : Cs_Number(static_cast<std::uint64_t>(v));
}

struct Disp {
  std::string text;    // as written after the base, "" for none
  std::int64_t value;  // the displacement the bytes must hold
};

const std::vector<Disp> kDisps{
    {"", 0},        {"+4", 4},       {"-4", -4},          {"+127", 127}, {"-128", -128},
    {"+128", 128},  {"-129", -129},  {"+0", 0},           {"+4&", 4},    {"+100?", 100},
    {"+&H7F", 127}, {"-&H80", -128}, {"+100000", 100000}, {"+ 8", 8},
};

struct Mem {
  std::string text;  // "[EBX+4]" without size prefix
  std::string cs;    // "[ebx + 4]"
};

std::vector<Mem> Memory_Operands() {
  std::vector<Mem> out;
  for (const std::string& base : kR32) {
    for (const Disp& d : kDisps) {
      std::string cs = "[" + Lower(base);
      if (d.value > 0) cs += " + " + Cs_Number(static_cast<std::uint64_t>(d.value));
      if (d.value < 0) cs += " - " + Cs_Number(static_cast<std::uint64_t>(-d.value));
      out.push_back({"[" + base + d.text + "]", cs + "]"});
    }
  }
  return out;
}

std::string_view Prefix(int bits) {
  return bits == 8 ? "BYTE PTR " : bits == 16 ? "WORD PTR " : "DWORD PTR ";
}
std::string Ptr(int bits) { return bits == 8 ? "byte ptr " : bits == 16 ? "word ptr " : "dword ptr "; }

const std::vector<std::string> kImm8{"0", "5", "127", "&HFF", "-1", "-128", "200"};
const std::vector<std::string> kImm16{"5", "300", "&H1234", "-1", "65535", "-300", "&HFF"};
const std::vector<std::string> kImm32{"5", "70000", "&H12345678", "-1", "-70000", "&HFFFFFFFF", "2147483647"};
const std::vector<std::string>& Immediates(int bits) {
  return bits == 8 ? kImm8 : bits == 16 ? kImm16 : kImm32;
}

struct Case {
  std::string line;
  std::string expected;  // "mnemonic op1, op2" as the disassembler writes it
  bool commutative = false;
};

class Generator {
 public:
  std::vector<Case> cases;
  const std::vector<Mem> mems = Memory_Operands();

  void Add(std::string_view m, std::string first, std::string second, std::string cs1, std::string cs2,
           bool commutative = false) {
    cases.push_back(
        {std::string(m) + " " + first + "," + second, Lower(m) + " " + cs1 + ", " + cs2, commutative});
  }

  void Reg_Reg(std::string_view m, int bits, bool commutative = false) {
    const auto& regs = Registers(bits);
    for (const auto& a : regs)
      for (const auto& b : regs) Add(m, a, b, Lower(a), Lower(b), commutative);
  }
  // Register beside a memory operand; bare brackets take the register's size.
  // ptr: how the disassembler names the memory operand when it is not the register's size.
  void Reg_Mem(std::string_view m, int bits, std::optional<std::string> ptr = std::nullopt,
               bool commutative = false) {
    const auto& regs = Registers(bits);
    const std::string p = ptr ? *ptr : Ptr(bits);
    for (std::size_t i = 0; i < mems.size(); ++i) {
      const std::string& r = regs[i % 8];
      Add(m, r, mems[i].text, Lower(r), p + mems[i].cs, commutative);
      if (i % 5 == 0)
        Add(m, r, std::string(Prefix(bits)) + mems[i].text, Lower(r), p + mems[i].cs, commutative);
    }
  }
  void Mem_Reg(std::string_view m, int bits, bool commutative = false) {
    const auto& regs = Registers(bits);
    for (std::size_t i = 0; i < mems.size(); ++i) {
      const std::string& r = regs[(i + 3) % 8];
      Add(m, mems[i].text, r, Ptr(bits) + mems[i].cs, Lower(r), commutative);
    }
  }
  void Reg_Imm(std::string_view m, int bits, bool skip_accumulator = false) {
    for (const auto& r : Registers(bits)) {
      if (skip_accumulator && (r == "EAX" || r == "AX")) continue;
      for (const auto& v : Immediates(bits)) Add(m, r, v, Lower(r), Immediate(v, bits));
    }
  }
  // Memory destination sized by its prefix (bare brackets for 32 bits) or by an immediate suffix.
  void Mem_Imm(std::string_view m, int bits) {
    for (std::size_t i = 0; i < mems.size(); i += 3) {
      const auto& imms = Immediates(bits);
      const std::string& v = imms[i % imms.size()];
      const std::string prefix = bits == 32 ? "" : std::string(Prefix(bits));
      Add(m, prefix + mems[i].text, v, Ptr(bits) + mems[i].cs, Immediate(v, bits));
      // The range tests count the suffix as a character: only short literals take one.
      const char suffix = bits == 8 ? '?' : bits == 16 ? '%' : '&';
      const bool fits = bits == 32 || (v[0] != '&' && v.size() + 1 <= (bits == 8 ? 3u : 5u));
      if (v[0] != '-' && fits) Add(m, mems[i].text, v + suffix, Ptr(bits) + mems[i].cs, Immediate(v, bits));
    }
  }
};

std::vector<Case> Generate() {
  Generator g;
  for (int bits : {8, 16, 32}) {
    for (std::string_view m : {"MOV", "ADD", "OR", "ADC", "SBB", "AND", "SUB", "XOR", "CMP"}) {
      g.Reg_Reg(m, bits);
      g.Reg_Mem(m, bits);
      g.Mem_Reg(m, bits);
      g.Reg_Imm(m, bits);
      g.Mem_Imm(m, bits);
    }
    g.Reg_Reg("TEST", bits, true);
    g.Mem_Reg("TEST", bits);
    g.Reg_Imm("TEST", bits);
    g.Mem_Imm("TEST", bits);
    g.Reg_Reg("XCHG", bits, true);
    g.Mem_Reg("XCHG", bits, true);
    g.Reg_Mem("XCHG", bits, std::nullopt, true);
    g.Reg_Reg("CMPXCHG", bits);
    g.Mem_Reg("CMPXCHG", bits);
  }
  for (int bits : {16, 32}) {
    for (std::string_view m : {"BT", "BTS", "BTR", "BTC"}) {
      g.Reg_Reg(m, bits);
      g.Mem_Reg(m, bits);
      for (const auto& r : Registers(bits)) {
        if (r == "EAX" || r == "AX") continue;  // the accumulator code has no bit-test row
        for (std::string_view v : {"0", "3", "31", "&H1F", "255"})
          g.Add(m, r, std::string(v), Lower(r), Immediate(v, 8));
      }
      for (std::size_t i = 0; i < g.mems.size(); i += 4)
        g.Add(m, std::string(Prefix(bits)) + g.mems[i].text, "7", Ptr(bits) + g.mems[i].cs, "7");
    }
    for (std::string_view m : {"BSF", "BSR"}) {
      g.Reg_Reg(m, bits);
      g.Reg_Mem(m, bits);
    }
    g.Reg_Mem("LEA", bits, "");
    g.Reg_Reg("LAR", bits);
    g.Reg_Mem("LAR", bits, "word ptr ");
    g.Reg_Mem("BOUND", bits, bits == 32 ? "qword ptr " : "dword ptr ");
  }
  // IMUL with two and three operands: r,r/m and r,r/m,imm (the immediate as wide as the register),
  // and r,imm, which multiplies the register in place.
  for (int bits : {16, 32}) {
    g.Reg_Reg("IMUL", bits);
    g.Reg_Mem("IMUL", bits);
    const auto& regs = Registers(bits);
    const std::vector<std::string> imms =
        bits == 16 ? std::vector<std::string>{"5", "300", "&H1234", "65535"}
                   : std::vector<std::string>{"5", "70000", "&H12345678", "2147483647"};
    for (std::size_t i = 0; i < regs.size(); ++i) {
      const std::string& d = regs[i];
      const std::string& v = imms[i % imms.size()];
      for (const auto& s : regs)
        g.cases.push_back({"IMUL " + d + "," + s + "," + v,
                           "imul " + Lower(d) + ", " + Lower(s) + ", " + Immediate(v, bits)});
      g.cases.push_back(
          {"IMUL " + d + "," + v, "imul " + Lower(d) + ", " + Lower(d) + ", " + Immediate(v, bits)});
    }
    for (std::size_t i = 0; i < g.mems.size(); ++i) {
      const std::string& d = regs[i % 8];
      const std::string& v = imms[i % imms.size()];
      g.cases.push_back({"IMUL " + d + "," + g.mems[i].text + "," + v,
                         "imul " + Lower(d) + ", " + Ptr(bits) + g.mems[i].cs + ", " + Immediate(v, bits)});
    }
  }
  // LOCK before a read-modify-write instruction with a memory destination, on the same line.
  for (int bits : {8, 16, 32}) {
    const auto& regs = Registers(bits);
    for (std::size_t i = 0; i < g.mems.size(); i += 3) {
      const std::string& r = regs[i % 8];
      const std::string mem = std::string(Prefix(bits)) + g.mems[i].text;
      const std::string cs_mem = Ptr(bits) + g.mems[i].cs;
      for (std::string_view m : {"ADD", "OR", "ADC", "SBB", "AND", "SUB", "XOR", "XCHG", "CMPXCHG"})
        g.cases.push_back({"LOCK " + std::string(m) + " " + mem + "," + r,
                           "lock " + Lower(m) + " " + cs_mem + ", " + Lower(r)});
      for (std::string_view m : {"INC", "DEC", "NOT", "NEG"})
        g.cases.push_back({"LOCK " + std::string(m) + " " + mem, "lock " + Lower(m) + " " + cs_mem});
      const std::string& v = Immediates(bits)[i % Immediates(bits).size()];
      g.cases.push_back({"LOCK ADD " + mem + "," + v, "lock add " + cs_mem + ", " + Immediate(v, bits)});
      if (bits != 8)
        for (std::string_view m : {"BTS", "BTR", "BTC"})
          g.cases.push_back({"LOCK " + std::string(m) + " " + mem + "," + r,
                             "lock " + Lower(m) + " " + cs_mem + ", " + Lower(r)});
    }
  }
  for (std::string_view m : {"MOVZX", "MOVSX"}) {
    for (auto [dst_bits, src_bits] : {std::pair{16, 8}, std::pair{32, 8}, std::pair{32, 16}}) {
      for (const auto& d : Registers(dst_bits))
        for (const auto& s : Registers(src_bits)) g.Add(m, d, s, Lower(d), Lower(s));
      for (std::size_t i = 0; i < g.mems.size(); ++i) {
        const std::string& d = Registers(dst_bits)[i % 8];
        g.Add(m, d, std::string(Prefix(src_bits)) + g.mems[i].text, Lower(d), Ptr(src_bits) + g.mems[i].cs);
      }
    }
  }
  for (std::string_view port : {"0", "96", "&HFF"}) {
    for (std::string_view acc : {"AL", "AX", "EAX"}) {
      g.Add("IN", std::string(acc), std::string(port), Lower(acc), Immediate(port, 8));
      g.Add("OUT", std::string(port), std::string(acc), Immediate(port, 8), Lower(acc));
    }
  }
  for (std::string_view acc : {"AL", "AX", "EAX"}) {
    g.Add("IN", std::string(acc), "DX", Lower(acc), "dx");
    g.Add("OUT", "DX", std::string(acc), "dx", Lower(acc));
  }
  for (std::string_view size : {"0", "8", "300", "&HFFFF", "65535"})
    for (std::string_view level : {"0", "1", "31", "255"})
      g.Add("ENTER", std::string(size), std::string(level), Signed_Immediate(size, 16),
            Signed_Immediate(level, 8));
  return std::move(g.cases);
}

std::string Swapped(const std::string& text) {
  const std::size_t space = text.find(' ');
  const std::size_t comma = text.find(", ");
  return text.substr(0, space + 1) + text.substr(comma + 2) + ", " +
         text.substr(space + 1, comma - space - 1);
}

TEST(TwoOperandCrossCheck, DisassemblerReadsBackEveryGeneratedLine) {
  ASSERT_TRUE(Have_Disassembler()) << "the tests need Capstone (libcapstone-dev)";
  const std::vector<Case> cases = Generate();
  ASSERT_GT(cases.size(), 10000u);
  int failures = 0;
  for (const Case& c : cases) {
    Recorder rec;
    const std::string bytes = Assemble_Line(c.line);
    const std::string text = Disassemble32(bytes);
    const bool ok = !bytes.empty() && rec.Messages().empty() &&
                    Instruction_Length(bytes) == static_cast<int>(bytes.size()) &&
                    (text == c.expected || (c.commutative && text == Swapped(c.expected)));
    if (!ok && ++failures <= 25)
      ADD_FAILURE() << c.line << " -> " << Spaced_Hex(bytes) << " reads \"" << text << "\", expected \""
                    << c.expected << "\""
                    << (rec.Messages().empty() ? "" : " (box: " + Message_Text(rec.Messages()[0]) + ")");
  }
  EXPECT_EQ(failures, 0) << "of " << cases.size() << " lines";
}

// Every line the generator makes is assembled above; with one more operand or one more term
// after it, no line may keep its bytes.
TEST(TwoOperandCrossCheck, TextAfterTheLastOperandIsRefused) {
  const std::vector<Case> cases = Generate();
  int accepted = 0;
  for (std::size_t i = 0; i < cases.size(); i += 7) {
    const std::string& base = cases[i].line;
    // IMUL r,r/m takes an immediate as its third operand.
    const bool takes_imm = base.starts_with("IMUL ") && std::count(base.begin(), base.end(), ',') == 1;
    for (std::string_view tail : {",1", ",EAX", " 1", " X", " [EBX]", "\t1", " 1 000"}) {
      if (takes_imm && tail == ",1") continue;
      const std::string line = base + std::string(tail);
      Recorder rec;
      if (!Assemble_Line(line).empty() && ++accepted <= 25) ADD_FAILURE() << line << " was assembled";
    }
  }
  EXPECT_EQ(accepted, 0);
}

}  // namespace
}  // namespace orvo::test
