#include "play/overlay.h"

#include "input.h"
#include "menu/text.h"
#include "play/display.h"
#include "play/save_states.h"
#include "play_state.h"

enum {
    TRANSPARENT_TILE = 127, /* an all-zero tile of the text layer's character block */
    TEXT_SCREENBLOCK = 31,
    TITLE_ROW = 8,
    FIRST_ITEM_ROW = 9,
    MESSAGE_ROW = 16, /* three rows of messages, then the hint */
    MESSAGE_ROWS = 3,
    HINT_ROW = 19,
    PAN_STEP = 4
};

enum Item {
    ITEM_RESUME,
    ITEM_KEYBOARD,
    ITEM_SAVE,
    ITEM_LOAD,
    ITEM_RESET,
    ITEM_VIEW,
    ITEM_MENU,
    ITEMS
};

/* The overlay's state while it is open. */
typedef struct Overlay {
    const OverlayGame* game;
    int* view;
    int selected;
    int picking; /* ITEM_SAVE or ITEM_LOAD while the slots are listed, else -1 */
    int slot;    /* the slot under the cursor */
    SaveDirectory dir;
    int scanned;      /* dir read from the save memory */
    char message[96]; /* shown under the list */
    enum TextStyle message_style;
} Overlay;

static int enabled(const Overlay* o, int item) {
    if (item == ITEM_SAVE || item == ITEM_LOAD)
        return o->game->owner != 0;
    if (item == ITEM_MENU)
        return o->game->has_menu;
    return 1;
}

/* Lets the game show through a row again. */
static void clear_to_game(int row) {
    volatile u16* map = SCREEN_BLOCK(TEXT_SCREENBLOCK);
    for (int col = 0; col < 32; ++col)
        map[row * 32 + col] = TRANSPARENT_TILE;
}

static void put_row(int row, const char* text, enum TextStyle style) {
    text_clear_row(row, style);
    text_put(1, row, text, style);
}

static void draw_message(const Overlay* o) {
    const char* text = o->message;
    for (int i = 0; i < MESSAGE_ROWS; ++i) {
        int row = MESSAGE_ROW + i;
        if (!*text) {
            clear_to_game(row);
            continue;
        }
        char line[TEXT_COLS + 1];
        int n = 0;
        while (text[n] && text[n] != '\n' && n < TEXT_COLS - 2) {
            line[n] = text[n];
            ++n;
        }
        line[n] = 0;
        put_row(row, line, o->message_style);
        text += n;
        if (*text == '\n')
            ++text;
    }
}

static void draw_items(const Overlay* o) {
    static const char* const labels[ITEMS] = {
        "Resume", "Keyboard", "Save state", "Load state", "Reset snapshot", 0, "Back to menu"};
    put_row(TITLE_ROW, "Paused", TEXT_TITLE);
    for (int i = 0; i < ITEMS; ++i) {
        enum TextStyle style = i == o->selected ? TEXT_CURSOR : TEXT_NORMAL;
        const char* label = labels[i];
        if (i == ITEM_VIEW)
            label = *o->view == DISPLAY_SCALED ? "View: scaled" : "View: 1:1";
        if (!enabled(o, i))
            label = "";
        text_clear_row(FIRST_ITEM_ROW + i, style);
        text_put(2, FIRST_ITEM_ROW + i, label, style);
    }
    put_row(HINT_ROW,
            *o->view == DISPLAY_ONE_TO_ONE ? "A:choose B:resume R+D-pad:pan"
                                           : "A: choose  B: resume",
            TEXT_DIM);
}

static void draw_slots(const Overlay* o) {
    put_row(TITLE_ROW, o->picking == ITEM_SAVE ? "Save state" : "Load state", TEXT_TITLE);
    for (int k = 0; k < TPL_SAVE_SLOTS; ++k) {
        const SaveSlot* s = &o->dir.slots[k];
        int row = FIRST_ITEM_ROW + k;
        enum TextStyle style = k == o->slot ? TEXT_CURSOR : TEXT_NORMAL;
        text_clear_row(row, style);
        int col = text_put(2, row, "Slot ", style);
        col = text_put_dec(col, row, (u32)k + 1, style);
        if (s->status == SAVE_SLOT_EMPTY) {
            text_put(col + 2, row, "(empty)", k == o->slot ? style : TEXT_DIM);
        } else if (s->status == SAVE_SLOT_DAMAGED) {
            text_put(col + 2, row, "(damaged)", k == o->slot ? style : TEXT_ALERT);
        } else {
            int mine = o->game->owner && s->owner.entry_id == o->game->owner->entry_id;
            text_put(col + 2, row, s->owner.name, k == o->slot || mine ? style : TEXT_DIM);
            u32 kib = (s->length + TPL_STATE_HEADER_SIZE + 1023) / 1024;
            int digits = kib >= 100 ? 3 : kib >= 10 ? 2 : 1;
            text_put_char(text_put_dec(TEXT_COLS - 1 - digits, row, kib, style), row, 'K', style);
        }
    }
    for (int row = FIRST_ITEM_ROW + TPL_SAVE_SLOTS; row < FIRST_ITEM_ROW + ITEMS; ++row)
        clear_to_game(row);
    put_row(HINT_ROW, o->picking == ITEM_SAVE ? "A: save here  B: back" : "A: load  B: back",
            TEXT_DIM);
}

static void draw(const Overlay* o) {
    if (o->picking >= 0)
        draw_slots(o);
    else
        draw_items(o);
    draw_message(o);
}

static void overlay_show(void) {
    text_init(); /* font and colour schemes; the map is then made transparent */
    volatile u32* blank = (volatile u32*)CHAR_BLOCK(0) + TRANSPARENT_TILE * 8;
    for (int i = 0; i < 8; ++i)
        blank[i] = 0;
    for (int row = 0; row < 32; ++row)
        clear_to_game(row);
    PAL_BG[0] = 0;
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ | DCNT_BG0;
}

static int clamp(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

static void move_selection(Overlay* o, int step) {
    do
        o->selected = (o->selected + ITEMS + step) % ITEMS;
    while (!enabled(o, o->selected));
}

static void set_message(Overlay* o, const char* text, enum TextStyle style) {
    int i = 0;
    for (; text[i] && i < (int)sizeof o->message - 1; ++i)
        o->message[i] = text[i];
    o->message[i] = 0;
    o->message_style = style;
}

/* A on a slot: saves or loads there. Returns 1 when a state was loaded (the game goes on). */
static int act_on_slot(Overlay* o) {
    char text[sizeof o->message];
    set_message(o, o->picking == ITEM_SAVE ? "Saving..." : "Loading...", TEXT_VALUE);
    draw_message(o);
    int result;
    if (o->picking == ITEM_SAVE)
        result = save_states_save(o->game->machine, o->game->owner, &o->dir, o->slot, text,
                                  (int)sizeof text);
    else
        result = save_states_load(o->game->machine, o->game->owner, &o->dir, o->slot, text,
                                  (int)sizeof text);
    set_message(o, text, result == STATE_SAVED || result == STATE_LOADED ? TEXT_VALUE : TEXT_ALERT);
    if (result == STATE_LOADED)
        return 1;
    if (result == STATE_SAVED) {
        o->picking = -1;
        o->selected = ITEM_RESUME;
    }
    return 0;
}

int overlay_run(int* view, int* pan_x, int* pan_y, const OverlayGame* game) {
    SPECTRUM_STATE->overlay = 1;
    overlay_show();
    static Overlay o EWRAM_BSS; /* the save directory is large for the stack */
    o.game = game;
    o.view = view;
    o.selected = ITEM_RESUME;
    o.picking = -1;
    o.slot = 0;
    o.scanned = 0;
    o.message[0] = 0;
    draw(&o);
    input_wait_release();
    int choice = -1;
    while (choice < 0) {
        bios_vblank_intr_wait();
        input_poll();
        u32 held = input_held();
        u32 pressed = input_pressed(0);
        if (*view == DISPLAY_ONE_TO_ONE && (held & KEY_R)) {
            int dx = (held & KEY_RIGHT ? PAN_STEP : 0) - (held & KEY_LEFT ? PAN_STEP : 0);
            int dy = (held & KEY_DOWN ? PAN_STEP : 0) - (held & KEY_UP ? PAN_STEP : 0);
            *pan_x = clamp(*pan_x + dx, 0, 16);
            *pan_y = clamp(*pan_y + dy, 0, 32);
            display_set_view(*view, *pan_x, *pan_y);
            continue;
        }
        if (!(pressed & (KEY_UP | KEY_DOWN | KEY_A | KEY_B)))
            continue;
        if (o.picking >= 0) {
            if (pressed & KEY_UP)
                o.slot = (o.slot + TPL_SAVE_SLOTS - 1) % TPL_SAVE_SLOTS;
            else if (pressed & KEY_DOWN)
                o.slot = (o.slot + 1) % TPL_SAVE_SLOTS;
            else if (pressed & KEY_B)
                o.picking = -1;
            else if (act_on_slot(&o))
                choice = OVERLAY_RESUME;
        } else if (pressed & KEY_UP) {
            move_selection(&o, -1);
        } else if (pressed & KEY_DOWN) {
            move_selection(&o, 1);
        } else if (pressed & KEY_B) {
            choice = OVERLAY_RESUME;
        } else if (o.selected == ITEM_VIEW) {
            *view = *view == DISPLAY_SCALED ? DISPLAY_ONE_TO_ONE : DISPLAY_SCALED;
            display_set_view(*view, *pan_x, *pan_y);
        } else if (o.selected == ITEM_SAVE || o.selected == ITEM_LOAD) {
            if (!o.scanned) {
                save_states_scan(&o.dir);
                o.scanned = 1;
            }
            o.picking = o.selected;
            o.message[0] = 0;
        } else {
            static const int choices[ITEMS] = {[ITEM_RESUME] = OVERLAY_RESUME,
                                               [ITEM_KEYBOARD] = OVERLAY_KEYBOARD,
                                               [ITEM_RESET] = OVERLAY_RESET,
                                               [ITEM_MENU] = OVERLAY_MENU};
            choice = choices[o.selected];
        }
        if (choice < 0)
            draw(&o);
    }
    input_wait_release();
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ;
    SPECTRUM_STATE->view = (u32)*view;
    SPECTRUM_STATE->overlay = 0;
    return choice;
}
