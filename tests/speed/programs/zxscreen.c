#include "zxscreen.h"

#include <string.h>

#define ROM_FONT ((const unsigned char *)0x3d00)

unsigned char *zx_pixel_row(unsigned char y) {
    return (unsigned char *)(0x4000u | ((unsigned int)(y & 0xc0) << 5) |
                             ((unsigned int)(y & 7) << 8) | ((y & 0x38) << 2));
}

void zx_cls(unsigned char attr) {
    memset((void *)0x4000, 0, 0x1800);
    memset(ZX_ATTRS, attr, 0x300);
}

void zx_put_char(unsigned char col, unsigned char row, char c) {
    const unsigned char *glyph = ROM_FONT + (unsigned int)((unsigned char)c - 32) * 8;
    unsigned char *p = zx_pixel_row(row << 3) + col;
    unsigned char i;
    for (i = 0; i < 8; ++i) {
        *p = glyph[i];
        p += 256;
    }
}

void zx_print(unsigned char col, unsigned char row, const char *text) {
    while (*text && col < 32)
        zx_put_char(col++, row, *text++);
}

void zx_print_number(unsigned char col, unsigned char row, unsigned int value, unsigned char width) {
    char digits[6];
    unsigned char n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value && n < sizeof digits);
    while (width > n) {
        zx_put_char(col++, row, ' ');
        --width;
    }
    while (n)
        zx_put_char(col++, row, digits[--n]);
}
