; A comment line with a semicolon
' A comment line with an apostrophe
REM A comment line with REM
rem lower-case rem

    MOV EAX,1   ; a comment after an instruction
  MOV ECX,3
Outer:
inner: DEC ECX	; a tab before the comment
JNZ INNER
Next:	INC EAX
LOOP outer
  spaced:   NOP
JMP Spaced
Second_Name: ; a label with a comment after it
JMP second_name
