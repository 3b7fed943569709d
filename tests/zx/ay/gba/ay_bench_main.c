/* AY benchmark image: plays the test tunes (ay_tune.c) through the chip frame by frame as the
 * emulator will (each write from the port handler, then the frame's samples added to a buffer in
 * EWRAM), and measures the GBA cycles of each part with hw/cycle_counter.h. */
#include "ay.h"
#include "ay_bench.h"
#include "ay_tune.h"
#include "hw/cycle_counter.h"
#include "hw/gba.h"
#include "psg_sketch.h"

#include <string.h>

static AyChip chip EWRAM_BSS;
static int8_t samples[AY_TUNE_SAMPLES] EWRAM_BSS __attribute__((aligned(4)));
static AyTuneWrite writes[AY_TUNE_MAX_WRITES] EWRAM_BSS;
static int8_t cart_samples[AY_BENCH_CART_SAMPLES] EWRAM_BSS;
static int8_t cart_scratch[(AY_BENCH_CART_SAMPLES + 1) / 2] EWRAM_BSS;
static AyBenchMailbox mailbox EWRAM_BSS;
static PsgSketch psg;

int main(void) {
    memset(&mailbox, 0, sizeof mailbox);
    memcpy(mailbox.magic, AY_BENCH_MAGIC, 8);
    mailbox.frames = AY_BENCH_FRAMES;
    for (int kind = 0; kind < AY_BENCH_KINDS; ++kind) {
        ay_init(&chip);
        uint32_t hash = 2166136261u;
        for (uint32_t frame = 0; frame < AY_BENCH_FRAMES; ++frame) {
            int n = ay_tune_frame((AyTuneKind)kind, frame, writes);
            memset(samples, 0, sizeof samples);
            cycle_counter_start();
            for (int i = 0; i < n; ++i)
                ay_write(&chip, writes[i].t, writes[i].reg, writes[i].value);
            mailbox.write_cycles[kind] += cycles_now();
            mailbox.writes[kind] += (uint32_t)n;
            cycle_counter_start();
            ay_render(&chip, AY_TUNE_FRAME_TSTATES, samples, AY_TUNE_SAMPLES);
            mailbox.render_cycles[kind] += cycles_now();
            for (int i = 0; i < AY_TUNE_SAMPLES; ++i)
                hash = (hash ^ (uint8_t)samples[i]) * 16777619u;
            if (kind == AY_TUNE_MUSIC) {
                if (frame == 0)
                    psg_sketch_start(&psg);
                cycle_counter_start();
                psg_sketch_frame(&psg, chip.regs, AY_TUNE_FRAME_TSTATES);
                mailbox.psg_cycles += cycles_now();
            }
        }
        mailbox.checksum[kind] = hash;
    }
    ay_init(&chip);
    for (uint32_t frame = 0; frame < AY_BENCH_FRAMES; ++frame) {
        int n = ay_tune_frame(AY_TUNE_MUSIC, frame, writes);
        for (int i = 0; i < n; ++i)
            ay_write(&chip, writes[i].t, writes[i].reg, writes[i].value);
        cycle_counter_start();
        ay_render(&chip, AY_TUNE_FRAME_TSTATES, samples, AY_TUNE_SAMPLES / 2);
        mailbox.half_rate_cycles += cycles_now();
    }
    ay_init(&chip);
    ay_set_peak(&chip, AY_BENCH_CART_PEAK);
    ay_set_offset(&chip, AY_BENCH_CART_OFFSET);
    uint32_t hash = 2166136261u;
    for (uint32_t frame = 0; frame < AY_BENCH_FRAMES; ++frame) {
        int n = ay_tune_frame(AY_TUNE_DIGI, frame, writes);
        for (int i = 0; i < n; ++i)
            ay_write(&chip, writes[i].t, writes[i].reg, writes[i].value);
        for (int i = 0; i < AY_BENCH_CART_SAMPLES; ++i)
            cart_samples[i] = (int8_t)ay_bench_beeper(frame, (uint32_t)i);
        cycle_counter_start();
        if (frame & 1)
            ay_render_half(&chip, AY_TUNE_FRAME_TSTATES, cart_samples, AY_BENCH_CART_SAMPLES,
                           cart_scratch);
        else
            ay_render(&chip, AY_TUNE_FRAME_TSTATES, cart_samples, AY_BENCH_CART_SAMPLES);
        *((frame & 1) ? &mailbox.cart_half_cycles : &mailbox.cart_full_cycles) += cycles_now();
        for (int i = 0; i < AY_BENCH_CART_SAMPLES; ++i)
            hash = (hash ^ (uint8_t)cart_samples[i]) * 16777619u;
    }
    mailbox.cart_checksum = hash;
    REG_SOUNDCNT_X = 0; /* sound off again */
    mailbox.done = 1;
    gba_irq_init_vblank();
    for (;;)
        bios_vblank_intr_wait();
}
