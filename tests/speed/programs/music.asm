; A three-voice beeper music engine in the usual style: interrupts off, every pass of the loop
; exactly 139 T-states, and each voice a phase accumulator whose bit 12 goes to the speaker in
; turn (voice 1 by OUT (n),A, voices 2 and 3 by OUT (C),r), so the three square waves sound
; interleaved. A row of the pattern (three notes) lasts 8 x 256 passes; the keyboard is read
; with IN A,(n) between rows, as players do to stop on a key (here it only counts).
;
; Registers in the loop: HL/DE voice 1 (phase, step), HL'/DE' voice 2, IX/BC voice 3,
; B' passes left, C' = FEh.

        org 8000h

start:  di
        ld sp, 0ff00h
        xor a
        out (0feh), a
        ld ix, 0
        ld hl, 0
        exx
        ld hl, 0
        ld bc, 00feh
        exx
        ld iy, pattern

row:    ld e, (iy + 0)
        ld d, (iy + 1)
        ld c, (iy + 4)
        ld b, (iy + 5)
        exx
        ld e, (iy + 2)
        ld d, (iy + 3)
        exx
        ld a, 8
        ld (repeat), a
pass:   add hl, de              ; 11 voice 1
        ld a, h                 ; 4
        and 10h                 ; 7
        out (0feh), a           ; 11
        exx                     ; 4
        add hl, de              ; 11 voice 2
        ld a, h                 ; 4
        and 10h                 ; 7
        out (c), a              ; 12
        exx                     ; 4
        add ix, bc              ; 15 voice 3
        ld a, ixh               ; 8
        and 10h                 ; 7
        exx                     ; 4
        out (c), a              ; 12
        dec b                   ; 4
        exx                     ; 4
        jp nz, pass             ; 10 = 139
        ld a, (repeat)
        dec a
        ld (repeat), a
        jp nz, pass
        xor a                   ; any key down?
        in a, (0feh)
        cpl
        and 1fh
        jr z, next
        ld a, (keys)
        inc a
        ld (keys), a
next:   ld de, 6
        add iy, de
        ld a, (iy + 0)
        or (iy + 1)
        jp nz, row
        ld iy, pattern
        jp row

repeat: db 0
keys:   db 0

; Steps: frequency = step x (3,500,000 / 139) / 8,192, so step = Hz x 0.3253.
A2      equ 36
C3      equ 43
E3      equ 54
F3      equ 57
G3      equ 64
A3      equ 72
B3      equ 80
C4      equ 85
D4      equ 96
E4      equ 107
F4      equ 113
G4      equ 127
A4      equ 143
C5      equ 170
E5      equ 214

pattern:
        dw A2, C4, E4
        dw A2, E4, A4
        dw A2, C4, E4
        dw A3, E4, C5
        dw F3, C4, F4
        dw F3, F4, A4
        dw F3, C4, F4
        dw F3, A4, C5
        dw C3, E4, G4
        dw C3, G4, C5
        dw C3, E4, G4
        dw E3, G4, E5
        dw G3, B3, D4
        dw G3, D4, G4
        dw G3, B3, D4
        dw E3, B3, E4
        dw 0
