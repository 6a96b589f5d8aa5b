; orvo-options: --stack
REM MSGBOX
Const Arg1 EQU [ebp+8]
Const Arg2 EQU [ebp+12]
PUSHAD
PUSH Arg2
CALL Arg1
POPAD
MOV EAX,&B1111
