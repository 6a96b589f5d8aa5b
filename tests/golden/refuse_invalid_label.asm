; A label named like a register.
start: NOP
EAX: NOP
JMP start
