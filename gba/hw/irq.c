#include "hw/gba.h"

void gba_irq_init_vblank(void) {
    REG_IME = 0;
    REG_DISPSTAT |= DSTAT_VBLANK_IRQ;
    REG_IE |= IRQ_VBLANK;
    REG_IF = 0xFFFF;
    REG_IME = 1;
}
