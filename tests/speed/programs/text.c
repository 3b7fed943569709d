/* A compiled text program: printf into two text windows that scroll a character row at a time
 * (a log above, a status window below, each its own cursor and colour), and a line-input
 * prompt that polls the keyboard and blinks its cursor, busy, until ENTER or about three
 * seconds. putchar draws with the ROM's character set. */
#include <stdio.h>
#include <string.h>

#include "zxscreen.h"

unsigned char in_key_code(void);

typedef struct {
    unsigned char left, top, width, height; /* in character cells */
    unsigned char col, row;                 /* cursor, inside the window */
    unsigned char attr;
} Window;

static Window log_window = {0, 0, 32, 15, 0, 0, 0x38};
static Window status_window = {1, 16, 30, 7, 0, 0, 0x0f};
static Window *out = &log_window;
volatile unsigned char ticks;

static const char *const names[8] = {"alpha", "bravo", "charlie", "delta",
                                     "echo",  "foxtrot", "golf", "hotel"};

/* Key codes of in_key_code() to characters (no shift): half-rows FEFE..7FFE, outer key first. */
static const char key_chars[41] = {0,   0,   'z', 'x', 'c', 'v', 'a', 's', 'd', 'f', 'g',
                                   'q', 'w', 'e', 'r', 't', '1', '2', '3', '4', '5', '0',
                                   '9', '8', '7', '6', 'p', 'o', 'i', 'u', 'y', '\n', 'l',
                                   'k', 'j', 'h', ' ', 0,   'm', 'n', 'b'};

void isr(void) __interrupt {
    ticks++;
}

static void scroll_up(Window *w) {
    unsigned char row, line;
    for (row = 0; row + 1 < w->height; ++row) {
        unsigned char y = (unsigned char)((w->top + row) << 3);
        for (line = 0; line < 8; ++line)
            memcpy(zx_pixel_row(y + line) + w->left, zx_pixel_row(y + 8 + line) + w->left,
                   w->width);
    }
    for (line = 0; line < 8; ++line)
        memset(zx_pixel_row((unsigned char)(((w->top + w->height - 1) << 3) + line)) + w->left,
               0, w->width);
}

static void new_line(Window *w) {
    w->col = 0;
    if (w->row + 1 < w->height)
        ++w->row;
    else
        scroll_up(w);
}

int putchar(int c) {
    Window *w = out;
    if (c == '\n') {
        new_line(w);
        return c;
    }
    if (c == '\b') {
        if (w->col)
            zx_put_char(w->left + --w->col, w->top + w->row, ' ');
        return c;
    }
    if (w->col == w->width)
        new_line(w);
    zx_put_char(w->left + w->col, w->top + w->row, (char)c);
    ++w->col;
    return c;
}

static void paint(const Window *w) {
    unsigned char row;
    for (row = 0; row < w->height; ++row)
        memset(ZX_ATTRS + (w->top + row) * 32 + w->left, w->attr, w->width);
}

/* Reads a line into buffer (at most size - 1 characters); gives up after `timeout` frames. */
static unsigned char read_line(char *buffer, unsigned char size, unsigned char timeout) {
    unsigned char length = 0, last = 0, start = ticks;
    unsigned char *cursor;
    for (;;) {
        unsigned char code = in_key_code();
        cursor = ZX_ATTRS + (out->top + out->row) * 32 + out->left + out->col;
        *cursor = (ticks & 16) ? 0x78 : out->attr;
        if ((unsigned char)(ticks - start) >= timeout)
            break;
        if (code == last)
            continue;
        last = code;
        if (!code || !key_chars[code])
            continue;
        *cursor = out->attr;
        if (key_chars[code] == '\n')
            break;
        if (length + 1 < size) {
            buffer[length++] = key_chars[code];
            putchar(key_chars[code]);
        }
    }
    *cursor = out->attr;
    buffer[length] = 0;
    return length;
}

void main(void) {
    unsigned int record = 0, checksum = 0;
    char line[24];
    zx_cls(0x00);
    paint(&log_window);
    paint(&status_window);
    for (;;) {
        unsigned char i;
        for (i = 0; i < 24; ++i, ++record) {
            out = &log_window;
            checksum += record * 37u;
            printf("%5u %-8s %04x %u\n", record, names[record & 7], checksum, record % 7);
            if ((record & 3) == 3) {
                out = &status_window;
                printf("records %u, checksum %04x\n", record + 1, checksum);
            }
        }
        out = &status_window;
        printf("> ");
        if (read_line(line, sizeof line, 150))
            printf("\n%s: unknown command\n", line);
        else
            printf("\n");
    }
}
