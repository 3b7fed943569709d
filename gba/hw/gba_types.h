/* Integer types and code placement for GBA code. */
#ifndef TAPELOOM_GBA_TYPES_H
#define TAPELOOM_GBA_TYPES_H

#include <stdint.h>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int8_t s8;
typedef int16_t s16;
typedef int32_t s32;

/* Code placement (sections of boot/gba.ld.in). IWRAM_CODE functions run in ARM state from IWRAM
 * at full speed; ROM code calling them needs the long call (a Thumb branch cannot reach
 * 0x03000000), which the macro requests for every caller that sees the declaration. */
#define IWRAM_CODE __attribute__((section(".iwram"), target("arm"), noinline, long_call))
/* Thumb code copied to EWRAM at start-up: for what must not run from the cartridge while it
 * talks to the cartridge's save chip. */
#define EWRAM_CODE __attribute__((section(".ewram_code"), noinline, long_call))
#define IWRAM_DATA __attribute__((section(".iwram.data")))
#define EWRAM_DATA __attribute__((section(".ewram")))
#define EWRAM_BSS __attribute__((section(".ewram_bss")))

#endif
