/* Interrupts: the handler in boot/crt0.s acknowledges them and calls one hook. */
#ifndef TAPELOOM_GBA_IRQ_H
#define TAPELOOM_GBA_IRQ_H

#include "hw/gba_types.h"

/* Called by the interrupt handler in IRQ mode, after the pending interrupts are acknowledged,
 * with their bits. Keep it short: the IRQ stack holds about 130 bytes. */
extern void (*volatile gba_irq_hook)(u32 flags);

/* Turns on the VBlank interrupt so that bios_vblank_intr_wait() can be used. */
void gba_irq_init_vblank(void);

#endif
