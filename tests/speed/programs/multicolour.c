/* A compiled-C demo on a multicolour engine: the interrupt routine (mcengine.s) waits for the
 * beam and rewrites eight attribute cells on each of 64 screen lines with timing loops; this
 * loop computes the next colours of those 64 x 8 cells from sine tables, frame after frame. */
#include "zxscreen.h"

unsigned char mc_colours[64][8]; /* read by the interrupt routine */
volatile unsigned char ticks;    /* counted by the interrupt routine */

static const signed char sine[64] = {
    0,   3,   6,   9,   12,  15,  17,  20,  22,  24,  26,  28,  29,  30,  31,  31,
    31,  31,  31,  30,  29,  28,  26,  24,  22,  20,  17,  15,  12,  9,   6,   3,
    0,   -3,  -6,  -9,  -12, -15, -17, -20, -22, -24, -26, -28, -29, -30, -31, -31,
    -31, -31, -31, -30, -29, -28, -26, -24, -22, -20, -17, -15, -12, -9,  -6,  -3};

static const unsigned char palette[16] = {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0x78,
                                          0x70, 0x68, 0x60, 0x58, 0x50, 0x48, 0x40, 0x00};

static unsigned char colour_at(unsigned char line, unsigned char column, unsigned char time) {
    int v = sine[(line + time) & 63] + sine[(column * 8 + time * 2) & 63] +
            sine[(line + column * 4 - time) & 63];
    return palette[(unsigned char)(v >> 3) & 15];
}

void main(void) {
    unsigned char line, column, time = 0;
    zx_cls(0x38);
    for (line = 0; line < 64; ++line) {
        unsigned char *p = zx_pixel_row((unsigned char)(64 + line)) + 12;
        for (column = 0; column < 8; ++column)
            p[column] = (line & 1) ? 0xaa : 0x55;
    }
    zx_print(9, 4, "MULTICOLOUR");
    for (;;) {
        for (line = 0; line < 64; ++line)
            for (column = 0; column < 8; ++column)
                mc_colours[line][column] = colour_at(line, column, time);
        ++time;
        zx_print_number(14, 20, ticks, 3);
    }
}
