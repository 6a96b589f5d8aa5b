; An immediate too wide for a 16-bit destination.
MOV AX,65535
MOV AX,65536
RET
