#include "menu/text.h"

#include "menu/font.h"

#define TEXT_CHARBLOCK 0
#define TEXT_SCREENBLOCK 31
#define TEXT_MAP_COLS 32

/* Colour 1 is the cell's paper, colour 2 its ink (colour 0 stays transparent, never used). */
static const u16 text_schemes[][2] = {
    [TEXT_NORMAL] = {RGB15(2, 3, 9), RGB15(26, 26, 28)},
    [TEXT_CURSOR] = {RGB15(31, 27, 6), RGB15(2, 3, 9)},
    [TEXT_TITLE] = {RGB15(6, 9, 22), RGB15(31, 31, 31)},
    [TEXT_DIM] = {RGB15(2, 3, 9), RGB15(15, 16, 20)},
    [TEXT_ALERT] = {RGB15(2, 3, 9), RGB15(31, 14, 12)},
    [TEXT_VALUE] = {RGB15(2, 3, 9), RGB15(12, 28, 30)},
};

static volatile u16* text_map(void) {
    return SCREEN_BLOCK(TEXT_SCREENBLOCK);
}

void text_init(void) {
    REG_DISPCNT = DCNT_FORCED_BLANK;
    volatile u32* tiles = (volatile u32*)CHAR_BLOCK(TEXT_CHARBLOCK);
    for (int ch = FONT_FIRST; ch <= FONT_LAST; ++ch) {
        for (int y = 0; y < 8; ++y) {
            u8 bits = font_row(ch, y);
            u32 row = 0;
            for (int x = 0; x < 8; ++x)
                row |= (u32)((bits >> x) & 1 ? 2 : 1) << (4 * x);
            *tiles++ = row;
        }
    }
    for (unsigned s = 0; s < sizeof text_schemes / sizeof text_schemes[0]; ++s) {
        PAL_BG[s * 16 + 1] = text_schemes[s][0];
        PAL_BG[s * 16 + 2] = text_schemes[s][1];
    }
    PAL_BG[0] = text_schemes[TEXT_NORMAL][0];
    REG_BG0CNT = BGCNT_PRIO(0) | BGCNT_CHARBASE(TEXT_CHARBLOCK) | BGCNT_4BPP |
                 BGCNT_SCREENBASE(TEXT_SCREENBLOCK) | BGCNT_SIZE_256x256;
    REG_BG0HOFS = 0;
    REG_BG0VOFS = 0;
    text_clear();
    REG_DISPCNT = DCNT_MODE0 | DCNT_BG0;
}

static u16 text_cell(int ch, enum TextStyle style) {
    if (ch < FONT_FIRST || ch > FONT_LAST)
        ch = '?';
    return (u16)((ch - FONT_FIRST) | ((u16)style << 12));
}

void text_clear(void) {
    volatile u32* map = (volatile u32*)text_map();
    for (int i = 0; i < TEXT_MAP_COLS * 32 / 2; ++i)
        map[i] = 0;
}

void text_clear_row(int row, enum TextStyle style) {
    if (row < 0 || row >= TEXT_ROWS)
        return;
    u16 blank = text_cell(' ', style);
    for (int col = 0; col < TEXT_MAP_COLS; ++col)
        text_map()[row * TEXT_MAP_COLS + col] = blank;
}

int text_put_char(int col, int row, int ch, enum TextStyle style) {
    if (col >= 0 && col < TEXT_COLS && row >= 0 && row < TEXT_ROWS)
        text_map()[row * TEXT_MAP_COLS + col] = text_cell(ch, style);
    return col + 1;
}

int text_put(int col, int row, const char* s, enum TextStyle style) {
    while (*s && col < TEXT_COLS)
        col = text_put_char(col, row, (u8)*s++, style);
    return col;
}

int text_put_field(int col, int row, const char* s, int n, enum TextStyle style) {
    int i = 0;
    for (; i < n && s[i]; ++i)
        text_put_char(col + i, row, (u8)s[i], style);
    for (; i < n; ++i)
        text_put_char(col + i, row, ' ', style);
    return col + n;
}

int text_put_dec(int col, int row, u32 value, enum TextStyle style) {
    char digits[11];
    int n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    while (n)
        col = text_put_char(col, row, digits[--n], style);
    return col;
}

int text_put_hex(int col, int row, u32 value, int digits, enum TextStyle style) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        col = text_put_char(col, row, "0123456789ABCDEF"[(value >> shift) & 15], style);
    return col;
}

int text_char_at(int col, int row) {
    if (col < 0 || col >= TEXT_COLS || row < 0 || row >= TEXT_ROWS)
        return ' ';
    return (text_map()[row * TEXT_MAP_COLS + col] & 0x3FF) + FONT_FIRST;
}
