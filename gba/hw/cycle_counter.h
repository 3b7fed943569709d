/* A clock of GBA cycles: timers 2 and 3, cascaded. The play loop starts it and its frame costs
 * and the save states' timings read it; the benchmark images time their work with it. */
#ifndef TAPELOOM_CYCLE_COUNTER_H
#define TAPELOOM_CYCLE_COUNTER_H

#include "hw/gba.h"

static inline void cycle_counter_start(void) {
    REG_TM2CNT_H = 0;
    REG_TM3CNT_H = 0;
    REG_TM2CNT_L = 0;
    REG_TM3CNT_L = 0;
    REG_TM3CNT_H = TM_ENABLE | TM_CASCADE;
    REG_TM2CNT_H = TM_ENABLE | TM_FREQ_1;
}

static inline u32 cycles_now(void) {
    u32 high, low;
    do {
        high = REG_TM3CNT_L;
        low = REG_TM2CNT_L;
    } while (high != REG_TM3CNT_L);
    return (high << 16) | low;
}

#endif
