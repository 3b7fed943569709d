; A small Spectrum 128 program as a game would be one: its picture on the shadow screen (bank 7,
; paged at C000h), a tune on the AY played by its IM 2 handler (a melody on channel A, a note
; every six interrupts, a bass line on B with the envelope), and the Kempston joystick shown on
; the screen: the five cells at the bottom left turn red while their line is held (right, left,
; down, up, fire). It lives in bank 2 with its stack.
;
;   9000h  the Kempston port as last read
;   9001h  the note playing on channel A (its index in the melody)
;   9002h  interrupts (8 bits)

PAGING  equ 7ffdh
SELECT  equ 0fffdh
DATA    equ 0bffdh
KEMPSTON equ 1fh

KEYS    equ 9000h
NOTE    equ 9001h
TICK    equ 9002h
DELAY   equ 9003h

SCREEN  equ 0c000h              ; bank 7 while paged there
ATTRS   equ SCREEN + 1800h

        org 8000h

start:  di
        ld a, 7 | 10h | 08h     ; bank 7 at C000h, ROM 1, bank 7's screen shown
        ld bc, PAGING
        out (c), a

        ; The picture: white lines at the cells' edges over eight columns of paper colours.
        ld hl, SCREEN
        ld de, SCREEN + 1
        ld bc, 1800h - 1
        ld (hl), 81h
        ldir
        ld hl, ATTRS
        ld bc, 300h
paper:  ld a, l
        rlca
        and 38h                 ; paper from the column: 4 columns a colour
        or 7                    ; white ink
        ld (hl), a
        inc hl
        dec bc
        ld a, b
        or c
        jr nz, paper

        ; The AY: tone A and B on, noise off; A at level 13, B on the envelope.
        ld d, 7
        ld e, 3ch
        call ay
        ld d, 8
        ld e, 13
        call ay
        ld d, 9
        ld e, 10h
        call ay
        ld d, 11
        ld e, 0
        call ay
        ld d, 12
        ld e, 8
        call ay

        include "im2_table.inc"   ; IM 2: a table at A000h to the handler at A2A2h
        ei

main:   in a, (KEMPSTON)
        ld (KEYS), a
        ld hl, ATTRS + 23 * 32  ; the five cells of the bottom row
        ld b, 5
cells:  rrca
        ld c, 0fh               ; blue paper, white ink
        jr nc, cell
        ld c, 17h               ; red paper
cell:   ld (hl), c
        inc hl
        djnz cells
        halt
        jr main

; Register D := E.
ay:     ld bc, SELECT
        out (c), d
        ld bc, DATA
        out (c), e
        ret

; The IM 2 handler (copied to A2A2h): the next note every six interrupts.
handler:
        push af
        push bc
        push de
        push hl
        ld hl, TICK
        inc (hl)
        ld hl, DELAY
        dec (hl)
        jp p, handler_done
        ld (hl), 5
        ld a, (NOTE)
        inc a
        and 15
        ld (NOTE), a
        ld l, a
        ld h, 0
        add hl, hl
        ld de, melody - handler + 0a2a2h
        add hl, de
        ld e, (hl)              ; channel A's period
        ld d, 0
        call 0a2a2h + (ay_write - handler)
        inc hl
        ld e, (hl)
        inc d
        call 0a2a2h + (ay_write - handler)
        ld a, (NOTE)            ; the bass: an octave below every fourth note, restarted
        and 3
        jr nz, handler_done
        ld a, (NOTE)
        rrca
        rrca
        and 3
        add a, 2
        ld e, 0
        ld d, 2
        call 0a2a2h + (ay_write - handler)
        ld e, a
        ld d, 3
        call 0a2a2h + (ay_write - handler)
        ld e, 0eh               ; a triangle on the envelope
        ld d, 13
        call 0a2a2h + (ay_write - handler)
handler_done:
        pop hl
        pop de
        pop bc
        pop af
        ei
        reti
ay_write:
        push bc
        ld bc, SELECT
        out (c), d
        ld bc, DATA
        out (c), e
        pop bc
        ret
; Periods of a scale (tone A: 16 notes, low byte then high byte).
melody: defw 0d5h, 0beh, 0a9h, 09fh, 08eh, 07fh, 071h, 06ah
        defw 071h, 07fh, 08eh, 09fh, 0a9h, 0beh, 0d5h, 0fdh
handler_end:
