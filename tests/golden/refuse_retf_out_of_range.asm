; A return count below zero.
RETF 0
RETF -1
