; Tones for listening to the beeper: square waves of exact periods with interrupts off, from
; 110 Hz to 3.5 kHz, 0.4 s each, then BEEPs by the ROM's BEEPER routine (03B5h, as BASIC's BEEP
; calls it) with interrupts on, the last one started right after a HALT, as games time their
; effects, and the same short BEEP without it. About 0.3 s of silence before and between the
; sounds; then HALT for ever.
; 9000h counts the sounds finished.

        org 8000h

start:  di
        ld sp, 0ff00h
        im 1
        ld iy, 5c3ah
        xor a
        ld (9000h), a
        out (0feh), a
        call silence
        ld hl, tones
next:   ld e, (hl)              ; half-periods
        inc hl
        ld d, (hl)
        inc hl
        ld a, d
        or e
        jr z, beeps
        ld c, (hl)              ; delay count
        inc hl
        ld b, (hl)
        inc hl
        ld (delay), bc
        ld a, 12                ; pause of the pad: IX = pad + 12 - k
        sub (hl)
        inc hl
        push hl
        ld ix, pad
        ld c, a
        ld b, 0
        add ix, bc
        ex de, hl
        call tone
        call done
        call silence
        pop hl
        jr next

; Every half-period is 83 + 26 n + 4 k T-states: n = (delay), k NOPs of the pad. HL half-periods.
tone:   ld c, 10h
half:   ld a, c                 ; 4
        out (0feh), a           ; 11
        xor 10h                 ; 7
        ld c, a                 ; 4
        ld de, (delay)          ; 20
dly:    dec de                  ; 6
        ld a, d                 ; 4
        or e                    ; 4
        jr nz, dly              ; 12, the last 7
        jp (ix)                 ; 8, then 4 k and 10
back:   dec hl                  ; 6
        ld a, h                 ; 4
        or l                    ; 4
        jp nz, half             ; 10
        ret
pad:    nop
        nop
        nop
        nop
        nop
        nop
        nop
        nop
        nop
        nop
        nop
        nop
        jp back

; About 0.3 s: 40 x 26,234 T-states.
silence:
        ld b, 40
sil1:   ld de, 1009
sil2:   dec de
        ld a, d
        or e
        jr nz, sil2
        djnz sil1
        ret

done:   ld a, (9000h)
        inc a
        ld (9000h), a
        ret

; The ROM's BEEPER: HL = 437,500 / Hz - 30.125, DE = Hz x seconds. Interrupts on between; the
; pauses are busy (the ROM's interrupt routine runs) except before the one after a HALT.
beeps:  ei
        call silence
        ld hl, 964              ; 440 Hz, 0.3 s
        ld de, 132
        call beep
        ld hl, 218              ; 1,760 Hz, 0.3 s
        ld de, 528
        call beep
        ld hl, 94               ; 3,520 Hz, 0.3 s
        ld de, 1056
        call beep
        halt                    ; right after the interrupt: 880 Hz, 50 ms
        ld hl, 467
        ld de, 44
        call beep
        ld hl, 467              ; the same without the HALT
        ld de, 44
        call beep
idle:   halt
        jr idle

beep:   call 03b5h
        call done
        jp silence


delay:  dw 0

; Half-periods (even: every tone ends low), n, k.
tones:  dw 88, 607
        db 11                   ; 110 Hz: half-period 15,909 T-states, 110.00 Hz
        dw 176, 302
        db 5                    ; 220 Hz: 7,955 T-states, 219.99 Hz
        dw 352, 149
        db 5                    ; 440 Hz: 3,977 T-states, 440.03 Hz
        dw 704, 73
        db 2                    ; 880 Hz: 1,989 T-states, 879.84 Hz
        dw 1056, 47
        db 5                    ; 1,320 Hz: 1,325 T-states, 1,320.75 Hz
        dw 1408, 34
        db 7                    ; 1,760 Hz: 995 T-states, 1,758.79 Hz
        dw 2112, 22
        db 2                    ; 2,640 Hz: 663 T-states, 2,639.52 Hz
        dw 2816, 15
        db 6                    ; 3,520 Hz: 497 T-states, 3,521.13 Hz
        dw 0
