#include "play/keyboard_overlay.h"

#include "input.h"
#include "menu/font.h"
#include "play/display.h"
#include "play_state.h"

enum {
    ROWS = 4,
    COLUMNS = 10,
    KEY_TILES_ACROSS = 3, /* a key is 24 x 16 pixels: 3 x 2 tiles of its own */
    KEY_TILES_DOWN = 2,
    TOP_TILE_ROW = 12, /* the keyboard fills the LCD's lowest 64 lines */
    CHAR_BASE = 2,     /* tiles at 0x06008000, free VRAM (docs/memory-map.md) */
    SCREEN_BASE = 29,  /* map at 0x0600E800 */
    PALETTE_NORMAL = 8,
    PALETTE_CURSOR = 9,
    PALETTE_HELD = 10,
    PALETTE_STICKY = 11,
    /* Colour indices of a key's tiles: 0 is see-through. */
    CAP = 1,
    LABEL = 2,
    SHADOW = 3,
    STICKY_SHIFT = 1,
    STICKY_SYMBOL = 2,
    /* Slots the typed keys take (their buttons drive the keyboard, not the game). */
    SLOT_KEY = 0,    /* A */
    SLOT_SHIFT = 1,  /* B */
    SLOT_SYMBOL = 4, /* Right */
};

/* The Spectrum's keyboard, row by row as printed on it. */
static const u8 layout[ROWS][COLUMNS] = {
    {TPL_KEY_1, TPL_KEY_2, TPL_KEY_3, TPL_KEY_4, TPL_KEY_5, TPL_KEY_6, TPL_KEY_7, TPL_KEY_8,
     TPL_KEY_9, TPL_KEY_0},
    {TPL_KEY_Q, TPL_KEY_W, TPL_KEY_E, TPL_KEY_R, TPL_KEY_T, TPL_KEY_Y, TPL_KEY_U, TPL_KEY_I,
     TPL_KEY_O, TPL_KEY_P},
    {TPL_KEY_A, TPL_KEY_S, TPL_KEY_D, TPL_KEY_F, TPL_KEY_G, TPL_KEY_H, TPL_KEY_J, TPL_KEY_K,
     TPL_KEY_L, TPL_KEY_ENTER},
    {TPL_KEY_SHIFT, TPL_KEY_Z, TPL_KEY_X, TPL_KEY_C, TPL_KEY_V, TPL_KEY_B, TPL_KEY_N, TPL_KEY_M,
     TPL_KEY_SYM_SHIFT, TPL_KEY_SPACE},
};

/* Colours of a key: cap, label, shadow. */
static const u16 key_colours[4][3] = {
    [PALETTE_NORMAL - 8] = {RGB15(5, 7, 13), RGB15(31, 31, 31), RGB15(1, 2, 5)},
    [PALETTE_CURSOR - 8] = {RGB15(31, 27, 6), RGB15(2, 3, 9), RGB15(14, 11, 1)},
    [PALETTE_HELD - 8] = {RGB15(31, 9, 6), RGB15(31, 31, 31), RGB15(12, 2, 1)},
    [PALETTE_STICKY - 8] = {RGB15(4, 20, 9), RGB15(31, 31, 31), RGB15(1, 8, 3)},
};

int keyboard_overlay_shown EWRAM_BSS;

static struct {
    int row, column;
    u8 held_key; /* the key A holds, 0 none */
    u8 sticky;   /* STICKY_ bits waiting for the next key */
    u8 taken;    /* STICKY_ bits the held key took along */
    u8 closing;  /* B was pressed: closed once it is let go */
    u8 block[TPL_KEY_SLOTS];
    u32 slots;
} kb EWRAM_BSS;

static const char* label_of(u8 code) {
    switch (code) {
    case TPL_KEY_SHIFT:
        return "SHF";
    case TPL_KEY_SYM_SHIFT:
        return "SYM";
    case TPL_KEY_ENTER:
        return "ENT";
    case TPL_KEY_SPACE:
        return "SPC";
    default:
        return tpl_key_name(code);
    }
}

/* A key's six tiles (3 across, 2 down) as 4-bit pixels, row by row: the cap with rounded
 * corners and its shadow, before the label goes on. */
static void draw_cap(u32 tiles[6][8]) {
    for (int y = 0; y < 16; ++y)
        for (int tx = 0; tx < 3; ++tx) {
            u32 word = 0;
            for (int px = 7; px >= 0; --px) {
                int x = tx * 8 + px;
                int corner = (x == 1 || x == 22) && (y == 1 || y == 13);
                u32 colour = x >= 1 && x <= 22 && y >= 1 && y <= 13 && !corner ? CAP : 0;
                if (y == 14 && x >= 2 && x <= 21)
                    colour = SHADOW;
                word = word << 4 | colour;
            }
            tiles[(y / 8) * 3 + tx][y % 8] = word;
        }
}

/* Draws key (row, column) into its six tiles: the cap, the label centred on it. */
static void draw_key(const u32 cap[6][8], int row, int column) {
    u32 tiles[6][8];
    for (int t = 0; t < 6; ++t)
        for (int y = 0; y < 8; ++y)
            tiles[t][y] = cap[t][y];
    const char* label = label_of(layout[row][column]);
    u8 glyphs[4][8];
    int first[4], last[4], count = 0, width = -1;
    for (; label[count] && count < 4; ++count) {
        u32 columns = 0;
        for (int y = 0; y < 8; ++y)
            columns |= glyphs[count][y] = font_row(label[count], y);
        first[count] = __builtin_ctz(columns);
        last[count] = 31 - __builtin_clz(columns);
        width += last[count] - first[count] + 2;
    }
    int x = (24 - width) / 2;
    for (int i = 0; i < count; ++i) {
        for (int gy = 0; gy < 8; ++gy) {
            int y = 3 + gy;
            for (int gx = first[i]; gx <= last[i]; ++gx)
                if (glyphs[i][gy] >> gx & 1) {
                    int px = x + gx - first[i];
                    u32* word = &tiles[(y / 8) * 3 + px / 8][y % 8];
                    *word = (*word & ~(0xFu << (4 * (px % 8)))) | (u32)LABEL << (4 * (px % 8));
                }
        }
        x += last[i] - first[i] + 2;
    }
    int key = row * COLUMNS + column;
    volatile u32* vram = (volatile u32*)CHAR_BLOCK(CHAR_BASE) + (1 + key * 6) * 8;
    for (int t = 0; t < 6; ++t)
        for (int y = 0; y < 8; ++y)
            *vram++ = tiles[t][y];
}

static int palette_of(int row, int column) {
    u8 code = layout[row][column];
    if (code == kb.held_key)
        return PALETTE_HELD;
    if (row == kb.row && column == kb.column)
        return PALETTE_CURSOR;
    if ((code == TPL_KEY_SHIFT && (kb.sticky & STICKY_SHIFT)) ||
        (code == TPL_KEY_SYM_SHIFT && (kb.sticky & STICKY_SYMBOL)))
        return PALETTE_STICKY;
    return PALETTE_NORMAL;
}

/* The map entries of every key, with the colours of its state. */
static void paint_keys(void) {
    volatile u16* map = SCREEN_BLOCK(SCREEN_BASE);
    for (int row = 0; row < ROWS; ++row)
        for (int column = 0; column < COLUMNS; ++column) {
            u16 palette = (u16)MAP_PALETTE(palette_of(row, column));
            int tile = 1 + (row * COLUMNS + column) * 6;
            for (int ty = 0; ty < KEY_TILES_DOWN; ++ty)
                for (int tx = 0; tx < KEY_TILES_ACROSS; ++tx) {
                    int at = (TOP_TILE_ROW + row * KEY_TILES_DOWN + ty) * 32 +
                             column * KEY_TILES_ACROSS + tx;
                    map[at] = (u16)(tile + ty * KEY_TILES_ACROSS + tx) | palette;
                }
        }
    volatile SpectrumState* s = SPECTRUM_STATE;
    s->keyboard_cursor = (u32)(kb.row * COLUMNS + kb.column);
    s->keyboard_held = kb.held_key;
    s->keyboard_sticky = kb.sticky;
}

/* A key's cap while the keys are drawn: in EWRAM, as the overlay that opens the keyboard is
 * among the deepest callers of the main stack. */
static u32 cap[6][8] EWRAM_BSS;

void keyboard_overlay_open(void) {
    volatile u32* blank = (volatile u32*)CHAR_BLOCK(CHAR_BASE);
    for (int i = 0; i < 8; ++i)
        blank[i] = 0;
    volatile u32* map = (volatile u32*)SCREEN_BLOCK(SCREEN_BASE);
    for (int i = 0; i < 32 * 32 / 2; ++i)
        map[i] = 0;
    draw_cap(cap);
    for (int row = 0; row < ROWS; ++row)
        for (int column = 0; column < COLUMNS; ++column)
            draw_key(cap, row, column);
    for (int p = 0; p < 4; ++p)
        for (int c = 0; c < 3; ++c)
            PAL_BG[(PALETTE_NORMAL + p) * 16 + 1 + c] = key_colours[p][c];
    kb.held_key = kb.sticky = kb.taken = kb.closing = 0;
    kb.slots = 0;
    paint_keys();
    REG_BG1CNT = BGCNT_PRIO(0) | BGCNT_CHARBASE(CHAR_BASE) | BGCNT_4BPP |
                 BGCNT_SCREENBASE(SCREEN_BASE) | BGCNT_SIZE_256x256;
    REG_BG1HOFS = 0;
    REG_BG1VOFS = 0;
    REG_BLDCNT = BLD_TOP_BG1 | BLD_ALPHA | BLD_BOTTOM_OBJ | BLD_BOTTOM_BACKDROP;
    REG_BLDALPHA = BLDALPHA_WEIGHTS(12, 6);
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ | DCNT_BG1;
    keyboard_overlay_shown = 1;
    SPECTRUM_STATE->keyboard = 1;
}

void keyboard_overlay_close(void) {
    /* The keys covered the picture's lower rows: all of it is drawn again from the screen. */
    if (keyboard_overlay_shown)
        display_refresh();
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ;
    REG_BLDCNT = 0;
    keyboard_overlay_shown = 0;
    kb.held_key = kb.sticky = kb.taken = kb.closing = 0;
    SPECTRUM_STATE->keyboard = 0;
    SPECTRUM_STATE->keyboard_held = 0;
}

static int is_shift(u8 code) {
    return code == TPL_KEY_SHIFT || code == TPL_KEY_SYM_SHIFT;
}

/* The keys A holds now, in the slots of the buttons the keyboard uses. */
static u32 typed_slots(u8 block[TPL_KEY_SLOTS]) {
    u32 slots = 0;
    block[SLOT_KEY] = kb.held_key;
    block[SLOT_SHIFT] = TPL_KEY_SHIFT;
    block[SLOT_SYMBOL] = TPL_KEY_SYM_SHIFT;
    if (kb.held_key)
        slots |= 1u << SLOT_KEY;
    if (kb.taken & STICKY_SHIFT)
        slots |= 1u << SLOT_SHIFT;
    if (kb.taken & STICKY_SYMBOL)
        slots |= 1u << SLOT_SYMBOL;
    return slots;
}

int keyboard_overlay_frame(const u8 game_keys[TPL_KEY_SLOTS], u32* held, u8 block[TPL_KEY_SLOTS]) {
    const u32 own = KEY_A | KEY_B | KEY_UP | KEY_DOWN | KEY_LEFT | KEY_RIGHT;
    u32 buttons = *held;
    u32 pressed = input_pressed(1) & buttons;
    int redraw = 0;
    if (kb.closing) {
        if (!(buttons & own)) {
            keyboard_overlay_close();
            *held = buttons;
            return 1;
        }
    } else if (pressed & KEY_B) {
        kb.closing = 1;
        kb.held_key = kb.taken = kb.sticky = 0;
        redraw = 1;
    } else {
        int row = kb.row, column = kb.column;
        if (pressed & KEY_UP)
            row = (row + ROWS - 1) % ROWS;
        if (pressed & KEY_DOWN)
            row = (row + 1) % ROWS;
        if (pressed & KEY_LEFT)
            column = (column + COLUMNS - 1) % COLUMNS;
        if (pressed & KEY_RIGHT)
            column = (column + 1) % COLUMNS;
        if (row != kb.row || column != kb.column) {
            kb.row = row;
            kb.column = column;
            redraw = 1;
        }
        if (kb.held_key && !(buttons & KEY_A)) {
            if (!is_shift(kb.held_key) || kb.taken)
                kb.sticky = 0; /* the shifts went with this key */
            kb.held_key = kb.taken = 0;
            redraw = 1;
        } else if (!kb.held_key && (pressed & KEY_A)) {
            u8 code = layout[kb.row][kb.column];
            kb.held_key = code;
            if (is_shift(code)) {
                u8 mine = code == TPL_KEY_SHIFT ? STICKY_SHIFT : STICKY_SYMBOL;
                u8 other = kb.sticky & ~mine;
                if (other)
                    kb.taken = other; /* SHIFT and SYM SHIFT together */
                else
                    kb.sticky ^= mine;
            } else {
                kb.taken = kb.sticky;
            }
            redraw = 1;
        }
    }
    if (redraw && !kb.closing)
        paint_keys();
    else if (redraw)
        SPECTRUM_STATE->keyboard_held = 0;

    for (int slot = 0; slot < TPL_KEY_SLOTS; ++slot)
        block[slot] = (own >> slot & 1) ? TPL_KEY_NONE : game_keys[slot];
    u32 slots = (buttons & ~own) | typed_slots(block);
    *held = slots;
    int changed = slots != kb.slots || block[SLOT_KEY] != kb.block[SLOT_KEY];
    kb.slots = slots;
    for (int slot = 0; slot < TPL_KEY_SLOTS; ++slot)
        kb.block[slot] = block[slot];
    return changed;
}
