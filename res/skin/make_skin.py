#!/usr/bin/env python3
"""Draws the updater's skin: the PNG images of the main window and its shadow, and the window
icon. Only the standard library is used (shapes are rasterised from distance functions with 4 x 4
supersampling, PNG written with zlib), so a designer can change a colour or a shape here and run

    python3 res/skin/make_skin.py

to rebuild every file next to this script and res/tallix.ico. The sizes and cell layouts are the
ones the painting code expects:

    button.png      221  393 x 48   three cells of 131 x 48: normal, hover, pressed (not drawn)
    close.png       227  150 x 34   three cells of 50 x 34: normal, hover, pressed (not drawn)
    progress_fill   213    6 x 16   filled part; columns 2 and 3 are stretched
    progress_track  214    6 x 16   track, tiled (flipped) over the bar
    bar_closed.png  233 1140 x 18   bottom bar, history closed: three cells of 380 x 18
    bar_open.png    234 1140 x 18   bottom bar, history open: same cells
    shadow.png      232   26 x 26   shadow nine-slice source, margin 7
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(HERE)

# The palette of the skin.
BLUE = (45, 151, 222)
BLUE_HOVER = (74, 170, 235)
BLUE_PRESSED = (31, 124, 189)
WHITE = (255, 255, 255)
GREY_GLYPH = (150, 150, 150)
RED = (232, 17, 35)
BAR = (244, 245, 247)
BAR_HOVER = (233, 236, 240)
BAR_LINE = (226, 229, 233)
TRACK = (229, 232, 236)
SHADOW = (20, 40, 60)  # a blue-grey shade rather than black
SAMPLES = 4


# ---- shapes: each returns the signed distance of a point (negative inside) ----

def rounded_rect(left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius

    def distance(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - radius
    return distance


def segment(x0, y0, x1, y1, width):
    """A stroke from (x0, y0) to (x1, y1) with round caps."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def distance(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return math.hypot(x - x0 - t * dx, y - y0 - t * dy) - width / 2
    return distance


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


class Canvas:
    """Straight-alpha RGBA pixels; layers are composited with the "over" rule."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def put(self, x, y, colour, alpha):
        if alpha <= 0:
            return
        p = self.pixels[y * self.width + x]
        out = alpha + p[3] * (1 - alpha)
        for i in range(3):
            p[i] = (colour[i] * alpha + p[i] * p[3] * (1 - alpha)) / out
        p[3] = out

    def fill(self, shape, colour, opacity=1.0, box=None, shade=None):
        """Covers `shape` (within `box` = (left, top, right, bottom), the whole canvas when None)
        with `colour`, or with shade(x, y) when given."""
        left, top, right, bottom = box or (0, 0, self.width, self.height)
        step = 1 / SAMPLES
        for y in range(top, bottom):
            for x in range(left, right):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if shape(x + (sx + 0.5) * step, y + (sy + 0.5) * step) <= 0:
                            hits += 1
                if hits:
                    c = shade(x + 0.5, y + 0.5) if shade else colour
                    self.put(x, y, c, opacity * hits / (SAMPLES * SAMPLES))

    def rgba_rows(self):
        rows = []
        for y in range(self.height):
            row = bytearray()
            for x in range(self.width):
                r, g, b, a = self.pixels[y * self.width + x]
                row += bytes((round(r), round(g), round(b), round(a * 255)))
            rows.append(bytes(row))
        return rows


def write_png(path, canvas):
    raw = b"".join(b"\x00" + row for row in canvas.rgba_rows())

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def vertical(top_colour, bottom_colour, top, bottom):
    """A vertical gradient between two colours over rows top..bottom."""
    def shade(_x, y):
        t = max(0.0, min(1.0, (y - top) / max(bottom - top, 1)))
        return tuple(a + (b - a) * t for a, b in zip(top_colour, bottom_colour))
    return shade


def lighter(colour, amount):
    return tuple(c + (255 - c) * amount for c in colour)


# ---- the images ----

def update_glyph(cx, cy, scale):
    """A download arrow over a tray: the sign of the update button and of the icon."""
    w = 2.6 * scale
    return union(segment(cx, cy - 9 * scale, cx, cy + 3 * scale, w),
                 segment(cx - 5.5 * scale, cy - 2.5 * scale, cx, cy + 3 * scale, w),
                 segment(cx + 5.5 * scale, cy - 2.5 * scale, cx, cy + 3 * scale, w),
                 segment(cx - 9 * scale, cy + 4 * scale, cx - 9 * scale, cy + 9 * scale, w),
                 segment(cx - 9 * scale, cy + 9 * scale, cx + 9 * scale, cy + 9 * scale, w),
                 segment(cx + 9 * scale, cy + 9 * scale, cx + 9 * scale, cy + 4 * scale, w))


def button():
    canvas = Canvas(393, 48)
    for cell, base in enumerate((BLUE, BLUE_HOVER, BLUE_PRESSED)):
        x0 = cell * 131
        box = (x0, 0, x0 + 131, 48)
        canvas.fill(rounded_rect(x0 + 2, 4, x0 + 129, 46, 6), (0, 0, 0), 0.10, box)  # soft edge
        canvas.fill(rounded_rect(x0 + 2, 2, x0 + 129, 44, 6), base, box=box,
                    shade=vertical(lighter(base, 0.12), base, 2, 44))
        canvas.fill(update_glyph(x0 + 65.5, 22.5, 0.95), WHITE, box=box)
    return canvas


def close_box():
    canvas = Canvas(150, 34)
    cells = ((None, GREY_GLYPH), (RED, WHITE), ((200, 14, 30), WHITE))
    for cell, (background, glyph) in enumerate(cells):
        x0 = cell * 50
        box = (x0, 0, x0 + 50, 34)
        if background:
            canvas.fill(rounded_rect(x0, -10, x0 + 60, 34, 4), background, box=box)
        cx, cy, r = x0 + 25, 17, 5.5
        canvas.fill(union(segment(cx - r, cy - r, cx + r, cy + r, 1.6),
                          segment(cx - r, cy + r, cx + r, cy - r, 1.6)), glyph, box=box)
    return canvas


def progress(colour_top, colour_bottom):
    canvas = Canvas(6, 16)
    # The bar itself is 8 pixels high in the middle of its 16-pixel rectangle.
    canvas.fill(rounded_rect(-4, 4, 10, 12, 3), colour_top,
                shade=vertical(colour_top, colour_bottom, 4, 12))
    return canvas


def chevron(cx, cy, up):
    d = -1 if up else 1
    return union(segment(cx - 5, cy - 2.5 * d, cx, cy + 2.5 * d, 1.7),
                 segment(cx + 5, cy - 2.5 * d, cx, cy + 2.5 * d, 1.7))


def bottom_bar(up):
    canvas = Canvas(1140, 18)
    cells = ((BAR, GREY_GLYPH), (BAR_HOVER, BLUE), (BAR_HOVER, BLUE_PRESSED))
    for cell, (background, glyph) in enumerate(cells):
        x0 = cell * 380
        box = (x0, 0, x0 + 380, 18)
        canvas.fill(lambda x, y: -1, background, box=box)
        canvas.fill(lambda x, y: -1, BAR_LINE, box=(x0, 0, x0 + 380, 1))
        canvas.fill(chevron(x0 + 190, 9.5, up), glyph, box=(x0 + 180, 2, x0 + 200, 17))
    return canvas


def shadow():
    """A soft shadow around an inner 12 x 12 square: the nine-slice source with margin 7."""
    canvas = Canvas(26, 26)
    inner = rounded_rect(7, 7, 19, 19, 1)
    for y in range(26):
        for x in range(26):
            d = inner(x + 0.5, y + 0.5)
            if d > 0:
                t = max(0.0, 1 - d / 7.5)
                canvas.put(x, y, SHADOW, 0.22 * t * t)
            else:
                canvas.put(x, y, SHADOW, 0.22)
    return canvas


def icon_canvas(size):
    canvas = Canvas(size, size)
    s = size / 32
    canvas.fill(rounded_rect(1 * s, 1 * s, 31 * s, 31 * s, 7 * s), BLUE,
                shade=vertical(lighter(BLUE, 0.2), BLUE_PRESSED, 1 * s, 31 * s))
    canvas.fill(update_glyph(16 * s, 15 * s, 0.95 * s), WHITE)
    return canvas


def write_ico(path, sizes):
    """An icon file with 32-bit entries in the bitmap form (every Windows version reads it)."""
    images = []
    for size in sizes:
        rows = icon_canvas(size).rgba_rows()
        pixels = bytearray()
        for row in reversed(rows):  # bottom-up, BGRA
            for i in range(0, len(row), 4):
                r, g, b, a = row[i:i + 4]
                pixels += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytes(mask_stride * size)  # the alpha channel decides; the mask shows everything
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                             len(pixels) + len(mask), 0, 0, 0, 0)
        images.append((size, header + bytes(pixels) + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    outputs = {
        "button.png": button(),
        "close.png": close_box(),
        "progress_fill.png": progress(lighter(BLUE, 0.15), BLUE),
        "progress_track.png": progress(TRACK, TRACK),
        "bar_closed.png": bottom_bar(up=False),
        "bar_open.png": bottom_bar(up=True),
        "shadow.png": shadow(),
    }
    for name, canvas in outputs.items():
        write_png(os.path.join(HERE, name), canvas)
    write_ico(os.path.join(RES, "tallix.ico"), (16, 32, 48))


if __name__ == "__main__":
    main()
