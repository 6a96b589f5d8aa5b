; AAM takes an optional 8-bit base, never a register.
AAM
AAM AL
