; CONST with EQU and =, in any letter case, used above its definition, inside operands and
; displacements, as a mnemonic, and chained in definition order.
MOV EAX,Size
const Base equ EBX
CONST Size EQU 16
CONST Offs = 8
CONST Spaced = 5
MOV ECX,[Base+Offs]
MOV [Base+Size],CL
ADD EAX,Spaced
CONST First EQU Second
CONST Second EQU 7
MOV EDX,First
CONST Op EQU XOR
Op EAX,EAX
CONST Limit EQU 1000
CMP EAX,Limit
CONST Loop_Top EQU top
top: DEC EAX
JNZ Loop_Top
