; ENTER takes a 16-bit frame size and an 8-bit nesting level.
ENTER 65535,31
ENTER 8,300
