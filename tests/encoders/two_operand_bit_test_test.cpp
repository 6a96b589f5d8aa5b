#include "two_operand_support.h"

namespace orvo::test {
namespace {

constexpr std::string_view kBtUsageTail = "\r\r\tUSAGE:\rBT r/m16(32),r16(32)\rBT r/m16(32),imm8";

TEST(BitTest, Bytes) {
  Expect_Bytes(std::initializer_list<BytesRow>{
      {"BT [EBX],EAX", "0F A3 03"},
      {"BT ECX,EDX", "0F A3 D1"},
      {"BTC AX,BX", "66 0F BB D8"},
      {"BTS ECX,5", "0F BA E9 05"},
      {"BT DWORD PTR [EBX],3", "0F BA 23 03"},
      {"BT [EBX],3", "0F BA 23 03"},
      {"BTR WORD PTR [ESI],7", "66 0F BA 36 07"},
      {"BT EBX,3", "0F BA E3 03"},
      {"BTS [ESP+4],ECX", "0F AB 4C 24 04"},
      {"BTR WORD PTR [EBP],DX", "66 0F B3 55 00"},
      {"BTC EDI,31?", "0F BA FF 1F"},
  });
}

TEST(BitTest, Refusals) {
  for (const RefusalRow& row : {
           RefusalRow{"BT BL,1",
                      "Error in BT\rDestination operand to small: r8\r\r\tUSAGE:\rBT r/m16(32),r16(32)"},
           {"BT BYTE PTR [EBX],1",
            "Error in BT\rDestination operand to small: m8\r\r\tUSAGE:\rBT r/m16(32),r16(32)"},
           {"BT ECX,300", "Error in BT\rSource operand to big: imm16\r\r\tUSAGE:\rBT r/m16(32),imm8"},
           {"BTS ECX,5&", "Error in BTS\rInvalid immediate identifier\r\r\tUSAGE:\rBTS r/m16(32),imm8"},
           {"BTR ECX,5%", "Error in BTR\rInvalid immediate identifier\r\r\tUSAGE:\rBTR r/m16(32),imm8"},
       })
    Expect_Refusal(row);
  // The accumulator code replaces the destination type before the table sees it.
  Expect_Refusal({"BT EAX,3", "Invalid operand(s) in BT\r\tEAX,imm8" + std::string(kBtUsageTail)});
  Expect_Refusal({"BT AX,3", "Invalid operand(s) in BT\r\tAX,imm8" + std::string(kBtUsageTail)});
  Expect_Refusal({"BT EAX,BX", "Invalid operand(s) in BT\r\tr32,r16" + std::string(kBtUsageTail)});
}

}  // namespace
}  // namespace orvo::test
