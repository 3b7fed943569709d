@ Start-up code of every Tapeloom GBA image: cartridge header, stacks, RAM set-up, main().
@ Pogoshell starts a plug-in with the cartridge remapped so that this file's first byte sits at
@ 0x08000000 and with interrupts off; the code below makes no other assumption about the state
@ it is entered in. EWRAM from POGOSHELL_ARGS_ADDRESS up (Pogoshell's argument block) is never
@ written here.
#include "hw/gba_bits.h"
#include "hw/gba_memmap.h"
#include "state_blocks.h"

    .syntax unified
    .section .crt0, "ax", %progbits
    .arm
    .align 2
    .global _start
_start:
    b       start_code                  @ byte 3 is 0xEA: ROM detection and the BIOS need it

    @ 0x04: the standard boot logo (the BIOS refuses a cartridge without it)
    .byte 0x24, 0xFF, 0xAE, 0x51, 0x69, 0x9A, 0xA2, 0x21, 0x3D, 0x84, 0x82, 0x0A
    .byte 0x84, 0xE4, 0x09, 0xAD, 0x11, 0x24, 0x8B, 0x98, 0xC0, 0x81, 0x7F, 0x21
    .byte 0xA3, 0x52, 0xBE, 0x19, 0x93, 0x09, 0xCE, 0x20, 0x10, 0x46, 0x4A, 0x4A
    .byte 0xF8, 0x27, 0x31, 0xEC, 0x58, 0xC7, 0xE8, 0x33, 0x82, 0xE3, 0xCE, 0xBF
    .byte 0x85, 0xF4, 0xDF, 0x94, 0xCE, 0x4B, 0x09, 0xC1, 0x94, 0x56, 0x8A, 0xC0
    .byte 0x13, 0x72, 0xA7, 0xFC, 0x9F, 0x84, 0x4D, 0x73, 0xA3, 0xCA, 0x9A, 0x61
    .byte 0x58, 0x97, 0xA3, 0x27, 0xFC, 0x03, 0x98, 0x76, 0x23, 0x1D, 0xC7, 0x61
    .byte 0x03, 0x04, 0xAE, 0x56, 0xBF, 0x38, 0x84, 0x00, 0x40, 0xA7, 0x0E, 0xFD
    .byte 0xFF, 0x52, 0xFE, 0x03, 0x6F, 0x95, 0x30, 0xF1, 0x97, 0xFB, 0xC0, 0x85
    .byte 0x60, 0xD6, 0x80, 0x25, 0xA9, 0x63, 0xBE, 0x03, 0x01, 0x4E, 0x38, 0xE2
    .byte 0xF9, 0xA2, 0x34, 0xFF, 0xBB, 0x3E, 0x03, 0x44, 0x78, 0x00, 0x90, 0xCB
    .byte 0x88, 0x11, 0x3A, 0x94, 0x65, 0xC0, 0x7C, 0x63, 0x87, 0xF0, 0x3C, 0xAF
    .byte 0xD6, 0x25, 0xE4, 0x8B, 0x38, 0x0A, 0xAC, 0x72, 0x21, 0xD4, 0xF8, 0x07

    @ 0xA0..0xBC: the bytes the header complement covers; hbytes adds each one to hsum.
    .set hsum, 0
    .macro hbytes b:vararg
    .irp x, \b
    .byte \x
    .set hsum, hsum + \x
    .endr
    .endm
    hbytes 0x54, 0x41, 0x50, 0x45, 0x4C, 0x4F, 0x4F, 0x4D, 0, 0, 0, 0  @ title "TAPELOOM"
    hbytes 0x43, 0x54, 0x50, 0x45                @ game code "CTPE"
    hbytes 0x30, 0x30                            @ maker code "00"
    hbytes 0x96                                  @ fixed value
    hbytes 0x00                                  @ main unit code
    hbytes 0x00                                  @ device type
    hbytes 0, 0, 0, 0, 0, 0, 0                   @ reserved
    hbytes 0x00                                  @ software version
    .byte   (-hsum - 0x19) & 0xFF               @ 0xBD: complement check
    .byte   0, 0                                 @ reserved

    @ 0xC0: code
start_code:
    ldr     r0, =IO_IME
    mov     r1, #0
    str     r1, [r0]                             @ IME = 0
    ldr     r0, =IO_WAITCNT
    ldr     r1, =WAITCNT_FAST_ROM
    strh    r1, [r0]

    msr     cpsr_c, #CPSR_IRQ_MASKED             @ IRQ mode, interrupts masked
    ldr     sp, =__irq_stack_top
    msr     cpsr_c, #CPSR_SVC_MASKED             @ SVC mode
    ldr     sp, =__svc_stack_top
    msr     cpsr_c, #CPSR_SYSTEM                 @ System mode: user registers, can switch modes
    ldr     sp, =__sys_stack_top

    ldr     r0, =__iwram_start
    ldr     r1, =__iwram_load
    ldr     r2, =__iwram_end
    bl      copy_words
    ldr     r0, =__data_start
    ldr     r1, =__data_load
    ldr     r2, =__data_end
    bl      copy_words
    ldr     r0, =__ewram_start
    ldr     r1, =__ewram_load
    ldr     r2, =__ewram_end
    bl      copy_words
    ldr     r0, =__bss_start
    ldr     r1, =__bss_end
    bl      clear_words
    ldr     r0, =__ewram_bss_start
    ldr     r1, =__ewram_bss_end
    bl      clear_words
    ldr     r0, =__bss_end                       @ the stack's room and what lies free below it,
    ldr     r1, =__sys_stack_top                 @ painted: its depth can be read later
    ldr     r2, =STACK_PAINT
    bl      fill_words

    ldr     r0, =BIOS_IRQ_FLAGS
    mov     r1, #0
    str     r1, [r0]                             @ BIOS interrupt flags
    ldr     r0, =BIOS_IRQ_HANDLER
    ldr     r1, =gba_irq_handler
    str     r1, [r0]

    ldr     r0, =main
    mov     lr, pc
    bx      r0                                   @ main may be Thumb code
1:  b       1b

@ r0 = destination, r1 = source, r2 = destination end (word aligned)
copy_words:
    cmp     r0, r2
    ldrlo   r3, [r1], #4
    strlo   r3, [r0], #4
    blo     copy_words
    bx      lr

@ r0 = start, r1 = end (word aligned)
clear_words:
    mov     r2, #0
@ r0 = start, r1 = end (word aligned), r2 = the word
fill_words:
1:  cmp     r0, r1
    strlo   r2, [r0], #4
    blo     1b
    bx      lr
    .pool

@ Interrupt handler, entered from the BIOS (which saved r0-r3, r12, lr) in ARM state, IRQ mode.
@ Acknowledges the pending enabled interrupts in REG_IF and in the BIOS flags (VBlankIntrWait
@ and IntrWait wait for those), then calls gba_irq_hook(flags) if one is set.
@ gba_irq_acknowledged is the same for a handler that has read and acknowledged REG_IF itself
@ (r0 = those interrupts): one that became pending since its read is left pending for it.
    .section .iwram.gba_irq_handler, "ax", %progbits
    .arm
    .align 2
    .global gba_irq_handler
    .global gba_irq_acknowledged
gba_irq_handler:
    ldr     r3, =IO_IE
    ldr     r2, [r3]                             @ IE | IF << 16
    and     r0, r2, r2, lsr #16                  @ enabled and pending
    strh    r0, [r3, #IO_IF - IO_IE]             @ acknowledge in REG_IF
gba_irq_acknowledged:
    ldr     r1, =BIOS_IRQ_FLAGS
    ldrh    r2, [r1]
    orr     r2, r2, r0
    strh    r2, [r1]                             @ and in the BIOS flags
    ldr     r12, =gba_irq_hook
    ldr     r12, [r12]
    cmp     r12, #0
    bxeq    lr
    push    {lr}
    mov     lr, pc
    bx      r12
    pop     {lr}
    bx      lr
    .pool

    .section .bss.gba_irq_hook, "aw", %nobits
    .align 2
    .global gba_irq_hook
gba_irq_hook:
    .space 4

@ The image's last word: gives the final section contents so that __image_end, right after it,
@ is the file's length.
    .section .image_end, "a", %progbits
    .align 2
    .global gba_image_end_marker
gba_image_end_marker:
    .ascii "TPL!"
