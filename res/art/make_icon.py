#!/usr/bin/env python3
"""Draws the program's icon, a telephone handset in a speech bubble, and writes it as a .ico.

Usage: make_icon.py OUTPUT.ico [--png-dir DIR]

The icon holds 16, 24, 32 and 48 pixel images as 32-bit bitmaps with alpha (and the mask that
systems before alpha icons read), and a 256 pixel image as PNG for large views. --png-dir also
writes each size as a PNG, to look at.
"""

import argparse
import os
import struct
import sys

import raster

BITMAP_SIZES = (16, 24, 32, 48)
PNG_SIZES = (256,)

BUBBLE_EDGE = (0x0B, 0x4F, 0x9C)
BUBBLE_FILL = (0x2D, 0x8C, 0xEB)
HANDSET = (0xFF, 0xFF, 0xFF)


def bubble(inset):
    """The speech bubble in the unit square, shrunk by `inset` all round; its tail points to
    the lower left, toward the speaker."""
    body = raster.RoundRect(0.04 + inset, 0.06 + inset, 0.96 - inset, 0.76 - inset, 0.22 - inset)
    tail = raster.Polygon([(0.20 + inset * 1.5, 0.70 - inset), (0.46 - inset * 2.0, 0.70 - inset),
                           (0.10 + inset * 1.2, 0.97 - inset * 2.6)])
    return body | tail


def handset(stroke):
    """A handset lying on its back (ear and mouth cups down), turned so its left end rises,
    in the middle of the bubble. `stroke` is half the handle's thickness."""
    cx, cy = 0.5, 0.42
    handle = raster.Capsule(cx - 0.20, cy - 0.06, cx + 0.20, cy - 0.06, stroke)
    ear = raster.RoundRect(cx - 0.31, cy - 0.10, cx - 0.13, cy + 0.12, 0.06)
    mouth = raster.RoundRect(cx + 0.13, cy - 0.10, cx + 0.31, cy + 0.12, 0.06)
    # Turned by the angle of a 3-4-5 triangle, about 37 degrees, so the arithmetic stays exact.
    return raster.Turned(handle | ear | mouth, 0.8, -0.6, cx, cy)


def layers(size):
    # Small icons get thicker strokes, or the handle would fade into the blue.
    stroke = 0.075 if size <= 24 else 0.06
    edge = 0.07 if size <= 16 else 0.045 if size <= 32 else 0.035
    return [(bubble(0.0), BUBBLE_EDGE), (bubble(edge), BUBBLE_FILL), (handset(stroke), HANDSET)]


def samples_for(size):
    # Enough sample points for smooth edges; the large image has plenty of pixels already.
    return 8 if size <= 48 else 3


def bitmap_entry(rows):
    """One icon image as a bottom-up 32-bit bitmap followed by its 1-bit mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for line in reversed(rows):
        for r, g, b, a in line:
            colour.extend((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for line in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(line):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.extend(bits)
    return header + bytes(colour) + bytes(mask)


def icon_bytes(images):
    """An .ico file of (size, image bytes) pairs."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        edge = 0 if size >= 256 else size
        out.extend(struct.pack("<BBBBHHII", edge, edge, 0, 0, 1, 32, len(data), offset))
        offset += len(data)
    for _, data in images:
        out.extend(data)
    return bytes(out)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--png-dir")
    args = parser.parse_args(argv)

    images = []
    for size in BITMAP_SIZES + PNG_SIZES:
        rows = raster.render_rgba(layers(size), size, samples_for(size))
        png = raster.png_bytes(rows)
        images.append((size, png if size in PNG_SIZES else bitmap_entry(rows)))
        if args.png_dir:
            os.makedirs(args.png_dir, exist_ok=True)
            with open(os.path.join(args.png_dir, f"icon-{size}.png"), "wb") as f:
                f.write(png)

    data = icon_bytes(images)
    # Written beside and then moved over the target, so an interrupted build leaves no half icon.
    partial = args.output + ".partial"
    with open(partial, "wb") as f:
        f.write(data)
    os.replace(partial, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
