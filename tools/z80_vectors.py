#!/usr/bin/env python3
"""Converts the Z80 instruction vectors (tests.in + tests.expected) into the binary table that
the GBA test image carries.

Layout, little-endian: "Z80V", u32 case count, then per case (4-byte aligned):
  input state, expected state: 13 x u16 (AF BC DE HL AF' BC' DE' HL' IX IY SP PC MEMPTR),
                               6 x u8 (I R IFF1 IFF2 IM halted)
  u32 input T-states, u32 expected T-states, u16 input blocks, u16 expected blocks,
  blocks: u16 address, u16 length, bytes, padding to 4.
"""
import struct
import sys


def parse_state(words):
    pairs = [int(w, 16) for w in words[:13]]
    i, r = int(words[13], 16), int(words[14], 16)
    iff1, iff2, im, halted, tstates = (int(w) for w in words[15:20])
    return pairs, (i, r, iff1, iff2, im, halted), tstates


def parse_blocks(lines):
    blocks = []
    for line in lines:
        words = line.split()
        assert words[-1] == "-1", line
        blocks.append((int(words[0], 16), bytes(int(w, 16) for w in words[1:-1])))
    return blocks


def read_inputs(path):
    cases = []
    with open(path) as f:
        lines = [l.rstrip("\n") for l in f]
    k = 0
    while k < len(lines):
        if not lines[k].strip():
            k += 1
            continue
        name = lines[k].strip()
        state = parse_state((lines[k + 1] + " " + lines[k + 2]).split())
        k += 3
        memory = []
        while lines[k].strip() != "-1":
            memory.append(lines[k])
            k += 1
        k += 1
        cases.append((name, state, parse_blocks(memory)))
    return cases


def read_expected(path):
    expected = {}
    with open(path) as f:
        lines = [l.rstrip("\n") for l in f]
    k = 0
    while k < len(lines):
        if not lines[k].strip():
            k += 1
            continue
        name = lines[k].strip()
        k += 1
        while lines[k].startswith(" "):
            k += 1
        state = parse_state((lines[k] + " " + lines[k + 1]).split())
        k += 2
        memory = []
        while k < len(lines) and lines[k].strip():
            memory.append(lines[k])
            k += 1
        expected[name] = (state, parse_blocks(memory))
    return expected


def pack_state(state):
    pairs, small, _ = state
    return struct.pack("<13H6B", *pairs, *small)


def pack_blocks(blocks):
    out = b""
    for address, data in blocks:
        out += struct.pack("<HH", address, len(data)) + data
        out += b"\0" * (-len(out) % 4)
    return out


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: z80_vectors.py tests.in tests.expected out.bin")
    inputs = read_inputs(sys.argv[1])
    expected = read_expected(sys.argv[2])
    out = b"Z80V" + struct.pack("<I", len(inputs))
    for name, state, blocks in inputs:
        ex_state, ex_blocks = expected[name]
        out += pack_state(state) + pack_state(ex_state)
        out += struct.pack("<IIHH", state[2], ex_state[2], len(blocks), len(ex_blocks))
        out += pack_blocks(blocks) + pack_blocks(ex_blocks)
    with open(sys.argv[3], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
