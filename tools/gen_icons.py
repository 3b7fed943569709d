#!/usr/bin/env python3
"""Draws the four Pogoshell icon strips (resources/icons/*.bmp) of the theme sets.

Run from the project root: python3 tools/gen_icons.py [OUTPUT_FOLDER]
Plain Python 3, no imaging library; the output is the same byte for byte on every run.

Bitmap format: Windows BMP, 14-byte file header, 40-byte information header, 8 bits per pixel,
uncompressed, bottom-up rows (240 pixels wide, so rows need no padding). The palette has 256
entries (pixels at offset 1078), except PogoXP's 241 (14 + 40 + 241 * 4 = 1018 bytes of headers
and palette): there two zero bytes follow the palette, so the pixels start at offset 1020 (a
multiple of four, and bfOffBits says so) and the file has its 15,900 bytes. bfSize is always the
file size.

Layout: Pogoshell takes icon n of a theme from a horizontal strip at x = n * icon_width, with the
icon_width, icon_height and num_icons of the theme's gui.cfg, starting at the top-left corner of
the picture (the first icon_height rows as the picture is shown). All four strips fit in that one
band (15 x 16, 7 x 32, 9 x 26 and 15 x 16 pixels of the 240). The rows below the band are left in
the background colour. Each icon is drawn on the theme's list background colour, which is the
palette entry named by gui.cfg's bgcolor (15 = white, Amiga 37 = Workbench grey); palette entry 0
is black (fgcolor / the default text colour) in every set.

Icon numbers follow each theme's filetypes: 0 folder, 1 game, 2 program (bin, mb; in PogoXP also
set), 3 music, 4 text, 6 picture, font 7 (PogoXP 8), save 12 (PogoXP 7), settings 11, and the
ZX Spectrum (a black wedge with the rainbow stripes) for sna/z80: Original 13, Amiga 5, PogoXP 5,
XPSmall 14. Numbers no filetypes line uses get plausible extras (a plain file, the parent folder,
NES pad, Game Boy, cartridge). Styles: Original is classic 16-colour pixel art with black
outlines, XPSmall and PogoXP are soft, shaded XP-like icons, Amiga is Workbench-style on grey.
"""
import math
import pathlib
import struct
import sys

# ---------------------------------------------------------------- colours


def rgb(hex_colour):
    v = int(hex_colour.lstrip("#"), 16)
    return (v >> 16 & 255, v >> 8 & 255, v & 255)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def nearest(colour, choices):
    return min(choices, key=lambda c: sum((colour[i] - c[i]) ** 2 for i in range(3)))


VGA16 = [rgb(c) for c in ("000000", "800000", "008000", "808000", "000080", "800080", "008080",
                          "c0c0c0", "808080", "ff0000", "00ff00", "ffff00", "0000ff", "ff00ff",
                          "00ffff", "ffffff")]
CLASSIC_EXTRAS = [rgb(c) for c in ("ffe070", "c09030", "a0c8f0", "40a040", "f0f0f0", "d8d8d8",
                                   "b07040", "5080d0", "e3262b", "f5c400", "2fae4a", "1ca2dc",
                                   "404040", "ffd8a0")]
# Windows XP-like system colours for the two XP sets (entries 1 to 14; 0 black, 15 white)
XP_SYSTEM = [rgb(c) for c in ("000000", "0a246a", "3a6ea5", "0054e3", "3d95ff", "d6dff7",
                              "ece9d8", "aca899", "716f64", "f0c020", "3c8d2e", "c1d2ee",
                              "e3262b", "7a96df", "316ac5", "ffffff")]
# Workbench-like colours: black, white, blue, orange, greys, and the four stripe colours
AMIGA_COLOURS = [rgb(c) for c in ("000000", "ffffff", "6688bb", "ff8800", "aaaaaa", "555555",
                                  "ccccdd", "e3262b", "f5c400", "2fae4a", "1ca2dc", "996633",
                                  "aaccee", "ffdd66", "335599", "ffffff")]
AMIGA_BACKGROUND = rgb("aaaaaa")
STRIPES = [rgb(c) for c in ("e3262b", "f5c400", "2fae4a", "1ca2dc")]

# ---------------------------------------------------------------- drawing


def clip_convex(poly, clip):
    """Sutherland-Hodgman: poly clipped by the convex polygon clip (either winding)."""
    area = sum(clip[i][0] * clip[i - 1][1] - clip[i - 1][0] * clip[i][1] for i in range(len(clip)))
    sign = 1 if area < 0 else -1
    out = poly
    for i in range(len(clip)):
        (ax, ay), (bx, by) = clip[i - 1], clip[i]

        def inside(p):
            return sign * ((bx - ax) * (p[1] - ay) - (by - ay) * (p[0] - ax)) >= 0

        def cut(p, q):
            d1 = (bx - ax) * (p[1] - ay) - (by - ay) * (p[0] - ax)
            d2 = (bx - ax) * (q[1] - ay) - (by - ay) * (q[0] - ax)
            t = d1 / (d1 - d2)
            return (p[0] + (q[0] - p[0]) * t, p[1] + (q[1] - p[1]) * t)

        src, out = out, []
        for j in range(len(src)):
            p, q = src[j - 1], src[j]
            if inside(q):
                if not inside(p):
                    out.append(cut(p, q))
                out.append(q)
            elif inside(p):
                out.append(cut(p, q))
        if not out:
            break
    return out


def ellipse_points(cx, cy, rx, ry, steps=28):
    return [(cx + rx * math.cos(2 * math.pi * k / steps), cy + ry * math.sin(2 * math.pi * k / steps))
            for k in range(steps)]


def rounded_rect(x0, y0, x1, y1, r, steps=5):
    pts = []
    for cx, cy, a0 in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90),
                       (x0 + r, y0 + r, 180)):
        for k in range(steps + 1):
            a = math.radians(a0 + 90 * k / steps)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


class Style:
    def __init__(self, name, supersample, outline, quantize=None):
        self.name = name
        self.supersample = supersample  # samples per pixel side; 1 = crisp pixel art
        self.outline = outline  # "black" (classic), "soft" (XP) or None
        self.quantize = quantize  # colour list fills snap to, or None

    def flat(self, colour):
        return nearest(colour, self.quantize) if self.quantize else colour


CLASSIC = Style("classic", 1, "black", VGA16 + CLASSIC_EXTRAS)
XP = Style("xp", 4, "soft")
AMIGA = Style("amiga", 1, "black", [c for c in AMIGA_COLOURS if c != AMIGA_BACKGROUND])


class Icon:
    """One icon cell. Shapes are given on a 16 x 15 design grid and scaled into the cell."""

    def __init__(self, width, height, style):
        self.w, self.h, self.style = width, height, style
        self.scale = min(width / 16, height / 15)
        self.ox = (width - 16 * self.scale) / 2
        self.oy = (height - 15 * self.scale) / 2
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * width for _ in range(height)]  # premultiplied RGBA

    # paint: "#rrggbb", or ("#top", "#bottom") for a vertical gradient over the shape
    def _colour_at(self, paint, y, top, bottom):
        if isinstance(paint, str):
            return self.style.flat(rgb(paint))
        c0, c1 = rgb(paint[0]), rgb(paint[1])
        if self.style.supersample == 1:
            return self.style.flat(mix(c0, c1, 0.35))
        t = 0 if bottom <= top else min(1, max(0, (y - top) / (bottom - top)))
        return mix(c0, c1, t)

    def shape(self, contours, paint, clip=None, crisp=False):
        if isinstance(contours[0][0], (int, float)):
            contours = [contours]
        if clip:
            contours = [clip_convex(c, clip) for c in contours]
            contours = [c for c in contours if len(c) > 2]
            if not contours:
                return
        s, ss = self.scale, 1 if crisp else self.style.supersample
        pts = [[(self.ox + x * s, self.oy + y * s) for x, y in c] for c in contours]
        edges = [(c[i - 1], c[i]) for c in pts for i in range(len(c))]
        top = min(p[1] for c in pts for p in c)
        bottom = max(p[1] for c in pts for p in c)
        cover = {}
        for sy in range(max(0, int(top * ss)), min(self.h * ss, int(math.ceil(bottom * ss)) + 1)):
            yc = (sy + 0.5) / ss
            xs = sorted(x0 + (yc - y0) * (x1 - x0) / (y1 - y0)
                        for (x0, y0), (x1, y1) in edges if (y0 <= yc < y1) or (y1 <= yc < y0))
            for a, b in zip(xs[0::2], xs[1::2]):  # even-odd rule
                first = max(0, math.ceil(a * ss - 0.5))
                last = min(self.w * ss, math.ceil(b * ss - 0.5))
                for sx in range(first, last):
                    key = (sy // ss, sx // ss)
                    cover[key] = cover.get(key, 0) + 1
        for (y, x), n in cover.items():
            alpha = n / (ss * ss)
            r, g, b = self._colour_at(paint, y + 0.5, top, bottom)
            old = self.px[y][x]
            k = 1 - alpha
            self.px[y][x] = (r * alpha + old[0] * k, g * alpha + old[1] * k,
                             b * alpha + old[2] * k, alpha + old[3] * k)

    def rect(self, x0, y0, x1, y1, paint, clip=None):
        self.shape([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], paint, clip)

    def ellipse(self, cx, cy, rx, ry, paint):
        self.shape(ellipse_points(cx, cy, rx, ry), paint)

    def finish(self, background):
        """Outline pass, then everything composed onto the theme's background colour."""
        px = self.px
        if self.style.outline:
            ring = {}
            for y in range(self.h):
                for x in range(self.w):
                    if px[y][x][3] >= 0.5:
                        continue
                    near = [px[j][i] for i, j in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1))
                            if 0 <= i < self.w and 0 <= j < self.h and px[j][i][3] >= 0.6]
                    if not near:
                        continue
                    if self.style.outline == "black":
                        ring[(y, x)] = (0.0, 0.0, 0.0, 1.0)
                    else:  # a darker, translucent rim of the neighbouring colours
                        c = [sum(p[i] / p[3] for p in near) / len(near) * 0.45 for i in range(3)]
                        a = 0.75
                        old = px[y][x]
                        ring[(y, x)] = (c[0] * a + old[0] * (1 - a), c[1] * a + old[1] * (1 - a),
                                        c[2] * a + old[2] * (1 - a), a + old[3] * (1 - a))
            for (y, x), v in ring.items():
                px[y][x] = v
        return [[tuple(round(p[i] + background[i] * (1 - p[3])) for i in range(3)) for p in row]
                for row in px]


# ---------------------------------------------------------------- the icons (16 x 15 grid)

def folder(d):
    d.shape([(1, 3), (6, 3), (7, 4), (14, 4), (14, 13), (1, 13)], ("#e8b830", "#b8860b"))
    d.shape([(2, 6), (15, 6), (14, 13), (1, 13)], ("#ffe98a", "#f0b828"))
    d.rect(2, 6, 15, 7, "#fff6c8")


def parent_folder(d):
    folder(d)
    d.shape([(9.5, 5), (13, 8.5), (11, 8.5), (11, 12), (8, 12), (8, 8.5), (6, 8.5)],
            ("#6ee36e", "#1f8f1f"))


def page(d):
    d.shape([(3, 1), (10, 1), (13, 4), (13, 14), (3, 14)], ("#ffffff", "#dcdce4"))
    d.shape([(10, 1), (10, 4), (13, 4)], "#b8b8c4")


def text(d):
    page(d)
    for y in (5, 7, 9, 11):
        d.rect(5, y, 11 if y != 11 else 9, y + 1, "#4a5a8a")


def picture(d):
    d.rect(1, 2, 15, 13, ("#c08040", "#7a4a1a"))
    d.rect(2, 3, 14, 12, ("#5aaef0", "#d8f0ff"))
    d.ellipse(10.5, 5.5, 1.6, 1.6, "#ffd020")
    d.shape([(2, 12), (2, 9), (5, 6.5), (8, 9), (10, 7.5), (14, 11), (14, 12)], ("#58c040", "#2a7a20"))


def music(d):
    colour = ("#3a5ad8", "#102070")
    d.shape([(6, 3), (13, 1), (13, 3), (6, 5)], colour)
    d.rect(6, 3, 7, 11, colour)
    d.rect(12, 1, 13, 10, colour)
    d.ellipse(4.5, 11.5, 2.3, 1.7, colour)
    d.ellipse(10.5, 10.5, 2.3, 1.7, colour)


def game(d):
    body = ("#a8a8b8", "#55556a")
    d.shape(rounded_rect(1, 5, 15, 11, 2.5), body)
    d.ellipse(4, 10.5, 3, 3, body)
    d.ellipse(12, 10.5, 3, 3, body)
    d.rect(3, 7, 6, 8, "#202028")
    d.rect(4, 6, 5, 9, "#202028")
    d.ellipse(11, 7, 1, 1, "#e03030")
    d.ellipse(13, 8.5, 1, 1, "#3060e0")


def program(d):
    d.rect(1, 2, 15, 13, ("#ffffff", "#d8dce8"))
    d.rect(1, 2, 15, 5, ("#3a7af0", "#0a3aa0"))
    d.rect(12, 3, 14, 4, "#e04030")
    d.rect(3, 7, 7, 11, ("#ffd860", "#e0a020"))
    d.rect(9, 7, 13, 8, "#6a7aa0")
    d.rect(9, 10, 12, 11, "#6a7aa0")


def font(d):
    d.shape([[(7, 1), (9, 1), (14, 14), (11, 14), (10, 11), (6, 11), (5, 14), (2, 14)],
             [(8, 4), (9.6, 9), (6.4, 9)]], ("#c03030", "#601010"))


def settings(d):
    teeth = []
    for k in range(16):
        a = 2 * math.pi * (k + 0.5) / 16
        r = 6.5 if k % 2 == 0 else 4.6
        for da in (-0.16, 0.16):
            teeth.append((8 + r * math.cos(a + da), 7.5 + r * math.sin(a + da)))
    d.shape([teeth, ellipse_points(8, 7.5, 2, 2, 16)], ("#c8ccd8", "#5a6070"))


def save(d):
    d.shape([(1, 1), (13, 1), (15, 3), (15, 14), (1, 14)], ("#4a70e0", "#14307a"))
    d.rect(4, 1, 12, 6, ("#e8e8f0", "#a0a4b0"))
    d.rect(9, 2, 11, 5, "#303848")
    d.rect(3, 8, 13, 14, ("#ffffff", "#e0e0e8"))
    d.rect(4, 10, 12, 11, "#b03030")


def nes_pad(d):
    d.rect(1, 4, 15, 11, ("#d8d8d8", "#9a9a9a"))
    d.rect(6, 5, 10, 10, "#3a3a3a")
    d.rect(2, 7, 5, 8, "#181818")
    d.rect(3, 6, 4, 9, "#181818")
    d.ellipse(11.5, 8.5, 1, 1, "#d02020")
    d.ellipse(13.5, 8.5, 1, 1, "#d02020")


def pocket(d):
    d.shape(rounded_rect(4, 1, 12, 14, 1.5), ("#e0e0d8", "#a8a8a0"))
    d.rect(5, 2, 11, 7, "#506050")
    d.rect(6, 3, 10, 6, ("#a8c040", "#6a8a20"))
    d.rect(5, 9, 8, 10, "#282828")
    d.rect(6, 8, 7, 11, "#282828")
    d.ellipse(10.5, 9.5, 1, 1, "#b02060")


def cartridge(d):
    d.shape([(3, 1), (13, 1), (13, 14), (3, 14)], ("#b0b0bc", "#6a6a78"))
    d.rect(4, 3, 12, 10, ("#f06040", "#a02010"))
    d.rect(5, 5, 11, 6, "#fff0d0")
    for x in range(5, 12, 2):
        d.rect(x, 12, x + 1, 14, "#e0c040")


def spectrum(d):
    case = [(2, 4), (14, 4), (15, 12), (1, 12)]
    d.shape(case, ("#3a3a40", "#08080a"))
    d.rect(3, 5, 13, 6, "#222226")
    for y, xs in ((7, (3, 5, 7, 9, 11)), (9, (3, 5, 7, 9)), (11, (3, 5))):
        for x in xs:
            d.rect(x, y - 0.5 if y == 11 else y, x + 1, y + 1 if y != 11 else 11.6, "#b0b0b8")
    for k, colour in enumerate(("#e3262b", "#f5c400", "#2fae4a", "#1ca2dc")):
        c = 20 + k  # stripe k covers x + y in [c, c + 1) (design units), a "/" diagonal
        # one-pixel stripes stay crisp in small icons: smoothed they would turn to mud
        d.shape([(c - 13, 13), (c + 1 - 13, 13), (c + 1 - 3, 3), (c - 3, 3)], colour, clip=case,
                crisp=d.scale < 1.5)


KINDS = {"folder": folder, "game": game, "program": program, "music": music, "text": text,
         "file": page, "picture": picture, "font": font, "parent": parent_folder, "nes": nes_pad,
         "pocket": pocket, "settings": settings, "save": save, "cartridge": cartridge,
         "spectrum": spectrum}

# ---------------------------------------------------------------- theme sets

THEMES = {
    "origicons": dict(size=(16, 15), height=46, entries=256, style=CLASSIC, background=15,
                      icons=["folder", "game", "program", "music", "text", "file", "picture",
                             "font", "parent", "nes", "pocket", "settings", "save", "spectrum"]),
    "amigaicons": dict(size=(32, 30), height=68, entries=256, style=AMIGA, background=37,
                       icons=["folder", "game", "program", "music", "text", "spectrum",
                              "picture"]),
    "pogoxpicons": dict(size=(26, 30), height=62, entries=241, gap=2, style=XP, background=15,
                        icons=["folder", "game", "program", "music", "text", "spectrum",
                               "picture", "save", "font"]),
    "xpsmallicons": dict(size=(16, 15), height=46, entries=256, style=XP, background=15,
                         icons=["folder", "game", "program", "music", "text", "file", "picture",
                                "font", "parent", "nes", "pocket", "settings", "save",
                                "cartridge", "spectrum"]),
}
WIDTH = 240


def base_palette(name):
    """Fixed entries: 0 black, 15 white, the set's system colours and the stripe colours at 16 to
    19; None = free."""
    entries = THEMES[name]["entries"]
    palette = [None] * entries
    base = {"origicons": VGA16, "xpsmallicons": XP_SYSTEM, "pogoxpicons": XP_SYSTEM,
            "amigaicons": AMIGA_COLOURS}[name]
    palette[:16] = base
    palette[0], palette[15] = (0, 0, 0), (255, 255, 255)
    palette[16:20] = STRIPES  # the Spectrum's stripes, exact in every set
    if name == "amigaicons":
        palette[37] = AMIGA_BACKGROUND
    return palette


def filler(name, count):
    """Deterministic colours for palette entries no icon needs: a colour cube and a grey ramp."""
    if name == "origicons":  # the 6x6x6 cube, then greys
        colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    else:  # warmer 5x6x5 cube, then greys
        colours = [(r * 63, g * 51, b * 63) for r in range(5) for g in range(6) for b in range(5)]
    colours += [(v, v, v) for v in range(8, 248, 10)]
    while len(colours) < count:
        colours += colours
    return colours[:count]


def render_strip(name):
    theme = THEMES[name]
    w, h = theme["size"]
    palette = base_palette(name)
    background = palette[theme["background"]]
    pixels = [[background] * WIDTH for _ in range(theme["height"])]
    for n, kind in enumerate(theme["icons"]):
        icon = Icon(w, h, theme["style"])
        KINDS[kind](icon)
        for y, row in enumerate(icon.finish(background)):
            pixels[y][n * w:(n + 1) * w] = row
    # free palette entries take the most used colours the icons need, then the filler
    counts = {}
    for row in pixels:
        for c in row:
            counts[c] = counts.get(c, 0) + 1
    known = set(c for c in palette if c is not None)
    wanted = sorted((c for c in counts if c not in known), key=lambda c: (-counts[c], c))
    free = [i for i, c in enumerate(palette) if c is None]
    for i, c in zip(free, wanted):
        palette[i] = c
    free = [i for i, c in enumerate(palette) if c is None]
    for i, c in zip(free, filler(name, len(free))):
        palette[i] = c
    index = {}
    for i, c in enumerate(palette):
        index.setdefault(c, i)
    index[background] = theme["background"]  # the gui's bgcolor entry, even if repeated
    lookup = {}
    rows = []
    for row in pixels:
        out = bytearray()
        for c in row:
            if c not in lookup:
                lookup[c] = index.get(c)
                if lookup[c] is None:
                    lookup[c] = index[nearest(c, list(index))]
            out.append(lookup[c])
        rows.append(bytes(out))
    return palette, rows


def bmp_bytes(palette, rows, gap):
    height, width = len(rows), len(rows[0])
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(table) + gap
    image = b"".join(reversed(rows))  # bottom-up; 240 bytes a row needs no padding
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(image), 2835, 2835,
                       len(palette), 0)
    return header + info + table + bytes(gap) + image


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "resources" / "icons"
    folder.mkdir(parents=True, exist_ok=True)
    for name in THEMES:
        palette, rows = render_strip(name)
        gap = THEMES[name].get("gap", 0)
        (folder / (name + ".bmp")).write_bytes(bmp_bytes(palette, rows, gap))


if __name__ == "__main__":
    main()
