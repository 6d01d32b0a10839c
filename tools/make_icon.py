#!/usr/bin/env python3
"""Draws the program icon and writes it as resources/tamsel.ico.

A handheld terminal whose screen shows a barcode crossed by the red scan line,
and a green arrow carrying the record into a text document. Drawn by hand at
32 x 32 and 16 x 16; the other sizes Windows asks for at 100 % to 400 % (20,
24, 40, 48, 64, 256) are the 32-pixel drawing resampled by area, with its
edges in the alpha channel. Every image but 256 is a 32-bit bitmap with its
mask; 256 is a PNG inside the .ico, as Windows expects it.

Standard library only: run it with any Python 3 from the repository root, or
give the output path as the only argument.
"""

import os
import struct
import sys
import zlib

# The 16 standard VGA colours, in the order Windows uses for 4-bit images.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 dark red
    (0x00, 0x80, 0x00),  # 2 dark green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]

BLACK, DARK_RED, DARK_GREEN, NAVY, TEAL = 0, 1, 2, 4, 6
SILVER, GREY, RED, LIME, CYAN, WHITE = 7, 8, 9, 10, 14, 15

TRANSPARENT = None


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[TRANSPARENT] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.fill(x0, y0, x1, y0, colour)
        self.fill(x0, y1, x1, y1, colour)
        self.fill(x0, y0, x0, y1, colour)
        self.fill(x1, y0, x1, y1, colour)


def draw_large():
    c = Canvas(32)

    # Document, behind the arrow: white page, folded top-right corner.
    c.fill(17, 4, 30, 29, WHITE)
    c.frame(17, 4, 30, 29, BLACK)
    for y in range(4, 9):
        for x in range(26 + (y - 4), 31):
            c.put(x, y, TRANSPARENT)
    for i in range(5):
        c.put(25 + i, 4 + i, BLACK)
    c.fill(25, 4, 25, 9, BLACK)
    c.fill(25, 9, 30, 9, BLACK)
    for y in range(5, 9):
        for x in range(26, 26 + (y - 4)):
            c.put(x, y, SILVER)
    for y in (12, 15, 18, 21, 24, 27):
        c.fill(20, y, 28, y, GREY)

    # Terminal body with a rounded outline and a lit left edge.
    c.fill(1, 1, 14, 30, GREY)
    c.frame(1, 1, 14, 30, BLACK)
    for x, y in ((1, 1), (14, 1), (1, 30), (14, 30)):
        c.put(x, y, TRANSPARENT)
    for x, y in ((2, 2), (13, 2), (2, 29), (13, 29)):
        c.put(x, y, BLACK)
    c.fill(2, 3, 2, 28, SILVER)

    # Screen with a barcode and the red scan line across it.
    c.fill(3, 3, 12, 13, BLACK)
    c.fill(4, 4, 11, 12, WHITE)
    for x in (5, 7, 8, 10):
        c.fill(x, 5, x, 11, BLACK)
    c.fill(4, 8, 11, 8, RED)

    # Keypad: three columns of keys, the last row green and red.
    for row, y in enumerate((16, 19, 22, 25)):
        for column, x in enumerate((4, 7, 10)):
            colour = SILVER
            if row == 3:
                colour = (LIME, SILVER, RED)[column]
            c.fill(x, y, x + 1, y + 1, colour)

    # Arrow from the terminal into the document.
    c.fill(15, 15, 20, 17, DARK_GREEN)
    for i, x in enumerate(range(20, 25)):
        c.fill(x, 12 + i, x, 20 - i, DARK_GREEN)
    c.fill(15, 15, 20, 15, LIME)
    for i, x in enumerate(range(21, 24)):
        c.put(x, 13 + i, LIME)

    return c


def draw_small():
    c = Canvas(16)

    # Document with its folded corner.
    c.fill(9, 2, 15, 15, WHITE)
    c.frame(9, 2, 15, 15, BLACK)
    for y in range(2, 5):
        for x in range(13 + (y - 2), 16):
            c.put(x, y, TRANSPARENT)
    for i in range(3):
        c.put(13 + i, 2 + i, BLACK)
    c.fill(12, 2, 12, 5, BLACK)
    c.fill(12, 5, 15, 5, BLACK)
    c.put(13, 3, SILVER)
    c.put(13, 4, SILVER)
    c.put(14, 4, SILVER)
    for y in (8, 10, 12, 14):
        c.fill(11, y, 13, y, GREY)

    # Terminal.
    c.fill(0, 0, 7, 15, GREY)
    c.frame(0, 0, 7, 15, BLACK)
    for x, y in ((0, 0), (7, 0), (0, 15), (7, 15)):
        c.put(x, y, TRANSPARENT)
    c.fill(1, 1, 6, 6, WHITE)
    for x in (2, 4, 5):
        c.fill(x, 2, x, 5, BLACK)
    c.fill(1, 4, 6, 4, RED)
    for y in (8, 10):
        c.put(2, y, SILVER)
        c.put(5, y, SILVER)
    c.put(2, 12, LIME)
    c.put(5, 12, RED)

    # Arrow.
    c.fill(8, 8, 10, 9, DARK_GREEN)
    c.fill(11, 6, 11, 11, DARK_GREEN)
    c.fill(12, 7, 12, 10, DARK_GREEN)
    c.fill(13, 8, 13, 9, DARK_GREEN)

    return c


SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def resample(canvas, size):
    """The canvas at `size` pixels, as premultiplied-free RGBA rows: each
    target pixel averages the source pixels it covers, by area."""
    source = canvas.size
    rows = []
    for ty in range(size):
        row = []
        for tx in range(size):
            r = g = b = a = 0.0
            # The target pixel covers [t * source / size, (t + 1) * source / size).
            y0, y1 = ty * source / size, (ty + 1) * source / size
            x0, x1 = tx * source / size, (tx + 1) * source / size
            for sy in range(int(y0), min(source, int(y1) + 1)):
                wy = min(y1, sy + 1) - max(y0, sy)
                if wy <= 0:
                    continue
                for sx in range(int(x0), min(source, int(x1) + 1)):
                    wx = min(x1, sx + 1) - max(x0, sx)
                    colour = canvas.pixels[sy][sx]
                    if wx <= 0 or colour is TRANSPARENT:
                        continue
                    w = wx * wy
                    pr, pg, pb = PALETTE[colour]
                    r, g, b, a = r + pr * w, g + pg * w, b + pb * w, a + w
            area = (y1 - y0) * (x1 - x0)
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / area)))
        rows.append(row)
    return rows


def encode_bitmap(rows):
    """One 32-bit image: header, colour bits with alpha and mask, rows bottom up."""
    size = len(rows)
    mask_row = (size + 31) // 32 * 4
    colour_bits = bytearray()
    mask_bits = bytearray()
    for row in reversed(rows):
        mask = bytearray(mask_row)
        for x, (r, g, b, a) in enumerate(row):
            colour_bits += struct.pack("<BBBB", b, g, r, a)
            if a == 0:
                mask[x // 8] |= 0x80 >> (x % 8)
        mask_bits += mask
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(colour_bits) + len(mask_bits), 0, 0, 0, 0)
    return header + bytes(colour_bits) + bytes(mask_bits)


def encode_png(rows):
    """A PNG of the RGBA rows; the same rows give the same bytes."""
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def encode_icon():
    large, small = draw_large(), draw_small()
    images = []
    for size in SIZES:
        rows = resample(small if size == 16 else large, size)
        images.append((size, encode_png(rows) if size == 256 else encode_bitmap(rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in images:
        # 0 stands for 256 in the directory's one-byte sizes.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image),
                               offset)
        offset += len(image)
    return directory + entries + b"".join(image for _, image in images)


def main():
    if len(sys.argv) > 1:
        target = sys.argv[1]
    else:
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        target = os.path.join(root, "resources", "tamsel.ico")
    with open(target, "wb") as out:
        out.write(encode_icon())


if __name__ == "__main__":
    main()
