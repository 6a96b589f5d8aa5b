#include "support/disasm.h"

#include <capstone/capstone.h>

#include <cstdint>
#include <cstdio>

namespace orvo::test {

namespace {

// Decodes the first instruction; calls use(insn) when it decodes.
template <typename Use>
void Decode_First(std::string_view bytes, Use&& use) {
  csh handle = 0;
  if (cs_open(CS_ARCH_X86, CS_MODE_32, &handle) != CS_ERR_OK) return;
  cs_option(handle, CS_OPT_SYNTAX, CS_OPT_SYNTAX_INTEL);
  cs_insn* insn = nullptr;
  const std::size_t count =
      cs_disasm(handle, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0, 1, &insn);
  if (count > 0) use(insn[0]);
  if (insn != nullptr) cs_free(insn, count);
  cs_close(&handle);
}

}  // namespace

bool Have_Disassembler() { return true; }

std::string Disassemble32(std::string_view bytes) {
  std::string text;
  Decode_First(bytes, [&](const cs_insn& insn) {
    text = insn.mnemonic;
    if (insn.op_str[0] != '\0') {
      text += ' ';
      text += insn.op_str;
    }
  });
  return text;
}

int Instruction_Length(std::string_view bytes) {
  int length = 0;
  Decode_First(bytes, [&](const cs_insn& insn) { length = static_cast<int>(insn.size); });
  return length;
}

std::string Lower(std::string_view text) {
  std::string r(text);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string Cs_Number(std::uint64_t value) {
  if (value < 10) return std::to_string(value);
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
  return buf;
}

}  // namespace orvo::test
