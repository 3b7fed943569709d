/* The ZX Spectrum 48K around the Z80 core: memory map, ULA and Kempston ports, the frame with
 * its interrupt, and the beeper's edges. Portable C: the GBA front end (spectrum.c) adds screen,
 * sound and buttons; host tests drive it directly. */
#ifndef TAPELOOM_SPECTRUM_MACHINE_H
#define TAPELOOM_SPECTRUM_MACHINE_H

#include <stdint.h>

#include "../z80/z80.h"
#include "keyboard.h"
#include "snapshot.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SPECTRUM_FRAME_TSTATES = 69888,
    SPECTRUM_INTERRUPT_LENGTH = 32, /* T-states the ULA holds /INT low */
    SPECTRUM_SLICE_TSTATES = 448,   /* two screen lines: the beeper's time resolution */
    SPECTRUM_ROM_SIZE = 0x4000,
    BEEPER_MAX_EDGES = 512 /* per frame (1.5 per sample); more are dropped */
};

typedef struct Spectrum {
    Z80 cpu;
    const uint8_t* rom; /* 16 KiB */
    uint8_t* ram;       /* 48 KiB: 0x4000-0xFFFF */
    SpectrumInput input;
    uint8_t border;      /* 0-7 */
    uint8_t ula;         /* last byte written to port 0xFE */
    uint8_t ear_low;     /* 0x40 while the EAR output is low: clears bit 6 of port 0xFE */
    uint8_t frame_level; /* beeper level (0/1) at the start of the current frame */
    uint8_t beeping;     /* the last frame had beeper edges: run the next one in slices */
    uint32_t frames;     /* frames run since the snapshot was loaded */
    uint32_t interrupts; /* interrupts the CPU accepted */
    uint16_t edge_count;
    int32_t* edges; /* BEEPER_MAX_EDGES: T-states in the frame at which the beeper toggled */
    /* Optional free-running clock of the host machine (GBA cycles). With it, an edge is dated
     * inside its slice by the time spent since the slice began, at the rate of the last frame. */
    uint32_t (*clock)(void);
    uint32_t slice_clock; /* clock() when the current run began */
    int32_t slice_end;    /* T-state the current run stops at */
    uint32_t t_per_clock; /* T-states per clock tick, 16.16, measured over the last frame */
} Spectrum;

/* edges: room for BEEPER_MAX_EDGES. Maps ROM and RAM into the CPU and installs the port handlers;
 * the CPU is at power-on. */
void spectrum_init(Spectrum* s, const uint8_t* rom, uint8_t* ram, int32_t* edges);

/* Loads a snapshot into RAM and the CPU. On failure the machine must be loaded again before it
 * runs. */
SnapshotResult spectrum_load(Spectrum* s, const uint8_t* data, uint32_t size, SnapshotKind kind);

/* One 69,888-T-state frame, the interrupt at its start. Beeper edges of the frame are in edges[]
 * (with frame_level the level before the first) until the next call. */
void spectrum_run_frame(Spectrum* s);

/* Port handlers (exposed for tests). */
uint8_t spectrum_port_in(void* user, uint16_t port);
void spectrum_port_out(void* user, uint16_t port, uint8_t value);

#ifdef __cplusplus
}
#endif

#endif
