; DB, DW and DD with numbers and strings; labels as values in PUSH, MOV and the ALU group.
MOV ESI,Text
PUSH Table
ADD EAX,Table
CMP EDI,Words
SUB DWORD PTR [EBX],Text
MOV ECX,Bytes
RET
Text: DB "Hello, world",0
Bytes:
DB 1,2,3,&HFF,&B101
DB "A;B",13,10
Words: DW 1,-1,&H1234,"AB"
Table:
DD 0,-1,&HDEADBEEF
DD "ABCD"
End_Of_Data:
