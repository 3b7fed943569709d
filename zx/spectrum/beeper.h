/* The beeper's square wave as 8-bit signed samples: each sample is the mean level over its
 * share of the frame, so edges between samples are not lost. Portable C. */
#ifndef TAPELOOM_SPECTRUM_BEEPER_H
#define TAPELOOM_SPECTRUM_BEEPER_H

#include <stdint.h>

#include "zx_placement.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    BEEPER_SAMPLES_PER_FRAME = 336, /* 208 T-states each; a multiple of 16 (FIFO pushes) */
    BEEPER_TSTATES_PER_SAMPLE = 208,
    BEEPER_AMPLITUDE = 48
};

/* Renders one frame: `level` is the beeper's level at the frame start, edges[0..count) the
 * T-states at which it toggled (ascending). */
ZX_API void beeper_render(int level, const int32_t* edges, int count, int8_t* out);

#ifdef __cplusplus
}
#endif

#endif
