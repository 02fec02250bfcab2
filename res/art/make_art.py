#!/usr/bin/env python3
"""Draws Pelmora's icons and dialog banner.

Everything the art is made of lives in this file: the colours, the page shapes, the
hand-drawn 16 px icons and the stroke font of the banner. Only the standard library is
used, because the build machines cannot be assumed to have an imaging package, and the
output is byte-for-byte the same on every run so a re-run shows up as "no change" in git.

    python3 res/art/make_art.py            # writes res/icon107.ico, res/icon108.ico, res/banner157.bmp
    python3 res/art/make_art.py OUTDIR     # writes the same three files into OUTDIR
"""

import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
RES_DIR = os.path.dirname(HERE)

# Four samples a side: sixteen coverage levels are plenty once the result is quantised
# into a 256-colour palette, and more would only cost time.
SS = 4


def hex_rgb(s):
    s = s.lstrip("#")
    return tuple(int(s[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(lerp(a, b, t) for a, b in zip(c0, c1))


def smoothstep(e0, e1, x):
    t = min(1.0, max(0.0, (x - e0) / (e1 - e0)))
    return t * t * (3.0 - 2.0 * t)


class Rng:
    """xorshift32: our own generator, so the noise cannot shift with the Python version."""

    def __init__(self, seed):
        self.s = seed & 0xFFFFFFFF or 1

    def next(self):
        s = self.s
        s ^= (s << 13) & 0xFFFFFFFF
        s ^= s >> 17
        s ^= (s << 5) & 0xFFFFFFFF
        self.s = s
        return s

    def unit(self):
        return self.next() / 4294967296.0


# --------------------------------------------------------------------------------------
# Raster and shapes

class Canvas:
    """Straight-alpha RGBA floats, top-down, so shapes can be layered before writing out."""

    def __init__(self, w, h, fill=(0.0, 0.0, 0.0, 0.0)):
        self.w, self.h = w, h
        self.px = [list(fill) for _ in range(w * h)]

    def blend(self, x, y, rgb, a):
        if a <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        p = self.px[y * self.w + x]
        da = p[3]
        oa = a + da * (1.0 - a)
        if oa <= 0.0:
            return
        for i in range(3):
            p[i] = (rgb[i] * a + p[i] * da * (1.0 - a)) / oa
        p[3] = oa

    def rect(self, x0, y0, x1, y1, rgb, a=1.0):
        """Pixel-aligned fill of [x0, x1) x [y0, y1); needs no anti-aliasing."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.blend(x, y, rgb, a)

    def shape(self, sh, rgb, a=1.0):
        for x, y, cov in coverage(sh):
            self.blend(x, y, rgb, a * cov)

    def paste(self, other, ox, oy):
        for y in range(other.h):
            for x in range(other.w):
                p = other.px[y * other.w + x]
                self.blend(ox + x, oy + y, p[:3], p[3])


def coverage(sh):
    """Yields (x, y, fraction) for every pixel the shape touches, by supersampling."""
    x0, y0, x1, y1 = sh.bbox()
    n = SS * SS
    offs = [(i + 0.5) / SS for i in range(SS)]
    for y in range(int(math.floor(y0)), int(math.ceil(y1))):
        for x in range(int(math.floor(x0)), int(math.ceil(x1))):
            hits = 0
            for oy in offs:
                for ox in offs:
                    if sh.inside(x + ox, y + oy):
                        hits += 1
            if hits:
                yield x, y, hits / n


class Polygon:
    """Even-odd fill of one or more closed point lists, in pixel coordinates."""

    def __init__(self, *rings):
        self.edges = []
        xs, ys = [], []
        for pts in rings:
            for i, (ax, ay) in enumerate(pts):
                bx, by = pts[(i + 1) % len(pts)]
                if ay != by:
                    self.edges.append((ax, ay, bx, by))
                xs.append(ax)
                ys.append(ay)
        self.box = (min(xs), min(ys), max(xs), max(ys))

    def bbox(self):
        return self.box

    def inside(self, x, y):
        c = False
        for ax, ay, bx, by in self.edges:
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    c = not c
        return c


def inset(pts, d):
    """Moves every edge of a convex, clockwise-on-screen polygon inwards by d pixels."""
    n = len(pts)
    lines = []
    for i in range(n):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        ln = math.hypot(ex, ey)
        nx, ny = -ey / ln, ex / ln  # inward normal for screen-clockwise winding
        lines.append((ax + nx * d, ay + ny * d, ex, ey))
    out = []
    for i in range(n):
        px, py, ux, uy = lines[i - 1]
        qx, qy, vx, vy = lines[i]
        den = ux * vy - uy * vx
        t = ((qx - px) * vy - (qy - py) * vx) / den
        out.append((px + ux * t, py + uy * t))
    return out


class Strokes:
    """Round-capped strokes of a given half width along line segments."""

    def __init__(self, segs, r):
        self.r2 = r * r
        self.segs = []
        xs, ys = [], []
        for ax, ay, bx, by in segs:
            dx, dy = bx - ax, by - ay
            self.segs.append((ax, ay, dx, dy, dx * dx + dy * dy,
                              min(ax, bx) - r, max(ax, bx) + r, min(ay, by) - r, max(ay, by) + r))
            xs += [ax, bx]
            ys += [ay, by]
        self.box = (min(xs) - r, min(ys) - r, max(xs) + r, max(ys) + r)

    def bbox(self):
        return self.box

    def inside(self, x, y):
        for ax, ay, dx, dy, l2, x0, x1, y0, y1 in self.segs:
            if x < x0 or x > x1 or y < y0 or y > y1:
                continue
            if l2 > 0.0:
                t = ((x - ax) * dx + (y - ay) * dy) / l2
                t = 0.0 if t < 0.0 else (1.0 if t > 1.0 else t)
            else:
                t = 0.0
            ex, ey = x - ax - dx * t, y - ay - dy * t
            if ex * ex + ey * ey <= self.r2:
                return True
        return False


# --------------------------------------------------------------------------------------
# Colours

# Each icon is the same page in its own accent. The blue one is the program; the amber one
# marks the secondary place (the tray), so it must differ in hue, not just in lightness.
ACCENTS = {
    "blue": {
        "outline": hex_rgb("#0b2545"),
        "deep": hex_rgb("#134e9c"),
        "solid": hex_rgb("#1f78d1"),
        "light": hex_rgb("#6fb3f2"),
        "pale": hex_rgb("#c4e0fb"),
    },
    "amber": {
        "outline": hex_rgb("#4a2205"),
        "deep": hex_rgb("#b4530a"),
        "solid": hex_rgb("#ef8a12"),
        "light": hex_rgb("#fbbd4f"),
        "pale": hex_rgb("#fde3a8"),
    },
}
PAGE_TOP = hex_rgb("#ffffff")
PAGE_BOTTOM = hex_rgb("#e9eff6")
FOLD = hex_rgb("#c9d6e5")


# --------------------------------------------------------------------------------------
# Icons

# Page geometry per size, in whole pixels so the straight edges land on pixel boundaries
# and only the folded corner's diagonal gets soft edges.
#   page: left, top, right, bottom (exclusive); fold: size of the dog-ear;
#   cells: left, top, cell size, columns, rows of the noise; solid: top, bottom of the flat block
ICON_GEOMETRY = {
    96: {"page": (12, 4, 82, 92), "fold": 22, "cells": (20, 30, 6, 9, 4), "solid": (60, 84), "line": 2.0},
    64: {"page": (8, 3, 55, 61), "fold": 15, "cells": (13, 20, 4, 9, 4), "solid": (40, 56)},
    48: {"page": (6, 2, 41, 46), "fold": 11, "cells": (10, 15, 3, 9, 4), "solid": (30, 42)},
    40: {"page": (5, 2, 35, 38), "fold": 9, "cells": (9, 12, 2, 9, 4), "solid": (24, 35)},
    32: {"page": (4, 1, 28, 31), "fold": 8, "cells": (7, 11, 2, 9, 4), "solid": (21, 28)},
    24: {"page": (3, 1, 21, 23), "fold": 6, "cells": (5, 8, 2, 7, 3), "solid": (16, 21)},
    20: {"page": (3, 1, 18, 19), "fold": 5, "cells": (5, 6, 1, 9, 4), "solid": (12, 17)},
}

# The noise pattern, shared by both colourings so the two icons differ only in hue.
# Drawn from the generator once; each cell picks one of the accent's shades or stays blank.
NOISE_SHADES = ("outline", "deep", "solid", "light", "pale", None)


def noise_pattern(cols, rows, seed):
    rng = Rng(seed)
    out = []
    for i in range(cols * rows):
        # Never the shade of the left or upper neighbour: a run would read as a stripe
        # or a flat patch, and the whole point of the upper half is that nothing repeats.
        near = set()
        if i % cols:
            near.add(out[i - 1])
        if i >= cols:
            near.add(out[i - cols])
        while True:
            k = NOISE_SHADES[rng.next() % len(NOISE_SHADES)]
            if k not in near:
                break
        out.append(k)
    return out


def draw_page_icon(size, acc):
    g = ICON_GEOMETRY[size]
    c = Canvas(size, size)
    x0, y0, x1, y1 = g["page"]
    f = g["fold"]
    outer = [(x0, y0), (x1 - f, y0), (x1, y0 + f), (x1, y1), (x0, y1)]
    line = g.get("line", 1.0)
    c.shape(Polygon(outer), acc["outline"])
    inner = inset(outer, line)
    # A faint top-to-bottom tint keeps the page from looking like a hole at large sizes.
    body = Canvas(size, size)
    body.shape(Polygon(inner), (1, 1, 1))
    for i, p in enumerate(body.px):
        if p[3] > 0:
            t = (i // size - y0) / float(y1 - y0)
            c.blend(i % size, i // size, mix(PAGE_TOP, PAGE_BOTTOM, t), p[3])
    # The dog-ear: outlined triangle, its fill a shade darker than the page.
    tri = [(x1 - f, y0), (x1, y0 + f), (x1 - f, y0 + f)]
    c.shape(Polygon(tri), acc["outline"])
    c.shape(Polygon(inset(tri, line)), FOLD)

    cx, cy, cs, cols, rows = g["cells"]
    pat = noise_pattern(cols, rows, 0x50E1 + size)
    for r in range(rows):
        for q in range(cols):
            k = pat[r * cols + q]
            if k:
                c.rect(cx + q * cs, cy + r * cs, cx + (q + 1) * cs, cy + (r + 1) * cs, acc[k])
    s0, s1 = g["solid"]
    c.rect(cx, s0, cx + cols * cs, s1, acc["solid"])
    return c


# At 16 px a scaled-down page turns to mush, so this one is drawn pixel by pixel.
#   . clear   o outline   w page   f dog-ear   s flat block
#   1..5 noise shades: outline, deep, solid, light, pale
ICON16 = [
    "..ooooooooo.....",
    "..owwwwwwwoo....",
    "..owwwwwwwofo...",
    "..owwwwwwwoooo..",
    "..ow25143524wo..",
    "..ow41352143wo..",
    "..ow53214351wo..",
    "..ow14531524wo..",
    "..owwwwwwwwwwo..",
    "..owsssssssswo..",
    "..owsssssssswo..",
    "..owsssssssswo..",
    "..owsssssssswo..",
    "..owsssssssswo..",
    "..owwwwwwwwwwo..",
    "..oooooooooooo..",
]
ICON16_KEYS = {"o": "outline", "s": "solid", "1": "outline", "2": "deep", "3": "solid",
               "4": "light", "5": "pale"}


def draw_icon16(acc):
    c = Canvas(16, 16)
    for y, row in enumerate(ICON16):
        assert len(row) == 16, "ICON16 row %d is not 16 wide" % y
        for x, ch in enumerate(row):
            if ch == ".":
                continue
            if ch == "w":
                rgb = mix(PAGE_TOP, PAGE_BOTTOM, y / 15.0)
            elif ch == "f":
                rgb = FOLD
            else:
                rgb = acc[ICON16_KEYS[ch]]
            c.blend(x, y, rgb, 1.0)
    return c


def draw_icon(size, accent):
    acc = ACCENTS[accent]
    return draw_icon16(acc) if size == 16 else draw_page_icon(size, acc)


def to_byte(v):
    return max(0, min(255, int(v * 255.0 + 0.5)))


def ico_bytes(canvases):
    """Classic ICO: per image a BITMAPINFOHEADER with doubled height, BGRA rows bottom-up,
    then a 1-bpp AND mask. Windows uses the alpha; the mask is for anything that doesn't."""
    blobs = []
    for c in canvases:
        w, h = c.w, c.h
        xor = bytearray()
        mask = bytearray()
        mask_stride = ((w + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            bits = bytearray(mask_stride)
            for x in range(w):
                r, g, b, a = c.px[y * w + x]
                ab = to_byte(a)
                if ab == 0:
                    # Fully clear pixels carry black, so a mask-only renderer XORs nothing in.
                    xor += b"\0\0\0\0"
                else:
                    xor += bytes((to_byte(b), to_byte(g), to_byte(r), ab))
                if ab < 128:
                    bits[x >> 3] |= 0x80 >> (x & 7)
            mask += bits
        hdr = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blobs.append(hdr + bytes(xor) + bytes(mask))
    out = bytearray(struct.pack("<HHH", 0, 1, len(canvases)))
    offset = 6 + 16 * len(canvases)
    for c, blob in zip(canvases, blobs):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


# --------------------------------------------------------------------------------------
# Stroke font

# Centre lines of a geometric sans, in units: baseline 0, x-height 5, capitals 7,
# ascenders 7.5, descenders -2.5, y upwards. Each glyph is (width, strokes) where a stroke is
#   ("L", x0, y0, x1, y1)            a line
#   ("A", cx, cy, rx, ry, a0, a1)    an elliptical arc from angle a0 to a1 (degrees, ccw)
#   ("D", x, y)                      a dot
# Only the letters the banner needs, plus a few neighbours so a new tagline rarely needs
# new glyphs.
O = ("A", 2.5, 2.5, 2.5, 2.5, 0, 360)
GLYPHS = {
    " ": (1.6, []),
    ".": (0, [("D", 0, 0)]),
    "-": (2.5, [("L", 0, 2.5, 2.5, 2.5)]),
    "a": (5, [O, ("L", 5, 0, 5, 5)]),
    "b": (5, [O, ("L", 0, 0, 0, 7.5)]),
    "c": (4.3, [("A", 2.5, 2.5, 2.5, 2.5, 42, 318)]),
    "d": (5, [O, ("L", 5, 0, 5, 7.5)]),
    "e": (5, [("L", 0, 2.5, 5, 2.5), ("A", 2.5, 2.5, 2.5, 2.5, 0, 318)]),
    "f": (3.3, [("L", 1.1, 0, 1.1, 6.1), ("A", 2.5, 6.1, 1.4, 1.4, 180, 50),
                ("L", 0, 5, 3.0, 5)]),
    "g": (5, [O, ("L", 5, 5, 5, 0), ("A", 2.5, 0, 2.5, 2.5, 0, -145)]),
    "h": (4.4, [("L", 0, 0, 0, 7.5), ("A", 2.2, 2.8, 2.2, 2.2, 180, 0), ("L", 4.4, 2.8, 4.4, 0)]),
    "i": (0, [("L", 0, 0, 0, 5), ("D", 0, 6.9)]),
    "k": (3.9, [("L", 0, 0, 0, 7.5), ("L", 3.9, 5, 0, 1.7), ("L", 1.4, 2.9, 3.9, 0)]),
    "l": (0, [("L", 0, 0, 0, 7.5)]),
    "m": (7, [("L", 0, 0, 0, 5), ("A", 1.75, 3.25, 1.75, 1.75, 180, 0), ("L", 3.5, 3.25, 3.5, 0),
              ("A", 5.25, 3.25, 1.75, 1.75, 180, 0), ("L", 7, 3.25, 7, 0)]),
    "n": (4.4, [("L", 0, 0, 0, 5), ("A", 2.2, 2.8, 2.2, 2.2, 180, 0), ("L", 4.4, 2.8, 4.4, 0)]),
    "o": (5, [O]),
    "p": (5, [O, ("L", 0, 5, 0, -2.5)]),
    "q": (5, [O, ("L", 5, 5, 5, -2.5)]),
    "r": (3.0, [("L", 0, 0, 0, 5), ("A", 2.6, 2.4, 2.6, 2.6, 180, 80)]),
    "s": (3.8, [("A", 1.9, 3.75, 1.8, 1.25, 30, 270), ("A", 1.9, 1.25, 1.8, 1.25, 90, -150)]),
    "t": (3.0, [("L", 1.1, 6.6, 1.1, 1.2), ("A", 2.3, 1.2, 1.2, 1.2, 180, 280),
                ("L", 0, 5, 3.0, 5)]),
    "u": (4.4, [("L", 0, 5, 0, 2.2), ("A", 2.2, 2.2, 2.2, 2.2, 180, 360), ("L", 4.4, 5, 4.4, 0)]),
    "v": (4.6, [("L", 0, 5, 2.3, 0), ("L", 2.3, 0, 4.6, 5)]),
    "w": (7, [("L", 0, 5, 1.75, 0), ("L", 1.75, 0, 3.5, 5), ("L", 3.5, 5, 5.25, 0),
              ("L", 5.25, 0, 7, 5)]),
    "x": (4.4, [("L", 0, 5, 4.4, 0), ("L", 0, 0, 4.4, 5)]),
    "y": (4.6, [("L", 0, 5, 2.3, 0), ("L", 4.6, 5, 1.1, -2.5)]),
    "z": (4.2, [("L", 0, 5, 4.2, 5), ("L", 4.2, 5, 0, 0), ("L", 0, 0, 4.2, 0)]),
    "P": (4.4, [("L", 0, 0, 0, 7), ("L", 0, 7, 2.4, 7), ("A", 2.4, 5.05, 2.0, 1.95, 90, -90),
                ("L", 2.4, 3.1, 0, 3.1)]),
    "T": (5.2, [("L", 0, 7, 5.2, 7), ("L", 2.6, 7, 2.6, 0)]),
}
# Pairs whose shapes leave a visible hole at the regular spacing.
KERN = {("T", "e"): -1.1, ("T", "o"): -1.1, ("P", "e"): -0.3, ("r", "a"): -0.3}


def glyph_segments(ch):
    w, strokes = GLYPHS[ch]
    segs = []
    for s in strokes:
        if s[0] == "L":
            segs.append(s[1:])
        elif s[0] == "D":
            segs.append((s[1], s[2], s[1], s[2]))
        else:
            _, cx, cy, rx, ry, a0, a1 = s
            # About one segment per 12 degrees: finer than the supersampling can show.
            n = max(2, int(math.ceil(abs(a1 - a0) / 12.0)))
            pts = []
            for i in range(n + 1):
                a = math.radians(a0 + (a1 - a0) * i / n)
                pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
            for p, q in zip(pts, pts[1:]):
                segs.append(p + q)
    return w, segs


def text_width(text, scale, weight, spacing):
    pen = 0.0
    for i, ch in enumerate(text):
        w, _ = GLYPHS[ch]
        pen += w * scale
        if i + 1 < len(text):
            pen += (spacing + weight + KERN.get((ch, text[i + 1]), 0.0)) * scale
    return pen


def draw_text(canvas, text, x, baseline, scale, weight, spacing, rgb):
    """Sets text with its left stroke centre at x. weight is the stroke width in units,
    spacing the gap between neighbouring glyphs' outer edges, also in units."""
    pen = x
    for i, ch in enumerate(text):
        w, segs = glyph_segments(ch)
        if segs:
            px = [(pen + ax * scale, baseline - ay * scale, pen + bx * scale, baseline - by * scale)
                  for ax, ay, bx, by in segs]
            canvas.shape(Strokes(px, weight * scale / 2.0), rgb)
        pen += w * scale
        if i + 1 < len(text):
            pen += (spacing + weight + KERN.get((ch, text[i + 1]), 0.0)) * scale
    return pen


# --------------------------------------------------------------------------------------
# Banner

# The banner is drawn at twice its size at 96 DPI; the program scales it to the control, so it
# stays sharp up to 192 DPI and is averaged down below that.
BANNER_SCALE = 2
BANNER_W, BANNER_H = 700, 60  # at 96 DPI
BG_LEFT = hex_rgb("#0a1c36")
BG_RIGHT = hex_rgb("#16467e")
TITLE = hex_rgb("#ffffff")
TAGLINE = hex_rgb("#a9cbef")
TAGLINE_TEXT = "Test files at both ends of compressibility"


BANNER_LEFT = 76  # the part of the banner left of the dialog's edge, at 96 DPI


def draw_banner(emblem, k=BANNER_SCALE):
    """The banner at k times its 96-DPI size; every position below is in 96-DPI pixels."""
    w, h = BANNER_W * k, BANNER_H * k
    c = Canvas(w, h)
    for y in range(h):
        # A touch darker towards the bottom edge so the banner sits on the dialog
        # rather than floating above it.
        dv = 1.0 - 0.18 * smoothstep(20, BANNER_H, (y + 0.5) / k)
        for x in range(w):
            rgb = mix(BG_LEFT, BG_RIGHT, x / (w - 1.0))
            c.px[y * w + x] = [rgb[0] * dv, rgb[1] * dv, rgb[2] * dv, 1.0]

    draw_noise_band(c, k)
    # The dialog places the banner 47 dialog units left of its edge (about 70 px at 96 DPI),
    # so the picture starts after that.
    c.paste(emblem, (BANNER_LEFT + 14) * k, 6 * k)
    draw_text(c, "Pelmora", (BANNER_LEFT + 76) * k, 31 * k, 2.9 * k, 1.3, 1.45, TITLE)
    draw_text(c, TAGLINE_TEXT, (BANNER_LEFT + 77) * k, 49 * k, 1.36 * k, 0.85, 1.2, TAGLINE)
    # A thin accent rule along the bottom, brightest where the band is flat.
    acc = ACCENTS["blue"]
    for x in range(w):
        t = smoothstep(60, 520, x / k)
        for y in range(k):
            c.blend(x, h - 2 * k + y, mix(acc["deep"], acc["light"], t), 0.85)
            c.blend(x, h - k + y, mix(acc["deep"], acc["solid"], t), 0.6)
    return c


def draw_noise_band(c, k):
    """Random cells on the left that settle, column by column, into one even colour:
    the two ends of the compressibility scale in a single strip."""
    acc = ACCENTS["blue"]
    shades = [acc["deep"], acc["solid"], acc["light"], acc["pale"], hex_rgb("#ffffff")]
    flat = acc["solid"]
    cell, gap = 5, 1
    pitch = cell + gap
    top = 12
    rows = 6
    x_start, x_end = BANNER_LEFT + 398, BANNER_W
    cols = (x_end - x_start) // pitch + 1
    rng = Rng(0xBA77E5)
    for q in range(cols):
        t = q / (cols - 1.0)
        present = smoothstep(0.0, 0.30, t)      # scattered cells thicken out of the background
        settle = smoothstep(0.22, 0.72, t)      # random shades give way to the flat colour
        joined = smoothstep(0.66, 0.88, t)      # and the gaps close into one solid bar
        for r in range(rows):
            a = rng.unit()
            b = rng.unit()
            shade = shades[rng.next() % len(shades)]
            if a > present:
                continue
            rgb = mix(shade, flat, settle)
            alpha = lerp(0.55 + 0.45 * b, 1.0, settle) * min(1.0, 0.4 + present)
            x0 = x_start + q * pitch
            y0 = top + r * pitch
            c.rect(x0 * k, y0 * k, (x0 + cell) * k, (y0 + cell) * k, rgb, alpha)
            if joined > 0.0:
                c.rect((x0 + cell) * k, y0 * k, (x0 + pitch) * k, (y0 + cell) * k, rgb, alpha * joined)
                if r + 1 < rows:
                    c.rect(x0 * k, (y0 + cell) * k, (x0 + pitch) * k, (y0 + pitch) * k, rgb, alpha * joined)


def quantise(canvas, ncolours=256):
    """Median cut over the distinct colours, weighted by how often each occurs, so the big
    gradient areas get the palette entries and stay free of visible steps."""
    counts = {}
    idx = []
    for p in canvas.px:
        key = (to_byte(p[0]), to_byte(p[1]), to_byte(p[2]))
        counts[key] = counts.get(key, 0) + 1
        idx.append(key)
    boxes = [sorted(counts.items())]

    def spread(box):
        rng = [max(k[0][ch] for k in box) - min(k[0][ch] for k in box) for ch in range(3)]
        ch = max(range(3), key=lambda i: (rng[i], -i))
        return rng[ch], ch

    while len(boxes) < ncolours:
        best = None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            rg, ch = spread(box)
            n = sum(cnt for _, cnt in box)
            score = rg * math.sqrt(n)
            if best is None or score > best[0]:
                best = (score, i, ch)
        if best is None:
            break
        _, i, ch = best
        box = sorted(boxes[i], key=lambda kc: (kc[0][ch], kc[0]))
        total = sum(cnt for _, cnt in box)
        acc = 0
        cut = 1
        for j, (_, cnt) in enumerate(box):
            acc += cnt
            if acc * 2 >= total:
                cut = min(max(j + 1, 1), len(box) - 1)
                break
        boxes[i:i + 1] = [box[:cut], box[cut:]]

    palette = []
    lookup = {}
    for bi, box in enumerate(boxes):
        n = sum(cnt for _, cnt in box)
        palette.append(tuple(int(sum(k[ch] * cnt for k, cnt in box) / n + 0.5) for ch in range(3)))
        for k, _ in box:
            lookup[k] = bi
    while len(palette) < ncolours:
        palette.append((0, 0, 0))
    return palette, [lookup[k] for k in idx]


def bmp8_bytes(w, h, palette, indices):
    stride = (w + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytes(indices[y * w:(y + 1) * w])
        pixels += row + b"\0" * (stride - w)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    off = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    head = struct.pack("<2sIHHI", b"BM", off + len(pixels), 0, 0, off)
    return head + info + pal + bytes(pixels)


# --------------------------------------------------------------------------------------

def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (path, len(data)))


def main(argv):
    out_dir = argv[1] if len(argv) > 1 else RES_DIR
    # Every size Windows asks for at 96, 120, 144 and 192 DPI: small 16, 20, 24, 32; large 32,
    # 40, 48, 64. None of them has to be scaled from another.
    sizes = (64, 48, 40, 32, 24, 20, 16)
    blue = [draw_icon(s, "blue") for s in sizes]
    amber = [draw_icon(s, "amber") for s in sizes]
    write(os.path.join(out_dir, "icon107.ico"), ico_bytes(blue))
    write(os.path.join(out_dir, "icon108.ico"), ico_bytes(amber))
    banner = draw_banner(draw_icon(48 * BANNER_SCALE, "blue"))
    palette, indices = quantise(banner)
    write(os.path.join(out_dir, "banner157.bmp"), bmp8_bytes(banner.w, banner.h, palette, indices))


if __name__ == "__main__":
    main(sys.argv)
