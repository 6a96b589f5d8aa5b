; MOVZX widens: the source must be narrower than the destination.
MOVZX EAX,BX
MOVZX EAX,EBX
