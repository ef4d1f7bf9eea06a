#!/usr/bin/env python3
"""Draws the pictures the editor reads from its own directory and the ten
built-in pictures of the main window, and writes them as 24-bit Windows
bitmaps into data/.

    python3 tools/make_pictures.py [output directory]

The pictures are our own drawings; rerunning the script gives the same files
byte for byte.
"""
import os
import struct
import sys


class Picture:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [[colour] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def fill(self, x1, y1, x2, y2, colour):
        for y in range(y1, y2):
            for x in range(x1, x2):
                self.set(x, y, colour)

    def frame(self, x1, y1, x2, y2, colour, thickness=1):
        for t in range(thickness):
            for x in range(x1 + t, x2 - t):
                self.set(x, y1 + t, colour)
                self.set(x, y2 - 1 - t, colour)
            for y in range(y1 + t, y2 - t):
                self.set(x1 + t, y, colour)
                self.set(x2 - 1 - t, y, colour)

    def polygon(self, points, colour):
        """Fills a convex or concave polygon by the even-odd rule, sampling pixel centres."""
        n = len(points)
        for y in range(self.height):
            cy = y + 0.5
            crossings = []
            for i in range(n):
                (x1, y1), (x2, y2) = points[i], points[(i + 1) % n]
                if (y1 <= cy < y2) or (y2 <= cy < y1):
                    crossings.append(x1 + (cy - y1) * (x2 - x1) / (y2 - y1))
            crossings.sort()
            for a, b in zip(crossings[0::2], crossings[1::2]):
                for x in range(self.width):
                    if a <= x + 0.5 < b:
                        self.set(x, y, colour)

    def disc(self, cx, cy, r, colour, inner=0.0):
        for y in range(self.height):
            for x in range(self.width):
                d2 = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
                if inner * inner <= d2 <= r * r:
                    self.set(x, y, colour)

    def line(self, x1, y1, x2, y2, colour, thickness=1):
        steps = max(abs(x2 - x1), abs(y2 - y1), 1)
        half = thickness // 2
        for i in range(steps + 1):
            x = round(x1 + (x2 - x1) * i / steps)
            y = round(y1 + (y2 - y1) * i / steps)
            self.fill(x - half, y - half, x - half + thickness, y - half + thickness, colour)

    def save(self, path):
        row_bytes = (self.width * 3 + 3) & ~3
        image = bytearray()
        for y in range(self.height - 1, -1, -1):  # bottom-up rows
            row = bytearray()
            for (r, g, b) in self.pixels[y]:
                row += bytes((b, g, r))
            row += bytes(row_bytes - len(row))
            image += row
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + image)


def gridmap():
    # One tile of the map background: 10 x 10 sectors of 10 pixels, a faint
    # line on every sector border and a brighter one every five sectors.
    p = Picture(100, 100, (24, 32, 40))
    for i in range(0, 100, 10):
        shade = (70, 86, 100) if i % 50 == 0 else (44, 56, 68)
        for j in range(100):
            p.set(i, j, shade)
            p.set(j, i, shade)
    return p


def solid():
    # The plain face texture: light grey with a darker rim, so that the
    # sectors of a floor read as tiles once the colour codes tint them.
    p = Picture(64, 64, (224, 224, 224))
    p.frame(0, 0, 64, 64, (150, 150, 150), 2)
    p.frame(2, 2, 62, 62, (200, 200, 200), 1)
    return p


def colored():
    # Plain white: symbols, wireframes and flat-coloured meshes show their
    # vertex colour unchanged.
    return Picture(64, 64, (255, 255, 255))


SIZE = 41
BACK = (232, 232, 232)
RIM = (90, 90, 90)


def icon_base():
    p = Picture(SIZE, SIZE, BACK)
    p.frame(0, 0, SIZE, SIZE, RIM, 2)
    return p


def arrow(direction):
    # A face icon with a fat arrow; direction "up", "down", "left", "right".
    p = icon_base()
    shape = [(20.5, 5), (34, 19), (26, 19), (26, 36), (15, 36), (15, 19), (7, 19)]
    if direction == "down":
        shape = [(x, SIZE - y) for x, y in shape]
    elif direction == "left":
        shape = [(y, x) for x, y in shape]
    elif direction == "right":
        shape = [(SIZE - y, x) for x, y in shape]
    p.polygon(shape, (40, 110, 200))
    return p


def cross_icon():
    p = icon_base()
    p.line(9, 9, 31, 31, (200, 40, 40), 5)
    p.line(31, 9, 9, 31, (200, 40, 40), 5)
    return p


def ring_icon():
    p = icon_base()
    p.disc(20.5, 20.5, 14, (30, 150, 60), inner=8)
    return p


def split_icon(corner):
    # A triangle face icon: the diagonal of the split and one half shaded,
    # with the shaded half in the given corner ("tl", "tr", "bl", "br").
    p = icon_base()
    e = SIZE - 2
    halves = {
        "tl": [(2, 2), (e, 2), (2, e)],
        "br": [(e, 2), (e, e), (2, e)],
        "tr": [(2, 2), (e, 2), (e, e)],
        "bl": [(2, 2), (e, e), (2, e)],
    }
    p.polygon(halves[corner], (240, 170, 60))
    if corner in ("tl", "br"):
        p.line(2, e - 1, e - 1, 2, RIM, 2)
    else:
        p.line(2, 2, e - 1, e - 1, RIM, 2)
    return p


def split_texture(rising):
    # The plain face texture with the diagonal of a split face drawn on it.
    p = Picture(SIZE, SIZE, (224, 224, 224))
    p.frame(0, 0, SIZE, SIZE, (150, 150, 150), 2)
    if rising:
        p.line(1, SIZE - 2, SIZE - 2, 1, (120, 120, 120), 2)
    else:
        p.line(1, 1, SIZE - 2, SIZE - 2, (120, 120, 120), 2)
    return p


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data")
    pictures = {
        "gridmap.bmp": gridmap(),
        "solid.bmp": solid(),
        "colored.bmp": colored(),
    }
    builtin = os.path.join(out, "builtin")
    os.makedirs(builtin, exist_ok=True)
    icons = {
        "6001.bmp": arrow("up"),
        "6002.bmp": arrow("down"),
        "6003.bmp": cross_icon(),
        "6004.bmp": ring_icon(),
        "6005.bmp": split_icon("tl"),
        "6006.bmp": split_icon("tr"),
        "6007.bmp": split_icon("br"),
        "6008.bmp": split_icon("bl"),
        "5003.bmp": split_texture(rising=False),
        "5004.bmp": split_texture(rising=True),
    }
    for name, picture in pictures.items():
        picture.save(os.path.join(out, name))
    for name, picture in icons.items():
        picture.save(os.path.join(builtin, name))


if __name__ == "__main__":
    main()
