/* Runs the benchmark workload (bench.asm) on the core the way the Spectrum machine does:
 * 69,888 T-states per frame, then an IM 1 interrupt, writes to the screen watched. Shared by the
 * host test and the GBA image, so that both can be compared by a checksum. */
#ifndef TAPELOOM_Z80_BENCH_DRIVER_H
#define TAPELOOM_Z80_BENCH_DRIVER_H

#include "z80/z80.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { Z80_BENCH_FRAME_TSTATES = 69888, Z80_BENCH_ORIGIN = 0x8000 };

/* memory: 64 KiB, all RAM. */
void z80_bench_setup(Z80* z, uint8_t* memory, const uint8_t* program, unsigned size);
void z80_bench_frame(Z80* z);
/* Registers, the whole memory and the watched screen rows folded into one word. */
uint32_t z80_bench_checksum(Z80* z, const uint8_t* memory);

#ifdef __cplusplus
}
#endif

#endif
