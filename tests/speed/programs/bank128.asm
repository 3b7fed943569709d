; A Spectrum 128 game's frame, for the speed suite. The main loop draws into the screen not shown
; (bank 7 paged at C000h, or bank 5 at 4000h) and flips the shadow screen every frame: it pages
; the five other banks (0, 1, 3, 4, 6) at C000h in turn, copies 128 bytes of each into a buffer,
; and XORs the buffer into the hidden screen, about 51,000 T-states of a 70,908-T-state frame.
; The IM 2 handler plays a tune as a music player does: all the AY's registers but the envelope
; shape written every interrupt (a melody on A, an envelope bass on B, a noise drum with tone on
; C), the shape when a note starts. The byte at 8002h says what runs: bit 0 the drawing, bit 1
; the tune. The program lives in bank 2 with its stack and interrupt table.
;
;   8003h  frames drawn (8 bits)

PAGING  equ 7ffdh
SELECT  equ 0fffdh
ROM1    equ 10h
SHADOW  equ 08h
BYTES   equ 128                 ; copied from each bank a frame
BUFFER  equ 0a000h
VECTORS equ 0be00h              ; the IM 2 table: 257 bytes of 0BDh, to a jump at BDBDh

        org 8000h
        jr start
mode:   db 3
drawn:  db 0
shown:  db 0                    ; SHADOW while bank 7's screen is shown
tick:   db 0
note:   db 0
regs:   ds 13                   ; the AY's registers 0-12 as the handler writes them

start:  di
        ld sp, 0bc00h

        ; Each bank the drawing reads from gets its own pattern in its first kilobyte.
        ld hl, banks
fill:   ld a, (hl)
        cp 0ffh
        jr z, filled
        push hl
        or ROM1
        ld bc, PAGING
        out (c), a
        and 7
        ld c, a
        ld a, c
        rlca
        rlca
        rlca
        rlca
        or c
        ld c, a                 ; the bank number in both nibbles
        ld hl, 0c000h
fill_bank:
        ld a, l
        xor c
        xor h
        ld (hl), a
        inc hl
        ld a, h
        cp 0c4h
        jr nz, fill_bank
        pop hl
        inc hl
        jr fill
filled:
        ld hl, 5800h            ; black ink on white paper on both screens
        call attrs
        ld a, ROM1 | 7
        ld bc, PAGING
        out (c), a
        ld hl, 0d800h
        call attrs
        ld hl, VECTORS
        ld a, 0bdh
vectors:
        ld (hl), a
        inc l
        jr nz, vectors
        inc h
        ld (hl), a
        ld a, 0c3h              ; JP handler at BDBDh
        ld (0bdbdh), a
        ld hl, handler
        ld (0bdbeh), hl
        ld a, VECTORS >> 8
        ld i, a
        im 2
        ld a, 38h               ; the mixer: tones on, noise on C (set again each interrupt)
        ld (regs + 7), a
        ei

main:   halt
        ld a, (mode)
        rrca
        jr nc, main
        call draw
        jr main

attrs:  ld d, h
        ld e, 1
        ld (hl), 38h
        ld bc, 2ffh
        ldir
        ret

; One frame's drawing: the banks' strips into the buffer, the buffer into the hidden screen,
; then the screens swapped.
draw:   ld a, (drawn)
        and 3
        add a, 0c0h
        ld d, a                 ; C000h, C100h, C200h or C300h: where the strips start
        ld hl, banks
        ld ix, BUFFER
strips: ld a, (hl)
        cp 0ffh
        jr z, strips_done
        push hl
        ld b, a
        ld a, (shown)
        or ROM1
        or b
        ld bc, PAGING
        out (c), a
        ld h, d
        ld l, 0
        push ix
        pop de
        ld bc, BYTES
        ldir
        push de
        pop ix
        ld d, h                 ; the strip's page again (LDIR stayed in it)
        pop hl
        inc hl
        jr strips
strips_done:
        ld a, (shown)
        or a
        ld de, 4000h            ; bank 7 shown: draw into bank 5
        jr nz, target
        ld a, ROM1 | 7          ; bank 5 shown: draw into bank 7 at C000h
        ld bc, PAGING
        out (c), a
        ld de, 0c000h
target: ld a, (drawn)
        and 3
        add a, a
        add a, a
        add a, d
        ld d, a                 ; a different kilobyte of the screen each frame
        ld hl, BUFFER
        ld bc, 5 * BYTES
xor_loop:
        ld a, (de)
        xor (hl)
        ld (de), a
        inc hl
        inc de
        dec bc
        ld a, b
        or c
        jr nz, xor_loop
        ld a, (shown)
        xor SHADOW
        ld (shown), a
        or ROM1 | 7
        ld bc, PAGING
        out (c), a
        ld hl, drawn
        inc (hl)
        ret

; The IM 2 handler: the tune's next step.
handler:
        push af
        push bc
        push de
        push hl
        ld a, (mode)
        and 2
        call nz, tune
        pop hl
        pop de
        pop bc
        pop af
        ei
        reti

tune:   ld hl, tick
        inc (hl)
        ld a, (hl)
        cp 6
        jr c, step
        ld (hl), 0
        ld hl, note
        ld a, (hl)
        inc a
        and 15
        ld (hl), a
        add a, a
        ld e, a
        ld d, 0
        ld hl, melody
        add hl, de
        ld e, (hl)
        inc hl
        ld d, (hl)
        ld (regs + 0), de       ; A: the melody
        ex de, hl
        add hl, hl
        ld (regs + 4), hl       ; C: an octave below
        ld a, (note)
        rrca
        rrca
        and 3
        add a, a
        ld e, a
        ld d, 0
        ld hl, bass
        add hl, de
        ld e, (hl)
        inc hl
        ld d, (hl)
        ld (regs + 2), de       ; B: the bass
        ld a, e                 ; the envelope's period: the bass's over 16
        srl d
        rra
        srl d
        rra
        srl d
        rra
        srl d
        rra
        ld (regs + 11), a
        xor a
        ld (regs + 12), a
        ld a, 13
        ld bc, SELECT
        out (c), a
        ld a, 8                 ; a falling sawtooth, repeated
        ld b, 0bfh
        out (c), a
step:   ld a, (tick)            ; A fades over the note, the drum on C over its first frames
        ld b, a
        ld a, 15
        sub b
        ld (regs + 8), a
        ld a, 10h
        ld (regs + 9), a        ; B on the envelope
        ld a, 12
        sub b
        sub b
        sub b
        jr nc, drum
        xor a
drum:   ld (regs + 10), a
        ld a, b
        add a, a
        add a, b
        inc a
        ld (regs + 6), a        ; the noise's period rises through the drum
        ld a, 18h
        ld (regs + 7), a        ; tones on, noise on C
        ld hl, regs
        ld e, 0
write:  ld bc, SELECT
        out (c), e
        ld a, (hl)
        ld b, 0bfh
        out (c), a
        inc hl
        inc e
        ld a, e
        cp 13
        jr nz, write
        ret

banks:  db 0, 1, 3, 4, 6, 0ffh
melody: dw 424, 377, 336, 317, 283, 252, 224, 212
        dw 224, 252, 283, 317, 336, 377, 424, 476
bass:   dw 1696, 1131, 1270, 1512
