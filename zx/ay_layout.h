/* Offsets into the AY renderer's working state (struct Renderer in ay.c) on the GBA, for the ARM
 * kernel: ay_kernel.S includes this file, and ay.c checks every line against the struct, so a
 * change to the struct that is not made here stops the build. Plain #defines only. */
#ifndef TAPELOOM_AY_LAYOUT_H
#define TAPELOOM_AY_LAYOUT_H

/* The generators (AyGenerators) */
#define AY_OFFSET_TONE_AT 0      /* int32 x 3 */
#define AY_OFFSET_TONE_PERIOD 12 /* int32 x 3 */
#define AY_OFFSET_NOISE_AT 36
#define AY_OFFSET_NOISE_PERIOD 40
#define AY_OFFSET_NOISE_RECIP 44
#define AY_OFFSET_NOISE_POS 48
#define AY_OFFSET_ENV_AT 52
#define AY_OFFSET_ENV_PERIOD 56
#define AY_OFFSET_AMP 64           /* int32 x 16 */
#define AY_OFFSET_PLAY 128         /* uint8 x 16: the registers as played */
#define AY_OFFSET_TONE_OUT 144     /* uint8 x 3 */
#define AY_OFFSET_ENV_SEGMENTS 147 /* uint8 x 2 */
#define AY_OFFSET_ENV_SEGMENT 149
#define AY_OFFSET_ENV_STEP 150
#define AY_OFFSET_ENV_LEVEL 151
#define AY_OFFSET_ENV_HOLDING 152
/* What is heard (Tracking) */
#define AY_OFFSET_MASK 156
#define AY_OFFSET_FAST 160
#define AY_OFFSET_CHANGE 164
#define AY_OFFSET_HEARD_NOISE_AT 168
#define AY_OFFSET_HIGH 172
#define AY_OFFSET_LOW 176
/* The samples */
#define AY_OFFSET_OUT 180
#define AY_OFFSET_COUNT 184
#define AY_OFFSET_OFFSET 188
#define AY_OFFSET_I 192
#define AY_OFFSET_POS 196
#define AY_OFFSET_LEN 200
#define AY_OFFSET_AT 204
#define AY_OFFSET_NORM 208
#define AY_OFFSET_ERROR 212
#define AY_OFFSET_N 216
#define AY_OFFSET_BASE 220
#define AY_OFFSET_EXTRA 224
#define AY_OFFSET_NORM_BASE 228
#define AY_OFFSET_NORM_LONG 232
#define AY_OFFSET_FRAME_END 236
#define AY_OFFSET_WRITE_AT 240
#define AY_OFFSET_ACC 248 /* int64 */
/* The queued writes */
#define AY_OFFSET_QUEUE 256
#define AY_OFFSET_E 260
#define AY_OFFSET_QUEUED 264

/* Constants of ay.c and ay_noise.h */
#define AY_LAYOUT_NOISE_LENGTH 131071
#define AY_LAYOUT_MAX_SPAN 4096
#define AY_LAYOUT_SEG_LOW 2 /* segments: 0 down, 1 up, 2 low, 3 high */
#define AY_LAYOUT_NOISE_HEARD 8
#define AY_LAYOUT_ENVELOPE_HEARD 16

#endif
