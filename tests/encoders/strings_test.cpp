#include <gtest/gtest.h>

#include "line_rows.h"

namespace orvo::test {
namespace {

TEST(Strings, Forms) {
  static constexpr BytesRow kRows[] = {
      {"movsb", "A4", "movsb byte ptr es:[edi], byte ptr [esi]"},
      {"MOVSW", "66 A5", "movsw word ptr es:[edi], word ptr [esi]"},
      {"MOVSD", "A5", "movsd dword ptr es:[edi], dword ptr [esi]"},
      {"INSB", "6C"},
      {"INSW", "66 6D"},
      {"INSD", "6D"},
      {"OUTSB", "6E"},
      {"OUTSW", "66 6F"},
      {"OUTSD", "6F"},
      {"LODSB", "AC"},
      {"LODSW", "66 AD"},
      {"LODSD", "AD"},
      {"STOSB", "AA"},
      {"STOSW", "66 AB"},
      {"STOSD", "AB"},
      {"CMPSB", "A6"},
      {"CMPSW", "66 A7"},
      {"CMPSD", "A7"},
      {"SCASB", "AE"},
      {"SCASW", "66 AF"},
      {"SCASD", "AF", "scasd eax, dword ptr es:[edi]"},
      {"REP MOVSB", "F3 A4"},
      {"REP STOSD", "F3 AB", "rep stosd dword ptr es:[edi], eax"},
      {"REP LODSW", "F3 66 AD"},
      {"REP MOVSW", "F3 66 A5"},
      {"rep insd", "F3 6D"},
      {"REPE CMPSB", "F3 A6", "repe cmpsb byte ptr [esi], byte ptr es:[edi]"},
      {"REPZ SCASW", "F3 66 AF"},
      {"REPNE SCASB", "F2 AE", "repne scasb al, byte ptr es:[edi]"},
      {"REPNZ CMPSD", "F2 A7"},
  };
  Expect_Bytes(kRows);
}

TEST(Strings, Refusals) {
  static constexpr BoxRow kRows[] = {
      {"CMPSX", ""},
      {"REP CMPSB",
       "Error in REP:\r\tNot supported: CMPSB\r\rSyntax:\r\tREP StringOperation(B/W/D)\r StringOperation - "
       "INS, "
       "MOVS, OUTS, LODS, STOS"},
      {"REP",
       "Error in REP:\r\tNot supported: REP\r\rSyntax:\r\tREP StringOperation(B/W/D)\r StringOperation - "
       "INS, "
       "MOVS, OUTS, LODS, STOS"},
      {"REPNE MOVSB",
       "Error in REPNE:\r\tNot supported: MOVSB\r\rSyntax:\r\tREPNE StringOperation(B/W/D)\r StringOperation "
       "- "
       "CMPS, SCAS"},
      {"repz stosb",
       "Error in REPZ:\r\tNot supported: STOSB\r\rSyntax:\r\tREPZ StringOperation(B/W/D)\r StringOperation - "
       "CMPS, SCAS"},
  };
  Expect_Boxes(kRows);
}

}  // namespace
}  // namespace orvo::test
