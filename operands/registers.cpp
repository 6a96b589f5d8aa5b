// Register names, size prefixes, operand-type codes and immediate suffixes.

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {
namespace {

// A name of two or three letters packed into one integer (capitals), so that a lookup is a few
// integer compares instead of string compares.
// The length sits in the top byte, so "\0AX" is not taken for "AX".
constexpr std::uint32_t Key(std::string_view s) {
  std::uint32_t k = 0;
  for (char c : s) k = (k << 8) | static_cast<unsigned char>(Upper_Char(c));
  return k | static_cast<std::uint32_t>(s.size()) << 24;
}

using Column = std::array<std::uint32_t, 8>;
// clang-format off
constexpr Column kReg32 = {Key("EAX"), Key("ECX"), Key("EDX"), Key("EBX"), Key("ESP"), Key("EBP"), Key("ESI"), Key("EDI")};
constexpr Column kReg16 = {Key("AX"),  Key("CX"),  Key("DX"),  Key("BX"),  Key("SP"),  Key("BP"),  Key("SI"),  Key("DI")};
constexpr Column kReg8  = {Key("AL"),  Key("CL"),  Key("DL"),  Key("BL"),  Key("AH"),  Key("CH"),  Key("DH"),  Key("BH")};
constexpr std::array<std::uint32_t, 6> kSegment = {Key("CS"), Key("SS"), Key("DS"), Key("ES"), Key("FS"), Key("GS")};
// clang-format on

// Key of a trimmed name of 2 or 3 characters, 0 for anything else (0 is no register's key).
// Operands come trimmed as a rule: a text whose ends are no spaces is taken as it is, and the
// two lengths are spelled out instead of looping over the characters.
constexpr std::uint32_t Name_Key(std::string_view text) {
  const std::string_view t = (!text.empty() && text.front() != ' ' && text.back() != ' ') ? text : Trim(text);
  const auto up = [](char c) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(Upper_Char(c)));
  };
  if (t.size() == 2) return (2u << 24) | (up(t[0]) << 8) | up(t[1]);
  if (t.size() == 3) return (3u << 24) | (up(t[0]) << 16) | (up(t[1]) << 8) | up(t[2]);
  return 0;
}
static_assert(Name_Key(" eAx ") == Key("EAX") && Name_Key("cs") == Key("CS") && Name_Key("EAXX") == 0 &&
              Name_Key("") == 0 && Name_Key(" ") == 0 && Name_Key("A") == 0);

// A name's letters as the little-endian word its bytes load as, with its length in the top byte;
// 0 for a key of any other length.
constexpr std::uint32_t Word_Of(std::uint32_t key) {
  switch (key >> 24) {
    case 2:
      return (key >> 8 & 0xFF) | (key & 0xFF) << 8 | 2u << 24;
    case 3:
      return (key >> 16 & 0xFF) | (key & 0xFF00) | (key & 0xFF) << 16 | 3u << 24;
    default:
      return 0;
  }
}

// Every general register by that word in one table: the multiply gives each of the 24 its own
// slot of 32, so a lookup is one compare, whichever the text.
struct RegSlot {
  std::uint32_t word = ~0u;  // empty: no name of two or three letters has this word
  std::uint8_t width = 0;
  std::uint8_t code = kNoRegister;
};
constexpr std::size_t Reg_Slot(std::uint32_t word) { return (word * 0xD1A4C415u) >> 27; }

constexpr auto kRegTable = [] {
  std::array<RegSlot, 32> table{};
  auto put = [&](const Column& column, std::uint8_t width) {
    for (std::uint8_t i = 0; i < 8; ++i)
      table[Reg_Slot(Word_Of(column[i]))] = RegSlot{Word_Of(column[i]), width, i};
  };
  put(kReg8, 8);
  put(kReg16, 16);
  put(kReg32, 32);
  return table;
}();

constexpr RegSlot Find_Word(std::uint32_t word) {
  const RegSlot& slot = kRegTable[Reg_Slot(word)];
  return slot.word == word ? slot : RegSlot{};
}
constexpr RegSlot Find_Register(std::uint32_t key) { return Find_Word(Word_Of(key)); }

constexpr std::uint8_t Code_Of(std::string_view text, std::uint8_t width) {
  const RegSlot slot = Find_Register(Name_Key(text));
  return slot.width == width ? slot.code : kNoRegister;
}

// The table answers as the columns do, and every name of two letters is an 8- or 16-bit register.
static_assert([] {
  for (std::uint8_t i = 0; i < 8; ++i)
    if (Find_Register(kReg8[i]).code != i || Find_Register(kReg16[i]).width != 16 ||
        Find_Register(kReg32[i]).code != i)
      return false;
  for (const std::uint32_t key : kReg8)
    if ((key >> 24) != 2) return false;
  for (const std::uint32_t key : kReg16)
    if ((key >> 24) != 2) return false;
  return Find_Register(Key("EAXX")).width == 0 && Find_Register(Key("CS")).width == 0;
}());

}  // namespace

std::vector<std::string> Register_Names() {
  std::vector<std::string> names;
  const auto add = [&](std::uint32_t key) {
    std::string name(key >> 24, ' ');
    for (std::size_t i = name.size(); i-- > 0; key >>= 8) name[i] = static_cast<char>(key & 0xFF);
    names.push_back(std::move(name));
  };
  for (const Column* column : {&kReg32, &kReg16, &kReg8})
    for (std::uint32_t key : *column) add(key);
  for (std::uint32_t key : kSegment) add(key);
  return names;
}

bool Is_RegisterName(std::string_view text) { return Find_Register(Name_Key(text)).width != 0; }
std::uint8_t Get_Reg32Code(std::string_view text) { return Code_Of(text, 32); }
std::uint8_t Get_Reg16Code(std::string_view text) { return Code_Of(text, 16); }
std::uint8_t Get_Reg8Code(std::string_view text) { return Code_Of(text, 8); }

bool Is_SegmentRegister(std::string_view text) {
  const std::uint32_t key = Name_Key(text);
  for (std::uint32_t k : kSegment)
    if (k == key) return true;
  return false;
}

namespace {
// Registers of other modes and machines, and words of other assemblers' operand syntax: none of
// them may stand for a label, so a line that uses one is refused instead of reading it as 0.
// clang-format off
constexpr std::array<std::string_view, 29> kForeignNames = {
    "RAX",    "RBX",    "RCX",    "RDX",   "RSI",   "RDI",    "RSP",   "RBP",
    "RIP",    "EIP",    "IP",     "SPL",   "BPL",   "SIL",    "DIL",   "FLAGS",
    "EFLAGS", "RFLAGS", "ST",     "PTR",   "BYTE",  "WORD",   "DWORD", "QWORD",
    "TBYTE",  "OFFSET", "SHORT",  "NEAR",  "FAR"};
// clang-format on
constexpr auto kForeignWords = [] {
  std::array<std::uint64_t, kForeignNames.size()> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = Pack_Mnemonic(kForeignNames[i]);
  std::sort(words.begin(), words.end());
  return words;
}();
// Prefixes of the numbered registers (CR0, XMM15, R8D...) that Is_ForeignName reads.
constexpr std::string_view kNumberedPrefixes = "CDTMSXYZR";

// The capital letters that start a register, segment or foreign name, one bit each: a name that
// starts with any other letter is none of them, whatever follows.
constexpr std::uint32_t kReservedInitials = [] {
  std::uint32_t bits = 0;
  const auto add = [&](char c) { bits |= 1u << (c - 'A'); };
  for (const std::string_view name : kForeignNames) add(name[0]);
  for (const char c : kNumberedPrefixes) add(c);
  for (const Column* column : {&kReg32, &kReg16, &kReg8})
    for (const std::uint32_t key : *column) add(static_cast<char>(key >> ((key >> 24) - 1) * 8));
  for (const std::uint32_t key : kSegment) add(static_cast<char>(key >> 8));
  return bits;
}();
static_assert((kReservedInitials >> ('L' - 'A') & 1) == 0 && (kReservedInitials >> ('E' - 'A') & 1) != 0 &&
              (kReservedInitials >> ('A' - 'A') & 1) != 0 && (kReservedInitials >> ('G' - 'A') & 1) != 0);
// The longest reserved names have six characters (EFLAGS, OFFSET).
constexpr std::size_t kLongestReserved = 6;

bool Is_ForeignName(std::string_view t) {
  if (t.empty() || t.size() > kLongestReserved) return false;
  const std::uint64_t key = Pack_Mnemonic_NoCase(t);
  if (std::binary_search(kForeignWords.begin(), kForeignWords.end(), key)) return true;
  if (kNumberedPrefixes.find(Upper_Char(t[0])) == std::string_view::npos) return false;
  // Every numbered register has a digit.
  bool digit = false;
  for (char c : t) digit = digit || Is_Digit(c);
  if (!digit) return false;
  char u[7] = {};
  for (std::size_t i = 0; i < t.size(); ++i) u[i] = Upper_Char(t[i]);
  const std::string_view n(u, t.size());
  // A prefix and a register number: CR0, DR7, TR6, MM0, ST0, XMM15, YMM3, ZMM31, R8..R15 with
  // an optional width letter.
  const auto number_from = [&](std::size_t at, int max) {
    if (at >= n.size() || n.size() - at > 2) return false;
    int v = 0;
    for (std::size_t i = at; i < n.size(); ++i) {
      if (!Is_Digit(n[i])) return false;
      v = v * 10 + (n[i] - '0');
    }
    return !(n.size() - at == 2 && n[at] == '0') && v <= max;
  };
  for (std::string_view p : {"CR", "DR"})
    if (n.starts_with(p) && number_from(2, 15)) return true;
  for (std::string_view p : {"TR", "MM", "ST"})
    if (n.starts_with(p) && number_from(2, 7)) return true;
  for (std::string_view p : {"XMM", "YMM", "ZMM"})
    if (n.starts_with(p) && number_from(3, 31)) return true;
  if (n.size() >= 2 && n[0] == 'R') {
    std::string_view r = n.substr(1);
    if (const char w = r.back(); w == 'D' || w == 'W' || w == 'B' || w == 'L') r.remove_suffix(1);
    for (std::string_view number : {"8", "9", "10", "11", "12", "13", "14", "15"})
      if (r == number) return true;
  }
  return false;
}
}  // namespace

bool Is_LabelShaped(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty() || !(Is_Letter(t[0]) || t[0] == '_')) return false;
  for (char c : t)
    if (!(Is_AlphaNumeric(c) || c == '_')) return false;
  // Most names are ruled out of every reserved list by their length or first letter.
  if (t.size() > kLongestReserved || t[0] == '_' || (kReservedInitials >> (Upper_Char(t[0]) - 'A') & 1) == 0)
    return true;
  return !Is_RegisterName(t) && !Is_SegmentRegister(t) && !Is_ForeignName(t);
}

namespace detail {

RegInfo Lookup_Register(std::string_view text) {
  const RegSlot slot = Find_Register(Name_Key(text));
  if (slot.width == 0) return {};
  return {slot.width, slot.code};
}

int Size_Prefix(std::string_view& t) {
  int size = 0;
  std::size_t cut = 0;
  if (t.empty()) return 0;
  // The three size words start with different letters: the first one picks the only candidate.
  const char c = Upper_Char(t[0]);
  if (c == 'B' && Starts_With_NoCase(t, "BYTE PTR")) {
    size = 1, cut = 8;
  } else if (c == 'W' && Starts_With_NoCase(t, "WORD PTR")) {
    size = 2, cut = 8;
  } else if (c == 'D' && Starts_With_NoCase(t, "DWORD PTR")) {
    size = 3, cut = 9;
  } else {
    return (!t.empty() && t[0] == '[') ? 3 : 0;
  }
  t = Trim(t.substr(cut));
  return size;
}

bool Label_Test(std::string_view t) { return Is_LabelShaped(t); }

}  // namespace detail

std::string_view Type_Code(OpType type) {
  switch (type) {
    case OpType::None:
      return "";
    case OpType::R8:
      return "r8";
    case OpType::R16:
      return "r16";
    case OpType::R32:
      return "r32";
    case OpType::M8:
      return "m8";
    case OpType::M16:
      return "m16";
    case OpType::M32:
      return "m32";
    case OpType::Imm8:
      return "imm8";
    case OpType::Imm16:
      return "imm16";
    case OpType::Imm32:
      return "imm32";
    case OpType::AL:
      return "AL";
    case OpType::AX:
      return "AX";
    case OpType::EAX:
      return "EAX";
  }
  return "";
}

namespace {
// Leaves of text only its part t (a view into it), in place.
void Cut_To(std::string& text, std::string_view t) {
  if (t.size() == text.size()) return;  // nothing trimmed or cut
  const std::size_t from = static_cast<std::size_t>(t.data() - text.data());
  text.erase(from + t.size());
  text.erase(0, from);
}
}  // namespace

int Strip_SizePtr(std::string& text) {
  std::string_view t = Trim(text);
  const int size = detail::Size_Prefix(t);
  Cut_To(text, t);
  return size;
}

int detail::Strip_SizePtr(std::string& text, const OperandReading& reading) {
  Cut_To(text, reading.rest);
  return reading.size;
}

detail::OperandReading detail::Read_Operand(std::string_view text, Diagnostics& sink, const MemRef* known) {
  OperandReading r;
  r.trimmed = Trim(text);
  r.rest = r.trimmed;
  r.size = Size_Prefix(r.rest);
  // Without a size the text does not start with "[": it is its own base.
  if (r.size != 0) {
    // A memory operand is read whole; its registers reach the encoders through the reading.
    r.ref = known != nullptr ? *known : Read_MemRef(r.rest, sink);
    r.mem.form = r.rest.empty() || r.rest.front() != '[' ? 0 : 1;
    return r;
  }
  r.mem.base = r.rest;
  r.reg = Lookup_Register(r.mem.base);
  return r;
}

namespace {

enum class Quick : std::uint8_t { Unknown, Accepted };

// The word of the two or three bytes at p, as Word_Of makes it for a register name. Register
// names are letters: clearing bit 5 makes a small letter its capital and turns no other byte into
// a letter, so no other text gets a register's word.
std::uint32_t Letters_Word(const char* p, std::size_t size) {
  std::uint16_t two = 0;
  if constexpr (std::endian::native == std::endian::little)
    std::memcpy(&two, p, 2);
  else
    two =
        static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8);
  const std::uint32_t word =
      size == 2 ? two | 2u << 24
                : (two | static_cast<std::uint32_t>(static_cast<unsigned char>(p[2])) << 16 | 3u << 24);
  return word & 0xFFDFDFDFu;
}

// The 32-bit register named by the three characters at p, or kNoRegister.
std::uint8_t Register32_At(const char* p) {
  const RegSlot slot = Find_Word(Letters_Word(p, 3));
  return slot.width == 32 ? slot.code : kNoRegister;
}

// Signs end a term of an address; blanks and brackets end the quick reading.
constexpr auto kEndsTerm = [] {
  std::array<bool, 256> ends{};
  for (const unsigned char c : {'+', '-', ' ', '[', ']'}) ends[c] = true;
  return ends;
}();

// The text between the brackets when it is registers, REG*1/2/4/8 and one plain number, joined by
// "+" (or "-" before the number) without blanks: read as Read_MemRef reads it. Unknown for
// anything else, faults included, which the full reading names.
Quick Read_Address_Quick(std::string_view inner, detail::MemRef& m) {
  constexpr std::uint8_t kEsp = 4, kEbp = 5;
  std::uint8_t regs[2] = {kNoRegister, kNoRegister};
  int reg_count = 0;
  std::uint8_t scaled = kNoRegister;
  std::uint8_t scale = 0;
  bool has_disp = false, negative = false;
  detail::PlainNumber disp;
  const char* const data = inner.data();
  const std::size_t n = inner.size();
  char sign = '+';
  const auto ends_term = [&](std::size_t at) {
    return at >= n || kEndsTerm[static_cast<unsigned char>(data[at])];
  };
  for (std::size_t i = 0;;) {
    if (i >= n) return Quick::Unknown;  // an empty term
    const char c = data[i];
    std::size_t j = i;
    if (Is_Digit(c) || c == '&') {
      while (!ends_term(j)) ++j;
      if (has_disp || !detail::Plain_Literal(std::string_view(data + i, j - i), disp)) return Quick::Unknown;
      has_disp = true;
      negative = sign == '-';
      // A subtracted &H or &B number is sized by its text.
      if (negative && c == '&') return Quick::Unknown;
    } else {
      // A register term is three characters, or five as REG*F; any other length is for the steps.
      // Its three letters are read in one look: a sign or blank among them keys no register.
      if (sign == '-' || i + 3 > n) return Quick::Unknown;
      const std::uint8_t r = Register32_At(data + i);
      if (r == kNoRegister) return Quick::Unknown;
      if (ends_term(i + 3)) {
        if (reg_count == 2) return Quick::Unknown;
        regs[reg_count++] = r;
        j = i + 3;
      } else {
        const char f = i + 4 < n ? data[i + 4] : '\0';
        if (data[i + 3] != '*' || (f != '1' && f != '2' && f != '4' && f != '8') || !ends_term(i + 5))
          return Quick::Unknown;
        if (scaled != kNoRegister) return Quick::Unknown;
        scaled = r;
        scale = f == '1' ? 0 : f == '2' ? 1 : f == '4' ? 2 : 3;
        j = i + 5;
      }
    }
    if (j >= n) break;
    if (data[j] != '+' && data[j] != '-') return Quick::Unknown;  // a blank or bracket
    sign = data[j];
    i = j + 1;
  }
  if (scaled != kNoRegister) {
    if (reg_count == 2) return Quick::Unknown;
    m.base = reg_count == 1 ? regs[0] : kNoRegister;
    m.index = scaled;
    m.scale = scale;
  } else if (reg_count == 2) {
    // ESP can only be the base: [EBX+ESP] is [ESP+EBX].
    m.base = regs[1] == kEsp ? regs[1] : regs[0];
    m.index = regs[1] == kEsp ? regs[0] : regs[1];
  } else if (reg_count == 1) {
    m.base = regs[0];
  } else {
    return Quick::Unknown;
  }
  if (m.index == kEsp) return Quick::Unknown;
  if (!has_disp) {
    m.mod = m.base == kEbp ? 0x40 : 0x00;  // [EBP] has no mod-00 form
    return Quick::Accepted;
  }
  if (negative && disp.value > 0x80000000u) return Quick::Unknown;
  m.disp = negative ? -static_cast<std::int64_t>(disp.value) : static_cast<std::int64_t>(disp.value);
  if (m.base == kNoRegister)
    m.mod = 0x00;
  else
    m.mod = detail::Plain_ImmType(disp) == OpType::Imm8 && m.disp >= -128 && m.disp <= 127 ? 0x40 : 0x80;
  return Quick::Accepted;
}

// Eight characters of a size word, compared in one load: the bytes as a little-endian word, and
// which bits count (bit 5 of a letter is its case; a blank must be a blank).
struct EightChars {
  std::uint64_t bits = 0;
  std::uint64_t compared = 0;
};
constexpr EightChars Eight_Of(std::string_view word) {
  EightChars e;
  for (std::size_t i = 0; i < 8; ++i) {
    e.bits |= std::uint64_t{static_cast<unsigned char>(word[i])} << (8 * i);
    e.compared |= std::uint64_t{Is_UpperLetter(word[i]) ? 0xDFu : 0xFFu} << (8 * i);
  }
  return e;
}
constexpr EightChars kBytePtr = Eight_Of("BYTE PTR");
constexpr EightChars kWordPtr = Eight_Of("WORD PTR");

// Whether t starts with the eight characters of word, in any case.
bool Starts_With_Word(std::string_view t, const EightChars& word) {
  if (t.size() < 8) return false;
  std::uint64_t text = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&text, t.data(), 8);
  } else {
    for (std::size_t i = 0; i < 8; ++i) text |= std::uint64_t{static_cast<unsigned char>(t[i])} << (8 * i);
  }
  return (text & word.compared) == word.bits;
}

// The four bytes at p as a little-endian word.
std::uint32_t Load_Four(const char* p) {
  std::uint32_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, p, 4);
  } else {
    for (std::size_t i = 0; i < 4; ++i) word |= std::uint32_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  return word;
}

// Whether the low three bytes of word (a load of four) name a 32-bit register, in any case, and
// its code.
bool Register32_Of(std::uint32_t word, std::uint8_t& code) {
  const std::uint32_t letters = (word & 0xDFDFDFu) | 3u << 24;
  const RegSlot& slot = kRegTable[Reg_Slot(letters)];
  code = slot.code;
  return slot.word == letters;  // the names of three letters are the 32-bit registers'
}

// The bracketed part of t, after a size word when there is one, and the size code (3 without a
// word); empty when t is neither "[..." nor a size word, blanks and "[...".
std::string_view Bracketed(std::string_view t, int& size) {
  const char first = t[0];
  size = 3;
  if (first == '[') return t;
  // Bit 5 is a letter's case: the first letter picks the only word it can start.
  const char u = static_cast<char>(first & 0xDF);
  std::size_t cut = 0;
  if (u == 'B' && Starts_With_Word(t, kBytePtr))
    size = 1, cut = 8;
  else if (u == 'W' && Starts_With_Word(t, kWordPtr))
    size = 2, cut = 8;
  else if (u == 'D' && Starts_With_Word(t.substr(1), kWordPtr))
    size = 3, cut = 9;
  else
    return {};
  // Written as a rule with one blank before the bracket.
  if (t.size() > cut + 1 && t[cut] == ' ' && t[cut + 1] == '[') return t.substr(cut + 1);
  const std::string_view rest = Trim_Left(t.substr(cut));
  return !rest.empty() && rest[0] == '[' ? rest : std::string_view{};
}

// A bracketed operand (t ends with "]") that Read_Plain_Memory leaves: the loop over its terms,
// and the steps for what the loop leaves.
[[gnu::noinline]] bool Read_Plain_Memory_Terms(std::string_view t, detail::PlainOperand& out) {
  int size = 0;
  const std::string_view rest = Bracketed(t, size);
  detail::MemRef m;
  if (rest.empty() || Read_Address_Quick(rest.substr(1, rest.size() - 2), m) != Quick::Accepted)
    return detail::Read_Plain_Steps(t, out);
  out.kind = detail::PlainOperand::Kind::Memory;
  out.size = size;
  out.size_written = t[0] != '[';
  out.ref = m;
  return true;
}

// The number that closes an address whose registers Read_Plain_Memory has put in out: the
// displacement and the mod bits it takes. A number followed by more terms is no plain literal,
// so Plain_Literal refuses it rather than reading a term short.
[[gnu::noinline]] bool Read_Closing_Number(std::string_view number, bool negative, detail::PlainOperand& out,
                                           std::string_view t) {
  detail::PlainNumber disp;
  if (!detail::Plain_Literal(number, disp) || (negative && disp.value > 0x80000000u))
    return Read_Plain_Memory_Terms(t, out);
  // Eight bits when the number's text is a byte's (as Plain_ImmType) and its value one.
  const bool byte_text = disp.decimal ? disp.digits <= 3 : disp.digits <= 2;
  out.ref.mod = byte_text && disp.value <= (negative ? 128u : 127u) ? 0x40 : 0x80;
  out.ref.disp = negative ? -static_cast<std::int64_t>(disp.value) : static_cast<std::int64_t>(disp.value);
  return true;
}

// A bracketed operand (t ends with "]", no outer blanks). The addresses programs write most are
// read in one pass without a loop or a call: a base register, then "+REG" or "+REG*F", then a
// sign and a number that runs to the closing bracket, which Read_Closing_Number reads. Anything
// else goes to Read_Plain_Memory_Terms. out is filled before the closing number is read: when
// that number is refused, the reading that follows writes every field it answers with.
[[gnu::noinline]] bool Read_Plain_Memory(std::string_view t, detail::PlainOperand& out) {
  constexpr std::uint8_t kEsp = 4, kEbp = 5;
  int size = 0;
  const std::string_view rest = Bracketed(t, size);
  if (rest.empty()) return detail::Read_Plain_Steps(t, out);
  const char* p = rest.data() + 1;
  const char* const end = rest.data() + rest.size() - 1;  // the closing bracket, which may be read
  if (end - p < 3) return Read_Plain_Memory_Terms(t, out);
  std::uint32_t word = Load_Four(p);
  std::uint8_t base = kNoRegister;
  if (!Register32_Of(word, base)) return Read_Plain_Memory_Terms(t, out);
  std::uint8_t index = kNoRegister, scale = 0;
  p += 3;
  char c = static_cast<char>(word >> 24);  // *p
  if (c == '+' && end - p >= 4) {
    word = Load_Four(p + 1);
    if (std::uint8_t second = kNoRegister; Register32_Of(word, second)) {
      p += 4;
      c = static_cast<char>(word >> 24);
      if (c == '*') {
        const char f = p[1];
        if (f != '1' && f != '2' && f != '4' && f != '8') return Read_Plain_Memory_Terms(t, out);
        scale = f == '1' ? 0 : f == '2' ? 1 : f == '4' ? 2 : 3;
        index = second;
        p += 2;
        c = *p;
      } else if (second == kEsp) {
        index = base;  // ESP can only be the base: [EBX+ESP] is [ESP+EBX]
        base = kEsp;
      } else {
        index = second;
      }
      if (index == kEsp) return Read_Plain_Memory_Terms(t, out);
    }
  }
  if (p != end && ((c != '+' && c != '-') || end - p < 2)) return Read_Plain_Memory_Terms(t, out);
  out.kind = detail::PlainOperand::Kind::Memory;
  out.size = size;
  out.size_written = t[0] != '[';
  out.ref = detail::MemRef{
      detail::MemError::None, base, index, scale, base == kEbp ? std::uint8_t{0x40} : std::uint8_t{0}, 0, {}};
  if (p == end) return true;
  const bool negative = c == '-';
  // A subtracted &B number is sized by its text as written, not by its digits: the steps read it.
  // (A subtracted &H number is sized as any other, by its digits.)
  if (Is_Digit(p[1]) || (p[1] == '&' && (!negative || (p[2] | 0x20) == 'h')))
    return Read_Closing_Number(std::string_view(p + 1, static_cast<std::size_t>(end - p - 1)), negative, out,
                               t);
  return p[1] == '&' ? detail::Read_Plain_Steps(t, out) : Read_Plain_Memory_Terms(t, out);
}

// Registers were tried by Read_Plain; numbers and addresses written without outer blanks are
// read here, everything else by the steps.
bool Read_Plain_Other(std::string_view text, detail::PlainOperand& out) {
  if (text.empty() || text.front() == ' ' || text.back() == ' ') return detail::Read_Plain_Steps(text, out);
  if (text.back() == ']') return Read_Plain_Memory(text, out);
  if (const char first = text.front(); Is_Digit(first) || first == '&') {
    out.kind = detail::PlainOperand::Kind::Number;
    return detail::Plain_Literal(text, out.number);
  }
  return detail::Read_Plain_Steps(text, out);
}

}  // namespace

bool detail::Read_Plain(std::string_view text, PlainOperand& out) {
  // Most operands are a register: two or three letters, which no other text keys like.
  if (text.size() == 2 || text.size() == 3) {
    const std::uint32_t word = Letters_Word(text.data(), text.size());
    if (const RegSlot& slot = kRegTable[Reg_Slot(word)]; slot.word == word) {
      out.kind = PlainOperand::Kind::Register;
      out.reg = {slot.width, slot.code};
      return true;
    }
  }
  return Read_Plain_Other(text, out);
}

bool detail::Read_Plain_Steps(std::string_view text, PlainOperand& out) {
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty()) return false;
  std::string_view rest = trimmed;
  out.size = Size_Prefix(rest);
  if (out.size != 0) {
    if (rest.empty() || rest.front() != '[') return false;
    Diagnostics raised;
    out.ref = Read_MemRef(rest, raised);
    if (out.ref.error != MemError::None || !raised.empty()) return false;
    out.kind = PlainOperand::Kind::Memory;
    out.size_written = rest.size() != trimmed.size();
    return true;
  }
  out.reg = Lookup_Register(trimmed);
  if (out.reg.width != 0) {
    out.kind = PlainOperand::Kind::Register;
    return true;
  }
  out.kind = PlainOperand::Kind::Number;
  return Plain_Literal(trimmed, out.number);
}

OpType detail::Operand_Type(const OperandReading& r, Diagnostics& sink) {
  static constexpr OpType kMem[] = {OpType::None, OpType::M8, OpType::M16, OpType::M32};
  if (r.size != 0) return r.ref.error == MemError::None ? kMem[r.size] : OpType::None;
  switch (r.reg.width) {
    case 8:
      return OpType::R8;
    case 16:
      return OpType::R16;
    case 32:
      return OpType::R32;
    default:
      break;
  }
  // One normalization serves the number and the label test, so a bad &B literal shows one box.
  const detail::NormalLiteral literal(r.trimmed, sink);
  std::string_view n = literal.view();
  const bool minus = detail::Strip_Minus_View(n);
  if (detail::Number_Test(n)) {
    if (detail::Imm_Test(n, 2, 3, kByteMax)) return OpType::Imm8;
    if (detail::Imm_Test(n, 4, 5, kWordMax)) return OpType::Imm16;
    return OpType::Imm32;
  }
  // A label's value is an offset; minus a label is no value the language has.
  return !minus && detail::Label_Test(n) ? OpType::Imm32 : OpType::None;
}

OpType Get_OperandType(std::string_view text, Diagnostics& sink) {
  return detail::Operand_Type(detail::Read_Operand(text, sink), sink);
}

bool Is_LabelName(std::string_view text) { return Is_LabelShaped(text); }

OpType Get_ImmSuffix(std::string& text) {
  const std::size_t keep = Trim_Right(text).size();
  text.resize(keep);
  if (text.empty()) return OpType::None;
  OpType type = OpType::None;
  switch (text.back()) {
    case '?':
      type = OpType::Imm8;
      break;
    case '%':
      type = OpType::Imm16;
      break;
    case '&':
      type = OpType::Imm32;
      break;
    default:
      return OpType::None;
  }
  text.pop_back();
  return type;
}

OpType Get_ImmType(std::string_view text, Diagnostics& sink) {
  // A segment register is neither a label nor a short text worth 0.
  if (Is_SegmentRegister(text)) return OpType::None;
  if (Is_LabelShaped(text)) return OpType::Imm32;
  const detail::NormalLiteral literal(text, sink);
  std::string_view n = literal.view();
  detail::Strip_Minus_View(n);
  if (detail::Imm_Test(n, 2, 3, kByteMax)) return OpType::Imm8;
  if (detail::Imm_Test(n, 4, 5, kWordMax)) return OpType::Imm16;
  if (detail::Number_Test(n)) return OpType::Imm32;
  return OpType::None;
}

}  // namespace orvo
