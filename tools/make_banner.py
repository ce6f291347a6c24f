#!/usr/bin/env python3
"""Draws the module's banner: a complete 8-bit palette BMP of 580 x 40 pixels.

The banner shows the kinds of image the module serves (PS2 CD, PS2 DVD,
PSP UMD) as three badges, a disc and the text "ISO". Everything is drawn
here from a small pixel font; the output is the same on every run.

usage: make_banner.py OUT.BMP
"""
import struct
import sys

WIDTH, HEIGHT = 580, 40

# 5 x 7 pixel font, only the letters the banner needs.
FONT = {
    " ": ["00000"] * 7,
    "2": ["01110", "10001", "00001", "00110", "01000", "10000", "11111"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
}

# Palette: 0-63 the background gradient, then named colours.
GRADIENT = 64
WHITE, SHADOW, CD_BLUE, DVD_VIOLET, UMD_SILVER, DISC_RIM, DISC_HOLE, ISO_GOLD, ISO_EDGE = range(64, 73)
NAMED = {
    WHITE: (255, 255, 255),
    SHADOW: (8, 10, 24),
    CD_BLUE: (40, 92, 200),
    DVD_VIOLET: (120, 60, 170),
    UMD_SILVER: (120, 128, 140),
    DISC_RIM: (210, 214, 224),
    DISC_HOLE: (20, 24, 48),
    ISO_GOLD: (250, 196, 40),
    ISO_EDGE: (150, 90, 10),
}
RAINBOW = 80  # 80-111: the disc's sheen


def palette():
    colours = [(0, 0, 0)] * 256
    for i in range(GRADIENT):  # deep blue at the top to near-black at the bottom
        t = i / (GRADIENT - 1)
        colours[i] = (int(16 + 8 * t), int(34 - 22 * t), int(96 - 70 * t))
    for index, rgb in NAMED.items():
        colours[index] = rgb
    for i in range(32):
        t = i / 31
        colours[RAINBOW + i] = (int(150 + 90 * t), int(170 + 60 * (1 - t)), int(200 + 40 * t))
    return colours


class Canvas:
    def __init__(self):
        self.rows = [[GRADIENT * y // HEIGHT for _ in range(WIDTH)] for y in range(HEIGHT)]

    def put(self, x, y, colour):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            self.rows[y][x] = colour

    def box(self, x0, y0, w, h, colour, corner=3):
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                dx = max(x0 + corner - x, x - (x0 + w - 1 - corner), 0)
                dy = max(y0 + corner - y, y - (y0 + h - 1 - corner), 0)
                if dx * dx + dy * dy <= corner * corner:
                    self.put(x, y, colour)

    def text(self, x, y, words, colour, scale, shadow=None):
        for ch in words:
            glyph = FONT[ch]
            for gy, line in enumerate(glyph):
                for gx, bit in enumerate(line):
                    if bit != "1":
                        continue
                    for sy in range(scale):
                        for sx in range(scale):
                            px, py = x + gx * scale + sx, y + gy * scale + sy
                            if shadow is not None:
                                self.put(px + 1, py + 1, shadow)
                            self.put(px, py, colour)
            x += 6 * scale

    def disc(self, cx, cy, radius, hole):
        for y in range(cy - radius, cy + radius + 1):
            for x in range(cx - radius, cx + radius + 1):
                d2 = (x - cx) ** 2 + (y - cy) ** 2
                if d2 > radius * radius:
                    continue
                if d2 <= hole * hole:
                    self.put(x, y, DISC_HOLE)
                elif d2 >= (radius - 1) ** 2 or d2 <= (hole + 1) ** 2:
                    self.put(x, y, DISC_RIM)
                else:  # sheen bands by angle-free diagonal position
                    self.put(x, y, RAINBOW + ((x - cx + y - cy + 2 * radius) * 31) // (4 * radius))


def draw():
    c = Canvas()
    badges = [("PS2 CD", CD_BLUE), ("PS2 DVD", DVD_VIOLET), ("PSP UMD", UMD_SILVER)]
    x = 8
    for label, colour in badges:
        width = len(label) * 12 + 12
        c.box(x + 2, 9, width, 26, SHADOW)
        c.box(x, 7, width, 26, colour)
        c.text(x + 7, 13, label, WHITE, 2, SHADOW)
        x += width + 10
    c.disc(452, 20, 17, 4)
    c.text(484, 6, "ISO", ISO_GOLD, 4, ISO_EDGE)
    return c


def bmp(canvas):
    row_bytes = (WIDTH + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(HEIGHT)):  # bottom-up rows
        pixels += bytes(canvas.rows[y]) + bytes(row_bytes - WIDTH)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette())
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    return header + info + colours + bytes(pixels)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], "wb") as out:
        out.write(bmp(draw()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
