; LEA takes the address of a memory operand; a register has none.
LEA EAX,[EBX]
LEA EAX,EBX
