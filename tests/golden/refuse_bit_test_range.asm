; A bit number wider than a byte.
BTS ECX,255
BTS ECX,256
