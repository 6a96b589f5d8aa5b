; An index scale other than 1, 2, 4 or 8.
MOV EAX,[EBX+ECX*8]
MOV EAX,[EBX+ECX*3]
RET
