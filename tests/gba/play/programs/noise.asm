; Fills the memory around its code with bytes that do not compress (the largest save states),
; then waits with interrupts off. 9000h is 1 once the memory is full. Each byte is eight fresh
; steps of a 16-bit Galois sequence (taps 0B400h), whose period of 65,535 steps leaves no
; repeats in 41 KiB.

        org 8000h

start:  di
        ld sp, 0ff00h
        ld de, 0ace1h
        ld hl, 5b00h
        ld bc, 8000h - 5b00h
        call fill
        ld hl, 9100h
        ld bc, 0fe00h - 9100h
        call fill
        ld a, 1
        ld (9000h), a
        halt

fill:   push bc
        ld b, 8
step:   srl d
        rr e
        jr nc, step1
        ld a, d
        xor 0b4h
        ld d, a
step1:  djnz step
        ld (hl), e
        inc hl
        pop bc
        dec bc
        ld a, b
        or c
        jr nz, fill
        ret
