#!/usr/bin/env python3
"""Draws the game's pictures and writes them as Windows icon and cursor files.

Run from the project folder: python3 tools/make_icons.py
Every picture is drawn from simple shapes on a unit square, so the 32 x 32
and 16 x 16 images of one icon show the same thing.
"""
import math
import os
import struct

OUT = os.path.join(os.path.dirname(__file__), '..', 'src', 'ui', 'icons')

# The standard 16-colour palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GRAY, RED, LIME, YELLOW, BLUE, \
    FUCHSIA, AQUA, WHITE = range(16)


def render(draw, size):
    """Samples draw(x, y) -> palette index or None at each pixel centre."""
    return [[draw((x + 0.5) / size, (y + 0.5) / size) for x in range(size)] for y in range(size)]


def dib(pixels, palette, bits):
    """A BITMAPINFOHEADER image with its XOR and AND masks, as in icon files."""
    size = len(pixels)
    row_bytes = ((size * bits + 31) // 32) * 4
    mask_bytes = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(row_bytes)
        mline = bytearray(mask_bytes)
        for x, value in enumerate(row):
            index = 0 if value is None else value
            if value is None:
                mline[x // 8] |= 0x80 >> (x % 8)
            if bits == 8:
                line[x] = index
            elif bits == 4:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            elif bits == 1:
                if index:
                    line[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += mline
    colours = len(palette)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, colours, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    return header + pal + bytes(xor) + bytes(mask)


def write_icon(name, images, cursor_hotspot=None):
    """images: list of (pixels, palette, bits)."""
    kind = 2 if cursor_hotspot else 1
    head = struct.pack('<HHH', 0, kind, len(images))
    offset = 6 + 16 * len(images)
    entries = b''
    blobs = b''
    for pixels, palette, bits in images:
        blob = dib(pixels, palette, bits)
        size = len(pixels)
        colours = len(palette) if len(palette) < 256 else 0
        if cursor_hotspot:
            a, b = cursor_hotspot
        else:
            a, b = 1, bits
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, a, b,
                               len(blob), offset + len(blobs))
        blobs += blob
    with open(os.path.join(OUT, name), 'wb') as f:
        f.write(head + entries + blobs)


def disc(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def face(mouth):
    """A yellow face; mouth(x, y) -> colour or None draws the mouth."""
    def draw(x, y):
        if not disc(x, y, 0.5, 0.5, 0.47):
            return None
        if not disc(x, y, 0.5, 0.5, 0.41):
            return BLACK
        if disc(x, y, 0.35, 0.38, 0.065) or disc(x, y, 0.65, 0.38, 0.065):
            return BLACK
        m = mouth(x, y)
        return YELLOW if m is None else m
    return draw


def smile_mouth(x, y):
    d = math.hypot(x - 0.5, y - 0.45)
    return BLACK if 0.20 <= d <= 0.26 and y > 0.55 else None


def straight_mouth(x, y):
    return BLACK if 0.30 <= x <= 0.70 and 0.64 <= y <= 0.71 else None


def grin_mouth(x, y):
    d = math.hypot(x - 0.5, y - 0.52)
    if y > 0.54 and d <= 0.26:
        return RED if d <= 0.21 and y > 0.58 else BLACK
    return None


def no_entry(x, y):
    if not disc(x, y, 0.5, 0.5, 0.47):
        return None
    if not disc(x, y, 0.5, 0.5, 0.42):
        return MAROON
    if 0.2 <= x <= 0.8 and 0.41 <= y <= 0.59:
        return WHITE
    return RED


def stopwatch(x, y):
    if 0.44 <= x <= 0.56 and 0.02 <= y <= 0.14:
        return GRAY  # crown
    if 0.36 <= x <= 0.64 and 0.10 <= y <= 0.16:
        return BLACK
    if not disc(x, y, 0.5, 0.57, 0.42):
        return None
    if not disc(x, y, 0.5, 0.57, 0.36):
        return SILVER if disc(x, y, 0.5, 0.57, 0.40) else BLACK
    # hands: to twelve and to three
    if 0.47 <= x <= 0.53 and 0.30 <= y <= 0.58:
        return BLACK
    if 0.50 <= x <= 0.74 and 0.54 <= y <= 0.60:
        return RED
    for k in range(12):
        a = k * math.pi / 6
        tx, ty = 0.5 + 0.31 * math.sin(a), 0.57 - 0.31 * math.cos(a)
        if disc(x, y, tx, ty, 0.025):
            return NAVY
    return WHITE


# A 3 x 5 pixel font for the window icon's lettering.
GLYPHS = {
    'S': ['111', '100', '111', '001', '111'],
    'E': ['111', '100', '110', '100', '111'],
    'G': ['111', '100', '101', '101', '111'],
    'N': ['101', '111', '111', '111', '101'],
    'I': ['111', '010', '010', '010', '111'],
}


# The window icon on a 48-unit square: a large red times sign (two thick
# strokes) over a white strip lettered SEGNI in blue. The ICO, the PNGs and
# the SVG are all drawn from these shapes.
STROKES = ((6, 4, 41, 36), (41, 4, 6, 36))
STROKE_CORE, STROKE_EDGE = 4.0, 5.2
STRIP = (4, 39, 44, 47)          # x0, y0, x1, y1
LETTERS_X0, LETTERS_Y0, PITCH = 6, 40, 8
ICON_RED, ICON_DARK, ICON_BLUE, ICON_WHITE = (230, 20, 20), (140, 0, 0), (0, 0, 200), (255, 255, 255)


def stroke_distance(x, y):
    best = 1e9
    for (ax, ay, bx, by) in STROKES:
        t = max(0.0, min(1.0, ((x - ax) * (bx - ax) + (y - ay) * (by - ay))
                         / float((bx - ax) ** 2 + (by - ay) ** 2)))
        best = min(best, math.hypot(x - (ax + t * (bx - ax)), y - (ay + t * (by - ay))))
    return best


def letter_cells():
    """The 1 x 1 unit cells of the lettering (each glyph pixel is 2 wide)."""
    cells = []
    x0 = LETTERS_X0
    for letter in 'SEGNI':
        for gy, row in enumerate(GLYPHS[letter]):
            for gx, bit in enumerate(row):
                if bit == '1':
                    cells.append((x0 + gx * 2, LETTERS_Y0 + gy, 2, 1))
        x0 += PITCH
    return cells


def window_icon_colour(x, y):
    """Colour at a point of the 48-unit square, or None where transparent."""
    for (cx, cy, w, h) in letter_cells():
        if cx <= x < cx + w and cy <= y < cy + h:
            return ICON_BLUE
    if STRIP[0] <= x < STRIP[2] and STRIP[1] <= y < STRIP[3]:
        return ICON_WHITE
    d = stroke_distance(x, y)
    if d <= STROKE_CORE:
        return ICON_RED
    if d <= STROKE_EDGE:
        return ICON_DARK
    return None


def window_icon_pixels():
    palette = [(0, 0, 0)] * 256
    used = [ICON_RED, ICON_DARK, ICON_BLUE, ICON_WHITE]
    for i, c in enumerate(used):
        palette[i + 1] = c
    px = [[None] * 48 for _ in range(48)]
    for y in range(48):
        for x in range(48):
            c = window_icon_colour(x, y)
            px[y][x] = None if c is None else used.index(c) + 1
    return px, palette


def window_icon_png(size, path):
    """The window icon at any size, each pixel averaged from 4 x 4 samples."""
    import zlib
    n = 4
    rows = b''
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = window_icon_colour((x + (sx + 0.5) / n) * 48.0 / size,
                                           (y + (sy + 0.5) / n) * 48.0 / size)
                    if c is not None:
                        r += c[0]; g += c[1]; b += c[2]; a += 1
            if a:
                row += bytes((r // a, g // a, b // a, a * 255 // (n * n)))
            else:
                row += bytes((0, 0, 0, 0))
        rows += bytes(row)

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
           + chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))
    with open(path, 'wb') as f:
        f.write(png)


def window_icon_svg(path):
    def rgb(c):
        return '#%02x%02x%02x' % c
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">',
             '  <title>segni</title>']
    for width, colour in ((STROKE_EDGE * 2, ICON_DARK), (STROKE_CORE * 2, ICON_RED)):
        for (ax, ay, bx, by) in STROKES:
            parts.append('  <line x1="%g" y1="%g" x2="%g" y2="%g" stroke="%s" stroke-width="%g" '
                         'stroke-linecap="round"/>' % (ax + .5, ay + .5, bx + .5, by + .5, rgb(colour), width))
    x0, y0, x1, y1 = STRIP
    parts.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>'
                 % (x0, y0, x1 - x0, y1 - y0, rgb(ICON_WHITE)))
    for (cx, cy, w, h) in letter_cells():
        parts.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (cx, cy, w, h, rgb(ICON_BLUE)))
    parts.append('</svg>')
    with open(path, 'w') as f:
        f.write('\n'.join(parts) + '\n')


def hand_cursor():
    """A 32 x 32 pointing hand, fingertip at (5, 0)."""
    # outline rows: for each y, the spans (x0, x1) filled, fingertip at top
    fill = set()
    outline = set()
    for y in range(0, 13):          # index finger, columns 4..7
        for x in range(4, 8):
            fill.add((x, y))
    for y in range(6, 13):          # the other fingers, shorter
        for x in range(8, 17):
            fill.add((x, y))
    for y in range(13, 24):         # palm
        for x in range(2, 17):
            fill.add((x, y))
    for y in range(9, 17):          # thumb
        for x in range(0, 4):
            fill.add((x, y))
    px = [[None] * 32 for _ in range(32)]
    for (x, y) in fill:
        px[y][x] = 1  # white
    for (x, y) in fill:
        for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            if (x + dx, y + dy) not in fill:
                outline.add((x, y))
    for (x, y) in outline:
        px[y][x] = 0  # black
    for x in (10, 13):              # creases between the fingers
        for y in range(6, 11):
            px[y][x] = 0
    return px


def icon_pointer_cursor():
    """A small square within a square, hot spot in the middle."""
    px = [[None] * 32 for _ in range(32)]
    for y in range(8, 23):
        for x in range(8, 23):
            edge = x in (8, 22) or y in (8, 22)
            inner = 12 <= x <= 18 and 12 <= y <= 18
            inner_edge = inner and (x in (12, 18) or y in (12, 18))
            px[y][x] = 0 if edge or inner_edge else 1
    return px


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, draw in (('smile.ico', face(smile_mouth)), ('straight.ico', face(straight_mouth)),
                       ('grin.ico', face(grin_mouth)), ('noentry.ico', no_entry),
                       ('stopwatch.ico', stopwatch)):
        write_icon(name, [(render(draw, 32), VGA, 4), (render(draw, 16), VGA, 4)])
    px, palette = window_icon_pixels()
    write_icon('segni.ico', [(px, palette, 8)])
    desktop = os.path.join(OUT, '..', '..', '..', 'desktop', 'icons')
    os.makedirs(desktop, exist_ok=True)
    window_icon_svg(os.path.join(desktop, 'segni.svg'))
    for size in (16, 22, 24, 32, 48, 64, 128, 192, 256, 512):
        window_icon_png(size, os.path.join(desktop, 'segni-%d.png' % size))
    mono = [(0, 0, 0), (255, 255, 255)]
    write_icon('hand.cur', [(hand_cursor(), mono, 1)], cursor_hotspot=(5, 0))
    write_icon('iconpointer.cur', [(icon_pointer_cursor(), mono, 1)], cursor_hotspot=(15, 15))


if __name__ == '__main__':
    main()
