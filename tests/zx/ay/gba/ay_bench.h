/* What the AY benchmark image leaves in EWRAM for the host harness, which finds it by its magic. */
#ifndef TAPELOOM_TESTS_AY_BENCH_H
#define TAPELOOM_TESTS_AY_BENCH_H

#include <stdint.h>

#define AY_BENCH_MAGIC "AYBENCH"

enum {
    AY_BENCH_KINDS = 3,
    AY_BENCH_FRAMES = 100,
    /* The cartridge's frame: 655 samples at 32,768 Hz over the beeper's, the chip at its peak
     * and offset there; every other frame rendered at half the rate. */
    AY_BENCH_CART_SAMPLES = 655,
    AY_BENCH_CART_PEAK = 53,
    AY_BENCH_CART_OFFSET = -128
};

/* The "beeper" sample i under the cartridge's frame: a ramp over the beeper's 0-96. */
static inline uint32_t ay_bench_beeper(uint32_t frame, uint32_t i) {
    return (frame * 7u + 3u * i) % 97u;
}

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
    /* The music with the sampled drum in the cartridge's frames: FNV-1a of the samples, and the
     * render cycles of the full-rate and the half-rate frames. */
    uint32_t cart_checksum;
    uint32_t cart_full_cycles, cart_half_cycles;
} AyBenchMailbox;

#endif
