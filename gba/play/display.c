#include "play/display.h"

enum {
    SPRITES_ACROSS = 4,
    SPRITES_DOWN = 3,
    SPRITE_SIZE = 64,
    NORMAL_LEVEL = 26, /* 0xD7 of 0xFF, in 5 bits */
    BRIGHT_LEVEL = 31,
    FLASH_PERIOD = 16 /* frames per FLASH phase */
};

/* Per attribute byte: the ink and paper nibble repeated over a tile row, FLASH applied. */
typedef struct {
    u32 ink, paper;
} CellColours;

static CellColours cell_colours[256] EWRAM_BSS;
/* Screen byte -> mask with nibble i = 0xF when pixel i (bit 7 - i) is ink. */
static u32 expand[256] IWRAM_DATA;
static u32 flash_phase IWRAM_DATA;

/* Palette index of Spectrum colour c (bit 0 blue, 1 red, 2 green): 1-7 normal, 9-15 bright,
 * 8 black (index 0 is transparent for sprites, so black never uses it). */
static u32 colour_index(u32 c, u32 bright) {
    return c == 0 ? 8 : c + (bright ? 8 : 0);
}

IWRAM_CODE static void build_cell_colours(u32 phase) {
    for (u32 a = 0; a < 256; ++a) {
        u32 bright = (a >> 6) & 1;
        u32 ink = colour_index(a & 7, bright) * 0x11111111u;
        u32 paper = colour_index((a >> 3) & 7, bright) * 0x11111111u;
        if ((a & 0x80) && phase) {
            u32 t = ink;
            ink = paper;
            paper = t;
        }
        cell_colours[a].ink = ink;
        cell_colours[a].paper = paper;
    }
}

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
        expand[b] = m;
    }
    flash_phase = 0;
    build_cell_colours(0);
    PAL_OBJ[0] = 0;
    for (u32 c = 0; c < 8; ++c) {
        u32 r = (c >> 1) & 1, g = (c >> 2) & 1, b = c & 1;
        PAL_OBJ[colour_index(c, 0)] = RGB15(r * NORMAL_LEVEL, g * NORMAL_LEVEL, b * NORMAL_LEVEL);
        if (c)
            PAL_OBJ[colour_index(c, 1)] =
                RGB15(r * BRIGHT_LEVEL, g * BRIGHT_LEVEL, b * BRIGHT_LEVEL);
    }
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

IWRAM_CODE void display_update(const u8* screen, u32 rows, u32 frame) {
    u32 phase = (frame / FLASH_PERIOD) & 1;
    if (phase != flash_phase) {
        flash_phase = phase;
        build_cell_colours(phase);
        const u8* attrs = screen + 0x1800;
        for (u32 cell = 0; cell < 768; ++cell)
            if (attrs[cell] & 0x80)
                rows |= 1u << (cell >> 5);
    }
    rows &= 0xFFFFFF;
    while (rows) {
        u32 cy = (u32)__builtin_ctz(rows);
        rows &= rows - 1;
        const u8* bitmap = screen + ((cy & 0x18) << 8) + ((cy & 7) << 5);
        const u8* attrs = screen + 0x1800 + (cy << 5);
        volatile u32* dst = OBJ_TILES + (cy << 8); /* 32 tiles of 8 words per character row */
        for (u32 cx = 0; cx < 32; ++cx, dst += 8) {
            const CellColours* c = &cell_colours[attrs[cx]];
            u32 paper = c->paper, diff = c->ink ^ c->paper;
            const u8* p = bitmap + cx;
            dst[0] = paper ^ (diff & expand[p[0]]);
            dst[1] = paper ^ (diff & expand[p[256]]);
            dst[2] = paper ^ (diff & expand[p[512]]);
            dst[3] = paper ^ (diff & expand[p[768]]);
            dst[4] = paper ^ (diff & expand[p[1024]]);
            dst[5] = paper ^ (diff & expand[p[1280]]);
            dst[6] = paper ^ (diff & expand[p[1536]]);
            dst[7] = paper ^ (diff & expand[p[1792]]);
        }
    }
}
