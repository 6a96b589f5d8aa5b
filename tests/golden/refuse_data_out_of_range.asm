; A DB item must fit a byte.
DB 0,255,-1
DB 1,256
