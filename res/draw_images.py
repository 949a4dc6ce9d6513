#!/usr/bin/env python3
"""Draws the program's icon and bitmaps into res/ (run by hand; the build
uses the committed files as they are).

  ostrelin.ico      icon 128: 48, 32 and 16 pixels at 24-bit colour
  hand.bmp          bitmap 133: 22 x 28, 16 colours, a pointing hand
  led_display.bmp   bitmap 130: 301 x 275, 16 colours, the probe's LED display
                    as a good update leaves it

Only the Python standard library is used.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16 colours of both bitmaps, in palette order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, OLIVE, GREY, RED, GREEN, YELLOW, BLUE, WHITE = 0, 3, 8, 9, 10, 11, 12, 15
DARK_GREEN, SILVER = 2, 7

# A 5 x 7 font for the few letters the pictures need.
FONT = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'C': ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'G': ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'K': ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    '1': ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    '2': ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    '3': ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    '6': ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    '-': ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    ':': ["00000", "01100", "01100", "00000", "01100", "01100", "00000"],
    ' ': ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r // 2:
                    self.put(x, y, colour)

    def ring(self, cx, cy, r, colour):
        for y in range(cy - r - 1, cy + r + 2):
            for x in range(cx - r - 1, cx + r + 2):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if r * r - r <= d <= r * r + 2 * r:
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, thick=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i // steps
            y = y0 + (y1 - y0) * i // steps
            self.rect(x - thick // 2, y - thick // 2, x + (thick - 1) // 2, y + (thick - 1) // 2,
                      colour)

    def dashed_rect(self, x0, y0, x1, y1, colour, dash=8, gap=5, thick=3):
        def dashes(length):
            return [i for i in range(length) if i % (dash + gap) < dash]
        for i in dashes(x1 - x0 + 1):
            self.rect(x0 + i, y0, x0 + i, y0 + thick - 1, colour)
            self.rect(x0 + i, y1 - thick + 1, x0 + i, y1, colour)
        for i in dashes(y1 - y0 + 1):
            self.rect(x0, y0 + i, x0 + thick - 1, y0 + i, colour)
            self.rect(x1 - thick + 1, y0 + i, x1, y0 + i, colour)

    def polygon(self, points, colour):
        ys = [p[1] for p in points]
        for y in range(min(ys), max(ys) + 1):
            xs = []
            for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
                if (ay <= y < by) or (by <= y < ay):
                    xs.append(ax + (y - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(int(round(a)), int(round(b)) + 1):
                    self.put(x, y, colour)

    def text(self, x, y, string, colour, scale=1):
        for ch in string:
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit == '1':
                        self.rect(x + col * scale, y + row * scale, x + col * scale + scale - 1,
                                  y + row * scale + scale - 1, colour)
            x += 6 * scale


def bmp_4bit(canvas):
    """A 16-colour bottom-up BMP file of the canvas."""
    row_bytes = ((canvas.width + 1) // 2 + 3) // 4 * 4
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(canvas.width):
            nibble = canvas.pixels[y][x] & 0x0F
            row[x // 2] |= nibble << 4 if x % 2 == 0 else nibble
        rows.append(bytes(row))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, 4, 0,
                       row_bytes * canvas.height, 2835, 2835, 16, 16)
    offset = 14 + len(info) + len(palette)
    data = b''.join(rows)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    return header + info + palette + data


def ico_24bit(images):
    """An icon file of square 24-bit RGB images (lists of rows of tuples)."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for image in images:
        size = len(image)
        xor_row = (size * 3 + 3) // 4 * 4
        and_row = ((size + 31) // 32) * 4
        info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 24, 0,
                           (xor_row + and_row) * size, 0, 0, 0, 0)
        xor = b''
        for y in range(size - 1, -1, -1):
            row = b''.join(struct.pack('<BBB', b, g, r) for r, g, b in image[y])
            xor += row + b'\0' * (xor_row - len(row))
        blob = info + xor + b'\0' * (and_row * size)
        entries.append(struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 24, len(blob),
                                   offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack('<HHH', 0, 1, len(images)) + b''.join(entries) + b''.join(blobs)


def draw_icon(size):
    """A grey-framed black box with a blue band along its bottom and a yellow
    arrow pointing into it from the right."""
    s = size / 48.0
    c = Canvas(size, size, WHITE)

    def px(v):
        return int(round(v * s))
    c.rect(px(2), px(6), px(38), px(42), GREY)
    c.rect(px(5), px(9), px(35), px(39), BLACK)
    c.rect(px(5), px(32), px(35), px(39), BLUE)
    shaft_top, shaft_bottom = px(19), px(25)
    c.rect(px(30), shaft_top, px(46), shaft_bottom, YELLOW)
    c.polygon([(px(30), px(12)), (px(18), px(22)), (px(30), px(32))], YELLOW)
    return [[PALETTE[v] for v in row] for row in c.pixels]


def draw_hand():
    """A white hand pointing up with its index finger, olive outline, on blue."""
    c = Canvas(22, 28, BLUE)
    mask = Canvas(22, 28, 0)
    mask.rect(7, 2, 10, 14, 1)                            # index finger
    mask.disc(8, 3, 2, 1)                                 # its tip
    for x0 in (11, 14, 17):                               # three folded fingers
        mask.rect(x0, 11, x0 + 2, 17, 1)
    mask.rect(7, 14, 19, 24, 1)                           # palm
    mask.polygon([(2, 14), (5, 13), (8, 18), (7, 21), (3, 17)], 1)  # thumb
    mask.rect(8, 24, 18, 26, 1)                           # wrist
    for y in range(28):
        for x in range(22):
            if not mask.pixels[y][x]:
                continue
            edge = any(not (0 <= x + dx < 22 and 0 <= y + dy < 28)
                       or not mask.pixels[y + dy][x + dx]
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            c.put(x, y, OLIVE if edge else WHITE)
    for x0 in (11, 14, 17):                               # lines between the folded fingers
        c.line(x0, 12, x0, 16, OLIVE)
    return c


def draw_led_display():
    """The probe's LED display after a good update: three green LEDs in a red
    dashed frame, the indicator legend above and the LED names beside it."""
    c = Canvas(301, 275, BLACK)
    # Legend of the processor indicator.
    c.disc(24, 26, 15, BLUE)
    c.text(48, 19, "CPU:", YELLOW, 2)
    c.disc(112, 26, 6, BLUE)
    c.text(124, 19, "VK32", YELLOW, 2)
    c.disc(196, 26, 6, GREEN)
    c.text(208, 19, "VK16", YELLOW, 2)
    # The column of three lit LEDs and the red dashed frame around it.
    leds = [(48, 92), (48, 142), (48, 192)]
    for x, y in leds:
        c.disc(x, y, 17, GREEN)
        c.ring(x, y, 17, DARK_GREEN)
        c.disc(x - 6, y - 6, 4, WHITE)
    c.dashed_rect(18, 62, 78, 222, RED)
    # Connector lines to the named indicators.
    names = [(BLUE, "ICD MODE"), (RED, "EMU"), (GREEN, "DBG")]
    for (x, y), (colour, name) in zip(leds, names):
        c.line(x + 32, y, 140, y, YELLOW, 2)
        c.disc(152, y, 8, colour)
        c.text(168, y - 7, name, YELLOW, 2)
    # The arrow pointing up at the column, and the mode name beside it.
    c.polygon([(48, 228), (34, 244), (43, 244), (43, 266), (53, 266), (53, 244), (62, 244)], RED)
    c.text(76, 240, "ICD MODE", YELLOW, 2)
    return c


def main():
    with open(os.path.join(HERE, "ostrelin.ico"), "wb") as f:
        f.write(ico_24bit([draw_icon(48), draw_icon(32), draw_icon(16)]))
    with open(os.path.join(HERE, "hand.bmp"), "wb") as f:
        f.write(bmp_4bit(draw_hand()))
    with open(os.path.join(HERE, "led_display.bmp"), "wb") as f:
        f.write(bmp_4bit(draw_led_display()))


if __name__ == "__main__":
    main()
