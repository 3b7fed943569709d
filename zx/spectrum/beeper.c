#include "spectrum/beeper.h"

ZX_HOT void beeper_render(int level, const int32_t* edges, int count, int8_t* out) {
    /* high * scale >> 16 maps 0..208 T-states of high level onto 0..2 * amplitude; */
    const int32_t scale = (2 * BEEPER_AMPLITUDE * 65536) / BEEPER_TSTATES_PER_SAMPLE;
    if (count == 0) { /* a steady level: one value for the whole frame */
        int8_t v = (int8_t)(level ? (BEEPER_TSTATES_PER_SAMPLE * scale) >> 16 : 0);
        for (int i = 0; i < BEEPER_SAMPLES_PER_FRAME; ++i)
            out[i] = v;
        return;
    }
    int e = 0;
    int32_t start = 0;
    for (int i = 0; i < BEEPER_SAMPLES_PER_FRAME; ++i) {
        int32_t end = start + BEEPER_TSTATES_PER_SAMPLE;
        int32_t high = 0, pos = start;
        while (e < count && edges[e] < end) {
            int32_t at = edges[e] < pos ? pos : edges[e];
            if (level)
                high += at - pos;
            pos = at;
            level ^= 1;
            ++e;
        }
        if (level)
            high += end - pos;
        out[i] = (int8_t)((high * scale) >> 16); /* low level = silence: no DC when idle */
        start = end;
    }
}
