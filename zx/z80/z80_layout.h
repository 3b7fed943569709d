/* Offsets of struct Z80's fields on the GBA (32-bit pointers), for the ARM fast path: the
 * generated z80_fast.S includes this file, and z80.c checks every line against the struct, so
 * a change to the struct that is not made here stops the build. Plain #defines only: the
 * assembler reads this file too. */
#ifndef TAPELOOM_Z80_LAYOUT_H
#define TAPELOOM_Z80_LAYOUT_H

#define Z80_OFFSET_RD 0 /* rd[5], then wr[4]: copied as one block of nine words */
#define Z80_OFFSET_WR 20
#define Z80_OFFSET_AF 36
#define Z80_OFFSET_BC 38
#define Z80_OFFSET_DE 40
#define Z80_OFFSET_HL 42
#define Z80_OFFSET_IX 44
#define Z80_OFFSET_IY 46
#define Z80_OFFSET_SP 48
#define Z80_OFFSET_PC 50
#define Z80_OFFSET_WZ 52
#define Z80_OFFSET_AF_ 54
#define Z80_OFFSET_BC_ 56
#define Z80_OFFSET_DE_ 58
#define Z80_OFFSET_HL_ 60
#define Z80_OFFSET_I 62
#define Z80_OFFSET_R 63
#define Z80_OFFSET_IFF1 64
#define Z80_OFFSET_IFF2 65
#define Z80_OFFSET_IM 66
#define Z80_OFFSET_HALTED 67
#define Z80_OFFSET_TSTATES 68
#define Z80_OFFSET_EI_TSTATES 72
#define Z80_OFFSET_RUN_LIMIT 76
#define Z80_OFFSET_IN 80
#define Z80_OFFSET_OUT 84
#define Z80_OFFSET_IO_USER 88
#define Z80_OFFSET_LATCH_PORTS 92
#define Z80_OFFSET_LATCH_VALUE 96
#define Z80_OFFSET_LATCH_NEXT 100
#define Z80_OFFSET_LATCH_END 104
#define Z80_OFFSET_IN_CACHE_PORTS 108
#define Z80_OFFSET_LATCH_LOGGED 112

#endif
