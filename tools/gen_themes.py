#!/usr/bin/env python3
"""Writes the Pogoshell theme items (filetypes and gui.cfg of the four theme sets) byte-exactly.

Lines end in CR LF, except where a theme set's file is known to differ: the Amiga and PogoXP
filetypes have no line end after their last line, and line 11 of the XPSmall filetypes ends in a
lone LF. Run from the project root: python3 tools/gen_themes.py [FOLDER]
(FOLDER defaults to resources/themes).
"""
import pathlib
import sys

MOD = "/.plugins/modplay.bin Playing music, press START to quit"
NSF = "/.plugins/nsf.bin Playing NES music, press START to quit"
TPL = "/.plugins/tpl.gba Tapeloom"


def snapshot_lines(icon):
    return [f"{ext} {icon} {TPL}" for ext in ("sna", "SNA", "z80", "Z80")]


FILETYPES = {
    "origfiletypes": ["5", "txt 4 TXT", "diz 4 TXT", "nfo 4 TXT", "cfg 4 TXT", "sav 12 SAV",
                      "set 11 SET", f"mod 3 {MOD}", f"cw 3 {MOD}", f"cwz 3 {MOD}", f"mdz 3 {MOD}",
                      "nes 1", "zcode 1 /.plugins/frotz.bin", "gba 1 EXE", "bin 2 EXE",
                      f"nsf 3 {NSF}", "mb 2 MB", "bmp 6", "font 7 FNT"] + snapshot_lines(13),
    "amigafiletypes": ["5", "txt 4 TXT", "diz 4 TXT", "nfo 4 TXT", "cfg 4 TXT", f"mod 3 {MOD}",
                       f"cw 3 {MOD}", f"cwz 3 {MOD}", f"mdz 3 {MOD}", f"nsf 3 {NSF}", "gba 1 EXE",
                       "nes 1", "bin 2 EXE", "mb 2 MB", "bmp 6"] + snapshot_lines(5),
    "pogoxpfiletypes": ["5", "txt 4 TXT", "diz 4 TXT", "nfo 4 TXT", "cfg 4 TXT", "sav 7 SAV",
                        "set 2 SET", f"mod 3 {MOD}", f"cw 3 {MOD}", f"cwz 3 {MOD}", f"mdz 3 {MOD}",
                        "nes 1 /.plugins/nes.bin", "gba 1 EXE", "bin 2 EXE", f"nsf 3 {NSF}",
                        "mb 2 MB", "bmp 6", "font 8 FNT"] + snapshot_lines(5),
    "xpsmallfiletypes": ["5", "txt 4 TXT", "diz 4 TXT", "nfo 4 TXT", "sav 12 SAV", "set 11 SET",
                         f"mod 3 {MOD}", f"cw 3 {MOD}", f"cwz 3 {MOD}", f"mdz 3 {MOD}",
                         "nes 9 /.plugins/nes.bin", "zcode 1 /.plugins/frotz.bin", "gb 10",
                         "gbc 10", "gba 1 EXE", "bin 2 EXE", "nsf 3", "mb 2 MB", "bmp 6",
                         "font 7 FNT"] + snapshot_lines(14),
}

GUI = {
    "origgui": ["tb_height=12", "sb_height=12", "wb_height=0", "icon_width=16", "icon_height=15",
                "fgcolor=0", "bgcolor=15", "num_icons=14", "icons=.shell/icons.bmp",
                "font=fonts/nokia.font"],
    "amigagui": ["tb_height=12", "sb_height=13", "wb_height=13", "icon_width=32", "icon_height=30",
                 "bgcolor=37", "fgcolor=0", "num_icons=7", "icons=.shell/icons.bmp",
                 "font=fonts/normal.font"],
    "pogoxpgui": ["tb_height=12", "sb_height=12", "wb_height=0", "icon_width=26", "icon_height=30",
                  "bgcolor=15", "num_icons=9", "icons=.shell/icons.bmp", "font=fonts/fixed.font"],
    "xpsmallgui": ["tb_height=12", "sb_height=12", "wb_height=0", "icon_width=16",
                   "icon_height=15", "fgcolor=0", "bgcolor=15", "num_icons=15",
                   "icons=.shell/icons.bmp", "font=fonts/nokia.font"],
}

# (item, 1-based line number) -> line end other than CR LF; None = no line end at all
LINE_END_EXCEPTIONS = {
    ("amigafiletypes", 19): "",
    ("pogoxpfiletypes", 22): "",
    ("xpsmallfiletypes", 11): "\n",
}


def render(name, lines):
    out = []
    for number, line in enumerate(lines, start=1):
        out.append(line + LINE_END_EXCEPTIONS.get((name, number), "\r\n"))
    return "".join(out).encode("ascii")


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "resources" / "themes"
    folder.mkdir(parents=True, exist_ok=True)
    for name, lines in {**FILETYPES, **GUI}.items():
        (folder / name).write_bytes(render(name, lines))


if __name__ == "__main__":
    main()
