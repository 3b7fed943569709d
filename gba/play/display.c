#include "play/display.h"

#include "spectrum_colours.h"

enum {
    SPRITES_ACROSS = 4,
    SPRITES_DOWN = 3,
    SPRITE_SIZE = 64,
    FLASH_PERIOD = 16, /* frames per FLASH phase */
    ROWS = 24,
    GROUP_WORDS = 9,             /* the copy of four cells: eight pixel lines, attributes */
    ROW_WORDS = 8 * GROUP_WORDS, /* a character row of the copy */
    ALL_CELLS = 0xFFFFFFFFu,
    BUSY_CELLS = 24,   /* a row with this many cells changed, twice running, is rewritten whole */
    BLIND_FRAMES = 32, /* frame after frame: it is then drawn whole for this many frames */
    BEAM_MARGIN = 4,   /* LCD lines the first row to draw needs before the LCD */
    LCD_LINES = 160,
    LCD_FRAME_LINES = 228
};

/* Screen byte -> mask with nibble i = 0xF when pixel i (bit 7 - i) is ink; then the 16 colours
 * (BRIGHT in bit 3) as palette indexes repeated over a tile row. display_convert.S reads it. */
u32 display_pixel_table[256 + 16] IWRAM_DATA;
#define COLOUR_WORDS 256

/* The screen as last compared, four cells to a group: the group's word of each pixel line, then
 * of the attributes. It lives in background VRAM, which play leaves unused (docs/memory-map.md),
 * where a word reads in 2 cycles against EWRAM's 6. */
#define SHADOW_OFFSET 0xA000 /* behind the on-screen keyboard's tiles, 0x8000-0x9E1F */
#define shadow ((u32*)(MEM_VRAM + SHADOW_OFFSET))
_Static_assert(SHADOW_OFFSET - 0x8000 + ROWS * ROW_WORDS * 4 <= 0x4000,
               "the copy ends in character block 2, before the keyboard's map");
static u32 row_cells[ROWS] EWRAM_BSS;   /* cells found and not yet drawn, bit n = column n */
static u32 blind_until[ROWS] EWRAM_BSS; /* frame from which a blind row is compared again */
static u8 row_busy[ROWS] EWRAM_BSS;     /* comparisons in a row that found it mostly changed */
/* Rows (bit n = row n): written since the last comparison; with cells to draw; to be drawn
 * whole; drawn without comparing for now (blind); whose copy is out of date. */
static u32 marked_rows EWRAM_BSS, waiting_rows EWRAM_BSS, whole_rows EWRAM_BSS;
static u32 blind_rows EWRAM_BSS, stale_rows EWRAM_BSS;
static u32 blind_check EWRAM_BSS; /* the earliest blind_until of the blind rows */
static u32 flash_phase EWRAM_BSS, view_scaled EWRAM_BSS, view_pan_y EWRAM_BSS;

/* Set bits of x (the library's popcount is a call). */
static inline u32 cell_count(u32 x) {
    x -= (x >> 1) & 0x55555555u;
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
}

static const u8* bitmap_row(const u8* screen, u32 row) {
    return screen + ((row & 0x18) << 8) + ((row & 7) << 5);
}

static const u8* attribute_row(const u8* screen, u32 row) {
    return screen + 0x1800 + (row << 5);
}

/* Compares a character row with its copy, four cells at a time, and updates the copy; returns
 * the cells that differ (bit n = column n). */
IWRAM_CODE static u32 compare_row(const u8* bitmap, const u8* attrs, u32* copy) {
    u32 changed = 0;
    for (u32 column = 0; column < 32; column += 4, copy += GROUP_WORDS) {
        const u32* line = (const u32*)(bitmap + column);
        u32 w0 = line[0], w1 = line[64], w2 = line[128], w3 = line[192];
        u32 w4 = line[256], w5 = line[320], w6 = line[384], w7 = line[448];
        u32 a = *(const u32*)(attrs + column);
        u32 d = (w0 ^ copy[0]) | (w1 ^ copy[1]) | (w2 ^ copy[2]) | (w3 ^ copy[3]) | (w4 ^ copy[4]) |
                (w5 ^ copy[5]) | (w6 ^ copy[6]) | (w7 ^ copy[7]) | (a ^ copy[8]);
        if (d) {
            copy[0] = w0, copy[1] = w1, copy[2] = w2, copy[3] = w3;
            copy[4] = w4, copy[5] = w5, copy[6] = w6, copy[7] = w7, copy[8] = a;
            u32 cells = (d & 0xFF ? 1u : 0) | (d & 0xFF00 ? 2u : 0) | (d & 0xFF0000 ? 4u : 0) |
                        (d & 0xFF000000 ? 8u : 0);
            changed |= cells << column;
        }
    }
    return changed;
}

/* Converts the cells of a character row whose bits are set into their tiles; `flash` is 0x80
 * while FLASH shows ink as paper (display_convert.S). */
__attribute__((long_call)) void display_convert_cells(const u8* bitmap, const u8* attrs, u32* tile,
                                                      u32 cells, u32 flash);

static void set_matrix(int m, int pa, int pd) {
    volatile u16* p = OAM + m * 16;
    p[3] = (u16)pa;
    p[7] = 0;
    p[11] = 0;
    p[15] = (u16)pd;
}

void display_init(void) {
    REG_DISPCNT = DCNT_MODE0 | DCNT_FORCED_BLANK;
    for (u32 b = 0; b < 256; ++b) {
        u32 m = 0;
        for (int i = 0; i < 8; ++i)
            if (b & (0x80 >> i))
                m |= 0xFu << (4 * i);
        display_pixel_table[b] = m;
    }
    for (u32 i = 0; i < 16; ++i)
        display_pixel_table[COLOUR_WORDS + i] = spectrum_colour_index(i & 7, i >> 3) * 0x11111111u;
    for (u32 r = 0; r < ROWS; ++r) {
        row_cells[r] = 0;
        row_busy[r] = 0;
    }
    marked_rows = waiting_rows = whole_rows = blind_rows = 0;
    blind_check = ~0u;
    stale_rows = (1u << ROWS) - 1; /* the tiles show nothing of the screen yet */
    flash_phase = 0;
    PAL_OBJ[0] = 0;
    spectrum_palette_fill(PAL_OBJ);
    PAL_BG[0] = 0;
    for (int i = 0; i < 128; ++i) {
        OAM[i * 4] = ATTR0_HIDE;
        OAM[i * 4 + 1] = 0;
        OAM[i * 4 + 2] = 0;
    }
    display_set_view(DISPLAY_SCALED, 0, 0);
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ;
}

/* Scaled: the hardware samples texel floor(p * i / 256) + 32 for the pixel i places from a
 * sprite's centre. p = 273 shows 61 of 64 columns per sprite (4 x 60 + overlaps = 240 px);
 * 307 shows 53 rows and 303 shows 55, so rows of 53 + 55 + 53 cover the 160 lines. */
void display_set_view(int view, int pan_x, int pan_y) {
    static const int row_top[SPRITES_DOWN] = {0, 53, 107};
    static const int row_margin[SPRITES_DOWN] = {6, 5, 6};
    view_scaled = view == DISPLAY_SCALED;
    view_pan_y = (u32)pan_y;
    if (view == DISPLAY_SCALED) {
        set_matrix(0, 273, 307);
        set_matrix(1, 273, 303);
    } else {
        set_matrix(0, 256, 256);
        set_matrix(1, 256, 256);
    }
    for (int sy = 0; sy < SPRITES_DOWN; ++sy) {
        for (int sx = 0; sx < SPRITES_ACROSS; ++sx) {
            int x, y, matrix;
            if (view == DISPLAY_SCALED) {
                x = 60 * sx - 2;
                y = row_top[sy] - row_margin[sy];
                matrix = sy == 1 ? 1 : 0;
            } else {
                x = SPRITE_SIZE * sx - pan_x;
                y = SPRITE_SIZE * sy - pan_y;
                matrix = 0;
            }
            /* Lower rows first: where two rows overlap by a line, the lower one shows. */
            int i = (SPRITES_DOWN - 1 - sy) * SPRITES_ACROSS + sx;
            volatile u16* o = OAM + i * 4;
            o[0] = (u16)((y & ATTR0_Y_MASK) | ATTR0_AFFINE); /* 4 bpp */
            o[1] = (u16)((x & ATTR1_X_MASK) | ATTR1_MATRIX(matrix) | ATTR1_SIZE_64);
            o[2] = (u16)((sy * 8 * 32 + sx * 8) | ATTR2_PRIORITY(1)); /* first tile */
        }
    }
}

void display_close(void) {
    for (int i = 0; i < SPRITES_ACROSS * SPRITES_DOWN; ++i)
        OAM[i * 4] = ATTR0_HIDE;
}

void display_mark(u32 rows) {
    marked_rows |= rows & ((1u << ROWS) - 1);
}

static void add_cells(u32 r, u32 cells) {
    row_cells[r] |= cells;
    waiting_rows |= 1u << r;
}

/* Rows whose blind frames are over are compared again. */
static void end_blind_rows(u32 frame) {
    blind_check = ~0u;
    for (u32 r = 0, rows = blind_rows; rows; ++r, rows >>= 1) {
        if (!(rows & 1))
            continue;
        if (blind_until[r] <= frame)
            blind_rows &= ~(1u << r);
        else if (blind_until[r] < blind_check)
            blind_check = blind_until[r];
    }
}

static void start_blind(u32 r, u32 frame) {
    blind_rows |= 1u << r;
    blind_until[r] = frame + BLIND_FRAMES;
    if (blind_until[r] < blind_check)
        blind_check = blind_until[r];
}

u32 display_prepare(const u8* screen, u32 frame) {
    if (frame >= blind_check)
        end_blind_rows(frame);
    u32 blind = marked_rows & blind_rows, rows = marked_rows & ~blind_rows;
    marked_rows = 0;
    whole_rows |= blind;
    waiting_rows |= blind;
    stale_rows |= blind;
    for (u32 r = 0; rows; ++r, rows >>= 1) {
        if (!(rows & 1))
            continue;
        u32 bit = 1u << r;
        u32 cells =
            compare_row(bitmap_row(screen, r), attribute_row(screen, r), shadow + r * ROW_WORDS);
        if (stale_rows & bit) { /* the copy is up to date again, but not what the tiles show */
            stale_rows &= ~bit;
            whole_rows |= bit;
            waiting_rows |= bit;
            /* A row rewritten whole before that changed as much since stays blind. */
            if (row_busy[r] >= 2 && cell_count(cells) >= BUSY_CELLS)
                start_blind(r, frame);
            continue;
        }
        if (cell_count(cells) < BUSY_CELLS)
            row_busy[r] = 0;
        else if (++row_busy[r] >= 2)
            start_blind(r, frame);
        if (cells)
            add_cells(r, cells);
    }
    u32 phase = (frame / FLASH_PERIOD) & 1;
    if (phase != flash_phase) { /* every FLASH cell changes colour */
        flash_phase = phase;
        for (u32 r = 0; r < ROWS; ++r) {
            const u32* attrs = (const u32*)attribute_row(screen, r);
            u32 cells = 0;
            for (u32 g = 0; g < 8; ++g) {
                /* FLASH on, and ink unlike paper */
                u32 a = attrs[g], differ = (a ^ (a >> 3)) & 0x07070707u;
                u32 flashing = a & (differ + 0x7F7F7F7Fu) & 0x80808080u;
                if (flashing)
                    cells |= ((flashing >> 7 & 1) | (flashing >> 14 & 2) | (flashing >> 21 & 4) |
                              (flashing >> 28 & 8))
                             << (4 * g);
            }
            if (cells)
                add_cells(r, cells);
        }
    }
    return waiting_rows;
}

u32 display_waiting_cells(void) {
    u32 count = 0;
    for (u32 r = 0, rows = waiting_rows; rows; ++r, rows >>= 1)
        if (rows & 1)
            count += whole_rows & (1u << r) ? 32 : cell_count(row_cells[r]);
    return count;
}

void display_refresh(void) {
    blind_rows = 0;
    stale_rows = marked_rows = (1u << ROWS) - 1;
}

/* LCD lines of character row r's top and bottom edges in the current view (the scaled view's
 * rows are 6 2/3 lines high). */
static int row_top_line(u32 r) {
    return view_scaled ? (int)((r * 6827) >> 10) : (int)(r * 8) - (int)view_pan_y; /* r * 20 / 3 */
}

u32 display_lines_to_wait(void) {
    if (!waiting_rows)
        return 0;
    u32 first = 0, last = ROWS - 1; /* the waiting rows' first and last */
    while (!(waiting_rows >> first & 1))
        ++first;
    while (!(waiting_rows >> last & 1))
        --last;
    int top = row_top_line(first) - BEAM_MARGIN, bottom = row_top_line(last + 1) + 1;
    if (bottom < 0 || top >= LCD_LINES)
        return 0; /* panned out of sight */
    if (bottom > LCD_LINES)
        bottom = LCD_LINES;
    int v = REG_VCOUNT;
    if (top < 0 && v >= LCD_FRAME_LINES + top) /* the end of VBlank, before the first rows */
        v -= LCD_FRAME_LINES;
    return v >= top && v < bottom ? (u32)(bottom - v) : 0;
}

u32 display_row_count(u32 rows) {
    return cell_count(rows);
}

u32 display_draw(const u8* screen) {
    u32 drawn = waiting_rows, flash = flash_phase ? 0x80 : 0;
    for (u32 r = 0, rows = drawn; rows; ++r, rows >>= 1) {
        if (rows & 1) {
            u32 cells = whole_rows & (1u << r) ? ALL_CELLS : row_cells[r];
            display_convert_cells(bitmap_row(screen, r), attribute_row(screen, r),
                                  (u32*)OBJ_TILES + r * 256, cells, flash);
            row_cells[r] = 0;
        }
    }
    waiting_rows = whole_rows = 0;
    return drawn;
}
