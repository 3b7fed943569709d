/* The ZX Spectrum around the Z80 core, as a 48K or a 128K: memory map (the 128K's paging), ULA
 * and Kempston ports, the 128K's AY, the frame with its interrupt, the beeper's edges and which
 * character rows of the shown screen were written.
 * Portable C: a front end (the GBA's, or host tests and tools) adds screen, sound and input. */
#ifndef TAPELOOM_SPECTRUM_MACHINE_H
#define TAPELOOM_SPECTRUM_MACHINE_H

#include <stdint.h>

#include "ay.h"
#include "spectrum/keyboard.h"
#include "spectrum/snapshot.h"
#include "z80/z80.h"
#include "zx_placement.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SPECTRUM_FRAME_TSTATES = 69888,     /* 48K: 312 lines of 224 T-states */
    SPECTRUM_INTERRUPT_LENGTH = 32,     /* T-states the ULA holds /INT low */
    SPECTRUM_128_FRAME_TSTATES = 70908, /* 128K: 311 lines of 228 T-states */
    SPECTRUM_128_INTERRUPT_LENGTH = 36,
    SPECTRUM_ROM_SIZE = 0x4000,
    SPECTRUM_SCREEN_ADDRESS = 0x4000, /* bitmap 0x4000-0x57FF, attributes 0x5800-0x5AFF */
    SPECTRUM_SCREEN_SIZE = 0x1B00,
    SPECTRUM_SCREEN_BLOCKS = 0x1B00 / 32, /* blocks of the CPU's write watch */
    SPECTRUM_SCREEN_ROWS = 24,            /* character rows; bit n of the changed rows is row n */
    /* Beeper edges a frame can hold: each takes an OUT (11 T-states at least), so no frame of up
     * to 71,280 T-states (the 128K machine's is 70,908) can make more. */
    BEEPER_MAX_EDGES = 6480
};

/* The level of the EAR socket's input: a tape signal, or nothing plugged in. */
enum SpectrumEar { SPECTRUM_EAR_UNPLUGGED = -1, SPECTRUM_EAR_LOW = 0, SPECTRUM_EAR_HIGH = 1 };

/* Port 0x7FFD of the 128K. */
enum {
    SPECTRUM_PAGING_BANK = 0x07,   /* RAM bank at 0xC000 */
    SPECTRUM_PAGING_SHADOW = 0x08, /* the screen shown is bank 7's, not bank 5's */
    SPECTRUM_PAGING_ROM1 = 0x10,   /* ROM 1 (the 48K BASIC) at 0x0000, not ROM 0 */
    SPECTRUM_PAGING_LOCK = 0x20    /* no more paging until reset */
};

typedef struct Spectrum {
    Z80 cpu;
    const uint8_t* rom; /* 16 KiB: the 48K's, which is ROM 1 of the 128K */
    uint8_t* ram;       /* 48 KiB (0x4000-0xFFFF), or the 128K's eight banks (see below) */
    SpectrumInput input;
    uint8_t border;        /* 0-7 */
    uint8_t ula;           /* last byte written to port 0xFE */
    uint8_t ear_low;       /* with EAR plugged in: 0x40 while bit 6 of port 0xFE reads low */
    int8_t ear_input;      /* enum SpectrumEar */
    uint8_t frame_level;   /* beeper level (0/1) at the start of the current frame */
    uint8_t in_frame;      /* a frame has begun and not yet ended (spectrum_run stops inside) */
    uint32_t frames;       /* frames run since the snapshot was loaded */
    uint32_t interrupts;   /* interrupts the CPU accepted */
    uint32_t changed_rows; /* screen rows to redraw besides those the CPU wrote (after a load) */
    /* The machine running: its frame and the 128K's state. A machine made by spectrum_init_128
     * has ROM 0, 128 KiB of RAM (banks at spectrum_bank_offset(), the first 48 KiB serving the
     * 48K) and the AY; one made by spectrum_init runs the 48K alone (rom0 and ay NULL). */
    int32_t frame_tstates;    /* SPECTRUM_FRAME_TSTATES or SPECTRUM_128_FRAME_TSTATES */
    int32_t interrupt_length; /* SPECTRUM_INTERRUPT_LENGTH or SPECTRUM_128_INTERRUPT_LENGTH */
    uint32_t edge_count;
    /* BEEPER_MAX_EDGES: the T-states in the frame (0 to frame_tstates) at which the beeper
     * toggled, ascending, each the start of its OUT's I/O cycle as the CPU's output latch logs
     * it (or, with the log full, reports it to the port handler). Behind them: that log. */
    int32_t* edges;
    uint32_t late_edges; /* after edges[edge_count]: the next frame's first, dated in this one */
    const uint8_t* rom0;
    AyChip* ay;
    uint8_t model;         /* SpectrumModel */
    uint8_t paging;        /* 128K: the last byte port 0x7FFD took (SPECTRUM_PAGING_*) */
    uint8_t screen_bank;   /* the bank shown: 5, or 7 on a 128K with the shadow screen */
    uint8_t screen_hidden; /* 128K: the shown bank is also paged where no watch sees its writes */
    /* Reads of port 0xFE while something is plugged into EAR: how a tape deck tells that a
     * program listens to the tape (counted by a handler of its own, so unplugged costs nothing). */
    uint32_t ear_reads;
} Spectrum;

/* The mask the machine's screen watch gives each 32-byte block of 0x4000-0x5AFF: bit n for a
 * block of character row n (bitmap thirds interleave their lines, attributes go row by row). */
extern const uint32_t spectrum_screen_row_masks[SPECTRUM_SCREEN_BLOCKS];

/* A 48K that runs 48K snapshots alone: rom 16 KiB, ram 48 KiB, edges room for
 * BEEPER_MAX_EDGES. Maps ROM and RAM into the CPU, installs the port handlers and the screen
 * watch; the machine is at power-on. */
ZX_API void spectrum_init(Spectrum* s, const uint8_t* rom, uint8_t* ram, int32_t* edges);

/* A machine that runs 48K and 128K snapshots: rom0 is the 128K's ROM 0, rom the 48K ROM (the
 * 128K's ROM 1), ram SPECTRUM_128_RAM_SIZE bytes, ay the 128K's sound chip (the front end
 * renders its samples with ay_render after each frame). At power-on as a 48K. */
ZX_API void spectrum_init_128(Spectrum* s, const uint8_t* rom0, const uint8_t* rom, uint8_t* ram,
                              AyChip* ay, int32_t* edges);

/* Power-on as a 48K or (after spectrum_init_128) a 128K: the CPU reset, ROM 0 and bank 0 paged
 * on the 128K with paging unlocked, the AY silent, every screen row to redraw. RAM keeps its
 * contents. Returns 0, and changes nothing, for a 128K the machine cannot be. */
ZX_API int spectrum_power_on(Spectrum* s, SpectrumModel model);

/* Loads a snapshot into RAM and the CPU and becomes the machine it is for (a 128K only after
 * spectrum_init_128); every screen row counts as changed. On failure the machine must be
 * loaded again before it runs. */
ZX_API SnapshotResult spectrum_load(Spectrum* s, const uint8_t* data, uint32_t size,
                                    SnapshotKind kind);

/* A 128K's paging port as a save state left it, the lock included: the bank at 0xC000, the ROM
 * and the screen shown are mapped again whatever they were; every screen row counts as changed. */
ZX_API void spectrum_set_paging(Spectrum* s, uint8_t paging);

/* The 16 KiB of RAM bank `bank` (0-7) of the 128K; the 48K's RAM is banks 5, 2 and 0. */
static inline uint8_t* spectrum_bank(const Spectrum* s, unsigned bank) {
    return s->ram + spectrum_bank_offset(bank);
}

/* The screen shown (bitmap and attributes, SPECTRUM_SCREEN_SIZE bytes): bank 5, or bank 7. */
static inline const uint8_t* spectrum_screen(const Spectrum* s) {
    return spectrum_bank(s, s->screen_bank);
}

/* One frame (frame_tstates: 69,888 T-states on the 48K, 70,908 on the 128K), the interrupt at
 * its start; the AY's writes of the frame wait in its queue for ay_render. Beeper edges of the
 * frame are in edges[] (with frame_level the level before the first) until the next call. An
 * OUT that ends a frame may date its edge past the frame's end: it is the next frame's. */
ZX_API void spectrum_run_frame(Spectrum* s);

/* Runs at least `tstates` T-states on from where the machine stands, across frame ends (a frame
 * begins, with its interrupt, only when time remains to run in it), for a front end that must
 * act inside a frame (a tape played into EAR). Frames come out as spectrum_run_frame's, which
 * also finishes a frame begun here. Returns the T-states run: more by one instruction at most,
 * or by the interrupt's window (up to 32 T-states and the interrupt) when a frame begins. */
ZX_API int32_t spectrum_run(Spectrum* s, int32_t tstates);

/* T-state within the current frame (0 to frame_tstates). */
ZX_API int32_t spectrum_frame_tstate(const Spectrum* s);

/* What bit 6 of port 0xFE reads: the EAR input's level, or, unplugged, the machine's own
 * EAR output as on an issue 3 board. */
ZX_API void spectrum_set_ear(Spectrum* s, int ear);

/* Character rows of the screen written since the last call (bit n = row n); clears them. */
static inline uint32_t spectrum_take_changed_rows(Spectrum* s) {
    uint32_t rows = s->changed_rows | z80_take_watched(&s->cpu);
    s->changed_rows = 0;
    return rows;
}

/* Port handlers of the 48K and of the 128K (exposed for tests). */
uint8_t spectrum_port_in(void* user, uint16_t port);
void spectrum_port_out(void* user, uint16_t port, uint8_t value);
uint8_t spectrum_128_port_in(void* user, uint16_t port);
void spectrum_128_port_out(void* user, uint16_t port, uint8_t value);

#ifdef __cplusplus
}
#endif

#endif
