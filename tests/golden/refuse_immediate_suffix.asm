; A bit number is one byte: a 16-bit type suffix is refused.
BT EBX,5?
BT EBX,5%
