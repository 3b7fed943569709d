/* The beeper's renderer on the GBA: every case of beeper_cases.c rendered by the ARM code, its
 * bytes hashed for the host to compare with the C version's, and the cost of a frame of music and
 * of a quiet one (timers 0+1 cascaded). */
#include "beeper_cases.h"
#include "hw/gba.h"
#include "spectrum/beeper.h"

#include <string.h>

static int32_t edges[BEEPER_CASE_MAX_EDGES] EWRAM_BSS;
static int8_t buffer[BEEPER_CASE_MAX_SAMPLES + 3 * BEEPER_CASE_GUARD] EWRAM_BSS
    __attribute__((aligned(4)));
static BeeperCasesMailbox mailbox EWRAM_BSS;

static void clock_start(void) {
    REG_TM0CNT_H = 0;
    REG_TM1CNT_H = 0;
    REG_TM0CNT_L = 0;
    REG_TM1CNT_L = 0;
    REG_TM1CNT_H = TM_ENABLE | TM_CASCADE;
    REG_TM0CNT_H = TM_ENABLE | TM_FREQ_1;
}

static uint32_t clock_stop(void) {
    REG_TM0CNT_H = 0;
    return REG_TM0CNT_L | ((uint32_t)REG_TM1CNT_L << 16);
}

int main(void) {
    memset(&mailbox, 0, sizeof mailbox);
    memcpy(mailbox.magic, BEEPER_CASES_MAGIC, 8);
    for (int k = 0; k < BEEPER_CASES; ++k)
        mailbox.hash[k] = beeper_case_hash(k, edges, buffer);
    for (int k = 0; k < 2; ++k) {
        BeeperCase c = beeper_case(k ? BEEPER_CASE_MUSIC : 0, edges);
        BeeperGrid grid = beeper_grid(c.frame_tstates, c.samples);
        clock_start();
        beeper_render(c.level, edges, c.count, &grid, buffer + BEEPER_CASE_GUARD + c.offset);
        uint32_t cycles = clock_stop();
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
