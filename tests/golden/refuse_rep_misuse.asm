; REP only in front of a string instruction.
REP MOVSB
REP ADD EAX,1
