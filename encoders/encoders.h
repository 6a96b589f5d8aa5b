#pragma once
// Entry points of the instruction encoders, as the pass-2 dispatch calls them. Every encoder
// returns the line's bytes (one char per byte); an empty result means it refused the line, after
// recording its own box, where it has one, into the sink it is given. Encoders keep no state and
// show nothing.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/diagnostics.h"
#include "base/instruction_bytes.h"
#include "operands/detail.h"
#include "operands/operands.h"

namespace orvo {
namespace detail {
struct MemRef;
}

using ByteString = std::string;

// True when an operand holds one term: a register, a number (blanks only after its sign, before
// its type suffix or between digit groups of three), a name, or a memory operand with nothing
// after its "]". Text that would be dropped or merged makes it false.
bool Is_SingleTerm(std::string_view operand);

// ---- Shared encoders -------------------------------------------------------------------------
ByteString Encode_TwoOperand(std::string_view mnemonic, std::string_view first, std::string_view second,
                             Diagnostics& sink);
// The same, given the memory references the operand check read from first and second (null for
// an operand that was not read), so that each is read once.
ByteString Encode_TwoOperand(std::string_view mnemonic, std::string_view first, std::string_view second,
                             const detail::MemRef* known_first, const detail::MemRef* known_second,
                             Diagnostics& sink);

// The plain encoders: the common shapes of a line (registers, whole addresses, plain numbers)
// straight into out, without a box. False leaves the line to the full encoder named, which
// records what is wrong; keys are in capitals.
//
// A DB, DW or DD line whose items are all plain numbers that fit. Full: Assemble_Data.
bool Assemble_Data_Plain(std::string_view key, std::string_view operand, LineBytes& out);
// PUSH or POP of a register or address, PUSH of a number. Full: Assemble_Push / Assemble_Pop.
bool Assemble_PushPop_Plain(std::string_view key, std::string_view operand, LineBytes& out);
// A shift of a register or address by nothing, 1, CL or a plain byte (second: null when there
// is no count). Full: Assemble_Shift.
bool Assemble_Shift_Plain(std::string_view key, std::string_view first, std::string_view second,
                          LineBytes& out);
// MOVZX, MOVSX, BSF, BSR or IMUL r,r/m of registers and addresses. Full: Encode_TwoOperand.
bool Encode_Escape_Plain(std::string_view key, std::string_view first, std::string_view second,
                         LineBytes& out);
// IMUL r,r/m / r,r/m,imm / r,imm (rest: the text after the first comma). Full: Assemble_Imul.
bool Assemble_Imul_Plain(std::string_view first, std::string_view rest, LineBytes& out);
// MOV, TEST, LEA and the arithmetic/logic group, the family taken from the caller's row.
// Full: Encode_TwoOperand.
enum class PlainTwoFamily : std::uint8_t { Mov, Alu, Test, Lea };
// The base of an arithmetic/logic mnemonic (ADD 00h ... CMP 38h) from its packed key
// (Pack_Mnemonic); 0 for any other key. The group argument below: 0 for the other families.
std::uint8_t Alu_Base_OfPacked(std::uint64_t packed);
bool Encode_TwoOperand_Plain(PlainTwoFamily family, std::uint8_t group, std::string_view first,
                             std::string_view second, LineBytes& out);
// MOV of a label's address into a 32-bit register: B8+r and a zero dword for the fix-up to fill.
bool Encode_MovLabel_Plain(std::string_view first, std::string_view second, LineBytes& out);

ByteString Encode_OneOperand(std::string_view key, std::string_view operand, std::string_view count,
                             Diagnostics& sink);

// ---- Two-operand families --------------------------------------------------------------------
ByteString Assemble_Mov(std::string_view first, std::string_view second, Diagnostics& sink);
ByteString Assemble_Movx(std::string_view mnemonic, std::string_view first, std::string_view second,
                         Diagnostics& sink);
ByteString Assemble_BitScan(std::string_view mnemonic, std::string_view first, std::string_view second,
                            Diagnostics& sink);
ByteString Assemble_In(std::string_view first, std::string_view second, Diagnostics& sink);
ByteString Assemble_Out(std::string_view first, std::string_view second, Diagnostics& sink);
ByteString Assemble_Lea(std::string_view first, std::string_view second, Diagnostics& sink);
// The same, given the memory reference the operand check read from second (or null).
ByteString Assemble_Lea(std::string_view first, std::string_view second, const detail::MemRef* known_second,
                        Diagnostics& sink);
ByteString Assemble_Bound(std::string_view first, std::string_view second, Diagnostics& sink);
ByteString Assemble_Cmpxchg(std::string_view first, std::string_view second, Diagnostics& sink);
ByteString Assemble_Xchg(std::string_view first, std::string_view second, Diagnostics& sink);
ByteString Assemble_Enter(std::string_view first, std::string_view second, Diagnostics& sink);
ByteString Assemble_Lar(std::string_view first, std::string_view second, Diagnostics& sink);
// IMUL r16/r32,r/m (0Fh AFh) and, with an immediate after the source or in its place,
// IMUL r16/r32,r/m,imm (69h with a full-width immediate). The one-operand form is the group's.
ByteString Assemble_Imul(std::string_view first, std::string_view rest, Diagnostics& sink);
// True when the trimmed line's mnemonic is one of ADD OR ADC SBB AND SUB XOR CMP.
bool Is_AluLine(std::string_view line);

// ---- One-operand, control-flow, data and string families -------------------------------------
ByteString Assemble_Push(std::string_view operand, Diagnostics& sink);
ByteString Assemble_Pop(std::string_view operand, Diagnostics& sink);
ByteString Assemble_Call(std::string_view operand, Diagnostics& sink);
ByteString Assemble_Ret(std::string_view operand, Diagnostics& sink);
ByteString Assemble_RetnRetf(std::string_view mnemonic, std::string_view operand, Diagnostics& sink);
ByteString Assemble_Jmp(std::string_view first, Diagnostics& sink);
ByteString Assemble_Loop(std::string_view mnemonic);
bool Is_LoopMnemonic(std::string_view key);
// The conditional-jump opcode bytes (0Fh 8xh) for a mnemonic, E9h for JMP, "" when it names none.
ByteString Get_JumpOpcode(std::string_view mnemonic);
ByteString Assemble_Shift(std::string_view mnemonic, std::string_view first, std::string_view second,
                          Diagnostics& sink);
ByteString Assemble_Data(std::string_view key, std::string_view operand, Diagnostics& sink);
ByteString Assemble_DataLine(std::string_view operand, Diagnostics& sink);
ByteString Assemble_Rep(std::string_view key, std::string_view operand, Diagnostics& sink);
ByteString Assemble_Cmps(std::string_view mnemonic);
ByteString Assemble_Ins(std::string_view mnemonic);
ByteString Assemble_Lods(std::string_view mnemonic);
ByteString Assemble_Movs(std::string_view mnemonic);
ByteString Assemble_Outs(std::string_view mnemonic);
ByteString Assemble_Scas(std::string_view mnemonic);
ByteString Assemble_Stos(std::string_view mnemonic);
// Appends every conditional-jump (Jcc) or SETcc mnemonic of the encoder tables, in capitals.
void Add_JumpMnemonics(std::vector<std::string_view>& names);
void Add_SetccMnemonics(std::vector<std::string_view>& names);
// The mnemonic in capitals when it names a SETcc instruction, else nullopt.
std::optional<std::string> Get_SetccName(std::string_view mnemonic);
ByteString Assemble_Setcc(std::string_view mnemonic, std::string_view first, Diagnostics& sink);
ByteString Assemble_Int(std::string_view first, Diagnostics& sink);
ByteString Assemble_Bswap(std::string_view first);
ByteString Assemble_VerrVerw(std::string_view mnemonic, std::string_view first, Diagnostics& sink);

// ---- Fixed encodings -------------------------------------------------------------------------
ByteString Assemble_FlagOp(std::string_view text);
ByteString Assemble_NoOperand(std::string_view text);
// AAM/AAD: base 10 without an operand, else the imm8 base.
ByteString Assemble_AamAad(std::string_view mnemonic, std::string_view operand, Diagnostics& sink);
ByteString Assemble_Pushad();
ByteString Assemble_Popad();

}  // namespace orvo
