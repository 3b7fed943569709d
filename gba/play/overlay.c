#include "play/overlay.h"

#include "input.h"
#include "menu/text.h"
#include "play/display.h"
#include "play_state.h"

enum {
    TRANSPARENT_TILE = 127, /* an all-zero tile of the text layer's character block */
    TEXT_SCREENBLOCK = 31,
    OVERLAY_TOP = 12,
    PAN_STEP = 4
};

static void overlay_draw(int selected, int view, int has_menu) {
    static const char* const labels[OVERLAY_ITEMS] = {"Resume", "Reset snapshot", 0,
                                                      "Back to menu"};
    text_clear_row(OVERLAY_TOP, TEXT_TITLE);
    text_put(1, OVERLAY_TOP, "Paused", TEXT_TITLE);
    for (int i = 0; i < OVERLAY_ITEMS; ++i) {
        enum TextStyle style = i == selected ? TEXT_CURSOR : TEXT_NORMAL;
        int row = OVERLAY_TOP + 1 + i;
        text_clear_row(row, style);
        const char* label = labels[i];
        if (i == OVERLAY_VIEW)
            label = view == DISPLAY_SCALED ? "View: scaled" : "View: 1:1";
        if (i == OVERLAY_MENU && !has_menu)
            label = "";
        text_put(2, row, label, style);
    }
    text_clear_row(OVERLAY_TOP + 5, TEXT_DIM);
    text_put(1, OVERLAY_TOP + 5, "A: choose  B: resume", TEXT_DIM);
    text_clear_row(OVERLAY_TOP + 6, TEXT_DIM);
    if (view == DISPLAY_ONE_TO_ONE)
        text_put(1, OVERLAY_TOP + 6, "R + D-pad: pan the view", TEXT_DIM);
}

static void overlay_show(void) {
    text_init(); /* font and colour schemes; the map is then made transparent */
    volatile u32* blank = (volatile u32*)CHAR_BLOCK(0) + TRANSPARENT_TILE * 8;
    for (int i = 0; i < 8; ++i)
        blank[i] = 0;
    volatile u16* map = SCREEN_BLOCK(TEXT_SCREENBLOCK);
    for (int i = 0; i < 32 * 32; ++i)
        map[i] = TRANSPARENT_TILE;
    PAL_BG[0] = 0;
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ | DCNT_BG0;
}

static int clamp(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

int overlay_run(int* view, int* pan_x, int* pan_y, int has_menu) {
    SPECTRUM_STATE->overlay = 1;
    overlay_show();
    int selected = OVERLAY_RESUME;
    overlay_draw(selected, *view, has_menu);
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
        if (pressed & KEY_UP) {
            do
                selected = (selected + OVERLAY_ITEMS - 1) % OVERLAY_ITEMS;
            while (selected == OVERLAY_MENU && !has_menu);
        } else if (pressed & KEY_DOWN) {
            do
                selected = (selected + 1) % OVERLAY_ITEMS;
            while (selected == OVERLAY_MENU && !has_menu);
        } else if (pressed & KEY_B) {
            choice = OVERLAY_RESUME;
        } else if (pressed & KEY_A) {
            if (selected == OVERLAY_VIEW) {
                *view = *view == DISPLAY_SCALED ? DISPLAY_ONE_TO_ONE : DISPLAY_SCALED;
                display_set_view(*view, *pan_x, *pan_y);
            } else {
                choice = selected;
            }
        } else {
            continue;
        }
        overlay_draw(selected, *view, has_menu);
    }
    input_wait_release();
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ;
    SPECTRUM_STATE->view = (u32)*view;
    SPECTRUM_STATE->overlay = 0;
    return choice;
}
