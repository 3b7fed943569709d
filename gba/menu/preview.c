#include "menu/preview.h"

#include "spectrum/snapshot.h"
#include "spectrum_colours.h"
#include "tpl_format.h"

enum {
    CHAR_BASE = 1,    /* tiles at 0x06004000 */
    SCREEN_BASE = 30, /* map at 0x0600F000 */
    PALETTE = 15,
    TILES_ACROSS = PREVIEW_WIDTH / 8,
    TILES_DOWN = (PREVIEW_HEIGHT + 7) / 8
};

static u8 screen[SNAPSHOT_SCREEN_SIZE] EWRAM_BSS;
static int rows_drawn EWRAM_BSS; /* pixel rows of the picture drawn from `screen` so far */

void preview_init(void) {
    spectrum_palette_fill(PAL_BG + PALETTE * 16);
    volatile u32* blank = (volatile u32*)CHAR_BLOCK(CHAR_BASE);
    for (int i = 0; i < 8; ++i)
        blank[i] = 0;
    preview_hide();
    rows_drawn = TILES_DOWN * 8;
    REG_BG1CNT = BGCNT_PRIO(0) | BGCNT_CHARBASE(CHAR_BASE) | BGCNT_4BPP |
                 BGCNT_SCREENBASE(SCREEN_BASE) | BGCNT_SIZE_256x256;
    REG_BG1HOFS = 0;
    REG_BG1VOFS = 0;
    REG_BG0CNT = (u16)((REG_BG0CNT & ~3u) | BGCNT_PRIO(1)); /* the text behind the picture */
    REG_DISPCNT = DCNT_MODE0 | DCNT_BG0 | DCNT_BG1;
}

void preview_hide(void) {
    volatile u32* map = (volatile u32*)SCREEN_BLOCK(SCREEN_BASE);
    for (int i = 0; i < 32 * 32 / 2; ++i)
        map[i] = 0;
}

/* Draws pixel rows [from, to) of the picture into its tiles (a row of tiles holds 8). */
static void draw_rows(int from, int to) {
    u8 byte_of[PREVIEW_WIDTH], bit_of[PREVIEW_WIDTH];
    for (int x = 0; x < PREVIEW_WIDTH; ++x) {
        int sx = (2 * x + 1) * 256 / (2 * PREVIEW_WIDTH);
        byte_of[x] = (u8)(sx >> 3);
        bit_of[x] = (u8)(0x80 >> (sx & 7));
    }
    volatile u32* tiles = (volatile u32*)CHAR_BLOCK(CHAR_BASE) + 8;
    for (int y = from; y < to; ++y) {
        int sy = (2 * y + 1) * 192 / (2 * PREVIEW_HEIGHT);
        const u8* line = screen + ((sy & 0xC0) << 5) + ((sy & 7) << 8) + ((sy & 0x38) << 2);
        const u8* attrs = screen + 0x1800 + (sy >> 3) * 32;
        for (int tx = 0; tx < TILES_ACROSS; ++tx) {
            u32 word = 0;
            if (y < PREVIEW_HEIGHT)
                for (int px = 7; px >= 0; --px) {
                    int x = tx * 8 + px;
                    u32 attr = attrs[byte_of[x]];
                    u32 c = line[byte_of[x]] & bit_of[x] ? attr & 7 : (attr >> 3) & 7;
                    word = word << 4 | spectrum_colour_index(c, attr & 0x40);
                }
            tiles[((y >> 3) * TILES_ACROSS + tx) * 8 + (y & 7)] = word;
        }
    }
}

int preview_show(const u8* data, u32 size, int kind) {
    SnapshotResult result = snapshot_read_screen(
        data, size, kind == TPL_KIND_SNA ? SNAPSHOT_SNA : SNAPSHOT_Z80, screen);
    if (result != SNAPSHOT_OK) {
        preview_hide();
        rows_drawn = TILES_DOWN * 8;
        return result;
    }
    rows_drawn = 0;
    volatile u16* map = SCREEN_BLOCK(SCREEN_BASE);
    for (int ty = 0; ty < TILES_DOWN; ++ty)
        for (int tx = 0; tx < TILES_ACROSS; ++tx)
            map[(PREVIEW_Y / 8 + ty) * 32 + PREVIEW_X / 8 + tx] =
                (u16)((1 + ty * TILES_ACROSS + tx) | MAP_PALETTE(PALETTE));
    return result;
}

int preview_step(void) {
    if (rows_drawn >= TILES_DOWN * 8)
        return 1;
    int to = rows_drawn + PREVIEW_ROWS_PER_STEP;
    if (to > TILES_DOWN * 8)
        to = TILES_DOWN * 8;
    draw_rows(rows_drawn, to);
    rows_drawn = to;
    return rows_drawn >= TILES_DOWN * 8;
}

const u8* preview_screen(void) {
    return screen;
}
