/* Benchmark image: runs bench.asm (assembled by pasmo, linked in as z80_bench_program) for a
 * fixed number of Spectrum frames and measures the GBA cycles (hw/cycle_counter.h). */
#include "bench_driver.h"
#include "hw/cycle_counter.h"
#include "hw/gba.h"
#include "z80_mailbox.h"

#include <string.h>

#ifndef Z80_BENCH_FRAMES
#define Z80_BENCH_FRAMES 100
#endif

extern const uint8_t z80_bench_program[];
extern const uint8_t z80_bench_program_end[];

static uint8_t memory[0x10000] __attribute__((aligned(4))) EWRAM_BSS;
static Z80Mailbox mailbox EWRAM_BSS;
static Z80 cpu;

int main(void) {
    memset(&mailbox, 0, sizeof mailbox);
    memcpy(mailbox.magic, Z80_MAILBOX_MAGIC, 8);
    z80_bench_setup(&cpu, memory, z80_bench_program,
                    (unsigned)(z80_bench_program_end - z80_bench_program));

    cycle_counter_start();
    for (unsigned frame = 0; frame < Z80_BENCH_FRAMES; frame++)
        z80_bench_frame(&cpu);
    uint32_t cycles = cycles_now();

    mailbox.frames = Z80_BENCH_FRAMES;
    mailbox.tstates = (uint32_t)Z80_BENCH_FRAMES * Z80_BENCH_FRAME_TSTATES;
    mailbox.cycles = cycles;
    mailbox.checksum = z80_bench_checksum(&cpu, memory);
    mailbox.done = 1;
    gba_irq_init_vblank();
    for (;;)
        bios_vblank_intr_wait();
}
