; TEST AL takes an 8-bit immediate.
TEST AL,255
TEST AL,300
