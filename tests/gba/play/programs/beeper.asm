; A square wave on the beeper: EAR output high for about 1,100 T-states, then low as long
; (about 1.6 kHz), forever, with interrupts on.

        org 8000h

start:  di
        ld sp, 0ff00h
        im 1
        ei
tone:   ld a, 10h
        out (0feh), a
        ld b, 80
up:     djnz up
        xor a
        out (0feh), a
        ld b, 80
down:   djnz down
        jr tone
