#!/usr/bin/env python3
"""Writes the AY's noise sequence as a C table: bit p (word p / 32, bit p % 32) is the noise
output after p shifts of the 17-bit generator from its reset state 1 (taps at bits 0 and 3, the
new bit entering at bit 16). The sequence repeats every 131,071 shifts; the table runs on past
the end with its own start so that 32 bits can be read from any position before it."""
import sys

LENGTH = 131071
WORDS = (LENGTH + 63) // 32 + 1


def main(path):
    bits = []
    x = 1
    for _ in range(LENGTH):
        bits.append(x & 1)
        x = (x >> 1) | (((x ^ (x >> 3)) & 1) << 16)
    assert x == 1, "the generator's period is 131,071"
    total = WORDS * 32
    bits += [bits[i % LENGTH] for i in range(LENGTH, total)]
    words = [sum(bits[w * 32 + b] << b for b in range(32)) for w in range(WORDS)]
    with open(path, "w") as out:
        out.write("/* Written by zx/ay_noise.py: the AY's noise sequence (see ay.c). */\n")
        out.write('#include "ay_noise.h"\n\n')
        out.write("const uint32_t ay_noise_bits[AY_NOISE_WORDS] = {\n")
        for i in range(0, WORDS, 6):
            out.write("    " + ", ".join(f"0x{w:08X}u" for w in words[i:i + 6]) + ",\n")
        out.write("};\n")


if __name__ == "__main__":
    main(sys.argv[1])
