; CALL needs a target.
CALL EAX
CALL
