; SETcc writes a byte.
SETZ AL
SETZ EAX
