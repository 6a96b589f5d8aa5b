#!/usr/bin/env python3
"""Writes one 32-bit program in ORVO, NASM/yasm and GNU as/llvm-mc syntax.

    generate.py LINES OUTDIR [--mix base|mixed] [--labels N] [--consts N] [--seed S]

base: MOV (register, immediate, memory), ALU, PUSH/POP, JMP/Jcc to labels, CONST use and DB lines.
mixed: closer to hand-written code: 8-, 16- and 32-bit registers, BYTE/WORD/DWORD PTR operands,
base+index*scale addresses, displacements of every width, hex and binary immediates in every
spelling, CONST names inside operands and displacements, DB/DW/DD lines, one label in 50 lines
with JMP/Jcc and LOOPs. Every assembler gets the same instructions; only the spelling differs. The
NASM spelling of mixed assembles to the same bytes as ORVO's (flat binary): immediates carry
`strict` where NASM would otherwise pick the short sign-extended form.
"""
import argparse
import os
import random

REGS = ["EAX", "ECX", "EDX", "EBX", "ESI", "EDI"]
ALU = ["ADD", "SUB", "AND", "OR", "XOR", "CMP", "ADC", "SBB"]
JCC = ["JNZ", "JZ", "JC", "JNC", "JG", "JL", "JA", "JB"]


# mixed: every operand is a triple of spellings (ORVO, NASM, GNU as).
BASES = ["EAX", "ECX", "EDX", "EBX", "ESI", "EDI", "EBP", "ESP", "EBX", "ESI", "EBP"]
INDEXES = ["EAX", "ECX", "EDX", "EBX", "ESI", "EDI", "EBP"]
R16 = ["AX", "CX", "DX", "BX", "SI", "DI"]
R8 = ["AL", "CL", "DL", "BL", "AH", "CH", "DH", "BH"]
SHIFTS = ["SHL", "SHR", "SAR", "ROL", "ROR"]
LOOPS = ["LOOP", "LOOPE", "LOOPNE"]
SIZE_NAME = {8: "BYTE", 16: "WORD", 32: "DWORD"}
DATA = {8: ("DB", ".byte"), 16: ("DW", ".short"), 32: ("DD", ".long")}


def number(rnd, v):
    """A value of 0 or more in one of ORVO's spellings; NASM and GNU as get the same value."""
    x = f"{v:X}"
    b = f"{v:b}"
    k = rnd.randrange(10)
    if k < 4:
        return str(v), str(v), str(v)
    if k == 4 or (k >= 7 and v > 0xFFFF):  # binary only where hand-written code uses it
        return f"0x{x}", f"0x{x}", f"0x{x}"
    if k == 5:
        h = ("0" if x[0] in "ABCDEF" else "") + x + "h"
        return h, h, f"0x{x}"
    if k == 6:
        return f"&H{x}", f"0x{x}", f"0x{x}"
    # yasm reads no 0b prefix: NASM's spelling takes the b suffix that both read.
    if k == 7:
        return f"0b{b}", f"{b}b", f"0b{b}"
    if k == 8:
        return f"{b}b", f"{b}b", f"0b{b}"
    return f"&B{b}", f"{b}b", f"0b{b}"


def value(rnd, bits):
    if bits == 8:
        return rnd.randint(0, 255)
    if bits == 16:
        return rnd.choice([rnd.randint(0, 127), rnd.randint(0, 65535)])
    return rnd.choice([rnd.randint(0, 127), rnd.randint(128, 65535), rnd.randint(65536, 0x7FFFFFFF)])


def reg(r):
    return r, r.lower(), r.lower()


def register(rnd, bits):
    return reg(rnd.choice({8: R8, 16: R16, 32: REGS}[bits]))


def memory(rnd, offsets, bits=None):
    """[base], [base+index*scale], each with no, 8-bit, 32-bit or CONST displacement; a size
    prefix when bits is given."""
    base = rnd.choice(BASES)
    o = base
    if rnd.random() < 0.3:
        o += "+" + rnd.choice(INDEXES) + rnd.choice(["", "*1", "*2", "*4", "*8"])
    n = g = o.lower()
    k = rnd.randrange(20)
    if k >= 16:
        sign = rnd.choice("+-")
        name = rnd.choice(offsets)
        o, n, g = o + sign + name, n + sign + name, g + sign + name
    elif k >= 5:
        # An explicit displacement of 0 keeps its byte in ORVO. One in ten sits on a width's edge.
        edge = rnd.random() < 0.1
        if k < 10:
            sign, d = "+", 127 if edge else rnd.randint(1, 127)
        elif k < 13:
            sign, d = "-", 128 if edge else rnd.randint(1, 128)
        else:
            sign, d = rnd.choice("+-"), rnd.choice([128, 129, 256]) if edge else rnd.randint(129, 100000)
        do, dn, dg = number(rnd, d)
        while sign == "-" and do.startswith("&B"):  # ORVO gives -&B.. four bytes at any size
            do, dn, dg = number(rnd, d)
        o, n, g = o + sign + do, n + sign + dn, g + sign + dg
    o, n, g = f"[{o}]", f"[{n}]", f"[{g}]"
    if bits:
        size = SIZE_NAME[bits]
        return f"{size} PTR {o}", f"{size.lower()} {n}", f"{size.lower()} ptr {g}"
    return o, n, g


def immediate(rnd, bits, consts, strict=False):
    """An immediate of the width; strict keeps NASM on the full-width form ORVO encodes."""
    if bits == 32 and rnd.random() < 0.15:
        name = rnd.choice(consts)
        o, n, g = name, name, f"OFFSET {name}"
    else:
        o, n, g = number(rnd, value(rnd, bits))
    if strict and bits > 8:
        n = f"strict {SIZE_NAME[bits].lower()} {n}"
    return o, n, g


def line(op, *operands):
    return (f"{op} " + ",".join(x[0] for x in operands),
            f"{op.lower()} " + ",".join(x[1] for x in operands),
            f"{op.lower()} " + ", ".join(x[2] for x in operands))


def any_memory(rnd, offsets, bits):
    # The size prefix is optional beside a register; half the lines write it.
    return memory(rnd, offsets, bits if rnd.random() < 0.5 else None)


def mixed_instruction(rnd, consts, offsets):
    k = rnd.randrange(100)
    bits = rnd.choice([8, 16, 32, 32, 32, 32])
    if k < 14:
        return line("MOV", register(rnd, bits), any_memory(rnd, offsets, bits))
    if k < 24:
        return line("MOV", any_memory(rnd, offsets, bits), register(rnd, bits))
    if k < 30:
        return line("MOV", register(rnd, bits), immediate(rnd, bits, consts))
    if k < 33:
        return line("MOV", register(rnd, 32), register(rnd, 32))
    if k < 37:
        return line("MOV", memory(rnd, offsets, bits), immediate(rnd, bits, consts))
    if k < 43:
        return line(rnd.choice(ALU), register(rnd, bits), any_memory(rnd, offsets, bits))
    if k < 47:
        return line(rnd.choice(ALU), any_memory(rnd, offsets, bits), register(rnd, bits))
    if k < 54:
        return line(rnd.choice(ALU), register(rnd, bits), immediate(rnd, bits, consts, strict=True))
    if k < 58:
        return line(rnd.choice(ALU), memory(rnd, offsets, bits), immediate(rnd, bits, consts, strict=True))
    if k < 63:
        target = register(rnd, bits) if rnd.random() < 0.7 else memory(rnd, offsets, bits)
        count = rnd.choice([("CL", "cl", "cl"), ("1", "1", "1"), number(rnd, rnd.randint(2, 31))])
        return line(rnd.choice(SHIFTS), target, count)
    if k < 68:
        return line("PUSH", register(rnd, 32) if rnd.random() < 0.8 else memory(rnd, offsets, 32))
    if k < 73:
        return line("POP", register(rnd, 32) if rnd.random() < 0.8 else memory(rnd, offsets, 32))
    if k < 74:
        return line("PUSH", number(rnd, rnd.randint(0, 127)))
    if k < 77:
        # INC/DEC of a 16- or 32-bit register has a one-byte form ORVO does not pick.
        return line(rnd.choice(["INC", "DEC"]), register(rnd, 8) if rnd.random() < 0.4 else memory(rnd, offsets, bits))
    if k < 80:
        if rnd.random() < 0.5:
            return line("TEST", register(rnd, bits), immediate(rnd, bits, consts))
        if rnd.random() < 0.5:
            return line("TEST", memory(rnd, offsets, bits), immediate(rnd, bits, consts))
        return line("TEST", any_memory(rnd, offsets, bits), register(rnd, bits))
    if k < 85:
        return line("LEA", register(rnd, 32), memory(rnd, offsets))
    if k < 88:
        wide = rnd.choice([8, 16])
        source = register(rnd, wide) if rnd.random() < 0.4 else memory(rnd, offsets, wide)
        return line("MOVZX", register(rnd, 32), source)
    if k < 91:
        choice = rnd.randrange(3)
        if choice == 0:
            return line("IMUL", register(rnd, 32), register(rnd, 32))
        if choice == 1:
            return line("IMUL", register(rnd, 32), any_memory(rnd, offsets, 32))
        return line("IMUL", register(rnd, 32), register(rnd, 32), immediate(rnd, 32, consts, strict=True))
    data_bits = rnd.choice([8, 8, 16, 32])
    count = rnd.randint(1, 8 if data_bits == 8 else 4)
    items = [number(rnd, value(rnd, data_bits)) for _ in range(count)]
    op, gas_op = DATA[data_bits]
    return (f"{op} " + ",".join(x[0] for x in items), f"{op.lower()} " + ",".join(x[1] for x in items),
            f"{gas_op} " + ", ".join(x[2] for x in items))


def mixed_program(lines, labels, consts, rnd):
    """Returns the ORVO, NASM and GNU as lines of the mixed program."""
    orvo, nasm, gas = [], ["bits 32"], [".intel_syntax noprefix", ".code32"]

    def emit(t):
        orvo.append(t[0])
        nasm.append(t[1])
        gas.append(t[2])

    # Large values for immediates, small ones (both displacement widths) for addresses.
    names = [f"CV{c}" for c in range(consts // 2)]
    offsets = [f"OFS{c}" for c in range(consts - consts // 2)]
    for name in names + offsets:
        v = rnd.randint(65536, 0x7FFFFFFF) if name.startswith("CV") else rnd.randint(1, 300)
        o, n, g = number(rnd, v)
        while name.startswith("OFS") and o.startswith("&B"):  # also used as -OFS, see memory()
            o, n, g = number(rnd, v)
        emit((f"CONST {name} EQU {o}", f"%define {name} {n}", f".set {name}, {g}"))

    body = lines - consts
    label_every = max(1, body // labels)
    defined = 0
    after_label = False
    loop_at, loop_target = -1, ""
    for i in range(body):
        if i % label_every == 0 and defined < labels:
            name = f"L{defined}"
            emit((f"{name}:", f"{name}:", f"{name}:"))
            defined += 1
            after_label = True
            # A LOOP a few lines below stays within its 8-bit reach (at most 16 bytes a line).
            if rnd.random() < 0.5:
                loop_at, loop_target = i + rnd.randint(2, 5), name
            continue
        if i == loop_at:
            op = rnd.choice(LOOPS)
            emit((f"{op} {loop_target}", f"{op.lower()} {loop_target}", f"{op.lower()} {loop_target}"))
            continue
        k = rnd.randrange(100)
        # No jump right below a label: a jump to its own offset is refused.
        if k < 3 and not after_label:
            target = f"L{rnd.randrange(labels)}"
            op = "JMP" if k == 0 else rnd.choice(JCC)
            emit((f"{op} {target}", f"{op.lower()} near {target}", f"{op.lower()} {target}"))
        elif k < 4:
            r = register(rnd, 32)
            target = f"L{rnd.randrange(labels)}"
            emit((f"MOV {r[0]},{target}", f"mov {r[1]},{target}", f"mov {r[2]}, OFFSET {target}"))
        else:
            emit(mixed_instruction(rnd, names, offsets))
        after_label = False
    for l in range(defined, labels):
        emit((f"L{l}:", f"L{l}:", f"L{l}:"))
    return orvo, nasm, gas


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lines", type=int)
    ap.add_argument("outdir")
    ap.add_argument("--labels", type=int, default=0, help="number of labels (default: one per 20 lines)")
    ap.add_argument("--consts", type=int, default=10)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--mix", choices=["base", "mixed"], default="base")
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    if a.mix == "mixed":
        write(a.outdir, *mixed_program(a.lines, a.labels or max(1, a.lines // 50), max(2, a.consts), rnd))
        return
    labels = a.labels or max(1, a.lines // 20)
    consts = max(1, a.consts)
    os.makedirs(a.outdir, exist_ok=True)

    orvo, nasm, gas = [], [], []
    nasm.append("bits 32")
    gas.append(".intel_syntax noprefix")
    gas.append(".code32")
    for c in range(consts):
        value = rnd.randint(1, 100000)
        orvo.append(f"CONST CV{c} EQU {value}")
        nasm.append(f"%define CV{c} {value}")
        gas.append(f".set CV{c}, {value}")

    body = a.lines - consts
    label_every = max(1, body // labels)
    defined = 0
    for i in range(body):
        if i % label_every == 0 and defined < labels:
            orvo.append(f"L{defined}:")
            nasm.append(f"L{defined}:")
            gas.append(f"L{defined}:")
            defined += 1
            continue
        kind = rnd.randrange(10)
        r1, r2 = rnd.choice(REGS), rnd.choice(REGS)
        if kind == 0:
            imm = rnd.randint(0, 100000)
            orvo.append(f"MOV {r1},{imm}")
            nasm.append(f"mov {r1.lower()},{imm}")
            gas.append(f"mov {r1.lower()}, {imm}")
        elif kind == 1:
            d = rnd.randint(-200, 200)
            orvo.append(f"MOV {r1},[{r2}{d:+d}]")
            nasm.append(f"mov {r1.lower()},[{r2.lower()}{d:+d}]")
            gas.append(f"mov {r1.lower()}, dword ptr [{r2.lower()}{d:+d}]")
        elif kind == 2:
            op = rnd.choice(ALU)
            orvo.append(f"{op} {r1},{r2}")
            nasm.append(f"{op.lower()} {r1.lower()},{r2.lower()}")
            gas.append(f"{op.lower()} {r1.lower()}, {r2.lower()}")
        elif kind == 3:
            op = rnd.choice(ALU)
            c = rnd.randrange(consts)
            orvo.append(f"{op} {r1},CV{c}")
            nasm.append(f"{op.lower()} {r1.lower()},dword CV{c}")
            gas.append(f"{op.lower()} {r1.lower()}, OFFSET CV{c}")
        elif kind == 4:
            orvo.append(f"PUSH {r1}")
            nasm.append(f"push {r1.lower()}")
            gas.append(f"push {r1.lower()}")
        elif kind == 5:
            orvo.append(f"POP {r1}")
            nasm.append(f"pop {r1.lower()}")
            gas.append(f"pop {r1.lower()}")
        elif kind == 6:
            target = f"L{rnd.randrange(labels)}"
            orvo.append(f"JMP {target}")
            nasm.append(f"jmp near {target}")
            gas.append(f"jmp {target}")
        elif kind == 7:
            op = rnd.choice(JCC)
            target = f"L{rnd.randrange(labels)}"
            orvo.append(f"{op} {target}")
            nasm.append(f"{op.lower()} near {target}")
            gas.append(f"{op.lower()} {target}")
        elif kind == 8:
            data = ",".join(str(rnd.randint(0, 255)) for _ in range(4))
            orvo.append(f"DB {data}")
            nasm.append(f"db {data}")
            gas.append(f".byte {data}")
        else:
            d = rnd.randint(0, 100)
            orvo.append(f"MOV [{r1}+{d}],{r2}")
            nasm.append(f"mov [{r1.lower()}+{d}],{r2.lower()}")
            gas.append(f"mov dword ptr [{r1.lower()}+{d}], {r2.lower()}")
    # Labels referenced but not reached by the body (small programs) are defined at the end.
    for l in range(defined, labels):
        orvo.append(f"L{l}:")
        nasm.append(f"L{l}:")
        gas.append(f"L{l}:")

    write(a.outdir, orvo, nasm, gas)


def write(outdir, orvo, nasm, gas):
    os.makedirs(outdir, exist_ok=True)
    for name, lines in (("prog.asm", orvo), ("prog.nasm", nasm), ("prog.s", gas)):
        with open(os.path.join(outdir, name), "w", newline="\n") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
