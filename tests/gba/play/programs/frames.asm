; A program whose memory and screen are a function of the frames it has run: each interrupt
; (IM 2) counts and steps a 16-bit pseudo-random sequence; after each, the main loop writes the
; sequence's byte into the screen at a place given by the count, and a colour into the
; attributes. Nearly idle, so the emulator waits for the frame's end like a paced game.
;   9000h  interrupts (16 bits)
;   9002h  the sequence (16 bits, Galois, taps 0B400h)
;   9004h  passes of the main loop (16 bits)

        org 8000h

start:  di
        ld sp, 0ff00h
        ld hl, 8100h            ; vector table: 257 bytes of 83h -> handler at 8383h
        ld de, 8101h
        ld bc, 256
        ld (hl), 83h
        ldir
        ld hl, 0ace1h
        ld (9002h), hl
        ld a, 81h
        ld i, a
        im 2
        ei
main:   halt
        ld hl, (9004h)
        inc hl
        ld (9004h), hl
        ld hl, (9000h)          ; bitmap byte at 4000h + (count AND 17FFh)
        ld a, h
        and 17h
        or 40h
        ld h, a
        ld a, (9002h)
        ld (hl), a
        ld hl, (9000h)          ; attribute at 5800h + (count AND 1FFh)
        ld a, h
        and 01h
        or 58h
        ld h, a
        ld a, (9003h)
        and 7fh                 ; no FLASH
        ld (hl), a
        jr main

        org 8383h
isr:    push af
        push hl
        ld hl, (9000h)
        inc hl
        ld (9000h), hl
        ld hl, (9002h)
        srl h
        rr l
        jr nc, isr1
        ld a, h
        xor 0b4h
        ld h, a
isr1:   ld (9002h), hl
        pop hl
        pop af
        ei
        reti
