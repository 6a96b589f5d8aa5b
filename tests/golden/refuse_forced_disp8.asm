; A displacement forced to one byte by its suffix must lie in -128 to 127.
MOV EAX,[EBX+127?]
MOV EAX,[EBX-128?]
MOV EAX,[EBX+200?]
RET
