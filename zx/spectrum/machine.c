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

/* The CPU logs the writes to the ULA's port into the edge buffer, behind the frame's edges: an
 * entry becomes at most one edge, so the edges never overtake the entries they are made from. */
static void log_after_edges(Spectrum* s) {
    z80_set_latch_log(&s->cpu, (uint32_t*)s->edges + s->edge_count,
                      BEEPER_MAX_EDGES - s->edge_count);
}

/* Port 0xFE holds `value`: border and beeper level. */
static inline void set_ula(Spectrum* s, uint32_t value) {
    s->ula = (uint8_t)value;
    s->border = value & 7;
}

static uint8_t port_in_ear_plugged(void* user, uint16_t port);

/* The port handlers: bit 6 of port 0xFE reads the EAR input when something is plugged in, else
 * the EAR output (bit 4 of the ULA latch, as on an issue 3 board), and the reads are counted
 * while something is plugged in (how a tape deck tells that a program listens): a handler for
 * each, so that neither tests which. What port 0xFE reads depends on the high byte (the
 * half-rows), the keys (set between runs) and the latch (bit 6 follows bit 4): unplugged, the
 * CPU may keep it within a run; plugged in, every read must reach the handler to be counted. */
static void set_io(Spectrum* s) {
    int unplugged = s->ear_input == SPECTRUM_EAR_UNPLUGGED;
    z80_set_io(&s->cpu, unplugged ? spectrum_port_in : port_in_ear_plugged, spectrum_port_out, s);
    z80_cache_in(&s->cpu, unplugged ? 0x0001 : 0x0000, 0x0000);
}

/* The ULA writes the CPU logged since the last call: their beeper edges, the port's value. */
ZX_HOT static void take_ula_log(Spectrum* s) {
    const int32_t* entry = s->edges + s->edge_count;
    const int32_t* end = (const int32_t*)z80_latch_log_end(&s->cpu);
    uint32_t n = s->edge_count, ula = s->ula;
    for (; entry < end; entry++) {
        uint32_t value = (uint32_t)*entry & 0xFF;
        if ((value ^ ula) & 0x10)
            s->edges[n++] = *entry >> 8; /* the T-state of the OUT's I/O cycle */
        ula = value;
    }
    s->edge_count = n;
    set_ula(s, ula);
    log_after_edges(s);
}

/* Power-on CPU with the 48K memory map, the ports and the screen watch. */
static void reset_cpu(Spectrum* s) {
    z80_init(&s->cpu);
    z80_map_page(&s->cpu, 0, s->rom, NULL);
    for (int page = 1; page < 4; ++page)
        z80_map_page(&s->cpu, page, s->ram + (page - 1) * 0x4000, s->ram + (page - 1) * 0x4000);
    set_io(s);
    /* The ULA's port (0xFE: A0 low) is the CPU's output latch; its log goes behind the edges. */
    z80_set_latch(&s->cpu, 0x0001, 0x0000, s->ula);
    log_after_edges(s);
    z80_watch_writes(&s->cpu, SPECTRUM_SCREEN_ADDRESS, SPECTRUM_SCREEN_SIZE,
                     spectrum_screen_row_masks);
}

void spectrum_init(Spectrum* s, const uint8_t* rom, uint8_t* ram, int32_t* edges) {
    memset(s, 0, sizeof *s);
    s->edges = edges;
    s->rom = rom;
    s->ram = ram;
    s->frame_tstates = SPECTRUM_FRAME_TSTATES;
    s->ear_input = SPECTRUM_EAR_UNPLUGGED;
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
    set_ula(s, state.border);
    z80_set_latch_value(&s->cpu, s->ula);
    s->frame_level = 0;
    s->in_frame = 0;
    s->frames = 0;
    s->interrupts = 0;
    s->edge_count = 0;
    s->late_edges = 0;
    log_after_edges(s);
    return SNAPSHOT_OK;
}

void spectrum_set_ear(Spectrum* s, int ear) {
    s->ear_input = (int8_t)(ear < 0 ? SPECTRUM_EAR_UNPLUGGED
                            : ear   ? SPECTRUM_EAR_HIGH
                                    : SPECTRUM_EAR_LOW);
    s->ear_low = ear > 0 ? 0x00 : 0x40;
    set_io(s);
}

int32_t spectrum_frame_tstate(const Spectrum* s) {
    return z80_tstates(&s->cpu);
}

/* Port 0xFE: the keyboard half-rows the high byte selects and the EAR bit (ear_low: 0x40 while
 * it reads low); Kempston: A5-A7 low. */
static inline __attribute__((always_inline)) uint8_t read_port(const Spectrum* s, uint16_t port,
                                                               uint32_t ear_low) {
    if (!(port & 1))
        return keyboard_read(&s->input, (uint8_t)(port >> 8)) ^ (uint8_t)ear_low;
    if (!(port & 0xE0))
        return s->input.kempston;
    return 0xFF;
}

ZX_HOT uint8_t spectrum_port_in(void* user, uint16_t port) {
    const Spectrum* s = (const Spectrum*)user;
    return read_port(s, port, (~(uint32_t)z80_latch_value(&s->cpu) & 0x10) << 2);
}

ZX_HOT static uint8_t port_in_ear_plugged(void* user, uint16_t port) {
    Spectrum* s = (Spectrum*)user;
    if (!(port & 1))
        s->ear_reads++;
    return read_port(s, port, s->ear_low);
}

/* A write to port 0xFE the CPU did not log (its log was full; or a caller other than the CPU):
 * the logged ones first. The CPU gives the T-state of the OUT's I/O cycle, which dates a beeper
 * edge exactly. */
ZX_HOT void spectrum_port_out(void* user, uint16_t port, uint8_t value) {
    Spectrum* s = (Spectrum*)user;
    if (port & 1)
        return;
    take_ula_log(s);
    if ((value ^ s->ula) & 0x10 && s->edge_count < BEEPER_MAX_EDGES) {
        s->edges[s->edge_count++] = z80_tstates(&s->cpu);
        log_after_edges(s);
    }
    set_ula(s, value);
    z80_set_latch_value(&s->cpu, value);
}

/* The frame's start: /INT is held for 32 T-states, so an instruction that ends inside that
 * window (EI, or a DI section just closing) still sees it. An edge the last frame's final OUT
 * dated past its end opens this frame's list. */
FRAME_STEP int32_t begin_frame(Spectrum* s) {
    Z80* cpu = &s->cpu;
    uint32_t late = s->late_edges;
    for (uint32_t k = 0; k < late; k++)
        s->edges[k] = s->edges[s->edge_count + k] - s->frame_tstates;
    s->edge_count = late;
    s->late_edges = 0;
    log_after_edges(s);
    s->frame_level = (uint8_t)(((s->ula >> 4) ^ late) & 1);
    int32_t t = z80_tstates(cpu);
    while (t < SPECTRUM_INTERRUPT_LENGTH) {
        if (z80_interrupt(cpu, 0xFF)) {
            s->interrupts++;
            break;
        }
        t = z80_run(cpu, t + 1);
    }
    s->in_frame = 1;
    return z80_tstates(cpu);
}

/* The frame's end: the counter wraps into the next frame, and edges dated past the end are kept
 * (behind the list) for it. */
FRAME_STEP void end_frame(Spectrum* s, int32_t t) {
    take_ula_log(s);
    while (s->edge_count && s->edges[s->edge_count - 1] >= s->frame_tstates) {
        s->edge_count--;
        s->late_edges++;
    }
    z80_set_tstates(&s->cpu, t - s->frame_tstates);
    s->in_frame = 0;
    s->frames++;
}

ZX_HOT void spectrum_run_frame(Spectrum* s) {
    int32_t t = s->in_frame ? z80_tstates(&s->cpu) : begin_frame(s);
    if (t < s->frame_tstates)
        t = z80_run(&s->cpu, s->frame_tstates);
    end_frame(s, t);
}

int32_t spectrum_run(Spectrum* s, int32_t tstates) {
    int32_t wanted = tstates;
    while (tstates > 0) {
        if (!s->in_frame) {
            int32_t before = z80_tstates(&s->cpu);
            tstates -= begin_frame(s) - before;
        }
        int32_t t = z80_tstates(&s->cpu);
        int32_t limit = tstates < s->frame_tstates - t ? t + tstates : s->frame_tstates;
        int32_t reached = t < limit ? z80_run(&s->cpu, limit) : t;
        tstates -= reached - t;
        if (reached >= s->frame_tstates)
            end_frame(s, reached);
    }
    /* The port's value (border, EAR output) as of where the run stopped; at a frame's end it is
     * taken already, and the edges kept for the next frame sit where the log would start. */
    if (s->in_frame)
        take_ula_log(s);
    return wanted - tstates;
}
