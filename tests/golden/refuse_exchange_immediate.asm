; XCHG exchanges two places: an immediate is none.
XCHG AL,BL
XCHG AL,5
