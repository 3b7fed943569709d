/* A sketch of the AY played through the GBA's own tone and noise channels (see psg_sketch.c),
 * kept with the AY benchmark to put a measured cost beside the Direct Sound renderer's. */
#ifndef TAPELOOM_TESTS_PSG_SKETCH_H
#define TAPELOOM_TESTS_PSG_SKETCH_H

#include <stdint.h>

typedef struct PsgSketch {
    uint8_t volume[4]; /* what each channel was last started with */
    int32_t env_time;
    int env_step;
} PsgSketch;

void psg_sketch_start(PsgSketch* s);
/* The AY registers r[16] as they stand at the end of a frame of frame_tstates. */
void psg_sketch_frame(PsgSketch* s, const uint8_t* r, int32_t frame_tstates);

#endif
