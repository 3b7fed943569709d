; Reads the keyboard half-rows, the Kempston joystick and an unattached port over and over and
; stores what it sees; an IM 2 handler counts the interrupts.
;   9000h-9007h  port 7FFEh, BFFEh, DFFEh, EFFEh, F7FEh, FBFEh, FDFEh, FEFEh
;   9008h        port 001Fh (Kempston)
;   9009h        port 00FEh (every half-row at once)
;   900Ah        port 00FFh (nothing attached)
;   9010h        passes of the loop (16 bits)
;   9100h        interrupts (16 bits)

        org 8000h

start:  di
        ld sp, 0ff00h
        ld hl, 8100h            ; vector table: 257 bytes of 83h -> handler at 8383h
        ld de, 8101h
        ld bc, 256
        ld (hl), 83h
        ldir
        ld a, 81h
        ld i, a
        im 2
        ei
main:   ld hl, 9000h
        ld bc, 7ffeh
rows:   in a, (c)
        ld (hl), a
        inc hl
        rrc b                   ; 7F, BF, DF, EF, F7, FB, FD, FE, then 7F again
        ld a, b
        cp 7fh
        jr nz, rows
        ld bc, 001fh
        in a, (c)
        ld (hl), a
        inc hl
        xor a
        in a, (0feh)
        ld (hl), a
        inc hl
        ld bc, 00ffh
        in a, (c)
        ld (hl), a
        ld hl, (9010h)
        inc hl
        ld (9010h), hl
        jr main

        org 8383h
isr:    push hl
        ld hl, (9100h)
        inc hl
        ld (9100h), hl
        pop hl
        ei
        reti
