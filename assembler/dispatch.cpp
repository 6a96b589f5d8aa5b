#include "assembler/dispatch.h"

#include <algorithm>
#include <array>
#include <optional>

#include "base/text.h"
#include "encoders/encoders.h"
#include "encoders/one_operand.h"
#include "operands/detail.h"
#include "operands/mnemonic_index.h"
#include "operands/operands.h"

namespace orvo {
namespace {

// The memory references the operand check read from a line's first and second operand, handed
// to the encoders that take them so that each operand is read once.
struct OperandReads {
  std::optional<detail::MemRef> first, second;
};

using Encoder = std::string (*)(const LineTerms&, const OperandReads&, Diagnostics&);
// Encodes the common shapes of a row's lines without a box, or returns false and leaves the line
// to the row's encoder and the operand checks before it.
// A label operand sets the fix-up pass 3 writes its value with.
using PlainEncoder = bool (*)(const LineTerms&, LineBytes&, FixUp&);

// How many operands a mnemonic takes. Text beyond them is refused, never dropped.
enum class Arity : std::uint8_t {
  None,     // no operand text at all
  One,      // at most one operand
  Target,   // exactly one: the jump target, which pass 3 reads
  Two,      // at most two operands
  Three,    // at most three (IMUL)
  OwnText,  // the encoder reads the whole operand text itself (data, prefixes, EXIT FUNCTION)
};

struct DispatchRow {
  std::string_view mnemonic;  // the key: the mnemonic in capitals
  Encoder encode;
  Arity arity;
  FixUp fixup = FixUp::None;  // what pass 3 may write into the line's bytes
  PlainEncoder plain = nullptr;
};

bool Plain_PushPop(const LineTerms& t, LineBytes& out, FixUp&) {
  return t.second.data() == nullptr && t.first.data() != nullptr && Assemble_PushPop_Plain(t.key, t.first, out);
}
bool Plain_One(const LineTerms& t, LineBytes& out, FixUp&) {
  return t.second.data() == nullptr && t.first.data() != nullptr &&
         Encode_OneOperand_Plain(t.key, t.first, ShiftCount::One, 0, out);
}
bool Plain_Shift(const LineTerms& t, LineBytes& out, FixUp&) {
  return t.first.data() != nullptr && Assemble_Shift_Plain(t.key, t.first, t.second, out);
}
bool Plain_Imul(const LineTerms& t, LineBytes& out, FixUp& fixup) {
  if (t.second.data() == nullptr) return Plain_One(t, out, fixup);
  return Assemble_Imul_Plain(t.first, t.second, out);
}
bool Plain_Escape(const LineTerms& t, LineBytes& out, FixUp&) {
  return t.second.data() != nullptr && Encode_Escape_Plain(t.key, t.first, t.second, out);
}
bool Plain_Data(const LineTerms& t, LineBytes& out, FixUp&) {
  return t.operand.data() != t.mnemonic.data() && Assemble_Data_Plain(t.key, t.operand, out);
}
// JMP, a conditional jump or a LOOP to a label: the opcode and a zero rel32 (rel8) that pass 3
// fills in.
bool Jumps_ToLabel(const LineTerms& t) {
  return t.second.data() == nullptr && t.first.data() != nullptr && Is_LabelName(t.first);
}
bool Plain_Jump(const LineTerms& t, LineBytes& out, FixUp& fixup) {
  if (!Jumps_ToLabel(t)) return false;
  const std::string opcode = Get_JumpOpcode(t.key);
  if (opcode.empty()) return false;
  out.Put(opcode);
  out.Put_LE(0, 4);
  fixup = FixUp::Jump;
  return true;
}
bool Plain_Loop(const LineTerms& t, LineBytes& out, FixUp& fixup) {
  if (!Jumps_ToLabel(t)) return false;
  const std::string bytes = Assemble_Loop(t.mnemonic);
  if (bytes.empty()) return false;
  out.Put(bytes);
  fixup = FixUp::Loop;
  return true;
}
template <PlainTwoFamily family>
bool Plain_Two(const LineTerms& t, LineBytes& out, FixUp&) {
  if (t.second.data() == nullptr) return false;
  const std::uint8_t group = family == PlainTwoFamily::Alu ? Alu_Base_OfPacked(t.key.Packed()) : 0;
  return Encode_TwoOperand_Plain(family, group, t.first, t.second, out);
}
FixUp Operands_FixUp(FixUp column, const LineTerms& terms);
bool Plain_Mov(const LineTerms& t, LineBytes& out, FixUp& fixup) {
  if (t.second.data() == nullptr) return false;
  if (Encode_TwoOperand_Plain(PlainTwoFamily::Mov, 0, t.first, t.second, out)) return true;
  if (!Encode_MovLabel_Plain(t.first, t.second, out)) return false;
  fixup = Operands_FixUp(FixUp::Mov, t);
  return true;
}

std::string Two(const LineTerms& t, const OperandReads& reads, Diagnostics& sink) {
  return Encode_TwoOperand(t.key, t.first, t.second, reads.first ? &*reads.first : nullptr,
                           reads.second ? &*reads.second : nullptr, sink);
}
std::string One(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Encode_OneOperand(t.key, t.operand, "", sink);
}
std::string Imul(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  if (t.second.data() == nullptr) return Encode_OneOperand(t.key, t.operand, "", sink);
  return Assemble_Imul(t.first, t.second, sink);
}
std::string Mov(const LineTerms& t, const OperandReads& reads, Diagnostics& sink) {
  return Encode_TwoOperand("MOV", t.first, t.second, reads.first ? &*reads.first : nullptr,
                           reads.second ? &*reads.second : nullptr, sink);
}
std::string Movx(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Movx(t.mnemonic, t.first, t.second, sink);
}
std::string BitScan(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_BitScan(t.mnemonic, t.first, t.second, sink);
}
std::string Push(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Push(t.operand, sink);
}
std::string Pushad(const LineTerms&, const OperandReads&, Diagnostics&) { return Assemble_Pushad(); }
std::string Pop(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Pop(t.operand, sink);
}
std::string Popad(const LineTerms&, const OperandReads&, Diagnostics&) { return Assemble_Popad(); }
std::string Call(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Call(t.operand, sink);
}
std::string Ret(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Ret(t.operand, sink);
}
std::string RetnRetf(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_RetnRetf(t.mnemonic, t.operand, sink);
}
std::string Data(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Data(t.key, t.operand, sink);
}
std::string Rep(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Rep(t.key, t.operand, sink);
}
std::string FlagOp(const LineTerms& t, const OperandReads&, Diagnostics&) {
  return Assemble_FlagOp(t.operand);
}
std::string End(const LineTerms&, const OperandReads&, Diagnostics&) { return Get_Epilogue(); }
std::string Exit(const LineTerms& t, const OperandReads&, Diagnostics&) {
  return Equals_NoCase(t.operand, "FUNCTION") ? Get_Epilogue() : std::string();
}
// The target of a LOOP or conditional jump is a label; without one there is nothing to encode.
bool Has_LabelTarget(const LineTerms& t) { return !t.first.empty() && Is_LabelName(t.operand); }
std::string Loop(const LineTerms& t, const OperandReads&, Diagnostics&) {
  return Has_LabelTarget(t) ? Assemble_Loop(t.mnemonic) : std::string();
}
std::string Cmps(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Cmps(t.mnemonic); }
std::string Ins(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Ins(t.mnemonic); }
std::string Lods(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Lods(t.mnemonic); }
std::string Movs(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Movs(t.mnemonic); }
std::string Outs(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Outs(t.mnemonic); }
std::string Scas(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Scas(t.mnemonic); }
std::string Stos(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Stos(t.mnemonic); }
std::string Jmp(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Jmp(t.first, sink);
}
std::string Shift(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Shift(t.mnemonic, t.first, t.second, sink);
}
std::string NoOperand(const LineTerms& t, const OperandReads&, Diagnostics&) {
  return Assemble_NoOperand(t.mnemonic);
}
std::string AsciiAdjust(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_AamAad(t.mnemonic, t.operand, sink);
}
std::string Lock(const LineTerms& t, const OperandReads&, Diagnostics& sink);
std::string Int(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Int(t.first, sink);
}
std::string Bswap(const LineTerms& t, const OperandReads&, Diagnostics&) { return Assemble_Bswap(t.first); }
std::string In(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_In(t.first, t.second, sink);
}
std::string Out(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Out(t.first, t.second, sink);
}
std::string Lea(const LineTerms& t, const OperandReads& reads, Diagnostics& sink) {
  return Assemble_Lea(t.first, t.second, reads.second ? &*reads.second : nullptr, sink);
}
std::string Bound(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Bound(t.first, t.second, sink);
}
std::string Cmpxchg(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Cmpxchg(t.first, t.second, sink);
}
std::string Xchg(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Xchg(t.first, t.second, sink);
}
std::string Enter(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Enter(t.first, t.second, sink);
}
std::string Lar(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_Lar(t.first, t.second, sink);
}
std::string VerrVerw(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  return Assemble_VerrVerw(t.mnemonic, t.first, sink);
}

// The pass-2 dispatch table, in its row order. Keys are unique, so a lookup by key finds the
// row that the ordered search would find first.
// clang-format off
constexpr std::array kDispatch{
    DispatchRow{"MOV", Mov, Arity::Two, FixUp::Mov, Plain_Mov},
    DispatchRow{"MOVZX", Movx, Arity::Two, FixUp::None, Plain_Escape},
    DispatchRow{"MOVSX", Movx, Arity::Two, FixUp::None, Plain_Escape},
    DispatchRow{"BSF", BitScan, Arity::Two, FixUp::None, Plain_Escape},
    DispatchRow{"BSR", BitScan, Arity::Two, FixUp::None, Plain_Escape},
    DispatchRow{"PUSH", Push, Arity::One, FixUp::Push, Plain_PushPop},
    DispatchRow{"PUSHAD", Pushad, Arity::None},
    DispatchRow{"POP", Pop, Arity::One, FixUp::None, Plain_PushPop},
    DispatchRow{"POPAD", Popad, Arity::None},
    DispatchRow{"CALL", Call, Arity::One, FixUp::Call},
    DispatchRow{"RET", Ret, Arity::One},
    DispatchRow{"RETN", RetnRetf, Arity::One}, DispatchRow{"RETF", RetnRetf, Arity::One},
    DispatchRow{"DB", Data, Arity::OwnText, FixUp::None, Plain_Data},
    DispatchRow{"DW", Data, Arity::OwnText, FixUp::None, Plain_Data},
    DispatchRow{"DD", Data, Arity::OwnText, FixUp::None, Plain_Data},
    DispatchRow{"REP", Rep, Arity::OwnText}, DispatchRow{"REPE", Rep, Arity::OwnText},
    DispatchRow{"REPZ", Rep, Arity::OwnText},
    DispatchRow{"REPNE", Rep, Arity::OwnText}, DispatchRow{"REPNZ", Rep, Arity::OwnText},
    DispatchRow{"CLC", FlagOp, Arity::None}, DispatchRow{"STC", FlagOp, Arity::None},
    DispatchRow{"CMC", FlagOp, Arity::None},
    DispatchRow{"CLD", FlagOp, Arity::None}, DispatchRow{"STD", FlagOp, Arity::None},
    DispatchRow{"CLI", FlagOp, Arity::None},
    DispatchRow{"STI", FlagOp, Arity::None}, DispatchRow{"LAHF", FlagOp, Arity::None},
    DispatchRow{"SAHF", FlagOp, Arity::None},
    DispatchRow{"PUSHF", FlagOp, Arity::None}, DispatchRow{"PUSHFD", FlagOp, Arity::None},
    DispatchRow{"POPF", FlagOp, Arity::None},
    DispatchRow{"POPFD", FlagOp, Arity::None},
    DispatchRow{"END", End, Arity::None}, DispatchRow{"EXIT", Exit, Arity::OwnText},
    DispatchRow{"OR", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"ADC", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"SBB", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"AND", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"XOR", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"CMP", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"ADD", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"SUB", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Alu>},
    DispatchRow{"BT", Two, Arity::Two}, DispatchRow{"BTS", Two, Arity::Two},
    DispatchRow{"BTR", Two, Arity::Two}, DispatchRow{"BTC", Two, Arity::Two},
    DispatchRow{"TEST", Two, Arity::Two, FixUp::Alu, Plain_Two<PlainTwoFamily::Test>},
    DispatchRow{"NOT", One, Arity::One, FixUp::None, Plain_One}, DispatchRow{"NEG", One, Arity::One, FixUp::None, Plain_One},
    DispatchRow{"MUL", One, Arity::One, FixUp::None, Plain_One}, DispatchRow{"IMUL", Imul, Arity::Three, FixUp::None, Plain_Imul},
    DispatchRow{"DIV", One, Arity::One, FixUp::None, Plain_One}, DispatchRow{"IDIV", One, Arity::One, FixUp::None, Plain_One},
    DispatchRow{"INC", One, Arity::One, FixUp::None, Plain_One}, DispatchRow{"DEC", One, Arity::One, FixUp::None, Plain_One},
    DispatchRow{"LOOP", Loop, Arity::Target, FixUp::Loop, Plain_Loop}, DispatchRow{"LOOPE", Loop, Arity::Target, FixUp::Loop, Plain_Loop},
    DispatchRow{"LOOPZ", Loop, Arity::Target, FixUp::Loop, Plain_Loop},
    DispatchRow{"LOOPNE", Loop, Arity::Target, FixUp::Loop, Plain_Loop}, DispatchRow{"LOOPNZ", Loop, Arity::Target, FixUp::Loop, Plain_Loop},
    DispatchRow{"JCXZ", Loop, Arity::Target, FixUp::Loop, Plain_Loop},
    DispatchRow{"JECXZ", Loop, Arity::Target, FixUp::Loop, Plain_Loop},
    DispatchRow{"CMPSB", Cmps, Arity::None}, DispatchRow{"CMPSW", Cmps, Arity::None},
    DispatchRow{"CMPSD", Cmps, Arity::None},
    DispatchRow{"INSB", Ins, Arity::None}, DispatchRow{"INSW", Ins, Arity::None},
    DispatchRow{"INSD", Ins, Arity::None},
    DispatchRow{"LODSB", Lods, Arity::None}, DispatchRow{"LODSW", Lods, Arity::None},
    DispatchRow{"LODSD", Lods, Arity::None},
    DispatchRow{"MOVSB", Movs, Arity::None}, DispatchRow{"MOVSW", Movs, Arity::None},
    DispatchRow{"MOVSD", Movs, Arity::None},
    DispatchRow{"OUTSB", Outs, Arity::None}, DispatchRow{"OUTSW", Outs, Arity::None},
    DispatchRow{"OUTSD", Outs, Arity::None},
    DispatchRow{"SCASB", Scas, Arity::None}, DispatchRow{"SCASW", Scas, Arity::None},
    DispatchRow{"SCASD", Scas, Arity::None},
    DispatchRow{"STOSB", Stos, Arity::None}, DispatchRow{"STOSW", Stos, Arity::None},
    DispatchRow{"STOSD", Stos, Arity::None},
    DispatchRow{"JMP", Jmp, Arity::One, FixUp::Jump, Plain_Jump},
    DispatchRow{"ROL", Shift, Arity::Two, FixUp::None, Plain_Shift}, DispatchRow{"ROR", Shift, Arity::Two, FixUp::None, Plain_Shift},
    DispatchRow{"RCL", Shift, Arity::Two, FixUp::None, Plain_Shift}, DispatchRow{"RCR", Shift, Arity::Two, FixUp::None, Plain_Shift},
    DispatchRow{"SAL", Shift, Arity::Two, FixUp::None, Plain_Shift}, DispatchRow{"SHL", Shift, Arity::Two, FixUp::None, Plain_Shift},
    DispatchRow{"SHR", Shift, Arity::Two, FixUp::None, Plain_Shift}, DispatchRow{"SAR", Shift, Arity::Two, FixUp::None, Plain_Shift},
    DispatchRow{"AAA", NoOperand, Arity::None}, DispatchRow{"AAD", AsciiAdjust, Arity::One},
    DispatchRow{"AAM", AsciiAdjust, Arity::One},
    DispatchRow{"AAS", NoOperand, Arity::None}, DispatchRow{"CBW", NoOperand, Arity::None},
    DispatchRow{"CWDE", NoOperand, Arity::None},
    DispatchRow{"CWD", NoOperand, Arity::None}, DispatchRow{"CDQ", NoOperand, Arity::None},
    DispatchRow{"DAA", NoOperand, Arity::None},
    DispatchRow{"DAS", NoOperand, Arity::None}, DispatchRow{"INTO", NoOperand, Arity::None},
    DispatchRow{"LEAVE", NoOperand, Arity::None},
    DispatchRow{"NOP", NoOperand, Arity::None}, DispatchRow{"WAIT", NoOperand, Arity::None},
    DispatchRow{"FWAIT", NoOperand, Arity::None},
    DispatchRow{"HLT", NoOperand, Arity::None}, DispatchRow{"IRET", NoOperand, Arity::None},
    DispatchRow{"IRETD", NoOperand, Arity::None},
    DispatchRow{"XLAT", NoOperand, Arity::None}, DispatchRow{"XLATB", NoOperand, Arity::None},
    DispatchRow{"LOCK", Lock, Arity::OwnText, FixUp::Lock},
    DispatchRow{"INT", Int, Arity::One},
    DispatchRow{"BSWAP", Bswap, Arity::One},
    DispatchRow{"IN", In, Arity::Two},
    DispatchRow{"OUT", Out, Arity::Two},
    DispatchRow{"LEA", Lea, Arity::Two, FixUp::None, Plain_Two<PlainTwoFamily::Lea>},
    DispatchRow{"BOUND", Bound, Arity::Two},
    DispatchRow{"CMPXCHG", Cmpxchg, Arity::Two},
    DispatchRow{"XCHG", Xchg, Arity::Two},
    DispatchRow{"ENTER", Enter, Arity::Two},
    DispatchRow{"LAR", Lar, Arity::Two},
    DispatchRow{"VERR", VerrVerw, Arity::One}, DispatchRow{"VERW", VerrVerw, Arity::One},
};
// clang-format on

constexpr auto kDispatchIndex = Sort_ByMnemonic(kDispatch);

// First position of c in a short text, or npos: a loop costs less than a library call here.
std::size_t Find_InShort(std::string_view text, char c) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == c) return i;
  return std::string_view::npos;
}

const DispatchRow* Find_Row(const MnemonicKey& key) {
  return key.size() > kMaxPackedMnemonic ? nullptr : Find_Packed(kDispatchIndex, key.Packed());
}

// A line without a space hands its mnemonic over as the operand text.
bool Has_Operand(const LineTerms& t) { return t.operand.data() != t.mnemonic.data(); }

// An address read whole holds one term: it ends at its one closing bracket, and a blank or a
// TAB outside the brackets would have made it unreadable.
bool Read_Whole(const std::optional<detail::MemRef>& read) {
  return read && read->error == detail::MemError::None;
}

// False when the line has more operands than its mnemonic takes, or stray text in one of them.
bool Operands_Fit(const LineTerms& t, Arity arity, const OperandReads& reads = {}) {
  if (arity == Arity::OwnText) return true;
  if (!Has_Operand(t)) return arity != Arity::Target;
  if (arity == Arity::None) return false;
  const bool first_fits = Read_Whole(reads.first) || Is_SingleTerm(t.first);
  if (t.second.data() == nullptr) return first_fits;
  if (arity == Arity::One || arity == Arity::Target || !first_fits) return false;
  const std::size_t comma = Find_InShort(t.second, ',');
  if (comma == std::string_view::npos) return Read_Whole(reads.second) || Is_SingleTerm(t.second);
  if (arity != Arity::Three) return false;
  const std::string_view third = t.second.substr(comma + 1);
  return Is_SingleTerm(t.second.substr(0, comma)) && Find_InShort(third, ',') == std::string_view::npos &&
         Is_SingleTerm(third);
}

// Instructions that may carry LOCK: read-modify-write ones, and only with a memory destination.
constexpr std::array<std::string_view, 17> kLockable{
    "ADC", "ADD", "AND", "BTC", "BTR", "BTS",  "CMPXCHG", "DEC", "INC",
    "NEG", "NOT", "OR",  "SBB", "SUB", "XADD", "XCHG",    "XOR",
};

// The operand text of a named data line (NAME DB ..., DW, DD): a directive and a blank.
bool Is_NamedData(std::string_view operand) {
  return operand.size() >= 3 && operand[2] == ' ' && Upper_Char(operand[0]) == 'D' &&
         (Upper_Char(operand[1]) == 'B' || Upper_Char(operand[1]) == 'W' || Upper_Char(operand[1]) == 'D');
}

bool Is_MemType(OpType t) { return t == OpType::M8 || t == OpType::M16 || t == OpType::M32; }

// The instruction after a LOCK on its line, or nullopt when LOCK stands alone.
std::optional<LineTerms> Locked_Terms(const LineTerms& t) {
  // The key's length rules out almost every line before a compare.
  if (t.key.size() != 4 || t.key != "LOCK" || !Has_Operand(t)) return std::nullopt;
  return Get_LineTerms(t.operand);
}

std::string Lock(const LineTerms& t, const OperandReads&, Diagnostics& sink) {
  const std::optional<LineTerms> inner = Locked_Terms(t);
  if (!inner) return Assemble_NoOperand(t.mnemonic);  // alone on its line: F0h for the next line
  if (!Admit_Locked(*inner, t.operand, sink)) return {};
  LabelTable no_labels;
  bool invalid_label = false;
  std::string bytes = Dispatch_Line(*inner, no_labels, invalid_label, sink);
  if (bytes.empty()) return bytes;
  return '\xF0' + bytes;
}

// SETcc names only: the mnemonic as written, in capitals, is the key.
bool Names_Setcc(const LineTerms& t) {
  const std::optional<std::string> name = Get_SetccName(t.mnemonic);
  return name && *name == t.key.view();
}

bool Is_ConditionalJumpKey(std::string_view key) {
  return !key.empty() && key[0] == 'J' && key != "JMP" && key != "JCXZ" && key != "JECXZ";
}

// Find_Label can find a name only when it is empty (the unnamed slots) or could be defined.
bool May_NameLabel(std::string_view name) {
  const std::string_view t = Trim(name);
  return t.empty() || Is_ValidLabelDefinition(t);
}

// Memory operands and numbers are read whole before an encoder sees them: a refused one gets
// its box here, once, whatever the instruction. Data lists are read by their directive.
bool Operands_Readable(const LineTerms& terms, OperandReads& reads, Diagnostics& sink) {
  if (terms.key == "DB" || terms.key == "DW" || terms.key == "DD") return true;
  if (Is_NamedData(terms.operand)) return true;
  const auto refused = [&sink](std::string_view operand, std::optional<detail::MemRef>& known) {
    const std::string why = detail::Operand_Refusal(operand, known, sink);
    if (!why.empty()) sink.Add(why);
    return !why.empty();
  };
  if (refused(terms.first, reads.first)) return false;
  // A three-operand line (IMUL) holds its second and third operands in one text; only a whole
  // second operand's reading is handed on.
  std::optional<detail::MemRef> piece;
  std::string_view rest = terms.second;
  for (std::size_t comma = Find_InShort(rest, ','); comma != std::string_view::npos;
       comma = Find_InShort(rest, ',')) {
    if (refused(rest.substr(0, comma), piece)) return false;
    rest.remove_prefix(comma + 1);
  }
  if (rest.size() != terms.second.size()) return !refused(rest, piece);
  return !refused(rest, reads.second);
}

}  // namespace

bool Is_LockPrefixLine(const LineTerms& terms) { return terms.key == "LOCK" && !Has_Operand(terms); }

void Refuse_Lock(std::string_view shown, Diagnostics& sink) {
  sink.Add(std::string("Error in LOCK:") + kCR + kTab + "Not supported: " + std::string(shown) + kCR + kCR +
           "Syntax:" + kCR + kTab + "LOCK Instruction m8/m16/m32,..." + kCR +
           " Instruction - ADC, ADD, AND, BTC, BTR, BTS, CMPXCHG, DEC, INC, NEG, NOT, OR, SBB, SUB," +
           " XCHG, XOR");
}

bool Admit_Locked(const LineTerms& locked, std::string_view shown, Diagnostics& sink) {
  const bool lockable = std::find(kLockable.begin(), kLockable.end(), locked.key) != kLockable.end();
  const bool memory = Is_MemType(Get_OperandType(locked.first, sink)) ||
                      (locked.key == "XCHG" && Is_MemType(Get_OperandType(locked.second, sink)));
  if (lockable && memory) return true;
  Refuse_Lock(shown, sink);
  return false;
}

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
  // The mnemonic is copied in capitals while its end is looked for.
  std::size_t space = t.key.Assign_FirstWord(line);
  if (space == line.size()) space = std::string_view::npos;
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
  return t;
}

std::size_t MnemonicKey::Assign_FirstWord(std::string_view line) {
  const std::size_t n = line.size();
  std::size_t i = 0;
  for (; i < n && i < kShort; ++i) {
    const char c = line[i];
    if (c == ' ') break;
    short_[i] = Upper_Char(c);
  }
  if (i == kShort && i < n && line[i] != ' ') {
    // A longer word: found and copied whole.
    std::size_t end = i;
    while (end < n && line[end] != ' ') ++end;
    Assign(line.substr(0, end));
    return end;
  }
  size_ = static_cast<std::uint32_t>(i);
  return i;
}

void MnemonicKey::Assign(std::string_view mnemonic) {
  const std::string_view m = Trim(mnemonic);
  size_ = static_cast<std::uint32_t>(m.size());
  char* key = short_;
  if (m.size() > kShort) {
    long_.resize(m.size());
    key = long_.data();
  }
  for (std::size_t i = 0; i < m.size(); ++i) key[i] = Upper_Char(m[i]);
}

std::vector<std::string_view> Dispatch_Mnemonics() {
  std::vector<std::string_view> names;
  names.reserve(kDispatch.size());
  for (const DispatchRow& row : kDispatch) names.push_back(row.mnemonic);
  return names;
}

namespace {
// The fix-up column of the line's row; conditional jumps have no row and take the jump's.
FixUp Row_FixUp(const DispatchRow* row, const LineTerms& terms) {
  if (row != nullptr) return row->fixup;
  return Is_ConditionalJumpKey(terms.key) ? FixUp::Jump : FixUp::None;
}
FixUp Row_FixUp(const LineTerms& terms) { return Row_FixUp(Find_Row(terms.key), terms); }

// The column, unless the operands rule out a label where the fix-up would look for one.
FixUp Operands_FixUp(FixUp column, const LineTerms& terms) {
  switch (column) {
    case FixUp::None:
    case FixUp::Jump:
    case FixUp::Loop:
    case FixUp::Call:
      return column;
    case FixUp::Push:
      return May_NameLabel(terms.first) ? column : FixUp::None;
    case FixUp::Mov:
      if (Get_Reg32Code(terms.first) != kNoRegister)
        return May_NameLabel(terms.second) ? column : FixUp::None;
      return Is_LabelName(terms.second) ? column : FixUp::None;
    case FixUp::Alu:
      return Is_LabelName(terms.second) ? column : FixUp::None;
    case FixUp::Lock: {
      const std::optional<LineTerms> inner = Locked_Terms(terms);
      return inner && Operands_FixUp(Row_FixUp(*inner), *inner) != FixUp::None ? column : FixUp::None;
    }
  }
  return FixUp::None;
}
}  // namespace

FixUp Line_FixUp(const LineTerms& terms) { return Operands_FixUp(Row_FixUp(terms), terms); }

std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label,
                          Diagnostics& sink) {
  FixUp unused = FixUp::None;
  return Dispatch_Line(terms, labels, invalid_label, unused, sink);
}

namespace {
// The row's full encoder, after the operand checks; what a plain encoder declines comes here.
// Kept out of line: the plain encoders' lines need none of its frame.
[[gnu::noinline]] std::string Dispatch_Full(const DispatchRow* row, const LineTerms& terms,
                                            LabelTable& labels, bool& invalid_label, FixUp& fixup,
                                            Diagnostics& sink) {
  std::string bytes;
  // A memory operand or number that cannot be read names its fault; only then is text beyond
  // the operands a mnemonic takes refused.
  OperandReads reads;
  if (!Operands_Readable(terms, reads, sink)) return {};
  if (row != nullptr && !Operands_Fit(terms, row->arity, reads)) return {};
  if (row != nullptr) {
    bytes = row->encode(terms, reads, sink);
  } else if (terms.key.starts_with("SET") && Names_Setcc(terms)) {
    if (!Operands_Fit(terms, Arity::One)) return {};
    bytes = Assemble_Setcc(terms.mnemonic, terms.first, sink);
  } else if (Is_NamedData(terms.operand)) {
    if (!Is_ValidLabelDefinition(terms.key)) {
      invalid_label = true;
      return {};
    }
    labels.Add_LabelEntry(terms.key, true);
    bytes = Assemble_DataLine(terms.operand, sink);
  }
  if (Is_ConditionalJumpKey(terms.key)) {
    if (!Operands_Fit(terms, Arity::Target)) return {};
    bytes = Has_LabelTarget(terms) ? Get_JumpOpcode(terms.mnemonic) : std::string();
    if (!bytes.empty()) bytes.append(4, '\0');
  }
  if (!bytes.empty()) fixup = Operands_FixUp(Row_FixUp(row, terms), terms);
  return bytes;
}

[[gnu::always_inline]] inline void Dispatch(const LineTerms& terms, LabelTable& labels, bool& invalid_label,
                                            FixUp& fixup, Diagnostics& sink, bool plain_first,
                                            std::string& bytes) {
  invalid_label = false;
  fixup = FixUp::None;
  bytes.clear();
  const DispatchRow* row = Find_Row(terms.key);
  // Conditional jumps have no row: they take the jump's plain encoder.
  const PlainEncoder plain =
      row != nullptr ? row->plain : (Is_ConditionalJumpKey(terms.key) ? Plain_Jump : nullptr);
  if (plain != nullptr && plain_first) {
    LineBytes out(bytes);
    if (plain(terms, out, fixup)) return;
    out.Take_Back();
    fixup = FixUp::None;
  }
  bytes = Dispatch_Full(row, terms, labels, invalid_label, fixup, sink);
}
}  // namespace

namespace {
// Takes back what a plain encoder put before it declined (from start on).
[[gnu::noinline]] void Dispatch_Declined(const DispatchRow* row, const LineTerms& terms, LineDispatch& line,
                                         std::size_t start) {
  line.code.resize(start);
  line.fixup = FixUp::None;
  line.code.append(Dispatch_Full(row, terms, line.labels, line.invalid_label, line.fixup, line.sink));
}
}  // namespace

void Dispatch_Line(const LineTerms& terms, LineDispatch& line) {
  line.invalid_label = false;
  line.fixup = FixUp::None;
  const DispatchRow* row = Find_Row(terms.key);
  // Conditional jumps have no row: they take the jump's plain encoder.
  const PlainEncoder plain =
      row != nullptr ? row->plain : (Is_ConditionalJumpKey(terms.key) ? Plain_Jump : nullptr);
  const std::size_t start = line.code.size();
  if (plain != nullptr) {
    LineBytes out(line.code);
    if (plain(terms, out, line.fixup)) return;
  }
  Dispatch_Declined(row, terms, line, start);
}

std::string Dispatch_Line(const LineTerms& terms, LabelTable& labels, bool& invalid_label, FixUp& fixup,
                          Diagnostics& sink) {
  std::string bytes;
  Dispatch(terms, labels, invalid_label, fixup, sink, true, bytes);
  return bytes;
}

std::string Dispatch_Line_Full(const LineTerms& terms, LabelTable& labels, bool& invalid_label, FixUp& fixup,
                               Diagnostics& sink) {
  std::string bytes;
  Dispatch(terms, labels, invalid_label, fixup, sink, false, bytes);
  return bytes;
}

std::string Dispatch_FixUp(const LineTerms& terms, CodeImage& image, const LabelTable& labels,
                           const FixLine& line, bool stack, Diagnostics& sink) {
  switch (Row_FixUp(terms)) {
    case FixUp::None:
      return {};
    case FixUp::Jump:
      return Fix_Jump(image, labels, terms.key, terms.first, line, sink);
    case FixUp::Loop:
      return Fix_LoopJump(image, labels, terms.key, terms.first, line, sink);
    case FixUp::Call:
      return Fix_CallLabel(image, labels, terms.first, line, sink);
    case FixUp::Push:
      return Fix_Imm32Label(image, labels, terms.first, line, stack, sink);
    case FixUp::Mov:
      if (Get_Reg32Code(terms.first) != kNoRegister)
        return Fix_Imm32Label(image, labels, terms.second, line, stack, sink);
      // Label sources that pass 2 assembled as a 32-bit zero: MOV to memory (or to a narrower
      // register, which is refused there).
      return Is_LabelName(terms.second) ? Fix_AluLabel(image, labels, line, stack, sink) : std::string();
    case FixUp::Alu:
      return Is_LabelName(terms.second) ? Fix_AluLabel(image, labels, line, stack, sink) : std::string();
    case FixUp::Lock: {
      const std::optional<LineTerms> inner = Locked_Terms(terms);
      if (!inner) return {};
      // The instruction behind the F0h prefix is fixed up as if it stood alone.
      const FixLine behind{line.offset + 1, line.length - 1, terms.operand};
      std::string fixed = Dispatch_FixUp(*inner, image, labels, behind, stack, sink);
      return fixed.empty() ? fixed : '\xF0' + fixed;
    }
  }
  return {};
}

}  // namespace orvo
