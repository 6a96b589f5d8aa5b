; INT takes an 8-bit number.
INT 255
INT 256
