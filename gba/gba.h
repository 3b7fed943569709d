/* GBA hardware registers and helpers shared by every Tapeloom image (no devkit exists here). */
#ifndef TAPELOOM_GBA_H
#define TAPELOOM_GBA_H

#include <stdint.h>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int8_t s8;
typedef int16_t s16;
typedef int32_t s32;

#define REG16(a) (*(volatile u16*)(a))
#define REG32(a) (*(volatile u32*)(a))

/* Code placement. IWRAM_CODE functions run in ARM state from IWRAM at full speed; ROM code
 * calling them needs the long call (a Thumb branch cannot reach 0x03000000), which the macro
 * requests for every caller that sees the declaration. */
#define IWRAM_CODE __attribute__((section(".iwram"), target("arm"), noinline, long_call))
#define IWRAM_DATA __attribute__((section(".iwram.data")))
#define EWRAM_DATA __attribute__((section(".ewram")))
#define EWRAM_BSS __attribute__((section(".ewram_bss")))

/* Display */
#define REG_DISPCNT REG16(0x04000000)
#define REG_DISPSTAT REG16(0x04000004)
#define REG_VCOUNT REG16(0x04000006)
#define REG_BG0CNT REG16(0x04000008)
#define REG_BG1CNT REG16(0x0400000A)
#define REG_BG2CNT REG16(0x0400000C)
#define REG_BG3CNT REG16(0x0400000E)
#define REG_BG0HOFS REG16(0x04000010)
#define REG_BG0VOFS REG16(0x04000012)
#define REG_BG1HOFS REG16(0x04000014)
#define REG_BG1VOFS REG16(0x04000016)

#define DCNT_MODE0 0x0000
#define DCNT_MODE3 0x0003
#define DCNT_MODE4 0x0004
#define DCNT_FORCED_BLANK 0x0080
#define DCNT_BG0 0x0100
#define DCNT_BG1 0x0200
#define DCNT_BG2 0x0400
#define DCNT_BG3 0x0800
#define DCNT_OBJ 0x1000

#define DSTAT_VBLANK_IRQ 0x0008
#define DSTAT_HBLANK_IRQ 0x0010
#define DSTAT_VCOUNT_IRQ 0x0020

#define BGCNT_PRIO(n) (n)
#define BGCNT_CHARBASE(n) ((n) << 2)
#define BGCNT_4BPP 0x0000
#define BGCNT_8BPP 0x0080
#define BGCNT_SCREENBASE(n) ((n) << 8)
#define BGCNT_SIZE_256x256 0x0000

#define PAL_BG ((volatile u16*)0x05000000)
#define PAL_OBJ ((volatile u16*)0x05000200)
#define VRAM ((volatile u16*)0x06000000)
#define CHAR_BLOCK(n) ((volatile u16*)(0x06000000 + (n)*0x4000))
#define SCREEN_BLOCK(n) ((volatile u16*)(0x06000000 + (n)*0x800))

#define RGB15(r, g, b) ((u16)((r) | ((g) << 5) | ((b) << 10)))

/* Interrupts */
#define REG_IE REG16(0x04000200)
#define REG_IF REG16(0x04000202)
#define REG_WAITCNT REG16(0x04000204)
#define REG_IME REG16(0x04000208)
#define BIOS_IF REG16(0x03007FF8)

#define IRQ_VBLANK 0x0001
#define IRQ_HBLANK 0x0002
#define IRQ_VCOUNT 0x0004
#define IRQ_TIMER0 0x0008
#define IRQ_TIMER1 0x0010
#define IRQ_TIMER2 0x0020
#define IRQ_TIMER3 0x0040
#define IRQ_DMA0 0x0100
#define IRQ_DMA1 0x0200
#define IRQ_DMA2 0x0400
#define IRQ_DMA3 0x0800
#define IRQ_KEYPAD 0x1000

/* Called by the interrupt handler (crt0.s) in IRQ mode, after the pending interrupts are
 * acknowledged, with their bits. Keep it short: the IRQ stack holds about 130 bytes. */
extern void (*volatile gba_irq_hook)(u32 flags);

/* Timers */
#define REG_TM0CNT_L REG16(0x04000100)
#define REG_TM0CNT_H REG16(0x04000102)
#define REG_TM1CNT_L REG16(0x04000104)
#define REG_TM1CNT_H REG16(0x04000106)
#define REG_TM2CNT_L REG16(0x04000108)
#define REG_TM2CNT_H REG16(0x0400010A)
#define REG_TM3CNT_L REG16(0x0400010C)
#define REG_TM3CNT_H REG16(0x0400010E)
#define TM_ENABLE 0x0080
#define TM_IRQ 0x0040
#define TM_CASCADE 0x0004
#define TM_FREQ_1 0x0000
#define TM_FREQ_64 0x0001
#define TM_FREQ_256 0x0002
#define TM_FREQ_1024 0x0003

/* DMA 3 (general copies) */
#define REG_DMA3SAD REG32(0x040000D4)
#define REG_DMA3DAD REG32(0x040000D8)
#define REG_DMA3CNT REG32(0x040000DC)
#define DMA_ENABLE 0x80000000u
#define DMA_32 0x04000000u
#define DMA_16 0x00000000u
#define DMA_SRC_FIXED 0x01000000u

/* Keys: bits of KEYINPUT, 0 = pressed in the register. */
#define REG_KEYINPUT REG16(0x04000130)
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

/* Fixed EWRAM addresses (see gba.ld) */
#define GBA_STATE_BLOCKS 0x0203FA00u
#define GBA_POGOSHELL_ARGS 0x0203FBF8u

/* First byte after the image: where the packer's table starts. */
extern const u8 __image_end[];

/* BIOS calls (mGBA emulates them without a BIOS file). */
static inline void gba_vblank_intr_wait(void) {
#if defined(__thumb__)
    __asm__ volatile("swi 0x05" ::: "r0", "r1", "r2", "r3", "memory");
#else
    __asm__ volatile("swi 0x050000" ::: "r0", "r1", "r2", "r3", "memory");
#endif
}

/* Turns on the VBlank interrupt so gba_vblank_intr_wait() can be used. */
void gba_irq_init_vblank(void);

#endif
