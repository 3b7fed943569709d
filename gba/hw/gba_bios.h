/* BIOS calls (software interrupts). mGBA emulates them without a BIOS file. The number goes in
 * the low byte in Thumb state and in bits 16-23 in ARM state. */
#ifndef TAPELOOM_GBA_BIOS_H
#define TAPELOOM_GBA_BIOS_H

#if defined(__thumb__)
#define GBA_SWI(n) __asm__ volatile("swi " #n ::: "r0", "r1", "r2", "r3", "memory")
#else
#define GBA_SWI(n) __asm__ volatile("swi " #n " << 16" ::: "r0", "r1", "r2", "r3", "memory")
#endif

/* Halt: sleeps until any enabled interrupt. */
static inline void bios_halt(void) {
    GBA_SWI(0x02);
}

/* VBlankIntrWait: sleeps until the next VBlank interrupt (the interrupt handler must set its
 * bit in BIOS_IRQ_FLAGS, as gba_irq_handler does). */
static inline void bios_vblank_intr_wait(void) {
    GBA_SWI(0x05);
}

#endif
