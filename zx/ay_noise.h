/* The AY's noise generator is a 17-bit shift register (taps at bits 0 and 3, the new bit entering
 * at bit 16) whose output walks through one sequence of 131,071 bits from reset. The emulator
 * keeps its place in that sequence instead of its bits: a catch-up over any number of shifts is
 * then one addition, and the outputs of a sample's shifts are bits read from this table. */
#ifndef TAPELOOM_ZX_AY_NOISE_H
#define TAPELOOM_ZX_AY_NOISE_H

#include <stdint.h>

enum {
    AY_NOISE_LENGTH = 131071,
    AY_NOISE_WORDS = (AY_NOISE_LENGTH + 63) / 32 + 1 /* 32 bits readable from any place */
};

/* Bit p (word p / 32, bit p % 32) is the output after p shifts from reset (written at build
 * time by ay_noise.py); past the sequence's end the table repeats its start. */
extern const uint32_t ay_noise_bits[AY_NOISE_WORDS];

#endif
