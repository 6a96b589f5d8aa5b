; A decimal immediate beyond 32 bits.
MOV EAX,-2147483648
MOV EAX,99999999999
RET
