; CONST lines that define nothing: each shows its box, the compile goes on to the end and fails.
CONST Width 5
CONST EAX EQU 5
const al=1
CONST Good EQU 4
MOV EAX,Good
