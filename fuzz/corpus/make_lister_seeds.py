#!/usr/bin/env python3
"""Writes the lister fuzzer's seeds of many-block logs into fuzz/corpus/lister.

Each seed is: the command count, the block size parameter (two bytes), the
number of copies of the log, the command bytes, the log. The logs are made
from a fixed pseudo-random sequence, so the seeds come out the same each run.
"""
import os
import random

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lister")
EXTENSIONS = [".par", ".psm", ".dft", ".asm", ".PAR", ".txt"]
USERS = ["cad01", "cad02", "l.köhler", "m.weiß", "u0"]


def log(rng, lines):
    out = ["Doppelte Dateien im Konstruktionsarchiv - Stand 08.12.2026 16:40\n"]
    for i in range(lines):
        folder = rng.choice(["D:\\Daten\\Bauteile\\", "K:\\Projekte\\Blechteile\\", "E:\\Werk\\"])
        name = rng.choice(["halter", "baugruppe", "Spannbügel-%d" % rng.randrange(99999), "n%d" % (i % 7)])
        size = rng.choice(["%d" % rng.randrange(10**9), "1.234,5KB", "12MB", "%d.%03d" % (rng.randrange(999), rng.randrange(1000))])
        date = "%02d.%02d.%04d" % (rng.randrange(1, 29), rng.randrange(1, 13), rng.randrange(1995, 2027))
        time = "%02d:%02d" % (rng.randrange(24), rng.randrange(60))
        gap = " " * rng.randrange(1, 4)
        end = rng.choice(["\n", "\n", "\n", "\r\n", "\r"])
        out.append(folder + name + rng.choice(EXTENSIONS) + gap + size + gap + date + " " + time + " " + rng.choice(USERS) + end)
    return "".join(out).encode()


def seed(name, block, copies, commands, body):
    data = bytes([len(commands), block & 0xFF, block >> 8, copies - 1]) + bytes(commands) + body
    assert len(data) <= 12288, name
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def block(kind, r):
    # kind 0: 1 + r bytes (r < 64), 1: 64 + r (r < 192), 2: 256 + r (r < 8192), 3: default.
    return r * 4 + kind


rng = random.Random(18)
seed("many_blocks_kilobytes", block(2, 1244), 1, [3, 4, 8, 0], log(rng, 170))
seed("many_blocks_tiny", block(0, 6), 1, [1, 5], log(rng, 50))
seed("many_blocks_line_sized", block(1, 37), 1, [6, 7, 2], log(rng, 90))
seed("one_default_block", block(3, 0), 1, [9, 13, 14], log(rng, 170))
seed("copies_of_a_short_log", block(2, 444), 32, [0, 10, 2], log(rng, 6))
