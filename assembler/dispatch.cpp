#include "assembler/dispatch.h"

#include <algorithm>
#include <array>

#include "encoders/encoders.h"
#include "operands/mnemonic_index.h"
#include "operands/operands.h"
#include "operands/text.h"

namespace orvo {
namespace {

using Encoder = std::string (*)(const LineTerms&);

struct DispatchRow {
  std::string_view mnemonic;  // the key: the mnemonic in capitals
  Encoder encode;
};

std::string Two(const LineTerms& t) { return Encode_TwoOperand(t.key, t.first, t.second); }
std::string One(const LineTerms& t) { return Encode_OneOperand(t.key, t.operand, ""); }
std::string Mov(const LineTerms& t) { return Assemble_Mov(t.first, t.second); }
std::string Movx(const LineTerms& t) { return Assemble_Movx(t.mnemonic, t.first, t.second); }
std::string BitScan(const LineTerms& t) { return Assemble_BitScan(t.mnemonic, t.first, t.second); }
std::string Push(const LineTerms& t) { return Assemble_Push(t.operand); }
std::string Pushad(const LineTerms&) { return Assemble_Pushad(); }
std::string Pop(const LineTerms& t) { return Assemble_Pop(t.operand); }
std::string Popad(const LineTerms&) { return Assemble_Popad(); }
std::string Call(const LineTerms& t) { return Assemble_Call(t.operand); }
std::string Ret(const LineTerms& t) { return Assemble_Ret(t.operand); }
std::string RetnRetf(const LineTerms& t) { return Assemble_RetnRetf(t.mnemonic); }
std::string Data(const LineTerms& t) { return Assemble_Data(t.key, t.operand); }
std::string Rep(const LineTerms& t) { return Assemble_Rep(t.key, t.operand); }
std::string FlagOp(const LineTerms& t) { return Assemble_FlagOp(t.operand); }
std::string End(const LineTerms&) { return Get_Epilogue(); }
std::string Exit(const LineTerms& t) {
  return Equals_NoCase(t.operand, "FUNCTION") ? Get_Epilogue() : std::string();
}
std::string Loop(const LineTerms& t) { return Assemble_Loop(t.mnemonic); }
std::string Cmps(const LineTerms& t) { return Assemble_Cmps(t.mnemonic); }
std::string Ins(const LineTerms& t) { return Assemble_Ins(t.mnemonic); }
std::string Lods(const LineTerms& t) { return Assemble_Lods(t.mnemonic); }
std::string Movs(const LineTerms& t) { return Assemble_Movs(t.mnemonic); }
std::string Outs(const LineTerms& t) { return Assemble_Outs(t.mnemonic); }
std::string Scas(const LineTerms& t) { return Assemble_Scas(t.mnemonic); }
std::string Stos(const LineTerms& t) { return Assemble_Stos(t.mnemonic); }
std::string Jmp(const LineTerms& t) { return Assemble_Jmp(t.first); }
std::string Shift(const LineTerms& t) { return Assemble_Shift(t.mnemonic, t.first, t.second); }
std::string NoOperand(const LineTerms& t) { return Assemble_NoOperand(t.mnemonic); }
std::string Int(const LineTerms& t) { return Assemble_Int(t.first); }
std::string Bswap(const LineTerms& t) { return Assemble_Bswap(t.first); }
std::string In(const LineTerms& t) { return Assemble_In(t.first, t.second); }
std::string Out(const LineTerms& t) { return Assemble_Out(t.first, t.second); }
std::string Lea(const LineTerms& t) { return Assemble_Lea(t.first, t.second); }
std::string Bound(const LineTerms& t) { return Assemble_Bound(t.first, t.second); }
std::string Cmpxchg(const LineTerms& t) { return Assemble_Cmpxchg(t.first, t.second); }
std::string Xchg(const LineTerms& t) { return Assemble_Xchg(t.first, t.second); }
std::string Enter(const LineTerms& t) { return Assemble_Enter(t.first, t.second); }
std::string Lar(const LineTerms& t) { return Assemble_Lar(t.first, t.second); }
std::string VerrVerw(const LineTerms& t) { return Assemble_VerrVerw(t.mnemonic, t.first); }

// The pass-2 dispatch table, in its row order. Keys are unique, so a lookup by key finds the
// row that the ordered search would find first.
// clang-format off
constexpr std::array kDispatch{
    DispatchRow{"MOV", Mov},
    DispatchRow{"MOVZX", Movx},   DispatchRow{"MOVSX", Movx},
    DispatchRow{"BSF", BitScan},  DispatchRow{"BSR", BitScan},
    DispatchRow{"PUSH", Push},
    DispatchRow{"PUSHAD", Pushad},
    DispatchRow{"POP", Pop},
    DispatchRow{"POPAD", Popad},
    DispatchRow{"CALL", Call},
    DispatchRow{"RET", Ret},
    DispatchRow{"RETN", RetnRetf}, DispatchRow{"RETF", RetnRetf},
    DispatchRow{"DB", Data}, DispatchRow{"DW", Data}, DispatchRow{"DD", Data},
    DispatchRow{"REP", Rep}, DispatchRow{"REPE", Rep}, DispatchRow{"REPZ", Rep},
    DispatchRow{"REPNE", Rep}, DispatchRow{"REPNZ", Rep},
    DispatchRow{"CLC", FlagOp}, DispatchRow{"STC", FlagOp}, DispatchRow{"CMC", FlagOp},
    DispatchRow{"CLD", FlagOp}, DispatchRow{"STD", FlagOp}, DispatchRow{"CLI", FlagOp},
    DispatchRow{"STI", FlagOp}, DispatchRow{"LAHF", FlagOp}, DispatchRow{"SAHF", FlagOp},
    DispatchRow{"PUSHF", FlagOp}, DispatchRow{"PUSHFD", FlagOp}, DispatchRow{"POPF", FlagOp},
    DispatchRow{"POPFD", FlagOp},
    DispatchRow{"END", End}, DispatchRow{"EXIT", Exit},
    DispatchRow{"OR", Two},  DispatchRow{"ADC", Two}, DispatchRow{"SBB", Two}, DispatchRow{"AND", Two},
    DispatchRow{"XOR", Two}, DispatchRow{"CMP", Two}, DispatchRow{"ADD", Two}, DispatchRow{"SUB", Two},
    DispatchRow{"BT", Two},  DispatchRow{"BTS", Two}, DispatchRow{"BTR", Two}, DispatchRow{"BTC", Two},
    DispatchRow{"TEST", Two},
    DispatchRow{"NOT", One}, DispatchRow{"NEG", One}, DispatchRow{"MUL", One}, DispatchRow{"IMUL", One},
    DispatchRow{"DIV", One}, DispatchRow{"IDIV", One}, DispatchRow{"INC", One}, DispatchRow{"DEC", One},
    DispatchRow{"LOOP", Loop}, DispatchRow{"LOOPE", Loop}, DispatchRow{"LOOPZ", Loop},
    DispatchRow{"LOOPNE", Loop}, DispatchRow{"LOOPNZ", Loop}, DispatchRow{"JCXZ", Loop},
    DispatchRow{"JECXZ", Loop},
    DispatchRow{"CMPSB", Cmps}, DispatchRow{"CMPSW", Cmps}, DispatchRow{"CMPSD", Cmps},
    DispatchRow{"INSB", Ins},   DispatchRow{"INSW", Ins},   DispatchRow{"INSD", Ins},
    DispatchRow{"LODSB", Lods}, DispatchRow{"LODSW", Lods}, DispatchRow{"LODSD", Lods},
    DispatchRow{"MOVSB", Movs}, DispatchRow{"MOVSW", Movs}, DispatchRow{"MOVSD", Movs},
    DispatchRow{"OUTSB", Outs}, DispatchRow{"OUTSW", Outs}, DispatchRow{"OUTSD", Outs},
    DispatchRow{"SCASB", Scas}, DispatchRow{"SCASW", Scas}, DispatchRow{"SCASD", Scas},
    DispatchRow{"STOSB", Stos}, DispatchRow{"STOSW", Stos}, DispatchRow{"STOSD", Stos},
    DispatchRow{"JMP", Jmp},
    DispatchRow{"ROL", Shift}, DispatchRow{"ROR", Shift}, DispatchRow{"RCL", Shift}, DispatchRow{"RCR", Shift},
    DispatchRow{"SAL", Shift}, DispatchRow{"SHL", Shift}, DispatchRow{"SHR", Shift}, DispatchRow{"SAR", Shift},
    DispatchRow{"AAA", NoOperand}, DispatchRow{"AAD", NoOperand}, DispatchRow{"AAM", NoOperand},
    DispatchRow{"AAS", NoOperand}, DispatchRow{"CBW", NoOperand}, DispatchRow{"CWDE", NoOperand},
    DispatchRow{"CWD", NoOperand}, DispatchRow{"CDQ", NoOperand}, DispatchRow{"DAA", NoOperand},
    DispatchRow{"DAS", NoOperand}, DispatchRow{"INTO", NoOperand}, DispatchRow{"LEAVE", NoOperand},
    DispatchRow{"NOP", NoOperand}, DispatchRow{"WAIT", NoOperand}, DispatchRow{"FWAIT", NoOperand},
    DispatchRow{"HLT", NoOperand}, DispatchRow{"IRET", NoOperand}, DispatchRow{"IRETD", NoOperand},
    DispatchRow{"XLAT", NoOperand}, DispatchRow{"XLATB", NoOperand}, DispatchRow{"LOCK", NoOperand},
    DispatchRow{"INT", Int},
    DispatchRow{"BSWAP", Bswap},
    DispatchRow{"IN", In},
    DispatchRow{"OUT", Out},
    DispatchRow{"LEA", Lea},
    DispatchRow{"BOUND", Bound},
    DispatchRow{"CMPXCHG", Cmpxchg},
    DispatchRow{"XCHG", Xchg},
    DispatchRow{"ENTER", Enter},
    DispatchRow{"LAR", Lar},
    DispatchRow{"VERR", VerrVerw}, DispatchRow{"VERW", VerrVerw},
};
// clang-format on

constexpr auto kDispatchIndex = Sort_ByMnemonic(kDispatch);

Encoder Find_Encoder(std::string_view key) {
  const DispatchRow* row = Find_Mnemonic(kDispatchIndex, key);
  return row ? row->encode : nullptr;
}

bool Is_ConditionalJumpKey(std::string_view key) {
  return !key.empty() && key[0] == 'J' && key != "JMP" && key != "JCXZ" && key != "JECXZ";
}

// Find_Label can find a name only when it is empty (the unnamed slots) or could be defined.
bool May_NameLabel(std::string_view name) {
  const std::string_view t = Trim(name);
  return t.empty() || Is_ValidLabelDefinition(t);
}

// Is_LabelName without its box: a &B literal counts as a possible name.
bool May_BeLabelName(std::string_view text) {
  const std::string_view t = Trim(text);
  if (Starts_With_NoCase(t, "&B")) return true;
  std::string_view n = t;
  if (!n.empty() && n[0] == '-') n = Trim_Left(n.substr(1));
  // A label name starts with a letter once a minus is stripped.
  return !n.empty() && Is_Letter(n[0]) && Is_LabelName(t);
}

// First position of c in a short text, or npos: a loop costs less than a library call here.
std::size_t Find_InShort(std::string_view text, char c) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == c) return i;
  return std::string_view::npos;
}

}  // namespace

std::vector<std::string_view> Accepted_Mnemonics() {
  std::vector<std::string_view> names;
  for (const DispatchRow& row : kDispatch) names.push_back(row.mnemonic);
  Add_JumpMnemonics(names);
  Add_SetccMnemonics(names);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

LineTerms Get_LineTerms(std::string_view line) {
  LineTerms t;
  const std::size_t space = Find_InShort(line, ' ');
  if (space == std::string_view::npos) {
    t.mnemonic = line;
    t.operand = line;
  } else {
    t.mnemonic = line.substr(0, space);
    t.operand = Trim(line.substr(space + 1));
    const std::size_t comma = Find_InShort(t.operand, ',');
    if (comma == std::string_view::npos) {
      t.first = t.operand;
    } else {
      t.first = t.operand.substr(0, comma);
      t.second = t.operand.substr(comma + 1);
    }
  }
  // The key is written in capitals as it is copied: one pass over the mnemonic.
  const std::string_view m = Trim(t.mnemonic);
  t.key.resize(m.size());
  char* key = t.key.data();
  for (std::size_t i = 0; i < m.size(); ++i) key[i] = Upper_Char(m[i]);
  return t;
}

std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label) {
  invalid_label = false;
  std::string bytes;
  if (const Encoder encode = Find_Encoder(terms.key)) {
    bytes = encode(terms);
  } else if (terms.key.starts_with("SET") &&
             Get_SetccName(terms.mnemonic) == terms.key) {  // SETcc names only
    bytes = Assemble_Setcc(terms.mnemonic, terms.first);
  } else if (Starts_With_NoCase(terms.operand, "DB ") || Starts_With_NoCase(terms.operand, "DW ") ||
             Starts_With_NoCase(terms.operand, "DD ")) {
    if (!Is_ValidLabelDefinition(terms.key)) {
      invalid_label = true;
      return {};
    }
    labels.Add_LabelEntry(terms.key, true);
    bytes = Assemble_DataLine(terms.operand);
  }
  if (Is_ConditionalJumpKey(terms.key)) {
    bytes = Get_JumpOpcode(terms.mnemonic);
    if (!bytes.empty()) bytes.append(4, '\0');
  }
  return bytes;
}

// Dispatch_FixUp's branches as a test. Everything after the PUSH branch is an "or" of pure
// tests, so they run cheapest first. It shows no box: a &B literal, whose normalization may show
// one, counts as a possible name.
bool May_FixUp(const LineTerms& terms, std::string_view line) {
  const std::string_view key = terms.key;  // views compare their sizes first
  if (!key.empty() && key[0] == 'J') return true;
  if (key == "MOV" && Get_Reg32Code(terms.first) != kNoRegister) return May_NameLabel(terms.second);
  if (key == "PUSH") return May_NameLabel(terms.first);
  if (key == "CALL") return true;
  if (!key.empty() && key[0] == 'L' && Is_LoopMnemonic(key)) return true;  // LOOP..., and the J keys above
  return May_BeLabelName(terms.second) && (key == "MOV" || key == "TEST" || Is_AluLine(line));
}

std::string Dispatch_FixUp(const LineTerms& terms, CodeImage& image, const LabelTable& labels,
                           const FixLine& line, bool stack) {
  const std::string_view key = terms.key;
  if (!key.empty() && key[0] == 'J') {
    if (key == "JCXZ" || key == "JECXZ") return Fix_LoopJump(image, labels, key, terms.first, line);
    return Fix_Jump(image, labels, key, terms.first, line);
  }
  if (key == "MOV" && Get_Reg32Code(terms.first) != kNoRegister)
    return Fix_MovLabel(image, labels.Find_Label(terms.second), line, stack);
  if (key == "PUSH") return Fix_PushLabel(image, labels.Find_Label(terms.first), line, stack);
  if (Is_AluLine(line.text) && Is_LabelName(terms.second)) return Fix_AluLabel(image, labels, line, stack);
  if (Is_LoopMnemonic(key)) return Fix_LoopJump(image, labels, key, terms.first, line);
  // Label sources that pass 2 assembled as a 32-bit zero: MOV to memory (or to a narrower
  // register, which is refused there) and TEST; and CALL to a label.
  if ((key == "MOV" || key == "TEST") && Is_LabelName(terms.second))
    return Fix_AluLabel(image, labels, line, stack);
  if (key == "CALL") return Fix_CallLabel(image, labels, terms.first, line);
  return {};
}

}  // namespace orvo
