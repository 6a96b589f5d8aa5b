; PUSH has no 8-bit form.
PUSH AX
PUSH AL
