; orvo-options: --stack
; The saved frame around the code: arguments at [EBP+8] up, label values moved past the prologue.
CONST Count EQU [EBP+8]
CONST Step = [EBP+12]
MOV ECX,Count
XOR EAX,EAX
JECXZ done
sum: ADD EAX,Step
LOOP sum
done:
MOV ESI,Result
MOV [ESI],EAX
PUSH Result
POP EDX
ADD EDX,Tail
JMP finish
Result: DD 0
finish:
Tail:
