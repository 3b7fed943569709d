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

enum {
    ALL_ROWS = (1u << SPECTRUM_SCREEN_ROWS) - 1,
    BEEPER_BIT = 0x10 /* of port 0xFE: the speaker, and the EAR output bit 6 reads back */
};

/* The ports the ULA alone answers, as mask << 16 | match: on the 48K every even port; on the
 * 128K the even ports with A1 high (A1 low also reaches the paging port or the AY). Writes to
 * them go through the CPU's output latch, and their reads may be cached: they depend only on the
 * high byte, the keys and the latch. */
static uint32_t ula_ports(const Spectrum* s) {
    return s->model == SPECTRUM_128K ? 0x00030002u : 0x00010000u;
}

/* The CPU logs the beeper's edges (the writes to the ULA's port that change bit 4, as the T-state
 * of their I/O cycle) into the edge buffer, behind the frame's edges: its log is the list. */
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
static uint8_t port_in_128_ear_plugged(void* user, uint16_t port);

/* The port handlers of the machine running: bit 6 of port 0xFE reads the EAR input when
 * something is plugged in, else the EAR output (bit 4 of the ULA latch, as on an issue 3 board),
 * and the reads are counted while something is plugged in (how a tape deck tells that a program
 * listens): a handler for each, so that neither tests which. What the ULA's ports read depends on
 * the high byte (the half-rows), the keys (set between runs) and the latch (bit 6 follows bit 4):
 * unplugged, the CPU may keep it within a run; plugged in, every read must reach the handler to
 * be counted. The 128K's other ports (the AY's register changes without a write to its port)
 * are never cached. */
static void set_io(Spectrum* s) {
    int unplugged = s->ear_input == SPECTRUM_EAR_UNPLUGGED;
    if (s->model == SPECTRUM_128K)
        z80_set_io(&s->cpu, unplugged ? spectrum_128_port_in : port_in_128_ear_plugged,
                   spectrum_128_port_out, s);
    else
        z80_set_io(&s->cpu, unplugged ? spectrum_port_in : port_in_ear_plugged, spectrum_port_out,
                   s);
    uint32_t ports = ula_ports(s);
    if (unplugged)
        z80_cache_in(&s->cpu, (uint16_t)(ports >> 16), (uint16_t)ports);
    else
        z80_cache_in(&s->cpu, 0x0000, 0x0000);
}

/* The edges the CPU logged since the last call join the frame's; returns how many. */
static inline __attribute__((always_inline)) uint32_t take_edges(Spectrum* s,
                                                                 const Z80Latch* latch) {
    uint32_t before = s->edge_count;
    s->edge_count = (uint32_t)((const int32_t*)latch->next - s->edges);
    return s->edge_count - before;
}

/* The logged edges, and the port's value as the latch holds it. */
ZX_HOT static void take_ula_log(Spectrum* s) {
    const Z80Latch* latch = z80_latch(&s->cpu);
    take_edges(s, latch);
    set_ula(s, (uint32_t)latch->value);
}

/* The screen watch of the 128K: bank 5 is always at 0x4000; bank 7 can only be written through
 * 0xC000, so that is watched while it is shown (writes there to another bank mark rows that did
 * not change: they are redrawn the same). */
static void watch_screen(Spectrum* s) {
    z80_watch_writes(&s->cpu, s->screen_bank == 7 ? 0xC000 : SPECTRUM_SCREEN_ADDRESS,
                     SPECTRUM_SCREEN_SIZE, spectrum_screen_row_masks);
}

/* The 128K's paging port took `value` (unless locked): the bank at 0xC000, the ROM, the screen
 * shown. Bank 5 paged at 0xC000 while shown is written where no watch sees it: every row is
 * redrawn while that lasts (at each frame's end) and when it ends. */
static void write_paging(Spectrum* s, uint8_t value) {
    if (s->paging & SPECTRUM_PAGING_LOCK)
        return;
    unsigned changed = s->paging ^ value;
    s->paging = value;
    if (changed & SPECTRUM_PAGING_BANK) {
        uint8_t* bank = spectrum_bank(s, value & SPECTRUM_PAGING_BANK);
        z80_map_page(&s->cpu, 3, bank, bank);
    }
    if (changed & SPECTRUM_PAGING_ROM1)
        z80_map_page(&s->cpu, 0, (value & SPECTRUM_PAGING_ROM1) ? s->rom : s->rom0, NULL);
    uint8_t shown = (value & SPECTRUM_PAGING_SHADOW) ? 7 : 5;
    if (shown != s->screen_bank) {
        s->screen_bank = shown;
        watch_screen(s);
        s->changed_rows = ALL_ROWS;
    }
    uint8_t hidden = shown == 5 && (value & SPECTRUM_PAGING_BANK) == 5;
    if (s->screen_hidden && !hidden)
        s->changed_rows = ALL_ROWS;
    s->screen_hidden = hidden;
}

void spectrum_set_paging(Spectrum* s, uint8_t paging) {
    s->paging = (uint8_t)~paging & 0x1F; /* unlocked, every page differs: all are mapped again */
    s->screen_bank = 0;
    s->screen_hidden = 0;
    write_paging(s, paging);
    s->changed_rows = ALL_ROWS;
}

/* Power-on CPU with the memory map of the machine running (the 128K's as its paging port says),
 * the ports and the screen watch. */
static void reset_cpu(Spectrum* s) {
    z80_init(&s->cpu);
    if (s->model == SPECTRUM_128K) {
        z80_map_page(&s->cpu, 1, spectrum_bank(s, 5), spectrum_bank(s, 5));
        z80_map_page(&s->cpu, 2, spectrum_bank(s, 2), spectrum_bank(s, 2));
        spectrum_set_paging(s, s->paging);
    } else {
        z80_map_page(&s->cpu, 0, s->rom, NULL);
        for (int page = 1; page < 4; ++page)
            z80_map_page(&s->cpu, page, s->ram + (page - 1) * 0x4000, s->ram + (page - 1) * 0x4000);
        s->paging = 0;
        s->screen_bank = 5;
        s->screen_hidden = 0;
        watch_screen(s);
    }
    set_io(s);
    /* The ULA's port is the CPU's output latch; its log of bit 4's changes goes behind the
     * edges. */
    uint32_t ports = ula_ports(s);
    z80_set_latch(&s->cpu, (uint16_t)(ports >> 16), (uint16_t)ports, s->ula, BEEPER_BIT);
    log_after_edges(s);
}

/* The frame and the interrupt of the model; the frame starts again. */
static void set_model(Spectrum* s, SpectrumModel model) {
    s->model = (uint8_t)model;
    s->frame_tstates = model == SPECTRUM_128K ? SPECTRUM_128_FRAME_TSTATES : SPECTRUM_FRAME_TSTATES;
    s->interrupt_length =
        model == SPECTRUM_128K ? SPECTRUM_128_INTERRUPT_LENGTH : SPECTRUM_INTERRUPT_LENGTH;
    s->frame_level = 0;
    s->in_frame = 0;
    s->frames = 0;
    s->interrupts = 0;
    s->edge_count = 0;
    s->late_edges = 0;
}

void spectrum_init(Spectrum* s, const uint8_t* rom, uint8_t* ram, int32_t* edges) {
    memset(s, 0, sizeof *s);
    s->edges = edges;
    s->rom = rom;
    s->ram = ram;
    s->ear_input = SPECTRUM_EAR_UNPLUGGED;
    set_model(s, SPECTRUM_48K);
    /* No key held until the front end reports buttons (a zeroed table would read as all held). */
    static const uint8_t no_keys[KEY_BLOCK_SIZE] = {0};
    keyboard_from_buttons(no_keys, 0, &s->input);
    reset_cpu(s);
}

void spectrum_init_128(Spectrum* s, const uint8_t* rom0, const uint8_t* rom, uint8_t* ram,
                       AyChip* ay, int32_t* edges) {
    spectrum_init(s, rom, ram, edges);
    s->rom0 = rom0;
    s->ay = ay;
    if (ay)
        ay_init(ay);
}

int spectrum_power_on(Spectrum* s, SpectrumModel model) {
    if (model == SPECTRUM_128K && (!s->rom0 || !s->ay))
        return 0;
    set_model(s, model);
    s->paging = 0;
    if (s->ay)
        ay_reset(s->ay);
    reset_cpu(s);
    s->changed_rows = ALL_ROWS;
    return 1;
}

SnapshotResult spectrum_load(Spectrum* s, const uint8_t* data, uint32_t size, SnapshotKind kind) {
    SnapshotState state;
    SnapshotResult result = s->rom0 && s->ay
                                ? snapshot_load_128(data, size, kind, s->rom, s->ram, &state)
                                : snapshot_load(data, size, kind, s->rom, s->ram, &state);
    if (result != SNAPSHOT_OK)
        return result;
    set_model(s, (SpectrumModel)state.model);
    s->paging = state.model == SPECTRUM_128K ? state.port_7ffd : 0;
    set_ula(s, state.border);
    reset_cpu(s);
    if (state.model == SPECTRUM_128K)
        ay_load(s->ay, state.ay_regs, state.ay_selected);
    z80_set_regs(&s->cpu, &state.regs);
    z80_set_tstates(&s->cpu, 0);
    s->changed_rows = ALL_ROWS;
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
    return read_port(s, port, (~(uint32_t)z80_latch_value(&s->cpu) & BEEPER_BIT) << 2);
}

ZX_HOT static uint8_t port_in_ear_plugged(void* user, uint16_t port) {
    Spectrum* s = (Spectrum*)user;
    if (!(port & 1))
        s->ear_reads++;
    return read_port(s, port, s->ear_low);
}

/* A write to port 0xFE the CPU did not log (its log was full; or a caller other than the CPU):
 * the logged ones first. The CPU gives the T-state of the OUT's I/O cycle, which dates a beeper
 * edge exactly. The level before the write is the port's as last taken, turned by each edge
 * logged since (the latch may hold this write's value already). */
ZX_HOT void spectrum_port_out(void* user, uint16_t port, uint8_t value) {
    Spectrum* s = (Spectrum*)user;
    if (port & 1)
        return;
    uint32_t level = s->ula ^ (take_edges(s, z80_latch(&s->cpu)) & 1) * BEEPER_BIT;
    if ((value ^ level) & BEEPER_BIT && s->edge_count < BEEPER_MAX_EDGES) {
        s->edges[s->edge_count++] = z80_tstates(&s->cpu);
        log_after_edges(s);
    }
    set_ula(s, value);
    z80_set_latch_value(&s->cpu, value);
}

/* The 128K decodes the paging port 0x7FFD by A15 and A1 low, the AY by A15 high and A1 low: A14
 * high selects its register (0xFFFD, also read), low writes it (0xBFFD). The ULA answers every
 * even port as on the 48K. */
static inline __attribute__((always_inline)) uint8_t read_port_128(const Spectrum* s, uint16_t port,
                                                                   uint32_t ear_low) {
    if ((port & 0xC003) == 0xC001)
        return ay_read(s->ay);
    return read_port(s, port, ear_low);
}

ZX_HOT uint8_t spectrum_128_port_in(void* user, uint16_t port) {
    const Spectrum* s = (const Spectrum*)user;
    return read_port_128(s, port, (~(uint32_t)z80_latch_value(&s->cpu) & BEEPER_BIT) << 2);
}

static uint8_t port_in_128_ear_plugged(void* user, uint16_t port) {
    Spectrum* s = (Spectrum*)user;
    if (!(port & 1))
        s->ear_reads++;
    return read_port_128(s, port, s->ear_low);
}

/* The paging port and the AY (A1 low). */
static void write_128(Spectrum* s, uint16_t port, uint8_t value) {
    if (!(port & 0x8000))
        write_paging(s, value);
    else if (port & 0x4000)
        ay_select(s->ay, value);
    else
        ay_write_selected(s->ay, z80_tstates(&s->cpu), value);
}

/* What the CPU's latch leaves to the handler: the paging port and the AY, and the ULA's writes
 * on ports that also reach them (A1 low) or that the full log could not take. From ROM, as the
 * paging and the AY's queue are: only the ULA's part is hot, and that is in IWRAM. */
void spectrum_128_port_out(void* user, uint16_t port, uint8_t value) {
    if (!(port & 2))
        write_128((Spectrum*)user, port, value);
    spectrum_port_out(user, port, value);
}

/* The frame's start: /INT is held for 32 T-states (36 on the 128K), so an instruction that ends
 * inside that window (EI, or a DI section just closing) still sees it. An edge the last frame's
 * final OUT dated past its end opens this frame's list. */
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
    while (t < s->interrupt_length) {
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
 * (behind the list) for it; a shown screen paged where no watch sees it is redrawn whole. */
FRAME_STEP void end_frame(Spectrum* s, int32_t t) {
    take_ula_log(s);
    while (s->edge_count && s->edges[s->edge_count - 1] >= s->frame_tstates) {
        s->edge_count--;
        s->late_edges++;
    }
    if (s->screen_hidden) /* the shown bank was paged at 0xC000 too: unwatched */
        s->changed_rows = ALL_ROWS;
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
