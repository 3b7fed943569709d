@ The interrupt handler while the emulator's sound plays: the BIOS enters it in IRQ mode, ARM
@ state, with r0-r3, r12 and lr saved. Timer 1's interrupt (16 samples played) is served here, at
@ the cost of a few dozen cycles 2,048 times a second; anything else goes on to the general
@ handler (boot/crt0.S), which passes it to the BIOS flags and the hook.
@ Each interrupt is acknowledged by the code that serves it, and only as it was read: timer 1
@ becoming pending while another is passed on stays pending and enters again at once. (The
@ general handler reading REG_IF anew took such a top-up as its own and dropped it: the FIFO ran
@ dry for 16 samples, about once in 128 frames with an unlucky phase between the LCD and the
@ sound's timer.)
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
    and     r0, r2, r2, lsr #16                 @ enabled and pending
    add     r3, r3, #IO_IE - MEM_IO
    tst     r0, #IRQ_TIMER1
    beq     others
    mov     r2, #IRQ_TIMER1
    strh    r2, [r3, #IO_IF - IO_IE]            @ acknowledge timer 1 alone
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
    bx      lr                                  @ anything else pending enters again
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
    bx      lr
others:                                         @ not timer 1: what was read, no more
    strh    r0, [r3, #IO_IF - IO_IE]
    b       gba_irq_acknowledged
    .pool
