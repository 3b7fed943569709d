/* Bits of the GBA's I/O registers (addresses in gba_memmap.h). */
#ifndef TAPELOOM_GBA_BITS_H
#define TAPELOOM_GBA_BITS_H

/* DISPCNT */
#define DCNT_MODE0 0x0000 /* tiled, four text backgrounds */
#define DCNT_OBJ_1D 0x0040
#define DCNT_FORCED_BLANK 0x0080
#define DCNT_BG0 0x0100
#define DCNT_BG1 0x0200
#define DCNT_BG2 0x0400
#define DCNT_BG3 0x0800
#define DCNT_OBJ 0x1000

/* DISPSTAT */
#define DSTAT_VBLANK_IRQ 0x0008

/* BGxCNT */
#define BGCNT_PRIO(n) (n)
#define BGCNT_CHARBASE(n) ((n) << 2)
#define BGCNT_4BPP 0x0000
#define BGCNT_SCREENBASE(n) ((n) << 8)
#define BGCNT_SIZE_256x256 0x0000

/* BLDCNT: first targets (bits 0-5), mode, second targets (bits 8-13); BLDALPHA: the weights of
 * the first (EVA) and second (EVB) target, in sixteenths. */
#define BLD_TOP_BG1 0x0002
#define BLD_ALPHA 0x0040
#define BLD_BOTTOM_OBJ 0x1000
#define BLD_BOTTOM_BACKDROP 0x2000
#define BLDALPHA_WEIGHTS(eva, evb) ((eva) | ((evb) << 8))

/* Colours: 5 bits each, red lowest. */
#define RGB15(r, g, b) ((r) | ((g) << 5) | ((b) << 10))

/* OAM attributes */
#define ATTR0_AFFINE 0x0100
#define ATTR0_HIDE 0x0200 /* for a regular sprite */
#define ATTR0_Y_MASK 0x00FF
#define ATTR1_X_MASK 0x01FF
#define ATTR1_MATRIX(n) ((n) << 9)
#define ATTR1_SIZE_64 0xC000 /* 64 x 64 for a square sprite */
#define ATTR2_PRIORITY(n) ((n) << 10)

/* Background map entries */
#define MAP_PALETTE(n) ((n) << 12)

/* SOUNDCNT */
#define SOUNDCNT_X_MASTER 0x0080
#define SOUNDCNT_H_A_FULL 0x0004 /* Direct Sound A at 100 % */
#define SOUNDCNT_H_A_RIGHT 0x0100
#define SOUNDCNT_H_A_LEFT 0x0200
#define SOUNDCNT_H_A_TIMER0 0x0000
#define SOUNDCNT_H_A_RESET 0x0800 /* empties FIFO A */

/* DMA control (DMAxCNT as one 32-bit word: count in the low half) */
#define DMA_ENABLE 0x80000000u
#define DMA_32 0x04000000u
#define DMA_16 0x00000000u
#define DMA_SRC_FIXED 0x01000000u

/* TMxCNT_H */
#define TM_FREQ_1 0x0000
#define TM_FREQ_64 0x0001
#define TM_FREQ_256 0x0002
#define TM_FREQ_1024 0x0003
#define TM_CASCADE 0x0004
#define TM_IRQ 0x0040
#define TM_ENABLE 0x0080

/* KEYINPUT: 0 = pressed in the register; the bit order is the key records' slot order. */
#define KEY_A 0x0001
#define KEY_B 0x0002
#define KEY_SELECT 0x0004
#define KEY_START 0x0008
#define KEY_RIGHT 0x0010
#define KEY_LEFT 0x0020
#define KEY_UP 0x0040
#define KEY_DOWN 0x0080
#define KEY_R 0x0100
#define KEY_L 0x0200
#define KEY_MASK 0x03FF

/* IE / IF / BIOS interrupt flags */
#define IRQ_VBLANK 0x0001
#define IRQ_HBLANK 0x0002
#define IRQ_VCOUNT 0x0004
#define IRQ_TIMER0 0x0008
#define IRQ_TIMER1 0x0010
#define IRQ_TIMER2 0x0020
#define IRQ_TIMER3 0x0040
#define IRQ_DMA3 0x0800
#define IRQ_KEYPAD 0x1000

/* WAITCNT: ROM wait states 3 (first access) / 1 (sequential), prefetch on: the fast setting
 * every cartridge supports. */
#define WAITCNT_FAST_ROM 0x4317

/* CPSR modes, interrupts masked (I bit) for the privileged ones the start-up code enters. */
#define CPSR_IRQ_MASKED 0xD2
#define CPSR_SVC_MASKED 0xD3
#define CPSR_SYSTEM 0x1F

#endif
