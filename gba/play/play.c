/* The emulator's main loop on the GBA, paced by the sound it produces, and the start of a
 * snapshot from the menu or from Pogoshell. */
#include "play/play.h"

#include <string.h>

#include "input.h"
#include "menu/text.h"
#include "hw/cycle_counter.h"
#include "play/display.h"
#include "play/keyboard_overlay.h"
#include "play/overlay.h"
#include "play/sound.h"
#include "play_state.h"
#include "spectrum/beeper.h"
#include "spectrum/machine.h"

/* The cartridge's key codes are the ones the emulator's keyboard reads. */
_Static_assert(TPL_KEY_SLOTS == KEY_BLOCK_SIZE && (int)TPL_KEY_LAST_MATRIX == KEY_CODE_LAST_KEY &&
                   (int)TPL_KEY_JOY_RIGHT == KEY_CODE_KEMPSTON_RIGHT,
               "key codes of the cartridge and of the keyboard");

enum {
    FRAMES_AHEAD = 2,              /* frames of sound kept queued */
    SPECTRUM_CPU_HZ = 3500000,     /* the 48K's clock: with the frame's length, the sound's pace */
    SPECTRUM_128_CPU_HZ = 3546900, /* the 128K's */
    MAX_SKIPPED = 3,               /* frames in a row whose picture may be left for a later one */
    SOUND_COSTS = 8,               /* frames whose sound's cycles the picture's pacing weighs */
    CYCLES_PER_LINE = 1232,        /* of the LCD */
    CYCLES_PER_CELL = 130          /* drawing a character cell, about */
};

typedef struct Game {
    const u8* data;
    u32 size;
    SnapshotKind kind;
    const u8* keys;         /* TPL_KEY_SLOTS key codes, KEYINPUT bit order */
    int has_menu;           /* 0 in the plug-in form: there is no menu to go back to */
    const SaveOwner* owner; /* the entry, for save states; NULL: none (the plug-in form) */
} Game;

extern const u8 spectrum_rom_image[SPECTRUM_ROM_SIZE];  /* rom.s: the 48K ROM, the 128K's ROM 1 */
extern const u8 spectrum_rom0_image[SPECTRUM_ROM_SIZE]; /* rom.s: our ROM 0 of the 128K */

/* The AY's output on the 128K: with the beeper's 0-96 its three channels at 53 each fill the
 * int8 range once moved down by 128, without clipping (a channel about half the beeper's level,
 * as the two sound side by side on a Spectrum 128). */
enum { AY_PEAK = 53, AY_OFFSET = -128 };

static Spectrum machine;
/* The 128K's eight banks; a 48K snapshot uses the first three (0x4000-0xFFFF). ROM 1 runs from
 * a copy in EWRAM, ROM 0 (rarely run: the reset and the programs that page it in) from the
 * cartridge. */
static u8 ram[SPECTRUM_128_RAM_SIZE] EWRAM_BSS __attribute__((aligned(4)));
static u8 rom[SPECTRUM_ROM_SIZE] EWRAM_BSS __attribute__((aligned(4)));
static AyChip ay EWRAM_BSS;
static s8 ay_scratch[SOUND_MAX_FRAME_SAMPLES / 2 + 1] EWRAM_BSS; /* a frame at half the rate */
static int32_t beeper_edges[BEEPER_MAX_EDGES] EWRAM_BSS;
static SpectrumFrameCost frame_costs[SPECTRUM_COST_FRAMES] EWRAM_BSS;
#define stats (*SPECTRUM_STATE)

/* GBA cycles until the sound runs dry: the FIFO takes the ring's samples SOUND_PUSH at a time,
 * so the last ones short of a push are not heard in time. */
static u32 sound_slack(void) {
    u32 queued = sound_queued();
    return queued > SOUND_PUSH ? (queued - SOUND_PUSH) * SOUND_CYCLES_PER_SAMPLE : 0;
}

/* The display's share of a frame. The cells that changed are found and drawn where the LCD is
 * not showing them, waiting for the LCD to pass them if need be. When the sound queued would not
 * cover that and the next frame's emulation and sound (`next_cost` cycles, as this frame's), the
 * picture is left to a later frame instead, MAX_SKIPPED frames in a row at most: the machine
 * and its sound stay on time, and the picture catches up with everything that changed at the
 * next frame drawn. Tests may fix the choice (state block's display_every). Fills the frame's
 * record; returns the cycles spent, waiting left out. */
static u32 display_frame(u32 frame, u32 next_cost, volatile SpectrumFrameCost* cost) {
    static u32 skipped EWRAM_BSS, last_cost EWRAM_BSS;
    u32 every = stats.display_every;
    u32 slack = sound_slack();
    int skip = every ? frame % every != 0 : slack < next_cost + last_cost;
    if (skip && (every || skipped < MAX_SKIPPED)) {
        ++skipped;
        cost->flags |= SPECTRUM_FRAME_SKIPPED;
        return 0;
    }
    u32 start = cycles_now();
    /* The screen shown (bank 7 while the 128K shows its shadow screen): a change of bank marks
     * every row, so the copy is compared whole against the new bank. */
    const u8* screen = spectrum_screen(&machine);
    u32 waiting = display_prepare(screen, frame);
    u32 busy = cycles_now() - start;
    u32 drawn = 0, flags = 0, cells = 0;
    if (waiting) {
        cells = display_waiting_cells();
        u32 lines = display_lines_to_wait();
        if (lines) {
            u32 needed = lines * CYCLES_PER_LINE + cells * CYCLES_PER_CELL + next_cost;
            slack = sound_slack();
            if (every || slack >= needed) {
                flags |= SPECTRUM_FRAME_WAITED;
                while (display_lines_to_wait())
                    bios_halt();
            } else if (skipped < MAX_SKIPPED) {
                ++skipped; /* what was found stays waiting */
                cost->flags |= SPECTRUM_FRAME_SKIPPED;
                return busy;
            } else {
                flags |= SPECTRUM_FRAME_TORN;
            }
        }
        start = cycles_now();
        drawn = display_draw(screen);
        busy += cycles_now() - start;
    }
    skipped = 0;
    last_cost = busy;
    cost->flags |= (u8)flags;
    cost->cells = (u16)cells;
    cost->rows = (u8)display_row_count(drawn);
    return busy;
}

/* A message screen (lines split by '\n'); waits for A when wait_for_a, else forever. */
static void show_message(const char* title, const char* text, int wait_for_a) {
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
            bios_vblank_intr_wait();
    }
    text_put(1, TEXT_ROWS - 2, "A: back to the menu", TEXT_DIM);
    input_wait_release();
    do {
        bios_vblank_intr_wait();
        input_poll();
    } while (!(input_held() & KEY_A));
    input_wait_release();
}

static int load(const Game* game) {
    /* The CPU dates each write to the ULA's port by its T-state (its output latch's log), so
     * beeper edges are exact without the GBA's time. */
    spectrum_init_128(&machine, spectrum_rom0_image, rom, ram, &ay, beeper_edges);
    ay_set_peak(&ay, AY_PEAK);
    ay_set_offset(&ay, AY_OFFSET);
    SnapshotResult result = spectrum_load(&machine, game->data, game->size, game->kind);
    stats.model = machine.model;
    stats.load_result = result;
    stats.starts++;
    stats.frames = 0;
    stats.busy_cycles = 0;
    stats.interrupts = 0;
    stats.rows_drawn = 0;
    if (result != SNAPSHOT_OK) {
        stats.running = 0;
        show_message("Cannot run this snapshot", snapshot_result_text(result), game->has_menu);
        return 0;
    }
    return 1;
}

/* How the machine's frame divides into samples: its length at its clock. */
static BeeperGrid frame_grid(void) {
    u32 hz = machine.model == SPECTRUM_128K ? SPECTRUM_128_CPU_HZ : SPECTRUM_CPU_HZ;
    u32 tstates = (u32)machine.frame_tstates;
    return beeper_grid((int32_t)tstates, (int)sound_samples_per_frame(tstates, hz));
}

/* Runs the game; returns when the user picks "Back to menu" in the overlay, or after a
 * snapshot that cannot run was reported on the screen and acknowledged with A. */
static void play(const Game* game) {
    if (stats.magic != SPECTRUM_STATE_MAGIC) {
        memset((void*)&stats, 0, sizeof stats);
        stats.magic = SPECTRUM_STATE_MAGIC;
    }
    stats.ram = (u32)ram;
    stats.ay = (u32)&ay;
    stats.frame_costs = (u32)frame_costs;
    for (int i = 0; i < TPL_KEY_SLOTS; ++i)
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
    BeeperGrid sound_grid = frame_grid();
    u32 sound_costs[SOUND_COSTS] = {0}; /* the sound's cycles of the last frames */
    u32 input_buttons = 0;
    u8 typed_keys[TPL_KEY_SLOTS];
    int input_valid = 0;
    OverlayGame overlay_game = {&machine, game->owner, game->has_menu};
    /* The button that started the game (A in the menu) is not a key press for the game: buttons
     * held at the start count only after they were let go. */
    input_poll();
    u32 ignored = input_held();
    for (;;) {
        input_poll();
        u32 held = input_held();
        if ((held & OVERLAY_COMBO) == OVERLAY_COMBO) {
            keyboard_overlay_close();
            int choice = overlay_run(&view, &pan_x, &pan_y, &overlay_game);
            /* The overlay had the video memory, and a loaded state is a new picture. */
            display_refresh();
            if (choice == OVERLAY_MENU)
                break;
            if (choice == OVERLAY_RESET && !load(game))
                break;
            sound_grid = frame_grid();
            if (choice == OVERLAY_KEYBOARD)
                keyboard_overlay_open();
            input_valid = 0; /* a load clears the machine's input */
            input_poll();
            held = input_held();
        }
        ignored &= held;
        held &= ~ignored;
        stats.buttons = held;
        u32 start = cycles_now();
        /* The on-screen keyboard, while open, types through a key block of its own; opening it
         * (from the overlay) and closing it make the machine's input be worked out again. */
        const u8* keys = game->keys;
        if (keyboard_overlay_shown) {
            if (keyboard_overlay_frame(game->keys, &held, typed_keys) || !keyboard_overlay_shown)
                input_valid = 0;
            if (keyboard_overlay_shown)
                keys = typed_keys;
        }
        if (held != input_buttons || !input_valid) {
            keyboard_from_buttons(keys, held, &machine.input);
            input_buttons = held;
            input_valid = 1;
        }
        u32 input_done = cycles_now();
        spectrum_run_frame(&machine);
        u32 z80_done = cycles_now();
        s8* samples = sound_frame_buffer();
        beeper_render(machine.frame_level, machine.edges, (int)machine.edge_count, &sound_grid,
                      samples);
        /* Behind (less than a frame of sound left to play), the AY renders at half the rate:
         * its treble above 8 kHz is lost for the frame, not the sound's pace. */
        int ay_half = machine.model == SPECTRUM_128K && sound_queued() < sound_grid.samples;
        if (ay_half)
            ay_render_half(&ay, machine.frame_tstates, samples, (int)sound_grid.samples,
                           ay_scratch);
        else if (machine.model == SPECTRUM_128K)
            ay_render(&ay, machine.frame_tstates, samples, (int)sound_grid.samples);
        sound_frame_done(sound_grid.samples);
        u32 sound_done = cycles_now();
        volatile SpectrumFrameCost* cost = &frame_costs[machine.frames % SPECTRUM_COST_FRAMES];
        cost->rows = 0;
        cost->cells = 0;
        cost->flags = ay_half ? SPECTRUM_FRAME_AY_HALF : 0;
        display_mark(spectrum_take_changed_rows(&machine));
        u32 display_start = cycles_now();
        /* The next frame's samples are queued after its Z80 and its sound: the Z80 as this
         * frame's, the sound as the dearest of the last SOUND_COSTS frames (the AY's, on the
         * 128K, costs as much as a third of the Z80, and a tune's drum twice its other rows). */
        sound_costs[machine.frames % SOUND_COSTS] = sound_done - z80_done;
        u32 sound_peak = 0;
        for (u32 i = 0; i < SOUND_COSTS; ++i)
            if (sound_costs[i] > sound_peak)
                sound_peak = sound_costs[i];
        /* The display's part: the rows written (from the CPU's marks), then the picture. */
        u32 display_cost = (display_start - sound_done) +
                           display_frame(machine.frames, z80_done - input_done + sound_peak, cost);
        u32 display_done = cycles_now();
        stats.rows_drawn += cost->rows;
        stats.frames = machine.frames;
        stats.samples = sound_ring.samples_played;
        stats.underruns = sound_ring.underruns;
        stats.edges = machine.edge_count;
        stats.edge_gap = machine.edge_count >= 2 ? (u32)(machine.edges[1] - machine.edges[0]) : 0;
        stats.interrupts = machine.interrupts;
        stats.pc = z80_pc(&machine.cpu);
        stats.paging = machine.paging;
        u32 end = cycles_now();
        u32 other = end - display_done;
        cost->input = input_done - start;
        cost->z80 = z80_done - input_done;
        cost->sound = sound_done - z80_done;
        cost->display = display_cost;
        cost->other = other;
        cost->underruns = stats.underruns;
        stats.busy_cycles += cost->input + cost->z80 + cost->sound + display_cost + other;
        cost->frame = machine.frames; /* last: a reader takes the record as whole once it matches */
        while (sound_queued() >= FRAMES_AHEAD * sound_grid.samples)
            bios_halt();
    }
    keyboard_overlay_close();
    sound_stop();
    display_close();
    stats.running = 0;
    text_init();
}

static SnapshotKind snapshot_kind(int kind) {
    return kind == TPL_KIND_SNA ? SNAPSHOT_SNA : SNAPSHOT_Z80;
}

/* The last entry's size is in the table only for a 128K .SNA (its end record): another .SNA is
 * a 48K one, and a .Z80 is given up to the end of the cartridge space (its loader reads no more
 * than a snapshot can hold). A last entry cut short is read on into what follows it, which the
 * cartridge cannot tell from the rest of the file; Create checks every file whole before it
 * packs it. */
static u32 entry_size(const u8* data, u32 size, int kind) {
    if (size != TPL_SIZE_UNKNOWN)
        return size;
    if (kind == TPL_KIND_SNA)
        return TPL_SNA_48K_SIZE;
    return (u32)(MEM_ROM_END - (u32)data);
}

static void play_entry(const TplCatalogue* c, int index) {
    if (index < 0 || index >= c->entry_count)
        return;
    const TplEntry* entry = &c->entries[index];
    Game game;
    game.data = tpl_entry_data(index);
    game.kind = snapshot_kind(entry->kind);
    game.size = entry_size(game.data, tpl_entry_size(index), entry->kind);
    game.keys = entry->keys;
    game.has_menu = 1;
    SaveOwner owner;
    owner.entry_id = tpl_entry_identity(index);
    owner.entry_index = (u16)index;
    for (int i = 0; i < TPL_STATE_NAME_LENGTH; ++i)
        owner.name[i] = i < TPL_ENTRY_NAME_LENGTH ? entry->name[i] : 0;
    /* The display name is padded with spaces: the message shows it without them. */
    for (int i = TPL_ENTRY_NAME_LENGTH - 1; i >= 0 && owner.name[i] == ' '; --i)
        owner.name[i] = 0;
    game.owner = &owner;
    play(&game);
}

static void play_pogoshell_file(const TplCatalogue* c) {
    const TplPogoshellArgs* p = &c->pogoshell;
    if (!p->present || !p->data) {
        show_message(
            "Tapeloom plug-in",
            "This plug-in must be started\nfrom Pogoshell: open a .sna\nor .z80 file there.", 0);
        return;
    }
    Game game;
    game.data = p->data;
    game.size = p->size;
    game.kind = snapshot_kind(p->kind);
    game.keys = p->keys ? p->keys->keys : c->head->keys;
    game.has_menu = 0;
    game.owner = 0; /* the save memory is Pogoshell's */
    for (;;)
        play(&game); /* there is no menu: "Reset snapshot" is the way back in */
}

/* A cartridge of one snapshot starts it at once; "Back to menu" then shows the list. */
const MenuActions play_menu_actions = {play_entry, play_pogoshell_file, 1, "A:play"};
