; BOUND reads its pair of bounds from memory, never from a register.
BOUND EAX,[EBX]
BOUND EAX,EBX
