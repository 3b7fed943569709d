/* The ZX Spectrum 48K around the Z80 core: memory map, ULA and Kempston ports, the frame with
 * its interrupt, the beeper's edges and which character rows of the screen were written.
 * Portable C: a front end (the GBA's, or host tests and tools) adds screen, sound and input. */
#ifndef TAPELOOM_SPECTRUM_MACHINE_H
#define TAPELOOM_SPECTRUM_MACHINE_H

#include <stdint.h>

#include "spectrum/keyboard.h"
#include "spectrum/snapshot.h"
#include "z80/z80.h"
#include "zx_placement.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SPECTRUM_FRAME_TSTATES = 69888, /* the 48K machine's frame (Spectrum.frame_tstates) */
    SPECTRUM_INTERRUPT_LENGTH = 32, /* T-states the ULA holds /INT low */
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

typedef struct Spectrum {
    Z80 cpu;
    const uint8_t* rom; /* 16 KiB */
    uint8_t* ram;       /* 48 KiB: 0x4000-0xFFFF */
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
    int32_t frame_tstates; /* T-states from one frame interrupt to the next */
    uint32_t edge_count;
    /* BEEPER_MAX_EDGES: the T-states in the frame (0 to frame_tstates) at which the beeper
     * toggled, ascending, each the start of its OUT's I/O cycle as the CPU's output latch logs
     * it (or, with the log full, reports it to the port handler). Behind them: that log. */
    int32_t* edges;
    uint32_t late_edges; /* after edges[edge_count]: the next frame's first, dated in this one */
    /* Reads of port 0xFE while something is plugged into EAR: how a tape deck tells that a
     * program listens to the tape (counted by a handler of its own, so unplugged costs nothing). */
    uint32_t ear_reads;
} Spectrum;

/* The mask the machine's screen watch gives each 32-byte block of 0x4000-0x5AFF: bit n for a
 * block of character row n (bitmap thirds interleave their lines, attributes go row by row). */
extern const uint32_t spectrum_screen_row_masks[SPECTRUM_SCREEN_BLOCKS];

/* edges: room for BEEPER_MAX_EDGES. Maps ROM and RAM into the CPU, installs the port handlers
 * and the screen watch; the CPU is at power-on. */
ZX_API void spectrum_init(Spectrum* s, const uint8_t* rom, uint8_t* ram, int32_t* edges);

/* Loads a snapshot into RAM and the CPU; every screen row counts as changed. On failure the
 * machine must be loaded again before it runs. */
ZX_API SnapshotResult spectrum_load(Spectrum* s, const uint8_t* data, uint32_t size,
                                    SnapshotKind kind);

/* One frame (frame_tstates), the interrupt at its start. Beeper edges of the frame are in
 * edges[] (with frame_level the level before the first) until the next call. An OUT that ends a
 * frame may date its edge past the frame's end: it is the next frame's. */
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

/* Port handlers (exposed for tests). */
uint8_t spectrum_port_in(void* user, uint16_t port);
void spectrum_port_out(void* user, uint16_t port, uint8_t value);

#ifdef __cplusplus
}
#endif

#endif
