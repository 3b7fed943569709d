#!/usr/bin/env python3
"""Checks who includes whom: python3 tools/check_layers.py [SOURCE_ROOT].

The faces (ui/, cli/, gba/) stand on core/ and the emulator library zx/; no face includes
another face, core/ includes no face, and zx/ includes nothing outside itself. format/ (the
cartridge format) may be included by everyone. A quoted include is looked up next to the file,
then in the folders the file's layer may use; found only in a folder it may not use, it is
reported. Includes found nowhere (system and generated headers) are left alone."""
import os
import re
import sys

ALLOWED = {
    "zx": ["zx"],
    "format": ["format"],
    "core": ["core", "format", "zx"],
    "cli": ["cli", "core", "format", "zx"],
    "ui": ["ui", "core", "format", "zx"],
    "gba": ["gba", "format", "zx"],
}
SOURCES = (".c", ".h", ".cpp", ".S", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = []
    for layer, allowed in ALLOWED.items():
        for folder, _, files in os.walk(os.path.join(root, layer)):
            for name in files:
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(folder, name)
                for number, line in enumerate(open(path, encoding="utf-8", errors="replace"), 1):
                    found = INCLUDE.match(line)
                    if not found:
                        continue
                    header = found.group(1)
                    if os.path.exists(os.path.join(folder, header)):
                        continue
                    if any(os.path.exists(os.path.join(root, a, header)) for a in allowed):
                        continue
                    for other in ALLOWED:
                        if other not in allowed and os.path.exists(os.path.join(root, other, header)):
                            rel = os.path.relpath(path, root)
                            problems.append(f"{rel}:{number}: {layer}/ includes {other}/{header}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
