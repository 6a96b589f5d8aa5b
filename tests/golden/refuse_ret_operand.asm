; RET pops at most a 16-bit count.
RET 65535
RET 70000
