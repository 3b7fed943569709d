/* The beeper's renderer on the GBA: every case of beeper_cases.c rendered by the ARM code, its
 * bytes hashed for the host to compare with the C version's, and the cost of a frame of music and
 * of a quiet one (hw/cycle_counter.h). */
#include "beeper_cases.h"
#include "hw/cycle_counter.h"
#include "hw/gba.h"
#include "spectrum/beeper.h"

#include <string.h>

static int32_t edges[BEEPER_CASE_MAX_EDGES] EWRAM_BSS;
static int8_t buffer[BEEPER_CASE_MAX_SAMPLES + 3 * BEEPER_CASE_GUARD] EWRAM_BSS
    __attribute__((aligned(4)));
static BeeperCasesMailbox mailbox EWRAM_BSS;

int main(void) {
    memset(&mailbox, 0, sizeof mailbox);
    memcpy(mailbox.magic, BEEPER_CASES_MAGIC, 8);
    for (int k = 0; k < BEEPER_CASES; ++k)
        mailbox.hash[k] = beeper_case_hash(k, edges, buffer);
    for (int k = 0; k < 2; ++k) {
        BeeperCase c = beeper_case(k ? BEEPER_CASE_MUSIC : 0, edges);
        BeeperGrid grid = beeper_grid(c.frame_tstates, c.samples);
        cycle_counter_start();
        beeper_render(c.level, edges, c.count, &grid, buffer + BEEPER_CASE_GUARD + c.offset);
        uint32_t cycles = cycles_now();
        if (k) {
            mailbox.music_cycles = cycles;
            mailbox.music_edges = (uint32_t)c.count;
        } else {
            mailbox.quiet_cycles = cycles;
        }
    }
    mailbox.done = 1;
    gba_irq_init_vblank();
    for (;;)
        bios_vblank_intr_wait();
}
