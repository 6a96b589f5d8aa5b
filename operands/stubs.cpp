// Operand operations not built yet; operands/ replaces these with the real ones.

#include "operands/operands.h"

namespace orvo {
std::uint8_t Get_Reg32Code(std::string_view) { return kNoRegister; }
std::uint8_t Get_Reg16Code(std::string_view) { return kNoRegister; }
std::uint8_t Get_Reg8Code(std::string_view) { return kNoRegister; }
bool Is_SegmentRegister(std::string_view) { return false; }
std::string_view Type_Code(OpType) { return ""; }
int Strip_SizePtr(std::string&) { return 0; }
OpType Get_OperandType(std::string_view) { return OpType::None; }
bool Is_LabelName(std::string_view) { return false; }
OpType Get_ImmSuffix(std::string&) { return OpType::None; }
OpType Get_ImmType(std::string_view) { return OpType::None; }
std::string Normalize_Number(std::string_view) { return {}; }
bool Strip_Minus(std::string&) { return false; }
std::uint8_t Parse_Digits(int, std::string&) { return 0; }
bool Is_Number(std::string_view) { return false; }
bool Is_Imm8(std::string_view) { return false; }
bool Is_Imm16(std::string_view) { return false; }
double Leading_Value(std::string_view) { return 0; }
std::string Hex_Text_Of(double) { return {}; }
std::string To_Byte(std::string_view) { return {}; }
std::string To_Word(std::string_view) { return {}; }
std::string To_Dword(std::string_view) { return {}; }
std::string To_Bytes(std::string_view) { return {}; }
std::string Parse_MemOperand(std::string_view, MemForm& form, std::string&) { form = MemForm::NotBracketed; return {}; }
std::uint8_t Get_DispMod(std::string_view) { return 0; }
void Apply_DispSuffix(std::uint8_t&, std::string&) {}
std::uint8_t Build_ModRM(OpType, OpType, std::string_view, std::string_view) { return 0; }
std::uint8_t Pack_R8R8(std::string_view, std::string_view) { return kNoRegister; }
std::uint8_t Pack_R16R16(std::string_view, std::string_view) { return kNoRegister; }
std::uint8_t Pack_R8R32(std::string_view, std::string_view) { return kNoRegister; }
std::uint8_t Pack_R16R32(std::string_view, std::string_view) { return kNoRegister; }
std::uint8_t Pack_R32R32(std::string_view, std::string_view) { return kNoRegister; }
std::uint8_t Pack_R32R32_Rm(std::string_view, std::string_view) { return kNoRegister; }
std::uint8_t Pack_R32R8_Rm(std::string_view, std::string_view) { return kNoRegister; }
std::uint8_t Pack_R32R16_Rm(std::string_view, std::string_view) { return kNoRegister; }
}  // namespace orvo
