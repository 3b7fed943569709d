/* Fixed EWRAM addresses that tests (and a debugger) use: the state blocks the program keeps
 * while it runs, and Pogoshell's argument block. The one definition for the program, its linker
 * script (boot/gba.ld.in runs through the C preprocessor) and the host-side tests; the blocks'
 * layouts are in menu_state.h and play_state.h. Plain numbers only.
 *
 * 0x0203FA00  menu state (128 bytes)
 * 0x0203FA80  emulator state (up to POGOSHELL_ARGS_ADDRESS)
 * 0x0203FBF8  Pogoshell's argument block, to the end of EWRAM: size and cartridge address of the
 *             opened file, then at POGOSHELL_BLOCK_ADDRESS the magic, argc and the paths. The
 *             start-up code never writes or clears it. */
#ifndef TAPELOOM_GBA_STATE_BLOCKS_H
#define TAPELOOM_GBA_STATE_BLOCKS_H

#define STATE_BLOCKS_ADDRESS 0x0203FA00
#define MENU_STATE_ADDRESS 0x0203FA00
#define PLAY_STATE_ADDRESS 0x0203FA80
#define POGOSHELL_ARGS_ADDRESS 0x0203FBF8
#define POGOSHELL_BLOCK_ADDRESS 0x0203FC00
#define POGOSHELL_MAGIC 0xFAB0BABE

/* The System-mode stack (the main program's) ends at SYS_STACK_TOP and may take SYS_STACK_SIZE
 * bytes below it. Start-up paints everything from the end of IWRAM's data up to the top with
 * STACK_PAINT, so the deepest the stack has been is the lowest word no longer painted; the test
 * harness reads it, and fails a run whose stack went past its bottom word. */
#define SYS_STACK_TOP 0x03007F00
#define SYS_STACK_SIZE 0x500
#define STACK_PAINT 0x5AC3A55C

/* For the layouts: a block must end before the next one begins (C and C++). */
#ifdef __cplusplus
#define STATE_BLOCK_FITS(type, start, next) static_assert(sizeof(type) <= (next) - (start), #type)
#else
#define STATE_BLOCK_FITS(type, start, next) _Static_assert(sizeof(type) <= (next) - (start), #type)
#endif

#endif
