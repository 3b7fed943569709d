#include "beeper_cases.h"

#include "spectrum/beeper.h"

#include <string.h>

static uint32_t next_random(uint32_t* seed) {
    *seed = *seed * 1664525u + 1013904223u;
    return *seed >> 8;
}

BeeperCase beeper_case(int k, int32_t* edges) {
    BeeperCase c = {k & 1, 69888, 654, 0, k % 4};
    uint32_t seed = 12345u + 7919u * (uint32_t)k;
    int32_t t = 0;
    switch (k % 10) {
    case 0: /* silence or the full level, no edge */
        break;
    case 1: /* a square wave, half-periods of a few samples */
        for (t = 100 + k; t < c.frame_tstates; t += 497)
            edges[c.count++] = t;
        break;
    case 2: /* edges on sample boundaries: 10 T-states a sample */
        c.frame_tstates = 6540;
        for (t = 0; t <= c.frame_tstates; t += 10 * (1 + (int32_t)(next_random(&seed) % 3)))
            edges[c.count++] = t;
        break;
    case 3: /* three-voice music: about 700 edges, often two in a sample */
        for (t = (int32_t)(next_random(&seed) % 40); t < c.frame_tstates;
             t += 11 + (int32_t)(next_random(&seed) % 180))
            edges[c.count++] = t;
        break;
    case 4: /* as dense as OUTs can be: every 11 T-states or a little more */
        for (t = 0; t < c.frame_tstates && c.count < BEEPER_CASE_MAX_EDGES;
             t += 11 + (int32_t)(next_random(&seed) % 4))
            edges[c.count++] = t;
        break;
    case 5: /* sparse: long runs of whole samples between edges, from any alignment */
        for (t = (int32_t)(next_random(&seed) % 3000); t < c.frame_tstates;
             t += 700 + (int32_t)(next_random(&seed) % 9000))
            edges[c.count++] = t;
        break;
    case 6: /* the 128K's frame and its 655 samples, an edge dated past the end */
        c.frame_tstates = 70908, c.samples = 655;
        for (t = 50; t < c.frame_tstates; t += 1000 + (int32_t)(next_random(&seed) % 300))
            edges[c.count++] = t;
        edges[c.count++] = c.frame_tstates + 7;
        break;
    case 7: /* out of order, before the frame, after it, repeated */
        for (int i = 0; i < 300; ++i)
            edges[c.count++] = (int32_t)(next_random(&seed) % 80000) - 5000;
        break;
    case 8: /* at the frame's very start and end */
        edges[c.count++] = 0;
        edges[c.count++] = 0;
        edges[c.count++] = 1;
        edges[c.count++] = c.frame_tstates - 1;
        edges[c.count++] = c.frame_tstates;
        break;
    default: /* few samples a frame, many edges in each */
        c.samples = 7 + k;
        for (t = 3; t < c.frame_tstates; t += 37 + (int32_t)(next_random(&seed) % 900))
            edges[c.count++] = t;
        break;
    }
    return c;
}

uint32_t beeper_case_hash(int k, int32_t* edges, int8_t* buffer) {
    BeeperCase c = beeper_case(k, edges);
    memset(buffer, 0x55, BEEPER_CASE_MAX_SAMPLES + 3 * BEEPER_CASE_GUARD);
    BeeperGrid grid = beeper_grid(c.frame_tstates, c.samples);
    beeper_render(c.level, edges, c.count, &grid, buffer + BEEPER_CASE_GUARD + c.offset);
    uint32_t hash = 2166136261u;
    for (int i = 0; i < BEEPER_CASE_MAX_SAMPLES + 3 * BEEPER_CASE_GUARD; ++i)
        hash = (hash ^ (uint8_t)buffer[i]) * 16777619u;
    return hash;
}
