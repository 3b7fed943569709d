/* The emulator's main loop on the GBA: paced by the sound it produces, with the overlay. */
#include "spectrum.h"

#include <string.h>

#include "beeper.h"
#include "display.h"
#include "machine.h"
#include "sound.h"
#include "spectrum_state.h"
#include "text.h"

enum {
    OVERLAY_COMBO = KEY_L | KEY_R | KEY_START | KEY_SELECT,
    FRAMES_AHEAD = 2,       /* frames of sound kept queued */
    TRANSPARENT_TILE = 127, /* an all-zero tile of the text layer's character block */
    TEXT_SCREENBLOCK = 31,
    PAN_STEP = 4
};

extern const u8 spectrum_rom_image[SPECTRUM_ROM_SIZE]; /* rom.s */

static Spectrum machine;
static u8 ram[SPECTRUM_RAM_SIZE] EWRAM_BSS __attribute__((aligned(4)));
static u8 rom[SPECTRUM_ROM_SIZE] EWRAM_BSS __attribute__((aligned(4)));
static int32_t beeper_edges[BEEPER_MAX_EDGES] EWRAM_BSS;
static SpectrumFrameCost frame_costs[SPECTRUM_COST_FRAMES] EWRAM_BSS;
#define stats (*SPECTRUM_STATE)

/* GBA cycles from timers 2 and 3, cascaded. */
static void cycle_counter_start(void) {
    REG_TM2CNT_H = 0;
    REG_TM3CNT_H = 0;
    REG_TM2CNT_L = 0;
    REG_TM3CNT_L = 0;
    REG_TM3CNT_H = TM_ENABLE | TM_CASCADE;
    REG_TM2CNT_H = TM_ENABLE | TM_FREQ_1;
}

static u32 cycles_now(void) {
    u32 high, low;
    do {
        high = REG_TM3CNT_L;
        low = REG_TM2CNT_L;
    } while (high != REG_TM3CNT_L);
    return (high << 16) | low;
}

static u32 buttons_held(void) {
    return ~REG_KEYINPUT & KEY_MASK;
}

static void wait_for_interrupt(void) {
#if defined(__thumb__)
    __asm__ volatile("swi 0x02" ::: "r0", "r1", "r2", "r3", "memory");
#else
    __asm__ volatile("swi 0x020000" ::: "r0", "r1", "r2", "r3", "memory");
#endif
}

static void wait_release(void) {
    while (buttons_held())
        gba_vblank_intr_wait();
}

void spectrum_message(const char* title, const char* text, int wait_for_a) {
    gba_irq_init_vblank();
    text_init();
    text_clear_row(0, TEXT_TITLE);
    text_put(1, 0, title, TEXT_TITLE);
    int row = 3;
    char line[TEXT_COLS + 1];
    while (*text && row < TEXT_ROWS - 2) {
        int n = 0;
        while (text[n] && text[n] != '\n' && n < TEXT_COLS - 2)
            ++n;
        memcpy(line, text, (size_t)n);
        line[n] = 0;
        text_put(1, row++, line, TEXT_NORMAL);
        text += n;
        if (*text == '\n')
            ++text;
    }
    if (!wait_for_a) {
        for (;;)
            gba_vblank_intr_wait();
    }
    text_put(1, TEXT_ROWS - 2, "A: back to the menu", TEXT_DIM);
    wait_release();
    while (!(buttons_held() & KEY_A))
        gba_vblank_intr_wait();
    wait_release();
}

static int load(const SpectrumGame* game) {
    spectrum_init(&machine, rom, ram, beeper_edges);
    machine.clock = cycles_now;
    SnapshotResult result = spectrum_load(&machine, game->data, game->size,
                                          game->kind == 0 ? SNAPSHOT_SNA : SNAPSHOT_Z80);
    stats.load_result = result;
    stats.starts++;
    stats.frames = 0;
    stats.busy_cycles = 0;
    stats.interrupts = 0;
    stats.rows_drawn = 0;
    if (result != SNAPSHOT_OK) {
        stats.running = 0;
        spectrum_message("Cannot run this snapshot", snapshot_result_text(result), game->has_menu);
        return 0;
    }
    return 1;
}

/* ---- overlay ---- */

enum OverlayItem { ITEM_RESUME, ITEM_RESET, ITEM_VIEW, ITEM_MENU, ITEM_COUNT };
enum { OVERLAY_TOP = 12 };

static void overlay_draw(int selected, int view, int has_menu) {
    static const char* const labels[ITEM_COUNT] = {"Resume", "Reset snapshot", 0, "Back to menu"};
    text_clear_row(OVERLAY_TOP, TEXT_TITLE);
    text_put(1, OVERLAY_TOP, "Paused", TEXT_TITLE);
    for (int i = 0; i < ITEM_COUNT; ++i) {
        enum TextStyle style = i == selected ? TEXT_CURSOR : TEXT_NORMAL;
        int row = OVERLAY_TOP + 1 + i;
        text_clear_row(row, style);
        const char* label = labels[i];
        if (i == ITEM_VIEW)
            label = view == DISPLAY_SCALED ? "View: scaled" : "View: 1:1";
        if (i == ITEM_MENU && !has_menu)
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

/* Returns the item chosen: resume, reset or menu. */
static int overlay_run(int* view, int* pan_x, int* pan_y, int has_menu) {
    stats.overlay = 1;
    overlay_show();
    int selected = ITEM_RESUME;
    overlay_draw(selected, *view, has_menu);
    wait_release();
    u32 previous = 0;
    int choice = -1;
    while (choice < 0) {
        gba_vblank_intr_wait();
        u32 held = buttons_held();
        u32 pressed = held & ~previous;
        previous = held;
        if (*view == DISPLAY_ONE_TO_ONE && (held & KEY_R)) {
            int dx = (held & KEY_RIGHT ? PAN_STEP : 0) - (held & KEY_LEFT ? PAN_STEP : 0);
            int dy = (held & KEY_DOWN ? PAN_STEP : 0) - (held & KEY_UP ? PAN_STEP : 0);
            *pan_x = *pan_x + dx < 0 ? 0 : *pan_x + dx > 16 ? 16 : *pan_x + dx;
            *pan_y = *pan_y + dy < 0 ? 0 : *pan_y + dy > 32 ? 32 : *pan_y + dy;
            display_set_view(*view, *pan_x, *pan_y);
            continue;
        }
        if (pressed & KEY_UP) {
            do
                selected = (selected + ITEM_COUNT - 1) % ITEM_COUNT;
            while (selected == ITEM_MENU && !has_menu);
        } else if (pressed & KEY_DOWN) {
            do
                selected = (selected + 1) % ITEM_COUNT;
            while (selected == ITEM_MENU && !has_menu);
        } else if (pressed & KEY_B) {
            choice = ITEM_RESUME;
        } else if (pressed & KEY_A) {
            if (selected == ITEM_VIEW) {
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
    wait_release();
    REG_DISPCNT = DCNT_MODE0 | DCNT_OBJ;
    stats.view = (u32)*view;
    stats.overlay = 0;
    return choice;
}

/* ---- main loop ---- */

void spectrum_play(const SpectrumGame* game) {
    if (stats.magic != SPECTRUM_STATE_MAGIC) {
        memset((void*)&stats, 0, sizeof stats);
        stats.magic = SPECTRUM_STATE_MAGIC;
    }
    stats.ram = (u32)ram;
    stats.frame_costs = (u32)frame_costs;
    for (int i = 0; i < 10; ++i)
        stats.keys[i] = game->keys[i];
    stats.running = 1;
    memcpy(rom, spectrum_rom_image, sizeof rom);
    if (!load(game)) {
        stats.running = 0;
        return;
    }
    int view = DISPLAY_SCALED, pan_x = 8, pan_y = 16;
    gba_irq_init_vblank();
    display_init();
    cycle_counter_start();
    sound_start();
    u32 input_buttons = 0;
    int input_valid = 0;
    /* The button that started the game (A in the menu) is not a key press for the game: buttons
     * held at the start count only after they were let go. */
    u32 ignored = buttons_held();
    for (;;) {
        u32 held = buttons_held();
        if ((held & OVERLAY_COMBO) == OVERLAY_COMBO) {
            int choice = overlay_run(&view, &pan_x, &pan_y, game->has_menu);
            if (choice == ITEM_MENU)
                break;
            if (choice == ITEM_RESET && !load(game))
                break;
            input_valid = 0; /* a load clears the machine's input */
            held = buttons_held();
        }
        ignored &= held;
        held &= ~ignored;
        stats.buttons = held;
        u32 start = cycles_now();
        if (held != input_buttons || !input_valid) {
            keyboard_from_buttons(game->keys, held, &machine.input);
            input_buttons = held;
            input_valid = 1;
        }
        u32 input_done = cycles_now();
        spectrum_run_frame(&machine);
        u32 z80_done = cycles_now();
        beeper_render(machine.frame_level, machine.edges, machine.edge_count, sound_frame_buffer());
        sound_frame_done();
        u32 sound_done = cycles_now();
        u32 rows = (u32)__builtin_popcount(machine.cpu.screen_dirty);
        display_update(ram, &machine.cpu.screen_dirty, machine.frames);
        u32 display_done = cycles_now();
        stats.rows_drawn += rows;
        stats.frames = machine.frames;
        stats.samples = sound_samples_played();
        stats.underruns = sound_underruns();
        stats.edges = machine.edge_count;
        stats.edge_gap = machine.edge_count >= 2 ? (u32)(machine.edges[1] - machine.edges[0]) : 0;
        stats.interrupts = machine.interrupts;
        Z80Regs regs;
        z80_get_regs(&machine.cpu, &regs);
        stats.pc = regs.pc;
        u32 end = cycles_now();
        stats.busy_cycles += end - start;
        volatile SpectrumFrameCost* cost = &frame_costs[machine.frames % SPECTRUM_COST_FRAMES];
        cost->input = input_done - start;
        cost->z80 = z80_done - input_done;
        cost->sound = sound_done - z80_done;
        cost->display = display_done - sound_done;
        cost->other = end - display_done;
        cost->underruns = stats.underruns;
        cost->rows = rows;
        cost->frame = machine.frames; /* last: a reader takes the record as whole once it matches */
        while (sound_frames_queued() >= FRAMES_AHEAD)
            wait_for_interrupt();
    }
    sound_stop();
    display_close();
    stats.running = 0;
    text_init();
}
