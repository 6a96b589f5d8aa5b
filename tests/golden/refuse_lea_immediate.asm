; LEA takes the address of a memory operand, not a number.
LEA EAX,[EBX+5]
LEA EAX,5
