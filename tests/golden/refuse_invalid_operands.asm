; Operands of different widths.
XOR EAX,EAX
MOV AL,EBX
RET
