; MOV to a 16-bit register cannot hold a label's 32-bit value.
MOV EAX,Value
MOV AX,Value
Value: DD 1
