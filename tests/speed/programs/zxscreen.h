/* The Spectrum screen for the compiled programs: pixel rows, attributes, and text drawn with the
 * ROM's character set (3D00h), as compiled Spectrum programs commonly do. */
#ifndef ZXSCREEN_H
#define ZXSCREEN_H

#define ZX_ATTRS ((unsigned char *)0x5800)

/* Address of pixel line y (0-191), column 0. */
unsigned char *zx_pixel_row(unsigned char y);
void zx_cls(unsigned char attr);
/* Character cell (col, row), row 0-23, from the ROM font; codes 32-127. */
void zx_put_char(unsigned char col, unsigned char row, char c);
void zx_print(unsigned char col, unsigned char row, const char *text);
/* Decimal, right-aligned in `width` cells. */
void zx_print_number(unsigned char col, unsigned char row, unsigned int value, unsigned char width);

#endif
