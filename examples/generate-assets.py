#!/usr/bin/env python3
"""Regenerates the binary files of examples/assets/ (deterministic: same bytes every run)."""
import math
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "assets")


def write(relative, data):
    path = os.path.join(ROOT, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def palette():
    # 256 colours, 15-bit BGR as the handheld's video hardware reads them.
    words = []
    for i in range(256):
        r, g, b = (i * 7) % 32, (i * 3) % 32, (31 - i // 8) % 32
        words.append(r | g << 5 | b << 10)
    return struct.pack("<256H", *words)


def font():
    # 128 glyphs of 8x8 pixels, one bit per pixel: a checker pattern varied per glyph.
    data = bytearray()
    for glyph in range(128):
        for row in range(8):
            data.append(((0xAA if row % 2 else 0x55) ^ glyph) & 0xFF)
    return bytes(data)


def sprite(seed):
    # 16x16 pixels, 4 bits per pixel: a filled circle of colour `seed`.
    data = bytearray()
    for y in range(16):
        for x in range(0, 16, 2):
            def px(cx):
                return seed if (cx - 7.5) ** 2 + (y - 7.5) ** 2 < 49 else 0
            data.append(px(x) | px(x + 1) << 4)
    return bytes(data * 4)  # four animation frames


def tone(frequency, length, sweep):
    # Unsigned 8-bit PCM at 8000 Hz.
    samples = bytearray()
    for n in range(length):
        f = frequency + sweep * n / length
        value = 128 + int(90 * math.sin(2 * math.pi * f * n / 8000) * (1 - n / length))
        samples.append(max(0, min(255, value)))
    return bytes(samples)


def level(number, width=32, height=18):
    rows = []
    for y in range(height):
        row = ""
        for x in range(width):
            if y == height - 1 or x in (0, width - 1):
                row += "#"
            elif (x * 7 + y * 3 + number) % 23 == 0:
                row += "o"
            elif y == height - 4 and (x // 5 + number) % 3 == 0:
                row += "="
            else:
                row += "."
        rows.append(row)
    return ("\n".join(rows) + "\n").encode()


write("gfx/title.pal", palette())
write("gfx/font.bin", font())
write("gfx/sprites/hero.img", sprite(3))
write("gfx/sprites/slime.img", sprite(9))
write("sfx/jump.raw", tone(440, 4000, 440))
write("sfx/coin.raw", tone(988, 2400, 0))
write("levels/level1.map", level(1))
write("levels/level2.map", level(2))
write("levels/level3.map", level(3))
