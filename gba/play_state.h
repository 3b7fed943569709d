/* The emulator's state block at PLAY_STATE_ADDRESS (state_blocks.h), kept while a snapshot
 * runs, for tests (and a debugger). Plain C types only, so host code can include it. */
#ifndef TAPELOOM_PLAY_STATE_H
#define TAPELOOM_PLAY_STATE_H

#include <stdint.h>

#include "state_blocks.h"

#define SPECTRUM_STATE_ADDRESS PLAY_STATE_ADDRESS
#define SPECTRUM_STATE_MAGIC 0x4D53585Au /* "ZXSM" */

typedef struct {
    uint32_t magic;       /* 0x00 SPECTRUM_STATE_MAGIC once a snapshot was started */
    uint32_t running;     /* 0x04 1 while a snapshot runs (overlay included) */
    uint32_t frames;      /* 0x08 Spectrum frames since the snapshot was (re)loaded */
    uint32_t busy_cycles; /* 0x0C GBA cycles spent on those frames (CPU, screen, sound) */
    uint32_t interrupts;  /* 0x10 interrupts the Z80 accepted */
    uint32_t ram;         /* 0x14 GBA address of the RAM: 0x4000 of a 48K, bank 5 of a 128K
                           * (then banks 2, 0, 1, 3, 4, 6 and 7) */
    uint32_t load_result; /* 0x18 SnapshotResult of the last load */
    uint32_t view;        /* 0x1C 0 scaled, 1 one to one */
    uint32_t overlay;     /* 0x20 1 while the overlay is open */
    uint32_t buttons;     /* 0x24 KEYINPUT bits the last frame saw, 1 = held */
    uint32_t pc;          /* 0x28 Z80 program counter after the last frame */
    uint32_t starts;      /* 0x2C snapshots started (loads attempted) */
    uint8_t keys[12];     /* 0x30 the key block in use */
    uint32_t rows_drawn;  /* 0x3C character rows converted to tiles since the load */
    uint32_t samples;     /* 0x40 sound samples played since the emulator started */
    uint32_t underruns;   /* 0x44 FIFO top-ups that found no rendered sound (emulation late) */
    uint32_t edges;       /* 0x48 beeper edges in the last frame */
    uint32_t edge_gap;    /* 0x4C T-states between its first two edges (0 with fewer) */
    uint32_t frame_costs; /* 0x50 GBA address of the SpectrumFrameCost ring */
    /* The on-screen keyboard, and the last save or load of a state. */
    uint32_t keyboard;          /* 0x54 1 while the on-screen keyboard is open */
    uint32_t keyboard_cursor;   /* 0x58 the key under the cursor: row * 10 + column */
    uint32_t keyboard_held;     /* 0x5C key code A holds, 0 none */
    uint32_t keyboard_sticky;   /* 0x60 shifts waiting for the next key: 1 SHIFT, 2 SYM SHIFT */
    uint32_t state_result;      /* 0x64 enum SaveStateResult */
    uint32_t state_slot;        /* 0x68 its slot, from 0 */
    uint32_t state_bytes;       /* 0x6C the state's length */
    uint32_t state_cycles;      /* 0x70 GBA cycles it took (packing and save memory) */
    uint32_t state_actions;     /* 0x74 saves and loads tried */
    uint32_t state_frames;      /* 0x78 the machine's frames when it was saved or loaded */
    uint16_t state_regs[14];    /* 0x7C and its registers: AF BC DE HL AF' BC' DE' HL' IX IY SP
                                   PC WZ, then I * 256 + R */
    uint32_t state_pack_cycles; /* 0x98 the part of state_cycles spent packing or unpacking */
    /* 0x9C written by tests: 0 = the picture of a frame is drawn or left for a later one as the
     * emulation's pace allows; n > 0 = drawn for every n-th frame only (waiting for the LCD). */
    uint32_t display_every;
    uint32_t model;  /* 0xA0 the machine running: 0 48K, 1 128K */
    uint32_t paging; /* 0xA4 128K: port 0x7FFD's last value */
    uint32_t ay;     /* 0xA8 GBA address of the AY (its 16 registers first) */
} SpectrumState;

/* What became of a save or load of a state. */
enum SaveStateResult {
    STATE_NONE = 0,
    STATE_SAVED = 1,
    STATE_LOADED = 2,
    STATE_NO_ROOM = 3,     /* the save memory has not room enough; nothing changed */
    STATE_CHIP_FAILED = 4, /* the save memory did not erase or program */
    STATE_EMPTY = 5,       /* the slot holds no state */
    STATE_OTHER_ENTRY = 6, /* the slot's state belongs to another entry: refused */
    STATE_DAMAGED = 7,     /* header or state checksum wrong: refused */
    STATE_UNREADABLE = 8   /* a later format or another machine: refused */
};

STATE_BLOCK_FITS(SpectrumState, PLAY_STATE_ADDRESS, POGOSHELL_ARGS_ADDRESS);
/* What each Spectrum frame cost, for speed measures: frame n (counted as `frames`, from 1) is
 * entry n % SPECTRUM_COST_FRAMES of the ring, written when the frame is done. GBA cycles by
 * part of the main loop; an interrupt handler counts in the part it interrupted. */
#define SPECTRUM_COST_FRAMES 64u

typedef struct {
    uint32_t frame;     /* 0x00 the frame's number (as `frames`) */
    uint32_t input;     /* 0x04 buttons to Spectrum keys */
    uint32_t z80;       /* 0x08 the Z80 and its port handlers (beeper edges included) */
    uint32_t sound;     /* 0x0C the frame's samples from the beeper edges */
    uint32_t display;   /* 0x10 screen rows to tiles */
    uint32_t other;     /* 0x14 the rest of the loop (state block) */
    uint32_t underruns; /* 0x18 `underruns` when the frame's samples were queued */
    uint8_t rows;       /* 0x1C character rows the frame drew into */
    uint8_t flags;      /* 0x1D SPECTRUM_FRAME_... */
    uint16_t cells;     /* 0x1E character cells it drew */
} SpectrumFrameCost;

/* The frame's picture was left for a later frame (the emulation was behind). */
#define SPECTRUM_FRAME_SKIPPED 0x01
/* Drawing waited for the LCD to pass the rows it changed. */
#define SPECTRUM_FRAME_WAITED 0x02
/* Drawn while the LCD showed those rows (skipping was used up): the picture may tear. */
#define SPECTRUM_FRAME_TORN 0x04
/* The AY's sound was rendered at half the sample rate (the emulation was behind). */
#define SPECTRUM_FRAME_AY_HALF 0x08

#define SPECTRUM_STATE ((volatile SpectrumState*)SPECTRUM_STATE_ADDRESS)

#endif
