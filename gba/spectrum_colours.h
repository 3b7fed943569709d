/* The Spectrum's 15 colours as the cartridge shows them, shared by the menu's picture and the
 * emulator's screen so that both look the same. */
#ifndef TAPELOOM_SPECTRUM_COLOURS_H
#define TAPELOOM_SPECTRUM_COLOURS_H

#include "hw/gba.h"

enum {
    SPECTRUM_NORMAL_LEVEL = 26, /* 0xD7 of 0xFF, in 5 bits */
    SPECTRUM_BRIGHT_LEVEL = 31
};

/* Palette index of Spectrum colour c (bit 0 blue, 1 red, 2 green): 1-7 normal, 9-15 bright,
 * 8 black (index 0 stays transparent, so black never uses it). */
static inline u32 spectrum_colour_index(u32 c, u32 bright) {
    return c == 0 ? 8 : c + (bright ? 8 : 0);
}

/* Writes the 15 colours into the 16-colour palette bank at `bank`, at spectrum_colour_index. */
static inline void spectrum_palette_fill(volatile u16* bank) {
    for (u32 c = 0; c < 8; ++c) {
        u32 r = (c >> 1) & 1, g = (c >> 2) & 1, b = c & 1;
        bank[spectrum_colour_index(c, 0)] =
            RGB15(r * SPECTRUM_NORMAL_LEVEL, g * SPECTRUM_NORMAL_LEVEL, b * SPECTRUM_NORMAL_LEVEL);
        if (c)
            bank[spectrum_colour_index(c, 1)] = RGB15(
                r * SPECTRUM_BRIGHT_LEVEL, g * SPECTRUM_BRIGHT_LEVEL, b * SPECTRUM_BRIGHT_LEVEL);
    }
}

#endif
