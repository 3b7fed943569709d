/* The GBA hardware layer, in one include: types and placement, memory map and registers,
 * register bits, BIOS calls, the interrupt hook. Nothing here knows the Spectrum. */
#ifndef TAPELOOM_GBA_H
#define TAPELOOM_GBA_H

#include "hw/gba_bios.h"
#include "hw/gba_bits.h"
#include "hw/gba_irq.h"
#include "hw/gba_memmap.h"
#include "hw/gba_types.h"

#endif
