/* A 30x20 character text screen on a mode 0 background, drawn with the font. */
#ifndef TAPELOOM_TEXT_H
#define TAPELOOM_TEXT_H

#include "hw/gba.h"

#define TEXT_COLS 30
#define TEXT_ROWS 20

/* Colour schemes (palette banks): ink and paper of a character cell. */
enum TextStyle {
    TEXT_NORMAL = 0, /* light grey on dark blue */
    TEXT_CURSOR = 1, /* dark blue on yellow: the selected line */
    TEXT_TITLE = 2,  /* white on blue: title and status bars */
    TEXT_DIM = 3,    /* grey on dark blue: hints */
    TEXT_ALERT = 4,  /* light red on dark blue: warnings */
    TEXT_VALUE = 5,  /* cyan on dark blue: values in detail views */
};

/* Switches to mode 0 with BG0 as the text layer (char block 0, screen block 31), uploads the
 * font and the colour schemes, clears the screen. */
void text_init(void);
void text_clear(void);
/* Fills one row with spaces in the style. */
void text_clear_row(int row, enum TextStyle style);
/* Writes a string from (col,row), clipped at the right edge; returns the column after it. */
int text_put(int col, int row, const char* s, enum TextStyle style);
/* Writes at most n characters of s, then spaces up to n. */
int text_put_field(int col, int row, const char* s, int n, enum TextStyle style);
int text_put_char(int col, int row, int ch, enum TextStyle style);
/* Unsigned decimal, and hexadecimal with `digits` digits. */
int text_put_dec(int col, int row, u32 value, enum TextStyle style);
int text_put_hex(int col, int row, u32 value, int digits, enum TextStyle style);
/* The character at (col,row), for tests and callers that restore the screen. */
int text_char_at(int col, int row);

#endif
