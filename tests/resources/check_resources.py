#!/usr/bin/env python3
"""Checks the theme files, icon strips and window pictures. Usage: check_resources.py PROJECT_ROOT"""
import pathlib
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else ".").resolve()
ICONS = ROOT / "resources" / "icons"
THEMES = ROOT / "resources" / "themes"
PICTURES = ROOT / "resources" / "pictures"

# item: (height, palette entries, file size, icon width, icon height, icon count, snapshot icon)
STRIPS = {
    "origicons": (46, 256, 12118, 16, 15, 14, 13),
    "amigaicons": (68, 256, 17398, 32, 30, 7, 5),
    "pogoxpicons": (62, 241, 15900, 26, 30, 9, 5),
    "xpsmallicons": (46, 256, 12118, 16, 15, 15, 14),
}
BACKGROUND = {"origicons": 15, "amigaicons": 37, "pogoxpicons": 15, "xpsmallicons": 15}


def read_bmp(path):
    data = path.read_bytes()
    magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    info = struct.unpack_from("<IiiHHIIiiII", data, 14)
    return data, magic, size, offset, info


def top_down_rows(data, offset, width, height):
    rows = [data[offset + r * width: offset + (r + 1) * width] for r in range(height)]
    return rows[::-1]


class IconStrips(unittest.TestCase):
    def test_headers_match_the_pogoshell_items(self):
        for name, (height, entries, file_size, *_rest) in STRIPS.items():
            with self.subTest(name):
                data, magic, size, offset, info = read_bmp(ICONS / (name + ".bmp"))
                self.assertEqual(magic, b"BM")
                self.assertEqual(len(data), file_size)
                self.assertEqual(size, file_size)
                hsize, width, h, planes, bpp, compression, image_size, _, _, used, _ = info
                self.assertEqual((hsize, width, h, planes, bpp, compression),
                                 (40, 240, height, 1, 8, 0))
                self.assertEqual(used, entries)
                self.assertEqual(image_size, 240 * height)
                # pixels run to the end of the file and never overlap the palette
                self.assertGreaterEqual(offset, 14 + 40 + entries * 4)
                self.assertEqual(offset + image_size, file_size)
                self.assertLess(max(data[offset:]), entries)
                palette = data[54:54 + entries * 4]
                self.assertEqual(palette[0:3], b"\0\0\0")  # entry 0 black (fgcolor)
                self.assertEqual(palette[60:63], b"\xff\xff\xff")  # entry 15 white

    def test_every_icon_is_drawn_and_the_rest_is_background(self):
        for name, (height, _, _, w, h, count, snapshot) in STRIPS.items():
            with self.subTest(name):
                data, _, _, offset, _ = read_bmp(ICONS / (name + ".bmp"))
                rows = top_down_rows(data, offset, 240, height)
                bg = BACKGROUND[name]
                cells = []
                for n in range(count):
                    cell = bytes(b for row in rows[:h] for b in row[n * w:(n + 1) * w])
                    cells.append(cell)
                    self.assertGreater(sum(1 for b in cell if b != bg), len(cell) // 8, n)
                self.assertEqual(len(set(cells)), count, "icons repeat")
                self.assertTrue(all(b == bg for row in rows[h:] for b in row))
                self.assertTrue(all(b == bg for row in rows[:h] for b in row[count * w:]))
                # the snapshot icon is mostly dark (the black case) and carries stripe colours
                palette = data[54:offset]
                colours = set(palette[i * 4 + 2::-1][:3] for i in set(cells[snapshot]))
                self.assertIn(b"\xe3\x26\x2b", colours)  # red stripe (RGB)
                self.assertIn(b"\x1c\xa2\xdc", colours)  # cyan stripe

    def test_original_and_xpsmall_are_distinct_items(self):
        orig = (ICONS / "origicons.bmp").read_bytes()
        xpsmall = (ICONS / "xpsmallicons.bmp").read_bytes()
        self.assertNotEqual(orig[54:1078], xpsmall[54:1078])
        self.assertNotEqual(orig[1078:], xpsmall[1078:])

    def test_generator_reproduces_the_committed_strips(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, str(ROOT / "tools" / "gen_icons.py"), out], check=True)
            for name in STRIPS:
                with self.subTest(name):
                    self.assertEqual((pathlib.Path(out) / (name + ".bmp")).read_bytes(),
                                     (ICONS / (name + ".bmp")).read_bytes(),
                                     "run python3 tools/gen_icons.py and commit the result")


class ThemeFiles(unittest.TestCase):
    def test_generator_reproduces_the_committed_files(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, str(ROOT / "tools" / "gen_themes.py"), out],
                           check=True)
            made = sorted(p.name for p in pathlib.Path(out).iterdir())
            self.assertEqual(made, sorted(p.name for p in THEMES.iterdir()))
            self.assertEqual(len(made), 8)
            for name in made:
                with self.subTest(name):
                    self.assertEqual((pathlib.Path(out) / name).read_bytes(),
                                     (THEMES / name).read_bytes(),
                                     "run python3 tools/gen_themes.py and commit the result")

    def test_every_set_ties_snapshots_to_the_plugin(self):
        for theme in ("orig", "amiga", "pogoxp", "xpsmall"):
            with self.subTest(theme):
                lines = (THEMES / (theme + "filetypes")).read_bytes().splitlines()
                for ext in (b"sna", b"SNA", b"z80", b"Z80"):
                    self.assertEqual(sum(1 for line in lines if line.split(b" ")[0] == ext), 1)
                    line = next(line for line in lines if line.split(b" ")[0] == ext)
                    self.assertTrue(line.endswith(b" /.plugins/tpl.gba Tapeloom"), line)


SVG = "{http://www.w3.org/2000/svg}"
PICTURE_SIZES = {"banner": (545, 60), "logo": (310, 80), "spectrum": (256, 141),
                 "handheld": (639, 320), "icon": (256, 256)}
# Qt's SVG renderer implements SVG Tiny 1.2; these would be dropped or drawn wrongly.
UNSUPPORTED = {"filter", "mask", "clipPath", "style", "pattern", "foreignObject", "marker",
               "symbol", "image"}


class WindowPictures(unittest.TestCase):
    def test_sizes_and_tiny_features(self):
        for name, (w, h) in PICTURE_SIZES.items():
            with self.subTest(name):
                root = ET.parse(PICTURES / (name + ".svg")).getroot()
                self.assertEqual(root.tag, SVG + "svg")
                self.assertEqual((root.get("width"), root.get("height")), (str(w), str(h)))
                self.assertEqual(root.get("viewBox"), f"0 0 {w} {h}")
                tags = {e.tag.replace(SVG, "") for e in root.iter()}
                self.assertFalse(tags & UNSUPPORTED, tags & UNSUPPORTED)
                self.assertFalse([e for e in root.iter() if e.get("style") or e.get("class")])

    def test_handheld_screen_sits_under_the_preview(self):
        root = ET.parse(PICTURES / "handheld.svg").getroot()
        screens = [e for e in root.iter(SVG + "rect")
                   if (e.get("x"), e.get("y"), e.get("width"), e.get("height"))
                   == ("199", "88", "240", "160")]
        self.assertEqual(len(screens), 1)

    def test_desktop_entry(self):
        entry = dict(line.split("=", 1) for line in
                     (ROOT / "resources" / "tapeloom.desktop").read_text().splitlines()
                     if "=" in line)
        self.assertEqual(entry["Name"], "Tapeloom")
        self.assertEqual(entry["Exec"], "tapeloom")
        self.assertEqual(entry["Icon"], "tapeloom")
        self.assertEqual(entry["Categories"], "Utility;Emulator;")


if __name__ == "__main__":
    unittest.main(verbosity=1)
