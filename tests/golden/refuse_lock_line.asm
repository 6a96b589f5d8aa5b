; A LOCK line prefixes the next line that assembles to bytes: here a register move, which cannot be locked.
LOCK
ADD [EBX],EAX
LOCK
; a comment between changes nothing
MOV EAX,EBX
RET
