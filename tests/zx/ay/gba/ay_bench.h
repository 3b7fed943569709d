/* What the AY benchmark image leaves in EWRAM for the host harness, which finds it by its magic. */
#ifndef TAPELOOM_TESTS_AY_BENCH_H
#define TAPELOOM_TESTS_AY_BENCH_H

#include <stdint.h>

#define AY_BENCH_MAGIC "AYBENCH"

enum { AY_BENCH_KINDS = 3, AY_BENCH_FRAMES = 100 };

typedef struct AyBenchMailbox {
    char magic[8];
    uint32_t done;
    uint32_t frames; /* per kind (silent, music, music + sampled drum) */
    /* GBA cycles over all frames of a kind: the machine's ay_write calls, and ay_render */
    uint32_t write_cycles[AY_BENCH_KINDS];
    uint32_t render_cycles[AY_BENCH_KINDS];
    uint32_t writes[AY_BENCH_KINDS];
    /* FNV-1a over every rendered sample, for comparison with the host build */
    uint32_t checksum[AY_BENCH_KINDS];
    /* The other route: the AY's registers turned into the GBA's own tone and noise channels
     * once per frame (psg_sketch.c), cycles over the music's frames. */
    uint32_t psg_cycles;
    /* The music rendered at half the sample rate (168 samples a frame), render cycles. */
    uint32_t half_rate_cycles;
} AyBenchMailbox;

#endif
