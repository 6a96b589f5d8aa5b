; LOCK only in front of a read-modify-write form with a memory destination.
LOCK ADD [EBX],EAX
LOCK ADD EAX,EBX
RET
