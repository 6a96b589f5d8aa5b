; Jumps forward and backward: near JMP and Jcc (rel32), short LOOP family and JCXZ (rel8),
; CALL to a label, register and memory targets, the RET forms.
start:
JMP forward
JO start
JNO start
JB start
JC start
JNAE start
JAE start
JNB start
JNC start
JE start
JZ start
JNE start
JNZ start
JBE start
JNA start
JA start
JNBE start
JS start
JNS start
JP start
JPE start
JNP start
JPO start
JL start
JNGE start
JGE start
JNL start
JLE start
JNG start
JG start
JNLE start
forward: LOOP forward
again: LOOPE forward
LOOPZ again
LOOPNE last
LOOPNZ last
JCXZ last
JECXZ last
CALL last
CALL EAX
CALL DWORD PTR [EBX+4]
JMP ECX
JMP [ESI]
JMP start
last:
RET
RET 16
RETN 4
RETF
RETF 8
