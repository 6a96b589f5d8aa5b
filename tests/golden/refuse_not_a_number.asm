; Digits that make no number in any notation.
MOV EAX,1000
MOV EAX,1_000
