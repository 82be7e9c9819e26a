#!/usr/bin/env python3
"""Writes the bundled sample frame: 160 x 120 BGRA, lens covered.

Dark sensor noise (values 0..12) with three particle hits that light a few
neighbouring channel values above the detection threshold, as a covered
camera sees a gamma particle. Deterministic: the same bytes every run.
"""
import random
import sys

WIDTH, HEIGHT = 160, 120


def main(path):
    rng = random.Random(20111)
    frame = bytearray()
    for _ in range(WIDTH * HEIGHT):
        frame += bytes((rng.randint(0, 12), rng.randint(0, 12), rng.randint(0, 12), 255))
    for x, y, level in ((23, 17, 231), (101, 64, 187), (140, 110, 254)):
        for dx, channel in ((0, 0), (0, 1), (1, 2)):
            frame[((y * WIDTH) + x + dx) * 4 + channel] = level
    with open(path, "wb") as out:
        out.write(frame)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "covered-160x120.bgra")
