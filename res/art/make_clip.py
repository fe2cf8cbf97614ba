#!/usr/bin/env python3
"""Draws the wait window's clip, a PC and a telephone with signals running between them, and
writes it as a silent AVI for the common controls' animation control.

Usage: make_clip.py OUTPUT.avi [--png-dir DIR]

The animation control plays only clips without sound, uncompressed or RLE8; it decodes RLE8
itself (no codec is looked up for the handler "RLE "), so every frame is stored as a whole RLE8
picture and each can be shown on its own. The clip's background is the dialog colour, and its
top-left pixel is background, which is the colour a transparent control leaves out.
--png-dir also writes each frame as a PNG, to look at.
"""

import argparse
import os
import struct
import sys

import raster

WIDTH, HEIGHT = 288, 48
FRAME_MICROSECONDS = 100_000
DOT_COUNT = 8

# Palette: index 0 is the background.
PALETTE = [
    (0xF0, 0xF0, 0xF0),  # 0 background: the dialog face colour
    (0x40, 0x40, 0x40),  # 1 outlines, phone body
    (0x9A, 0x9A, 0x9A),  # 2 monitor casing
    (0x2D, 0x8C, 0xEB),  # 3 screen
    (0xFF, 0xFF, 0xFF),  # 4 white
    (0xC8, 0xC8, 0xC8),  # 5 idle dot
    (0x22, 0xA5, 0x4B),  # 6 signal toward the telephone
    (0x9C, 0xD8, 0xAE),  # 7 its trail
    (0xEE, 0x88, 0x00),  # 8 signal toward the PC
    (0xF6, 0xC7, 0x88),  # 9 its trail
    (0x6E, 0x6E, 0x6E),  # 10 keys, handset shade
]
BACKGROUND, OUTLINE, CASING, SCREEN, WHITE, IDLE = 0, 1, 2, 3, 4, 5
TO_PHONE, TO_PHONE_TRAIL, TO_PC, TO_PC_TRAIL, KEYS = 6, 7, 8, 9, 10


def pc():
    """A monitor on a stand at the left, a speech bubble on its screen."""
    return [
        (raster.RoundRect(8, 4, 58, 38, 3), OUTLINE),
        (raster.RoundRect(9, 5, 57, 37, 2), CASING),
        (raster.Rect(12, 8, 54, 33), SCREEN),
        (raster.RoundRect(22, 12, 44, 25, 4) | raster.Polygon([(25, 23), (31, 23), (23, 30)]),
         WHITE),
        (raster.Rect(29, 38, 37, 42), OUTLINE),
        (raster.RoundRect(19, 41, 47, 45, 2), OUTLINE),
    ]


def telephone():
    """A desk telephone at the right: handset on top, a keypad of nine keys."""
    shapes = [
        (raster.Polygon([(236, 44), (280, 44), (274, 20), (242, 20)]), OUTLINE),
        (raster.RoundRect(230, 8, 286, 17, 4), OUTLINE),
        (raster.RoundRect(230, 12, 242, 23, 3) | raster.RoundRect(274, 12, 286, 23, 3), OUTLINE),
        (raster.Rect(240, 9, 276, 12), KEYS),
    ]
    for row in range(3):
        for col in range(3):
            x = 248 + col * 8
            y = 26 + row * 6
            shapes.append((raster.Rect(x, y, x + 5, y + 4), WHITE))
    return shapes


def dot(position, index):
    x = 80 + position * (136 / (DOT_COUNT - 1))
    return (raster.Circle(x, 24, 4.5), index)


def frame_layers(frame):
    """Frames 0 to 7 send a signal from the PC to the telephone, 8 to 15 one back: both
    directions the program joins."""
    layers = pc() + telephone()
    if frame < DOT_COUNT:
        head, step, colour, trail = frame, -1, TO_PHONE, TO_PHONE_TRAIL
    else:
        head, step, colour, trail = DOT_COUNT - 1 - (frame - DOT_COUNT), 1, TO_PC, TO_PC_TRAIL
    for position in range(DOT_COUNT):
        index = IDLE
        if position == head:
            index = colour
        elif position == head + step:
            index = trail
        layers.append(dot(position, index))
    return layers


def rle8(rows):
    """RLE8 picture data of `rows` (top row first): runs of one index, rows bottom-up, each row
    closed by an end-of-line code and the picture by an end-of-bitmap code."""
    out = bytearray()
    for line in reversed(rows):
        x = 0
        while x < len(line):
            run = 1
            while x + run < len(line) and run < 255 and line[x + run] == line[x]:
                run += 1
            out.extend((run, line[x]))
            x += run
        out.extend((0, 0))
    out.extend((0, 1))
    return bytes(out)


def chunk(fourcc, data):
    padded = data + (b"\0" if len(data) % 2 else b"")
    return fourcc + struct.pack("<I", len(data)) + padded


def riff_list(kind, fourcc, body):
    return kind + struct.pack("<I", len(body) + 4) + fourcc + body


def avi_bytes(frames):
    """A one-stream AVI of RLE8 frames (lists of rows of palette indices)."""
    encoded = [rle8(rows) for rows in frames]
    largest = max(len(data) for data in encoded)
    frame_count = len(frames)
    rate = 1_000_000 // FRAME_MICROSECONDS

    avih = struct.pack("<14I", FRAME_MICROSECONDS, largest * rate, 0, 0x10, frame_count, 0, 1,
                       largest, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = (b"vids" + b"RLE " +
            struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, rate, 0, frame_count, largest,
                        0xFFFFFFFF, 0, 0, 0, WIDTH, HEIGHT))
    # The decoder reads up to biSizeImage bytes of a frame: the largest frame's size.
    strf = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, largest, 0, 0, len(PALETTE),
                       len(PALETTE))
    for r, g, b in PALETTE:
        strf += bytes((b, g, r, 0))
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    movi_body = bytearray()
    index = bytearray()
    for data in encoded:
        # Offsets count from the "movi" tag, as players expect.
        index.extend(b"00dc" + struct.pack("<III", 0x10, 4 + len(movi_body), len(data)))
        movi_body.extend(chunk(b"00dc", data))
    movi = riff_list(b"LIST", b"movi", bytes(movi_body))
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", bytes(index)))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--png-dir")
    args = parser.parse_args(argv)

    frames = [raster.render_indexed(frame_layers(f), WIDTH, HEIGHT, BACKGROUND)
              for f in range(2 * DOT_COUNT)]
    if args.png_dir:
        os.makedirs(args.png_dir, exist_ok=True)
        for number, rows in enumerate(frames):
            rgba = [[PALETTE[i] + (255,) for i in line] for line in rows]
            with open(os.path.join(args.png_dir, f"frame-{number:02}.png"), "wb") as f:
                f.write(raster.png_bytes(rgba))

    partial = args.output + ".partial"
    with open(partial, "wb") as f:
        f.write(avi_bytes(frames))
    os.replace(partial, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
