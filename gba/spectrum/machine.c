#include "machine.h"

#include <string.h>

#if defined(__arm__) && !defined(__linux__) /* the GBA build */
#include "gba.h"
#define HOT_CODE IWRAM_CODE
#else
#define HOT_CODE
#endif

/* Power-on CPU with the 48K memory map and the ports. */
static void reset_cpu(Spectrum* s) {
    z80_init(&s->cpu);
    z80_map_page(&s->cpu, 0, s->rom, NULL);
    for (int page = 1; page < 4; ++page)
        z80_map_page(&s->cpu, page, s->ram + (page - 1) * 0x4000, s->ram + (page - 1) * 0x4000);
    z80_set_io(&s->cpu, spectrum_port_in, spectrum_port_out, s);
}

void spectrum_init(Spectrum* s, const uint8_t* rom, uint8_t* ram, int32_t* edges) {
    memset(s, 0, sizeof *s);
    s->edges = edges;
    s->rom = rom;
    s->ram = ram;
    s->ear_low = 0x40;
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
    s->cpu.screen_dirty = 0xFFFFFF;
    s->border = state.border;
    s->ula = state.border;
    s->ear_low = 0x40;
    s->frame_level = 0;
    s->frames = 0;
    s->interrupts = 0;
    s->edge_count = 0;
    return SNAPSHOT_OK;
}

HOT_CODE uint8_t spectrum_port_in(void* user, uint16_t port) {
    Spectrum* s = (Spectrum*)user;
    if (!(port & 1)) /* bit 6 (EAR) follows the EAR output as on an issue 3 board */
        return s->input.port_fe[port >> 8] ^ s->ear_low;
    if (!(port & 0xE0))
        return s->input.kempston; /* Kempston: A5-A7 low */
    return 0xFF;
}

HOT_CODE void spectrum_port_out(void* user, uint16_t port, uint8_t value) {
    Spectrum* s = (Spectrum*)user;
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
    s->ear_low = (value & 0x10) ? 0x00 : 0x40;
}

HOT_CODE void spectrum_run_frame(Spectrum* s) {
    Z80* cpu = &s->cpu;
    s->frame_level = (s->ula >> 4) & 1;
    s->edge_count = 0;
    /* /INT is held for 32 T-states from the frame's start: an instruction that ends inside
     * that window (EI, or a DI section just closing) still sees it. */
    int32_t t = z80_tstates(cpu);
    while (t < SPECTRUM_INTERRUPT_LENGTH) {
        if (z80_interrupt(cpu, 0xFF)) {
            s->interrupts++;
            break;
        }
        t = z80_run(cpu, t + 1);
    }
    /* The core counts T-states in a register while it runs, so a port handler sees the count of
     * the run's start. While the beeper sounds, the frame runs in slices of two lines, which dates
     * its edges to 128 microseconds; a silent frame runs in one go (the first edge of a sound is
     * then dated to the frame's start). */
    uint32_t frame_clock = s->clock ? s->clock() : 0;
    int32_t frame_start = t;
    if (s->beeping) {
        while (t < SPECTRUM_FRAME_TSTATES) {
            int32_t limit = t + SPECTRUM_SLICE_TSTATES;
            s->slice_end = limit < SPECTRUM_FRAME_TSTATES ? limit : SPECTRUM_FRAME_TSTATES;
            if (s->clock)
                s->slice_clock = s->clock();
            t = z80_run(cpu, s->slice_end);
        }
    } else {
        s->slice_end = SPECTRUM_FRAME_TSTATES;
        s->slice_clock = frame_clock;
        t = z80_run(cpu, SPECTRUM_FRAME_TSTATES);
    }
    if (s->clock) {
        uint32_t ticks = s->clock() - frame_clock;
        if (ticks)
            s->t_per_clock = (uint32_t)(((uint64_t)(t - frame_start) << 16) / ticks);
    }
    s->beeping = s->edge_count != 0;
    z80_set_tstates(cpu, t - SPECTRUM_FRAME_TSTATES);
    s->frames++;
}
