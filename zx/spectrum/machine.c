#include "spectrum/machine.h"

#include <string.h>

/* The frame's steps, inlined into spectrum_run_frame (IWRAM on the GBA) and spectrum_run. */
#define FRAME_STEP static inline __attribute__((always_inline))

/* Character row of the 32-byte block i of the screen: bitmap address 010T TLLL RRRC CCCC is row
 * TT * 8 + RRR (LLL is the pixel line), attributes 0x5800 + 32 * row + column. */
#define ROW_(i) ((i) < 192 ? (((i) >> 3) & 0x18) | ((i)&7) : (i)-192)
#define MASK_(i) (1u << ROW_(i))
#define M4_(n) MASK_(n), MASK_(n + 1), MASK_(n + 2), MASK_(n + 3)
#define M8_(n) M4_(n), M4_(n + 4)
#define M72_(n)                                                                                    \
    M8_(n), M8_(n + 8), M8_(n + 16), M8_(n + 24), M8_(n + 32), M8_(n + 40), M8_(n + 48),           \
        M8_(n + 56), M8_(n + 64)
_Static_assert(SPECTRUM_SCREEN_BLOCKS* Z80_WATCH_BLOCK == (int)SPECTRUM_SCREEN_SIZE, "blocks");
const uint32_t spectrum_screen_row_masks[SPECTRUM_SCREEN_BLOCKS] = {M72_(0), M72_(72), M72_(144)};

static uint8_t port_in_ear_plugged(void* user, uint16_t port);
static void port_out_ear_plugged(void* user, uint16_t port, uint8_t value);

/* The port handlers: while something is plugged into EAR, writes to port 0xFE leave bit 6 to
 * the input and reads of it are counted (handlers of their own, so that the usual ones cost
 * nothing more). */
static void set_io(Spectrum* s) {
    if (s->ear_input == SPECTRUM_EAR_UNPLUGGED)
        z80_set_io(&s->cpu, spectrum_port_in, spectrum_port_out, s);
    else
        z80_set_io(&s->cpu, port_in_ear_plugged, port_out_ear_plugged, s);
}

/* Power-on CPU with the 48K memory map, the ports and the screen watch. */
static void reset_cpu(Spectrum* s) {
    z80_init(&s->cpu);
    z80_map_page(&s->cpu, 0, s->rom, NULL);
    for (int page = 1; page < 4; ++page)
        z80_map_page(&s->cpu, page, s->ram + (page - 1) * 0x4000, s->ram + (page - 1) * 0x4000);
    set_io(s);
    z80_watch_writes(&s->cpu, SPECTRUM_SCREEN_ADDRESS, SPECTRUM_SCREEN_SIZE,
                     spectrum_screen_row_masks);
}

/* Bit 6 of port 0xFE: the EAR input when something is plugged in, else the EAR output (as on
 * an issue 3 board). */
static void update_ear(Spectrum* s) {
    int level = s->ear_input == SPECTRUM_EAR_UNPLUGGED ? (s->ula >> 4) & 1 : s->ear_input;
    s->ear_low = level ? 0x00 : 0x40;
}

void spectrum_init(Spectrum* s, const uint8_t* rom, uint8_t* ram, int32_t* edges) {
    memset(s, 0, sizeof *s);
    s->edges = edges;
    s->rom = rom;
    s->ram = ram;
    s->ear_input = SPECTRUM_EAR_UNPLUGGED;
    update_ear(s);
    /* No key held until the front end reports buttons (a zeroed table would read as all held). */
    static const uint8_t no_keys[KEY_BLOCK_SIZE] = {0};
    keyboard_from_buttons(no_keys, 0, &s->input);
    reset_cpu(s);
}

SnapshotResult spectrum_load(Spectrum* s, const uint8_t* data, uint32_t size, SnapshotKind kind) {
    SnapshotState state;
    SnapshotResult result = snapshot_load(data, size, kind, s->rom, s->ram, &state);
    if (result != SNAPSHOT_OK)
        return result;
    reset_cpu(s);
    z80_set_regs(&s->cpu, &state.regs);
    z80_set_tstates(&s->cpu, 0);
    s->changed_rows = (1u << SPECTRUM_SCREEN_ROWS) - 1;
    s->border = state.border;
    s->ula = state.border;
    update_ear(s);
    s->frame_level = 0;
    s->in_frame = 0;
    s->frames = 0;
    s->interrupts = 0;
    s->edge_count = 0;
    return SNAPSHOT_OK;
}

void spectrum_set_ear(Spectrum* s, int ear) {
    s->ear_input = (int8_t)(ear < 0 ? SPECTRUM_EAR_UNPLUGGED
                            : ear   ? SPECTRUM_EAR_HIGH
                                    : SPECTRUM_EAR_LOW);
    update_ear(s);
    set_io(s);
}

int32_t spectrum_frame_tstate(const Spectrum* s) {
    return z80_tstates(&s->cpu);
}

ZX_HOT uint8_t spectrum_port_in(void* user, uint16_t port) {
    Spectrum* s = (Spectrum*)user;
    if (!(port & 1))
        return s->input.port_fe[port >> 8] ^ s->ear_low;
    if (!(port & 0xE0))
        return s->input.kempston; /* Kempston: A5-A7 low */
    return 0xFF;
}

static uint8_t port_in_ear_plugged(void* user, uint16_t port) {
    Spectrum* s = (Spectrum*)user;
    if (!(port & 1))
        s->ear_reads++;
    return spectrum_port_in(user, port);
}

/* Port 0xFE: border, beeper (its edges dated in the frame) and, unless a signal comes in, the
 * EAR bit that port reads. */
static inline __attribute__((always_inline)) void write_ula(Spectrum* s, uint16_t port,
                                                            uint8_t value, int ear_from_output) {
    if (port & 1)
        return;
    s->border = value & 7;
    if ((value ^ s->ula) & 0x10) {
        int32_t t = z80_tstates(&s->cpu); /* the start of the current run */
        if (s->clock && s->t_per_clock) {
            uint64_t ticks = (uint32_t)(s->clock() - s->slice_clock);
            uint64_t later = (ticks * s->t_per_clock) >> 16;
            t = later >= (uint64_t)(s->slice_end - t) ? s->slice_end : t + (int32_t)later;
        }
        if (s->edge_count && t < s->edges[s->edge_count - 1])
            t = s->edges[s->edge_count - 1];
        if (s->edge_count < BEEPER_MAX_EDGES)
            s->edges[s->edge_count++] = t;
    }
    s->ula = value;
    if (ear_from_output)
        s->ear_low = (value & 0x10) ? 0x00 : 0x40;
}

ZX_HOT void spectrum_port_out(void* user, uint16_t port, uint8_t value) {
    write_ula((Spectrum*)user, port, value, 1);
}

static void port_out_ear_plugged(void* user, uint16_t port, uint8_t value) {
    write_ula((Spectrum*)user, port, value, 0);
}

/* The frame's start: /INT is held for 32 T-states, so an instruction that ends inside that
 * window (EI, or a DI section just closing) still sees it. */
FRAME_STEP void begin_frame(Spectrum* s) {
    Z80* cpu = &s->cpu;
    s->frame_level = (s->ula >> 4) & 1;
    s->edge_count = 0;
    int32_t t = z80_tstates(cpu);
    while (t < SPECTRUM_INTERRUPT_LENGTH) {
        if (z80_interrupt(cpu, 0xFF)) {
            s->interrupts++;
            break;
        }
        t = z80_run(cpu, t + 1);
    }
    s->frame_clock = s->clock ? s->clock() : 0;
    s->frame_start = t;
    s->in_frame = 1;
}

/* Runs the frame on to T-state `limit` (at most the frame's end) from `t`. The core counts
 * T-states in a register while it runs, so a port handler sees the count of the run's start.
 * While the beeper sounds, the frame runs in slices of two lines, which dates its edges to 128
 * microseconds; a silent frame runs in one go (the first edge of a sound is then dated to the
 * frame's start). */
FRAME_STEP int32_t run_frame_to(Spectrum* s, int32_t t, int32_t limit) {
    Z80* cpu = &s->cpu;
    if (s->beeping) {
        while (t < limit) {
            int32_t end = t + SPECTRUM_SLICE_TSTATES;
            s->slice_end = end < limit ? end : limit;
            if (s->clock)
                s->slice_clock = s->clock();
            t = z80_run(cpu, s->slice_end);
        }
    } else if (t < limit) {
        s->slice_end = limit;
        s->slice_clock = t == s->frame_start ? s->frame_clock : s->clock ? s->clock() : 0;
        t = z80_run(cpu, limit);
    }
    return t;
}

/* The frame's end: the counter wraps into the next frame. */
FRAME_STEP void end_frame(Spectrum* s, int32_t t) {
    if (s->clock) {
        uint32_t ticks = s->clock() - s->frame_clock;
        if (ticks)
            s->t_per_clock = (uint32_t)(((uint64_t)(t - s->frame_start) << 16) / ticks);
    }
    s->beeping = s->edge_count != 0;
    z80_set_tstates(&s->cpu, t - SPECTRUM_FRAME_TSTATES);
    s->in_frame = 0;
    s->frames++;
}

ZX_HOT void spectrum_run_frame(Spectrum* s) {
    int32_t t;
    if (!s->in_frame) {
        begin_frame(s);
        t = s->frame_start;
    } else {
        t = z80_tstates(&s->cpu);
    }
    t = run_frame_to(s, t, SPECTRUM_FRAME_TSTATES);
    end_frame(s, t);
}

int32_t spectrum_run(Spectrum* s, int32_t tstates) {
    int32_t wanted = tstates;
    while (tstates > 0) {
        if (!s->in_frame) {
            int32_t before = z80_tstates(&s->cpu);
            begin_frame(s);
            tstates -= z80_tstates(&s->cpu) - before;
        }
        int32_t t = z80_tstates(&s->cpu);
        int32_t limit = tstates < SPECTRUM_FRAME_TSTATES - t ? t + tstates : SPECTRUM_FRAME_TSTATES;
        int32_t reached = run_frame_to(s, t, limit);
        tstates -= reached - t;
        if (reached >= SPECTRUM_FRAME_TSTATES)
            end_frame(s, reached);
    }
    return wanted - tstates;
}
