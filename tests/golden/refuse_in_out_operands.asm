; IN reads into the accumulator only.
IN AL,DX
IN BL,DX
