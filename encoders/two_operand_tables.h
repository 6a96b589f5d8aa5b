#pragma once
// Internal to the two-operand encoder and its family tables: the row type of the opcode tables,
// an O(1) index over a table by type signature, the family table operations the encoder calls,
// and the boxes several families share.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "encoders/line_faults.h"
#include "operands/operands.h"

namespace orvo {

// ---- Opcode table rows -----------------------------------------------------------------------
// One row per operand form. The opcode string is `fixed`, followed by one more byte
// `group_opcode + group value` when group_opcode is not kNoGroupByte (the arithmetic/logic and
// bit-test registers forms, whose opcode depends on the mnemonic). The table byte is `table`,
// plus the group value when table_plus_group is set (the /digit forms).
inline constexpr std::int16_t kNoGroupByte = -1;

struct OpcodeRow {
  OpType dst;
  OpType src;
  std::string_view fixed;
  std::int16_t group_opcode;
  std::uint8_t table;
  bool table_plus_group;
};

inline constexpr bool kPlusGroup = true;
inline constexpr bool kFixed = false;

inline constexpr std::size_t kTypeCount = static_cast<std::size_t>(OpType::EAX) + 1;
constexpr std::size_t Signature_Slot(OpType dst, OpType src) {
  return static_cast<std::size_t>(dst) * kTypeCount + static_cast<std::size_t>(src);
}

// A family table with its signature index, built at compile time. The first row of a
// signature wins, as in a top-down reading of the table.
template <std::size_t N>
struct OpcodeTable {
  std::array<OpcodeRow, N> rows;
  std::array<std::int8_t, kTypeCount * kTypeCount> index{};

  constexpr explicit OpcodeTable(const std::array<OpcodeRow, N>& table_rows) : rows(table_rows) {
    static_assert(N < 127);
    for (auto& slot : index) slot = -1;
    for (std::size_t i = 0; i < N; ++i) {
      auto& slot = index[Signature_Slot(rows[i].dst, rows[i].src)];
      if (slot < 0) slot = static_cast<std::int8_t>(i);
    }
  }

  constexpr const OpcodeRow* Find(OpType dst, OpType src) const {
    const std::int8_t i = index[Signature_Slot(dst, src)];
    return i < 0 ? nullptr : &rows[static_cast<std::size_t>(i)];
  }
};

// The opcode bytes and the table byte of a row for a group value (0 for families without one).
inline std::uint8_t Put_Row(const OpcodeRow& row, std::uint8_t group, InstructionBytes& opcode) {
  opcode.Put(row.fixed);
  if (row.group_opcode != kNoGroupByte) opcode.Put(static_cast<std::uint8_t>(row.group_opcode + group));
  return static_cast<std::uint8_t>(row.table + (row.table_plus_group ? group : 0));
}
// The same, as an opcode string.
inline std::uint8_t Apply_Row(const OpcodeRow& row, std::uint8_t group, std::string& opcode) {
  InstructionBytes bytes;
  const std::uint8_t table = Put_Row(row, group, bytes);
  opcode.assign(bytes.View());
  return table;
}

// ---- Operand size rules shared by the encoder and the entry operations -----------------------
// Widens an immediate source to a 16/32-bit destination; a type suffix on the immediate sizes a
// memory destination instead. Returns the new source type; may change dst.
OpType Adjust_ImmSize(OpType& dst, OpType src, std::string_view second);
// A memory operand takes the size of the register beside it.
constexpr OpType Mem_Of_Bits(int bits) {
  return bits == 8 ? OpType::M8 : bits == 16 ? OpType::M16 : bits == 32 ? OpType::M32 : OpType::None;
}
inline void Match_MemSize(OpType& dst, OpType& src) {
  if (Is_Reg(dst) && Is_Mem(src)) {
    src = Mem_Of_Bits(Type_Bits(dst));
  } else if (Is_Reg(src) && Is_Mem(dst)) {
    dst = Mem_Of_Bits(Type_Bits(src));
  }
}

// ---- Family tables ---------------------------------------------------------------------------
// Each fills the opcode string and returns the table byte; std::nullopt is a refusal (the table
// has recorded its box where it has one).
// The rows of the MOV, arithmetic/logic and TEST tables for a signature, or null; no box.
const OpcodeRow* Find_MovRow(OpType dst, OpType src);
const OpcodeRow* Find_AluRow(OpType dst, OpType src);
const OpcodeRow* Find_TestRow(OpType dst, OpType src);

std::optional<std::uint8_t> Get_MovOpcode(OpType dst, OpType src, std::string& opcode, Diagnostics& sink);
std::uint8_t Get_AluBase(std::string_view mnemonic);
std::optional<std::uint8_t> Get_AluOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                          std::string& opcode, Diagnostics& sink);
std::uint8_t Get_BitTestDigit(std::string_view mnemonic);
std::optional<std::uint8_t> Get_BitTestOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                              std::string& opcode, Diagnostics& sink);
std::optional<std::uint8_t> Get_InOpcode(OpType dst, OpType src, std::string& opcode);
std::optional<std::uint8_t> Get_OutOpcode(OpType dst, OpType src, std::string& opcode);
std::optional<std::uint8_t> Get_LeaOpcode(OpType dst, OpType src, std::string& opcode);
std::optional<std::uint8_t> Get_TestOpcode(OpType dst, OpType src, std::string& opcode, Diagnostics& sink);
std::optional<std::uint8_t> Get_MovxOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                           std::string& opcode, std::string_view first_text,
                                           std::string_view second_text);
std::optional<std::uint8_t> Get_BitScanOpcode(std::string_view mnemonic, OpType dst, OpType src,
                                              std::string& opcode, std::string_view first_text,
                                              std::string_view second_text);
std::optional<std::uint8_t> Get_BoundOpcode(OpType dst, OpType src, std::string& opcode);
std::optional<std::uint8_t> Get_CmpxchgOpcode(OpType dst, OpType src, std::string& opcode);
std::optional<std::uint8_t> Get_XchgOpcode(OpType dst, OpType src, std::string& opcode);
std::optional<std::uint8_t> Get_LarOpcode(OpType dst, OpType src, std::string& opcode);

// ---- Boxes -----------------------------------------------------------------------------------
// Runs an entry operation's body; a fault or other exception is reported and refuses the line.
template <typename Body>
std::string Guard_Entry(Diagnostics& sink, std::string_view mnemonic, std::string_view first,
                        std::string_view second, Body&& body) {
  return Guard_Faults(sink, mnemonic, first, second, std::forward<Body>(body), LineShape::TwoOperands);
}

}  // namespace orvo
