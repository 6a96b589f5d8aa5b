; An 8-bit suffix on an immediate that does not fit a byte.
PUSH 200?
PUSH 300?
RET
