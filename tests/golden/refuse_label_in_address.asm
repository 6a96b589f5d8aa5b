; A label inside brackets would be an absolute address, which routines do not have.
MOV EAX,[EBX+Table]
RET
Table: DD 1
