; A shift count must be 1, CL or an 8-bit immediate.
SHL EAX,CL
SHL EAX,EBX
