#!/usr/bin/env python3
"""Draws the plug-in's bitmaps and icons and writes them beside this script.

OPTBG.bmp      100 x 50, 8 bpp, 216-colour palette: header picture
ACTION.bmp     16 x 16, 8 bpp: a music note on a sheet
BTNOK.ico      16 x 16, 32 bpp: green tick
BTNCANCEL.ico  16 x 16, 32 bpp: red cross
MAINICON.ico   32 x 32, 32 bpp: application icon

Pure standard library; the output is the same on every run, so the generated
files are committed and the build never runs this.
"""
import math
import os
import struct

SUBSAMPLES = 4  # per axis: 16 coverage samples per pixel
CUBE_LEVELS = (0, 51, 102, 153, 204, 255)  # the 6 x 6 x 6 colour cube
HERE = os.path.dirname(os.path.abspath(__file__))


# --- shapes: each is a predicate over a point plus a bounding box -----------

class Shape:
    def __init__(self, inside, box):
        self.inside = inside
        self.box = box  # (x0, y0, x1, y1) in pixels


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    ex, ey = ax + t * dx - px, ay + t * dy - py
    return math.hypot(ex, ey)


def stroke(points, width):
    half = width / 2
    segments = list(zip(points, points[1:])) or [(points[0], points[0])]
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def inside(x, y):
        return any(segment_distance(x, y, a[0], a[1], b[0], b[1]) <= half for a, b in segments)

    return Shape(inside, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half))


def arc(cx, cy, rx, ry, start, end, steps=24):
    """Points of an elliptical arc; angles in degrees, 0 = right, 90 = down."""
    return [(cx + rx * math.cos(math.radians(start + (end - start) * i / steps)),
             cy + ry * math.sin(math.radians(start + (end - start) * i / steps))) for i in range(steps + 1)]


def ellipse(cx, cy, rx, ry, angle=0.0):
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def inside(x, y):
        u = (x - cx) * c + (y - cy) * s
        v = -(x - cx) * s + (y - cy) * c
        return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0

    r = max(rx, ry)
    return Shape(inside, (cx - r, cy - r, cx + r, cy + r))


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(inside, (min(xs), min(ys), max(xs), max(ys)))


def rounded_rect(x0, y0, x1, y1, radius):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        nx = min(max(x, x0 + radius), x1 - radius)
        ny = min(max(y, y0 + radius), y1 - radius)
        return math.hypot(x - nx, y - ny) <= radius

    return Shape(inside, (x0, y0, x1, y1))


# --- a canvas of straight-alpha RGBA floats -----------------------------------

class Canvas:
    def __init__(self, width, height, background=(255, 255, 255, 0)):
        self.width, self.height = width, height
        self.pixels = [[list(map(float, background)) for _ in range(width)] for _ in range(height)]

    def fill(self, shape, colour):
        """Paints a shape; colour is (r, g, b[, a]) or a function of (x, y)."""
        x0, y0, x1, y1 = shape.box
        step = 1.0 / SUBSAMPLES
        for py in range(max(0, int(math.floor(y0))), min(self.height, int(math.ceil(y1)) + 1)):
            for px in range(max(0, int(math.floor(x0))), min(self.width, int(math.ceil(x1)) + 1)):
                hits = sum(1 for sy in range(SUBSAMPLES) for sx in range(SUBSAMPLES)
                           if shape.inside(px + (sx + 0.5) * step, py + (sy + 0.5) * step))
                if hits:
                    c = colour(px + 0.5, py + 0.5) if callable(colour) else colour
                    alpha = (c[3] / 255.0 if len(c) > 3 else 1.0) * hits / (SUBSAMPLES * SUBSAMPLES)
                    self.blend(px, py, c, alpha)

    def blend(self, px, py, c, alpha):
        d = self.pixels[py][px]
        da = d[3] / 255.0
        out = alpha + da * (1 - alpha)
        if out <= 0:
            return
        for i in range(3):
            d[i] = (c[i] * alpha + d[i] * da * (1 - alpha)) / out
        d[3] = out * 255.0

    def flatten(self, background):
        """Opaque RGB rows over a background colour."""
        rows = []
        for row in self.pixels:
            out = []
            for r, g, b, a in row:
                k = a / 255.0
                out.append(tuple(c * k + bg * (1 - k) for c, bg in zip((r, g, b), background)))
            rows.append(out)
        return rows


# --- file writers ------------------------------------------------------------

def cube_palette():
    return [(r, g, b) for r in CUBE_LEVELS for g in CUBE_LEVELS for b in CUBE_LEVELS]


def nearest_level(value):
    return min(range(len(CUBE_LEVELS)), key=lambda i: abs(CUBE_LEVELS[i] - value))


def quantize(rows, dither):
    """Indices into the colour cube; Floyd-Steinberg error diffusion when dither."""
    height, width = len(rows), len(rows[0])
    work = [[list(p) for p in row] for row in rows]
    indices = [[0] * width for _ in range(height)]
    for y in range(height):
        for x in range(width):
            p = work[y][x]
            levels = [nearest_level(max(0.0, min(255.0, v))) for v in p]
            indices[y][x] = levels[0] * 36 + levels[1] * 6 + levels[2]
            if not dither:
                continue
            error = [p[i] - CUBE_LEVELS[levels[i]] for i in range(3)]
            for dx, dy, weight in ((1, 0, 7), (-1, 1, 3), (0, 1, 5), (1, 1, 1)):
                nx, ny = x + dx, y + dy
                if 0 <= nx < width and ny < height:
                    for i in range(3):
                        work[ny][nx][i] += error[i] * weight / 16
    return indices


def write_bmp8(path, indices, palette):
    height, width = len(indices), len(indices[0])
    stride = (width + 3) & ~3
    bits = b"".join(bytes(row) + b"\0" * (stride - width) for row in reversed(indices))
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(bits), 2835, 2835, len(palette), len(palette))
    with open(path, "wb") as f:
        f.write(header + info + colours + bits)


def write_ico32(path, canvas):
    width, height = canvas.width, canvas.height
    xor = bytearray()
    for row in reversed(canvas.pixels):
        for r, g, b, a in row:
            xor += bytes((round(b), round(g), round(r), round(a)))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray(mask_stride)
        for x, p in enumerate(row):
            if round(p[3]) == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


# --- the pictures ------------------------------------------------------------

def note(canvas, x, y, stem_top, colour):
    """A filled note head centred at (x, y) with its stem rising on the right."""
    canvas.fill(ellipse(x, y, 3.6, 2.5, -22), colour)
    canvas.fill(stroke([(x + 3.1, y - 0.6), (x + 3.1, stem_top)], 1.1), colour)


def header_picture():
    width, height = 100, 50
    c = Canvas(width, height, (255, 255, 255, 255))
    staff = (102, 102, 153)  # colours of the cube, so solid parts need no dithering
    ink = (0, 0, 102)
    # The staff keeps clear of the bottom rows, where the window writes its version line.
    for line in range(5):
        y = 7.5 + 6 * line
        c.fill(stroke([(0, y), (width, y)], 1.0), staff)

    # A quarter note, then a beamed pair climbing the staff.
    note(c, 14, 28.5, 11, ink)
    note(c, 26, 25.5, 7, ink)
    note(c, 37, 22.5, 4, ink)
    c.fill(polygon([(28.6, 6.5), (40.6, 3.5), (40.6, 6.6), (28.6, 9.6)]), ink)

    # The letters I, D and 3, cut out of the staff by a white halo.
    top, bottom, mid = 9.5, 33.5, 21.5
    letters = [
        [(51, top), (57, top)], [(54, top), (54, bottom)], [(51, bottom), (57, bottom)],
        [(62, top), (62, bottom)],
        [(62, top), (66, top)] + arc(66, mid, 8, bottom - mid, -90, 90) + [(66, bottom), (62, bottom)],
        arc(88, top + 5.5, 5.5, 5.5, -160, 90),
        arc(88, bottom - 6, 6.2, 6, -90, 160),
    ]
    for path in letters:
        c.fill(stroke(path, 7.5), (255, 255, 255))
    for path in letters:
        c.fill(stroke(path, 4.6), (153, 0, 0))
    for path in letters:
        c.fill(stroke(path, 2.8), (255, 102, 0))

    # Fade towards the left edge so the header's text stays readable on it.
    for y in range(height):
        for x in range(width):
            t = max(0.0, min(1.0, (x + 0.5) / 44))
            strength = t * t * (3 - 2 * t)
            p = c.pixels[y][x]
            for i in range(3):
                p[i] = 255 - (255 - p[i]) * strength
    return c


def action_picture():
    c = Canvas(16, 16, (204, 204, 204, 255))
    sheet = [(2.5, 0.5), (10.5, 0.5), (13.5, 3.5), (13.5, 15.5), (2.5, 15.5)]
    c.fill(polygon(sheet), (110, 110, 110))
    c.fill(polygon([(3.5, 1.5), (10, 1.5), (12.5, 4), (12.5, 14.5), (3.5, 14.5)]), (255, 255, 255))
    c.fill(polygon([(10, 1.5), (12.5, 4), (10, 4)]), (190, 190, 190))
    ink = (0, 0, 102)
    c.fill(ellipse(6.6, 11.6, 2.2, 1.6, -22), ink)
    c.fill(stroke([(8.4, 11.2), (8.4, 4.2)], 1.1), ink)
    c.fill(stroke([(8.4, 4.6), (10.6, 6.6), (10.4, 8.6)], 1.1), ink)
    return c


def tick_icon():
    c = Canvas(16, 16)
    path = [(2.8, 8.6), (6.3, 12.0), (13.3, 3.8)]
    c.fill(stroke(path, 3.9), (0, 100, 0))
    c.fill(stroke(path, 2.3), lambda x, y: (70 - 2 * y, 200 - 3 * y, 60 - 2 * y))
    return c


def cross_icon():
    c = Canvas(16, 16)
    strokes = [[(3.8, 3.8), (12.2, 12.2)], [(12.2, 3.8), (3.8, 12.2)]]
    for path in strokes:
        c.fill(stroke(path, 4.0), (140, 0, 0))
    for path in strokes:
        c.fill(stroke(path, 2.4), lambda x, y: (240 - 2 * y, 70 - 2 * y, 50 - 2 * y))
    return c


def main_icon():
    c = Canvas(32, 32)
    c.fill(rounded_rect(1, 1, 31, 31, 6), (20, 40, 110))
    c.fill(rounded_rect(2, 2, 30, 30, 5), lambda x, y: (60 - y, 110 - y * 1.5, 210 - y * 2))
    white = (255, 255, 255)
    c.fill(ellipse(9.5, 23, 4.2, 3.1, -22), white)
    c.fill(ellipse(21.5, 20, 4.2, 3.1, -22), white)
    c.fill(stroke([(13.2, 22.2), (13.2, 8.5)], 1.8), white)
    c.fill(stroke([(25.2, 19.2), (25.2, 5.5)], 1.8), white)
    c.fill(polygon([(12.3, 7.5), (26.1, 4.4), (26.1, 8.6), (12.3, 11.7)]), white)
    return c


def main():
    palette = cube_palette()
    write_bmp8(os.path.join(HERE, "OPTBG.bmp"), quantize(header_picture().flatten((255, 255, 255)), True), palette)
    write_bmp8(os.path.join(HERE, "ACTION.bmp"), quantize(action_picture().flatten((204, 204, 204)), False), palette)
    write_ico32(os.path.join(HERE, "BTNOK.ico"), tick_icon())
    write_ico32(os.path.join(HERE, "BTNCANCEL.ico"), cross_icon())
    write_ico32(os.path.join(HERE, "MAINICON.ico"), main_icon())


if __name__ == "__main__":
    main()
