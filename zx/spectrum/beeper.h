/* The beeper's square wave as 8-bit signed samples. A frame's edges (the T-states at which the
 * level toggled) become `samples` samples that share the frame evenly; each sample is the mean
 * level over its share (a box filter), so an edge between two sample points moves the samples
 * around it by how far into the sample it fell, and edges closer together than a sample are not
 * lost. The low level is silence (0), the high level 2 x BEEPER_AMPLITUDE: a silent machine adds
 * no offset, and the rest of the int8 range is headroom for a second source (the AY) that adds
 * its samples to the same buffer. Portable C. */
#ifndef TAPELOOM_SPECTRUM_BEEPER_H
#define TAPELOOM_SPECTRUM_BEEPER_H

#include <stdint.h>

#include "zx_placement.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { BEEPER_AMPLITUDE = 48 };

/* How a frame divides into samples, worked out once by beeper_grid. */
typedef struct BeeperGrid {
    uint32_t span;    /* T-states a frame lasts: time counts in 1 / (span x samples) of it */
    uint32_t samples; /* samples a frame */
    uint32_t recip;   /* full level x 2^24 / span, rounded up */
    uint32_t inverse; /* 2^32 / span, rounded down */
} BeeperGrid;

/* A frame of `frame_tstates` T-states as `samples` samples (both above 0; their product below
 * 2^32). */
ZX_API BeeperGrid beeper_grid(int32_t frame_tstates, int samples);

/* Renders one frame into out[0..grid->samples): `level` is the beeper's level at the frame's
 * start, edges[0..count) the T-states at which it toggled, ascending (`edges` a valid pointer
 * even when count is 0: the renderer forms edges + count). Edges past the frame's end
 * (an instruction running over it) count as at its end; an edge earlier than the one before it
 * counts as at that one. */
ZX_API void beeper_render(int level, const int32_t* edges, int count, const BeeperGrid* grid,
                          int8_t* out);

#ifdef __cplusplus
}
#endif

#endif
