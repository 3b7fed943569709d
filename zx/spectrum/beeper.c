#include "spectrum/beeper.h"

#include <string.h>

enum {
    FULL = 2 * BEEPER_AMPLITUDE,
    LONG_RUN = 16 /* samples from which a run at one level is filled by memset */
};

/* Time is counted in units of 1 / (span x samples) of the frame: T-state t is unit t x samples
 * and every sample spans exactly `span` units, so sample boundaries need no rounding. A sample's
 * value is its high units x FULL / span, by a reciprocal rounded up so that a whole high sample
 * gives exactly the full level. */
BeeperGrid beeper_grid(int32_t frame_tstates, int samples) {
    BeeperGrid g;
    g.span = (uint32_t)frame_tstates;
    g.samples = (uint32_t)samples;
    g.recip = (((uint32_t)FULL << 24) + g.span - 1) / g.span;
    g.inverse = 0xFFFFFFFFu / g.span;
    return g;
}

#if !ZX_GBA /* the GBA's is ARM code: beeper_render.S */

/* Whole samples at one level from o on, as many as fit before unit `at`, sample spans from
 * `end`; returns the end of the last one filled (at least `end`). */
static uint32_t fill_whole(int8_t** o, uint32_t end, uint32_t at, uint32_t v,
                           const BeeperGrid* grid) {
    uint32_t whole = (uint32_t)(((uint64_t)(at - end) * grid->inverse) >> 32);
    if (at - end - whole * grid->span >= grid->span) /* the inverse rounds down: one short */
        ++whole;
    memset(*o, (int)v, whole);
    *o += whole;
    return end + whole * grid->span;
}

ZX_HOT void beeper_render(int level, const int32_t* edges, int count, const BeeperGrid* grid,
                          int8_t* out) {
    const uint32_t span = grid->span, n = grid->samples, recip = grid->recip;
    const int32_t* const last = edges + count;
    int8_t* o = out;     /* the sample being made */
    uint32_t end = span; /* its end */
    uint32_t pos = 0;    /* units rendered */
    uint32_t high = 0;   /* units of the current sample at the high level so far */
    level &= 1;
    for (;;) {
        uint32_t at = span * n; /* the frame's end closes the last run */
        if (edges != last) {
            int32_t t = *edges++;
            if (t < (int32_t)span)
                at = t > 0 ? (uint32_t)t * n : 0;
            if (at < pos)
                at = pos;
        }
        if (at >= end) { /* the run finishes the current sample, maybe whole ones after it */
            uint32_t v = 0;
            if (level) {
                high += end - pos;
                v = FULL;
            }
            *o++ = (int8_t)((high * recip) >> 24);
            if (at - end >= LONG_RUN * span) {
                end = fill_whole(&o, end, at, v, grid);
            } else {
                while (at - end >= span) {
                    *o++ = (int8_t)v;
                    end += span;
                }
            }
            pos = end;
            end += span;
            high = 0;
        }
        if (o == out + n)
            return;
        if (level)
            high += at - pos;
        pos = at;
        level ^= 1;
    }
}

#endif
