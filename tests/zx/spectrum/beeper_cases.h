/* Edge lists for comparing two builds of beeper_render (the GBA's ARM code against the host's C):
 * the same cases on both sides, each rendered into a buffer with guard bytes, every byte hashed. */
#ifndef TAPELOOM_TESTS_BEEPER_CASES_H
#define TAPELOOM_TESTS_BEEPER_CASES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BEEPER_CASES_MAGIC "BEEPCMP"

enum {
    BEEPER_CASES = 40,
    BEEPER_CASE_MAX_EDGES = 6480,
    BEEPER_CASE_MAX_SAMPLES = 1024,
    BEEPER_CASE_GUARD = 8, /* bytes before and after the samples, and the offset's room */
    BEEPER_CASE_MUSIC = 3  /* the case timed: about 700 edges a frame, as three-voice music */
};

typedef struct BeeperCase {
    int level;
    int32_t frame_tstates;
    int samples;
    int count;
    int offset; /* of the samples in their buffer: any alignment */
} BeeperCase;

/* Case k (0 <= k < BEEPER_CASES): its parameters, and its edges into edges[0..count). */
BeeperCase beeper_case(int k, int32_t* edges);

/* Renders case k with beeper_render into buffer (BEEPER_CASE_MAX_SAMPLES + 3 guards), guards
 * included, and returns the FNV-1a hash of the whole buffer. */
uint32_t beeper_case_hash(int k, int32_t* edges, int8_t* buffer);

typedef struct BeeperCasesMailbox {
    char magic[8];
    uint32_t done;
    uint32_t hash[BEEPER_CASES];
    uint32_t music_cycles; /* GBA cycles of rendering BEEPER_CASE_MUSIC */
    uint32_t music_edges;
    uint32_t quiet_cycles; /* of a frame without edges */
} BeeperCasesMailbox;

#ifdef __cplusplus
}
#endif

#endif
