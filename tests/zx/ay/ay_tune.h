/* A busy AY tune as a register program, frame by frame, for the AY benchmark (the same program
 * on the host and in the GBA image, whose outputs must agree byte for byte). */
#ifndef TAPELOOM_TESTS_AY_TUNE_H
#define TAPELOOM_TESTS_AY_TUNE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AyTuneWrite {
    int32_t t; /* T-state in the frame */
    uint8_t reg, value;
} AyTuneWrite;

enum {
    AY_TUNE_FRAME_TSTATES = 70908, /* a Spectrum 128 frame */
    AY_TUNE_SAMPLES = 336,
    AY_TUNE_MAX_WRITES = 320,
    AY_TUNE_DIGI_WRITES = 280 /* volume writes per frame of the sampled drum */
};

typedef enum AyTuneKind {
    AY_TUNE_SILENT, /* a player that writes silence every frame */
    AY_TUNE_MUSIC,  /* melody with vibrato, buzzer bass on the envelope, drums with noise */
    AY_TUNE_DIGI    /* the music with a sampled drum played through channel C's volume */
} AyTuneKind;

/* The writes of frame `frame` (in time order) into out[AY_TUNE_MAX_WRITES]; returns how many. */
int ay_tune_frame(AyTuneKind kind, uint32_t frame, AyTuneWrite* out);

#ifdef __cplusplus
}
#endif

#endif
