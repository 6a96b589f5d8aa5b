; A line that no encoder knows stops the compile: nothing is listed and no code is written.
MOV EAX,1
FOO EAX
RET
