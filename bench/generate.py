#!/usr/bin/env python3
"""Writes one 32-bit program in ORVO, NASM/yasm and GNU as/llvm-mc syntax.

    generate.py LINES OUTDIR [--labels N] [--consts N] [--seed S]

The mix: MOV (register, immediate, memory), ALU, PUSH/POP, JMP/Jcc to labels, CONST use and DB
lines. Every assembler gets the same instructions; only the spelling differs.
"""
import argparse
import os
import random

REGS = ["EAX", "ECX", "EDX", "EBX", "ESI", "EDI"]
ALU = ["ADD", "SUB", "AND", "OR", "XOR", "CMP", "ADC", "SBB"]
JCC = ["JNZ", "JZ", "JC", "JNC", "JG", "JL", "JA", "JB"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lines", type=int)
    ap.add_argument("outdir")
    ap.add_argument("--labels", type=int, default=0, help="number of labels (default: one per 20 lines)")
    ap.add_argument("--consts", type=int, default=10)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    rnd = random.Random(a.seed)
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

    for name, lines in (("prog.asm", orvo), ("prog.nasm", nasm), ("prog.s", gas)):
        with open(os.path.join(a.outdir, name), "w", newline="\n") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
