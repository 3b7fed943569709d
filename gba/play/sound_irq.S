@ The interrupt handler while the emulator's sound plays: the BIOS enters it in IRQ mode, ARM
@ state, with r0-r3, r12 and lr saved. Timer 1's interrupt (16 samples played) is served here, at
@ the cost of a few dozen cycles 2,048 times a second; anything else pending, then or before,
@ goes on to the general handler (boot/crt0.S), which acknowledges it and calls the hook.
#include "hw/gba_bits.h"
#include "hw/gba_memmap.h"

    .syntax unified
    .section .iwram.sound_irq, "ax", %progbits
    .arm
    .align 2
    .global sound_irq_entry
sound_irq_entry:
    mov     r3, #MEM_IO
    ldr     r2, [r3, #IO_IE - MEM_IO]           @ IE | IF << 16
    and     r2, r2, r2, lsr #16                 @ enabled and pending
    tst     r2, #IRQ_TIMER1
    beq     gba_irq_handler
    mov     r2, #IRQ_TIMER1
    add     r3, r3, #IO_IE - MEM_IO
    strh    r2, [r3, #IO_IF - IO_IE]            @ acknowledge
    ldr     r12, =sound_ring
    ldmia   r12, {r0-r2}                        @ read_pos, write_pos, samples_played
    add     r2, r2, #16
    str     r2, [r12, #8]
    sub     r1, r1, r0
    cmp     r1, #16
    blo     underrun
    add     r1, r0, #16
    str     r1, [r12]                           @ read_pos += 16
    ldr     r12, =sound_samples
    and     r0, r0, #0xFF0                      @ ring index: SOUND_RING_SIZE is 4096
    add     r12, r12, r0
    ldmia   r12, {r0-r3}
    mov     r12, #MEM_IO
    str     r0, [r12, #IO_FIFO_A - MEM_IO]
    str     r1, [r12, #IO_FIFO_A - MEM_IO]
    str     r2, [r12, #IO_FIFO_A - MEM_IO]
    str     r3, [r12, #IO_FIFO_A - MEM_IO]
    and     r3, r3, #0xFF000000                 @ the last sample, four times
    orr     r3, r3, r3, lsr #8
    orr     r3, r3, r3, lsr #16
    ldr     r12, =sound_ring
    str     r3, [r12, #16]
    b       others
underrun:                                       @ the ring is empty: the sound holds still
    ldr     r0, [r12, #12]
    add     r0, r0, #1
    str     r0, [r12, #12]                      @ underruns
    ldr     r0, [r12, #16]
    mov     r12, #MEM_IO
    str     r0, [r12, #IO_FIFO_A - MEM_IO]
    str     r0, [r12, #IO_FIFO_A - MEM_IO]
    str     r0, [r12, #IO_FIFO_A - MEM_IO]
    str     r0, [r12, #IO_FIFO_A - MEM_IO]
others:                                         @ anything else pending meanwhile
    mov     r3, #MEM_IO
    ldr     r2, [r3, #IO_IE - MEM_IO]
    ands    r2, r2, r2, lsr #16
    bne     gba_irq_handler
    bx      lr
    .pool
