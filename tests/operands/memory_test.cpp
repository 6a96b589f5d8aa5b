#include <gtest/gtest.h>

#include <string>

#include "operands/detail.h"
#include "operands/operands.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace orvo {
namespace {

using test::Hex_Bytes;
using test::Recorder;
using test::Spaced_Hex;

// The one reader every encoder uses: ModRM (reg field 0), SIB and displacement of an address.
TEST(MemRef, BytesOfEveryForm) {
  struct Row {
    const char* operand;
    const char* bytes;  // spaced hex
  };
  const Row rows[] = {
      {"[EBX]", "03"},
      {"[EBP]", "45 00"},  // no mod-00 form: [EBP+0]
      {"[ESP]", "04 24"},
      {"DWORD PTR EDI", "07"},
      {"[EBX+ESI]", "04 33"},
      {"[ESI+EBX]", "04 1E"},
      {"[EBX+ESP]", "04 1C"},  // ESP only as the base
      {"[EBP+ESI]", "44 35 00"},
      {"[EBX+ESI*2+8]", "44 73 08"},
      {"[8+2*ESI+EBX]", "44 73 08"},
      {"[ECX*4]", "04 8D 00 00 00 00"},  // no base: SIB base 101 and a disp32
      {"[ECX*4-8]", "04 8D F8 FF FF FF"},
      {"[ESP+EAX*8+128]", "84 C4 80 00 00 00"},
      {"[EBX+0x18]", "43 18"},
      {"[EBX+1Ah]", "43 1A"},
      {"[EBX+0100]", "83 64 00 00 00"},  // the literal's width counts first, as it always has
      {"[EBX+4&]", "83 04 00 00 00"},
      {"[EBX-128?]", "43 80"},
      {"[EBX+0FFFFFFFFh]", "83 FF FF FF FF"},
      {"[EBX+ESI*8+0127]", "84 F3 7F 00 00 00"},  // four digits: disp32 whatever the value
      {"[EBX+ECX*1-128]", "44 0B 80"},
      {"[ecx*2+edx]", "04 4A"},
      {"[EDI*8+EBP]", "44 FD 00"},
      {"[EAX*2+999999999]", "04 45 FF C9 9A 3B"},
  };
  for (const Row& r : rows) {
    std::string_view rest = r.operand;
    detail::Size_Prefix(rest);
    const detail::MemRef m = detail::Read_MemRef(rest);
    ASSERT_EQ(m.error, detail::MemError::None) << r.operand;
    std::string bytes;
    detail::Append_MemBytes(bytes, 0, m);
    EXPECT_EQ(Spaced_Hex(bytes), r.bytes) << r.operand;
    EXPECT_EQ(Operand_Refusal(r.operand), "") << r.operand;
  }
  // The reg field goes in as it is; anything else in it is a fault, never a wrong byte.
  std::string bytes;
  detail::Append_MemBytes(bytes, 0x18, detail::Read_MemRef("[EAX]"));
  EXPECT_EQ(Spaced_Hex(bytes), "18");
  EXPECT_THROW(detail::Append_MemBytes(bytes, 0xC0, detail::Read_MemRef("[EAX]")), Fault);
  EXPECT_THROW(detail::Append_MemBytes(bytes, 0x08, detail::Read_MemRef("[AX]")), Fault);
}

// Readings repeat on a line and across lines: the same text read again, after others or after a
// refusal, gives the same bytes each time, and texts one character apart never share a reading.
TEST(MemRef, ReadAgainGivesTheSameBytes) {
  const char* const texts[] = {"[EBX+ECX*2+8]", "[EBX+ECX*2+9]", "[EBX+ECX*4+8]", "[ECX+EBX*2+8]",
                               "[EBX+ECX*2+0x8]", "[EBX+ECX*2+XYZ]", "[EBX+ECX*2+8]", "[EBX+ECX*2-8]",
                               "[EBX+ECX*2+0x8]", "[EBX+ECX*2+XYZ]", "[EBX+ECX*2+9]"};
  const char* const bytes[] = {"44 4B 08", "44 4B 09", "44 8B 08", "44 59 08", "44 4B 08", "",
                               "44 4B 08", "44 4B F8", "44 4B 08", "",         "44 4B 09"};
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < std::size(texts); ++i) {
      const detail::MemRef m = detail::Read_MemRef(texts[i]);
      std::string out;
      if (m.error == detail::MemError::None) detail::Append_MemBytes(out, 0, m);
      EXPECT_EQ(Spaced_Hex(out), bytes[i]) << texts[i];
      if (bytes[i][0] == '\0') {
        EXPECT_EQ(m.term, "XYZ") << texts[i];
      }
    }
  }
}

TEST(MemRef, RefusalsNameTheTerm) {
  struct Row {
    const char* operand;
    detail::MemError error;
    const char* term;
  };
  using E = detail::MemError;
  const Row rows[] = {
      {"[EBX+XYZ]", E::Label, "XYZ"},
      {"[EBX+1abc]", E::NotANumber, "1abc"},
      {"[EBX+4*2]", E::BadTerm, "4*2"},
      {"[EBX*5]", E::BadScale, "5"},
      {"[ESP*2]", E::EspIndex, "ESP*2"},
      {"[EAX+EBX+ECX]", E::TooManyRegisters, "ECX"},
      {"[EBX-ESI]", E::NegativeRegister, "ESI"},
      {"[EBX+1+2]", E::TwoDisplacements, "2"},
      {"[12]", E::NoRegister, "12"},
      {"[EBX+-4]", E::Empty, "EBX+-4"},
      {"[BX]", E::NotRegister32, "BX"},
      {"[EBX+4294967296]", E::DispRange, "4294967296"},
      {"[EBX+128?]", E::Disp8Range, "128?"},
      {"[ESI*2+1?]", E::NoBaseDisp8, "1?"},
      {"[ECX*2+EDX*4]", E::TooManyRegisters, "EDX*4"},
      {"[EBX-ECX*4]", E::NegativeRegister, "ECX*4"},
      {"[ESP*4+EBX]", E::EspIndex, "ESP*4+EBX"},
      {"[EAX+EBX+ECX*2]", E::TooManyRegisters, "EAX+EBX+ECX*2"},
      {"[EBX+ECX*3]", E::BadScale, "3"},
  };
  for (const Row& r : rows) {
    const detail::MemRef m = detail::Read_MemRef(r.operand);
    EXPECT_EQ(m.error, r.error) << r.operand;
    EXPECT_EQ(m.term, r.term) << r.operand;
    EXPECT_NE(Operand_Refusal(r.operand), "") << r.operand;
  }
}

TEST(ParseMemOperand, Split) {
  struct Row {
    const char* text;
    const char* base;
    MemForm form;
    const char* disp;  // "<unset>" when not written
  };
  const Row rows[] = {
      {"[EBX-4]", "EBX", MemForm::WithDisp, "-4"},        {"[EBX+-4]", "EBX", MemForm::WithDisp, "-4"},
      {"[EBX+4-2]", "EBX", MemForm::WithDisp, "4-2"},     {"[EAX-4+2]", "EAX-4", MemForm::WithDisp, "2"},
      {"[EBX+1+2]", "EBX", MemForm::WithDisp, "1"},       {"[EBX--4]", "EBX", MemForm::WithDisp, "-"},
      {"[ EBX + 4 ]", " EBX ", MemForm::WithDisp, " 4 "}, {"[EBX+]", "EBX", MemForm::WithDisp, ""},
      {" [ebx] ", "ebx", MemForm::Bracketed, "<unset>"},  {"[]", "", MemForm::Bracketed, "<unset>"},
      {" EBX ", "EBX", MemForm::NotBracketed, "<unset>"}, {"[", "[", MemForm::NotBracketed, "<unset>"},
      {"[EBX", "[EBX", MemForm::NotBracketed, "<unset>"}, {"", "", MemForm::NotBracketed, "<unset>"},
  };
  for (const Row& r : rows) {
    MemForm form = MemForm::WithDisp;
    std::string disp = "<unset>";
    EXPECT_EQ(Parse_MemOperand(r.text, form, disp), r.base) << r.text;
    EXPECT_EQ(form, r.form) << r.text;
    EXPECT_EQ(disp, r.disp) << r.text;
  }
}

TEST(DispMod, ByValueAndWidth) {
  struct Row {
    const char* operand;
    int mod;
  };
  const Row rows[] = {
      {"[EBX]", 0x00},       {"EBX", 0x00},        {"[EBX+100]", 0x40},    {"[EBX+200]", 0x80},
      {"[EBX-128]", 0x40},   {"[EBX-129]", 0x80},  {"[EBX+127]", 0x40},    {"[EBX+128]", 0x80},
      {"[EBX+&H7F]", 0x40},  {"[EBX+&H80]", 0x80}, {"[EBX-&H80]", 0x40},   {"[EBX+&H0F]", 0x40},
      {"[EBX+&H07F]", 0x80}, {"[EBX+-4]", 0x40},   {"[EBX+4-2]", 0x40},    {"[EBX+]", 0x40},
      {"[EBX+4&]", 0x40},    {"[EBX+0255]", 0x80}, {"[EBX+&B1111]", 0x40}, {"[EBX - 4 ]", 0x40},
      {"[EBX+1E2]", 0x40},   {"[EBX+1E3]", 0x80},
  };
  Recorder rec;
  for (const Row& r : rows) EXPECT_EQ(Get_DispMod(r.operand), r.mod) << r.operand;
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(DispSuffix, OverridesMod) {
  struct Row {
    const char* disp;
    std::uint8_t mod_in, mod_out;
    const char* after;
  };
  const Row rows[] = {
      {"4&", 0x40, 0x80, "4"}, {"4%", 0x40, 0x80, "4"},      {"200?", 0x80, 0x40, "200"},
      {"4", 0x40, 0x40, "4"},  {"-4 ? ", 0x80, 0x40, "-4 "}, {"", 0x40, 0x40, ""},
  };
  for (const Row& r : rows) {
    std::uint8_t mod = r.mod_in;
    std::string disp = r.disp;
    Apply_DispSuffix(mod, disp);
    EXPECT_EQ(mod, r.mod_out) << r.disp;
    EXPECT_EQ(disp, r.after) << r.disp;
  }
}

// ModRM, SIB and displacement of a memory operand with register reg in the reg field, as
// every r/m encoder builds them: the shared reader, then its bytes. "" when it is refused.
std::string Encode_Memory(std::string_view operand, std::uint8_t reg = 0) {
  std::string_view rest = Trim(operand);
  detail::Size_Prefix(rest);
  const detail::MemRef m = detail::Read_MemRef(rest);
  if (m.error != detail::MemError::None) return {};
  std::string out;
  detail::Append_MemBytes(out, static_cast<std::uint8_t>(reg * 8), m);
  return out;
}

TEST(MemoryEncoding, ModRmSibDisplacement) {
  struct Row {
    const char* operand;
    const char* bytes;
  };
  const Row rows[] = {
      {"[EBX]", "03"},
      {"[ESI]", "06"},
      {"[EBP]", "45 00"},
      {"[ESP]", "04 24"},
      {"[ESP+8]", "44 24 08"},
      {"[EBX-4]", "43 FC"},
      {"[EBX+127]", "43 7F"},
      {"[EBX-128]", "43 80"},
      {"[EBX+200]", "83 C8 00 00 00"},
      {"[EBX-200]", "83 38 FF FF FF"},
      {"[EBX+4&]", "83 04 00 00 00"},
      {"[EBX+4%]", "83 04 00 00 00"},
      {"[EBX+4?]", "43 04"},
      {"[EBX+200?]", ""},  // one byte cannot hold 200
      {"[EBP+8]", "45 08"},
      {"[EBP+0]", "45 00"},
      {"[EBX+]", ""},  // a sign without a number
      {"[EBP+]", ""},
      {"DWORD PTR EBX", "03"},
      {"byte ptr [esp-4]", "44 24 FC"},
      {"[EBX+&H80]", "83 80 00 00 00"},
      {"[EBX-&H80]", "43 80"},
      {"[EBX-&B101]", "83 FB FF FF FF"},
      {"[ESP+200]", "84 24 C8 00 00 00"},
      {"[EDI-2147483648]", "87 00 00 00 80"},
  };
  Recorder rec;
  for (const Row& r : rows)
    EXPECT_EQ(Spaced_Hex(Encode_Memory(r.operand)), Spaced_Hex(Hex_Bytes(r.bytes))) << r.operand;
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(MemoryEncoding, ForcedByteDisplacementOutOfRangeIsRefusedWithoutABox) {
  // The reader shows nothing: it returns why, and the line's box says it.
  Recorder rec;
  for (const char* operand : {"[EBX-300?]", "[EBX-256?]", "[EBX+128?]", "[EBX-129?]"}) {
    EXPECT_EQ(Encode_Memory(operand), "") << operand;
    EXPECT_EQ(detail::Read_MemRef(operand).error, detail::MemError::Disp8Range) << operand;
  }
  EXPECT_EQ(Spaced_Hex(Encode_Memory("[EBX-128?]")), "43 80");
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(BuildModRM, Signatures) {
  using T = OpType;
  struct Row {
    T dst, src;
    const char *dst_base, *src_base;
    int reg_byte;
  };
  const Row rows[] = {
      {T::R8, T::R8, "CL", "DH", 0x0E},     {T::M32, T::R32, "EBX", "ECX", 0x0B},
      {T::R32, T::M32, "EDX", "EBP", 0x15}, {T::M16, T::Imm8, "EBX", "5", 0},
      {T::R8, T::Imm8, "BH", "5", 7},       {T::R16, T::Imm16, "SI", "", 6},
      {T::R16, T::Imm8, "DX", "", 2},       {T::R32, T::Imm32, "ESP", "", 4},
      {T::R32, T::Imm8, "EDI", "", 7},      {T::R32, T::Imm16, "ECX", "", 1},
      {T::M8, T::Imm8, "ESI", "", 6},       {T::M16, T::Imm16, "EBP", "", 5},
      {T::M32, T::Imm32, "EAX", "", 0},     {T::M8, T::R8, "EBX", "AH", 0x23},
      {T::M16, T::R16, "ESP", "DI", 0x3C},  {T::R16, T::R16, "SP", "BP", 0x25},
      {T::R32, T::R32, "EDI", "EAX", 0x38}, {T::R8, T::M8, "DL", "ESI", 0x16},
      {T::R16, T::M16, "BX", "EDI", 0x1F},  {T::R8, T::Imm8, "EAX", "5", 255},
      {T::M32, T::R32, "BX", "ECX", 255},   {T::R8, T::R8, "CL", "SI", 255},
      {T::AL, T::Imm8, "AL", "5", 0},       {T::R32, T::R8, "EAX", "AL", 0},
      {T::None, T::None, "", "", 0},
  };
  for (const Row& r : rows)
    EXPECT_EQ(Build_ModRM(r.dst, r.src, r.dst_base, r.src_base), r.reg_byte)
        << Type_Code(r.dst) << Type_Code(r.src) << " " << r.dst_base << "," << r.src_base;
}

TEST(PackRegisters, Orientation) {
  struct Row {
    std::uint8_t (*pack)(std::string_view, std::string_view);
    const char *first, *second;
    int reg_byte;
  };
  const Row rows[] = {
      {Pack_R8R8, "CL", "DH", 0x0E},        {Pack_R8R8, "CL", "ESI", 255},
      {Pack_R16R16, "DX", "SI", 0x16},      {Pack_R16R16, "DX", "DL", 255},
      {Pack_R8R32, "BH", "EAX", 0x38},      {Pack_R8R32, "BH", "AX", 255},
      {Pack_R16R32, "CX", "EBP", 0x0D},     {Pack_R16R32, "ECX", "EBP", 255},
      {Pack_R32R32, "EAX", "EBX", 0x03},    {Pack_R32R32, " eax ", "ebx", 0x03},
      {Pack_R32R32_Rm, "EAX", "EBX", 0x18}, {Pack_R32R32_Rm, "EAX", "X", 255},
      {Pack_R32R8_Rm, "EBX", "AH", 0x23},   {Pack_R32R8_Rm, "EBX", "EAX", 255},
      {Pack_R32R16_Rm, "ESP", "DI", 0x3C},  {Pack_R32R16_Rm, "SP", "DI", 255},
  };
  for (const Row& r : rows) EXPECT_EQ(r.pack(r.first, r.second), r.reg_byte) << r.first << "," << r.second;
}

}  // namespace
}  // namespace orvo
#include <capstone/capstone.h>
namespace orvo {
namespace {

// Decodes MOV EAX,<operand> built from our ModRM/SIB/displacement and compares the operand text.
TEST(MemoryEncoding, CapstoneAgreesOnEveryBaseAndDisplacement) {
  csh handle;
  ASSERT_EQ(cs_open(CS_ARCH_X86, CS_MODE_32, &handle), CS_ERR_OK);
  const char* bases[] = {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI"};
  struct Disp {
    const char* text;
    const char* shown;  // capstone's rendering of the displacement, "" for none
  };
  const Disp disps[] = {{"", ""},
                        {"+0", ""},
                        {"+4", " + 4"},
                        {"-4", " - 4"},
                        {"+127", " + 0x7f"},
                        {"+128", " + 0x80"},
                        {"-128", " - 0x80"},
                        {"-129", " - 0x81"},
                        {"+&H1000", " + 0x1000"},
                        {"+4&", " + 4"}};
  Recorder rec;
  for (const char* base : bases) {
    for (const Disp& d : disps) {
      const std::string operand = std::string("[") + base + d.text + "]";
      std::string code = Encode_Memory(operand);
      code.insert(code.begin(), '\x8B');
      cs_insn* insn = nullptr;
      const size_t n =
          cs_disasm(handle, reinterpret_cast<const std::uint8_t*>(code.data()), code.size(), 0, 0, &insn);
      ASSERT_EQ(n, 1u) << operand;
      EXPECT_EQ(insn[0].size, code.size()) << operand;
      std::string expected = "eax, dword ptr [" + Upper(base) + d.shown + "]";
      for (char& c : expected) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      EXPECT_EQ(std::string(insn[0].op_str), expected) << operand;
      cs_free(insn, n);
    }
  }
  cs_close(&handle);
}

}  // namespace
}  // namespace orvo
