/* The GBA's memory map: the regions, the BIOS words in IWRAM and the I/O registers by address.
 * The addresses are plain numbers (the start-up code and the linker script read them too); C
 * code uses the REG_ accessors and region pointers at the end. Bits: gba_bits.h. */
#ifndef TAPELOOM_GBA_MEMMAP_H
#define TAPELOOM_GBA_MEMMAP_H

/* Regions */
#define MEM_EWRAM 0x02000000 /* 256 KiB, 16-bit bus, 2 wait states */
#define MEM_EWRAM_SIZE 0x40000
#define MEM_IWRAM 0x03000000 /* 32 KiB, 32-bit bus, no wait states */
#define MEM_IWRAM_SIZE 0x8000
#define MEM_IO 0x04000000
#define MEM_PAL 0x05000000 /* 256 background colours, then 256 sprite colours */
#define MEM_VRAM 0x06000000
#define MEM_VRAM_SIZE 0x18000
#define MEM_VRAM_OBJ 0x06010000 /* sprite tiles in the tiled modes */
#define MEM_OAM 0x07000000
#define MEM_ROM 0x08000000 /* the cartridge, up to 32 MiB */
#define MEM_ROM_END 0x0A000000
#define MEM_SAVE 0x0E000000 /* the cartridge's save memory, 8-bit bus, 64 KiB window */

/* The BIOS keeps its interrupt words at the top of IWRAM. */
#define BIOS_IRQ_FLAGS 0x03007FF8   /* interrupts VBlankIntrWait/IntrWait wait for (16 bits) */
#define BIOS_IRQ_HANDLER 0x03007FFC /* address of the program's interrupt handler (ARM) */

/* I/O registers */
#define IO_DISPCNT 0x04000000
#define IO_DISPSTAT 0x04000004
#define IO_VCOUNT 0x04000006
#define IO_BG0CNT 0x04000008
#define IO_BG1CNT 0x0400000A
#define IO_BG0HOFS 0x04000010
#define IO_BG0VOFS 0x04000012
#define IO_BG1HOFS 0x04000014
#define IO_BG1VOFS 0x04000016
#define IO_BLDCNT 0x04000050
#define IO_BLDALPHA 0x04000052
#define IO_SOUNDCNT_L 0x04000080
#define IO_SOUNDCNT_H 0x04000082
#define IO_SOUNDCNT_X 0x04000084
#define IO_FIFO_A 0x040000A0
#define IO_DMA3SAD 0x040000D4
#define IO_DMA3DAD 0x040000D8
#define IO_DMA3CNT 0x040000DC
#define IO_TM0CNT_L 0x04000100
#define IO_TM0CNT_H 0x04000102
#define IO_TM1CNT_L 0x04000104
#define IO_TM1CNT_H 0x04000106
#define IO_TM2CNT_L 0x04000108
#define IO_TM2CNT_H 0x0400010A
#define IO_TM3CNT_L 0x0400010C
#define IO_TM3CNT_H 0x0400010E
#define IO_KEYINPUT 0x04000130
#define IO_IE 0x04000200 /* a 32-bit read gives IE | IF << 16 */
#define IO_IF 0x04000202
#define IO_WAITCNT 0x04000204
#define IO_IME 0x04000208

#ifndef __ASSEMBLER__
#include "hw/gba_types.h"

#define REG16(a) (*(volatile u16*)(a))
#define REG32(a) (*(volatile u32*)(a))

#define REG_DISPCNT REG16(IO_DISPCNT)
#define REG_DISPSTAT REG16(IO_DISPSTAT)
#define REG_VCOUNT REG16(IO_VCOUNT)
#define REG_BG0CNT REG16(IO_BG0CNT)
#define REG_BG1CNT REG16(IO_BG1CNT)
#define REG_BG0HOFS REG16(IO_BG0HOFS)
#define REG_BG0VOFS REG16(IO_BG0VOFS)
#define REG_BG1HOFS REG16(IO_BG1HOFS)
#define REG_BG1VOFS REG16(IO_BG1VOFS)
#define REG_BLDCNT REG16(IO_BLDCNT)
#define REG_BLDALPHA REG16(IO_BLDALPHA)
#define REG_SOUNDCNT_L REG16(IO_SOUNDCNT_L)
#define REG_SOUNDCNT_H REG16(IO_SOUNDCNT_H)
#define REG_SOUNDCNT_X REG16(IO_SOUNDCNT_X)
#define REG_FIFO_A REG32(IO_FIFO_A)
#define REG_DMA3SAD REG32(IO_DMA3SAD)
#define REG_DMA3DAD REG32(IO_DMA3DAD)
#define REG_DMA3CNT REG32(IO_DMA3CNT)
#define REG_TM0CNT_L REG16(IO_TM0CNT_L)
#define REG_TM0CNT_H REG16(IO_TM0CNT_H)
#define REG_TM1CNT_L REG16(IO_TM1CNT_L)
#define REG_TM1CNT_H REG16(IO_TM1CNT_H)
#define REG_TM2CNT_L REG16(IO_TM2CNT_L)
#define REG_TM2CNT_H REG16(IO_TM2CNT_H)
#define REG_TM3CNT_L REG16(IO_TM3CNT_L)
#define REG_TM3CNT_H REG16(IO_TM3CNT_H)
#define REG_KEYINPUT REG16(IO_KEYINPUT)
#define REG_IE REG16(IO_IE)
#define REG_IF REG16(IO_IF)
#define REG_WAITCNT REG16(IO_WAITCNT)
#define REG_IME REG16(IO_IME)
#define REG_BIOS_IRQ_FLAGS REG16(BIOS_IRQ_FLAGS)

#define PAL_BG ((volatile u16*)MEM_PAL)
#define PAL_OBJ ((volatile u16*)(MEM_PAL + 0x200))
#define VRAM ((volatile u16*)MEM_VRAM)
/* Background tiles: four 16 KiB character blocks; maps: 32 screen blocks of 2 KiB. */
#define CHAR_BLOCK(n) ((volatile u16*)(MEM_VRAM + (n)*0x4000))
#define SCREEN_BLOCK(n) ((volatile u16*)(MEM_VRAM + (n)*0x800))
#define OBJ_TILES ((volatile u32*)MEM_VRAM_OBJ)
/* 128 sprites of four halfwords; the fourth halfwords of each group of four are an affine
 * matrix (pa, pb, pc, pd). */
#define OAM ((volatile u16*)MEM_OAM)
#endif

#endif
