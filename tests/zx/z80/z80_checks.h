/* Checks of the Z80 core that run on the host (z80_checks_test.cpp) and, through the very same
 * code, on the GBA's ARM fast path (gba/vectors_main.c): the T-state every I/O instruction gives
 * its port handler, the output latch, the watched blocks of every kind of store, HALT and the
 * run limit inside repeated instructions, code that runs off a page after a port handler. Each
 * returns 0 when everything is right, else one bit per failed step. */
#ifndef TAPELOOM_Z80_CHECKS_H
#define TAPELOOM_Z80_CHECKS_H

#include <stdint.h>

#include "z80/z80.h"

#ifdef __cplusplus
extern "C" {
#endif

/* memory: 64 KiB the checks may overwrite; page: 16 KiB more, a page apart from it. */
uint32_t z80_check_io_timing(Z80* z, uint8_t* memory);
uint32_t z80_check_latch(Z80* z, uint8_t* memory);
uint32_t z80_check_store_marks(Z80* z, uint8_t* memory);
uint32_t z80_check_limits(Z80* z, uint8_t* memory);
uint32_t z80_check_page_end_after_io(Z80* z, uint8_t* memory, uint8_t* page);
/* *asked: how often the in handler was called over the check's two runs (8 when every read
 * asks; a core with an input cache asks less). */
uint32_t z80_check_in_cache(Z80* z, uint8_t* memory, unsigned* asked);

#ifdef __cplusplus
}
#endif

#endif
