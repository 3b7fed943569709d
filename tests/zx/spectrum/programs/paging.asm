; A Spectrum 128 program that checks its own memory paging and leaves what it saw from 9000h:
; every bank at C000h, banks 5 and 2 there as well as at 4000h and 8000h, ROM 0 and ROM 1, the
; frame's length counted between two interrupts, ROM 0's IM 1 handler, then four screens shown
; in turn (phases 1-4) and the paging lock (phase 5).
; It lives in bank 2 (8000h-BFFFh) with its stack, so nothing it needs moves when C000h changes.
;
;   9000h-9007h  the first byte of each bank read at C000h (B0h + bank)
;   9008h-900Fh  the last byte of each bank read at FFFFh (40h + bank)
;   9010h        written at C123h with bank 5 paged, read at 4123h (5Ah)
;   9011h        written at FE00h with bank 2 paged, read at BE00h (A5h)
;   9012h        0000h with ROM 0 paged, 9013h with ROM 1
;   9014h        passes of a 35-T-state loop between two interrupts (16 bits)
;   9016h        FRAMES counted by ROM 0's handler over ten interrupts (IM 1)
;   9018h        the phase: 1 bank 5 shown (blue paper), 2 bank 7 (red), 3 bank 7 rewritten
;                through C000h while shown (green), 4 bank 5 rewritten through C000h (magenta),
;                5 paging locked at bank 3 and ROM 0
;   9019h        first byte at C000h after asking a locked port for bank 4 (B3h)
;   901Ah        0000h after asking it for ROM 1 (ROM 0's first byte)
;   901Bh        77h: every check done
;   9020h        interrupts counted by the IM 2 handler

PAGING  equ 7ffdh
ROM1    equ 10h
SHADOW  equ 08h
LOCK    equ 20h
FRAMES  equ 5c78h

RESULTS equ 9000h
TICK    equ 9020h

        org 8000h

start:  nop                     ; overwritten as bank 2's first byte (never run again)
        di
        ld bc, PAGING

        ; Each bank at C000h: a mark at its first and last byte, then read back in another order.
        ld d, 7
mark:   ld a, d
        or ROM1
        out (c), a
        ld a, d
        add a, 0b0h
        ld (0c000h), a
        ld a, d
        add a, 40h
        ld (0ffffh), a
        dec d
        jp p, mark
        ld ix, RESULTS
        ld d, 0
check:  ld a, d
        or ROM1
        out (c), a
        ld a, (0c000h)
        ld (ix + 0), a
        ld a, (0ffffh)
        ld (ix + 8), a
        inc ix
        inc d
        ld a, d
        cp 8
        jr nz, check

        ; Banks 5 and 2 paged at C000h are the memory at 4000h and 8000h.
        ld a, 5 | ROM1
        out (c), a
        ld a, 5ah
        ld (0c123h), a
        ld a, (4123h)
        ld (RESULTS + 10h), a
        ld a, 2 | ROM1
        out (c), a
        ld a, 0a5h
        ld (0fe00h), a
        ld a, (0be00h)
        ld (RESULTS + 11h), a

        ; ROM 0, then ROM 1.
        xor a
        out (c), a
        ld a, (0)
        ld (RESULTS + 12h), a
        ld a, ROM1
        out (c), a
        ld a, (0)
        ld (RESULTS + 13h), a

        ; IM 2 through a table at A000h to a handler at A2A2h that counts interrupts.
        include "im2_table.inc"
        ei
        halt
        ld a, (TICK)
        ld b, a
        ld hl, 0
count:  inc hl                  ; 6
        ld a, (TICK)            ; 13
        cp b                    ; 4
        jr z, count             ; 12: 35 T-states a pass
        ld (RESULTS + 14h), hl

        ; ROM 0 paged as a program does it (XOR A: OUT (FDh),A) while IM 1 runs on.
        di
        im 1
        ld hl, (FRAMES)
        push hl
        xor a
        out (0fdh), a
        ei
        ld b, 10
tenth:  halt
        djnz tenth
        di
        ld a, ROM1
        ld bc, PAGING
        out (c), a
        pop de
        ld hl, (FRAMES)
        or a
        sbc hl, de
        ld (RESULTS + 16h), hl
        im 2
        ei

        ; Phase 1: bank 5 shown, blue paper.
        ld hl, 4000h
        ld a, 08h
        call screen
        ld a, 1
        call phase

        ; Phase 2: bank 7 filled through C000h while hidden, then shown: red paper.
        ld a, 7 | ROM1
        out (c), a
        ld hl, 0c000h
        ld a, 10h
        call screen
        ld a, 7 | ROM1 | SHADOW
        out (c), a
        ld a, 2
        call phase

        ; Phase 3: bank 7's attributes rewritten while it is shown: green paper.
        ld hl, 0d800h
        ld a, 20h
        call attributes
        ld a, 3
        call phase

        ; Phase 4: bank 5 shown again and paged at C000h, rewritten there: magenta paper.
        ld a, 5 | ROM1
        out (c), a
        ld hl, 0d800h
        ld a, 18h
        call attributes
        ld a, 4
        call phase
        ld a, ROM1
        out (c), a

        ; Phase 5: locked at bank 3 and ROM 0; asking for bank 4, ROM 1 and the shadow screen
        ; changes nothing.
        ld a, 3 | LOCK
        out (c), a
        ld a, 4 | ROM1 | SHADOW
        out (c), a
        ld a, (0c000h)
        ld (RESULTS + 19h), a
        ld a, (0)
        ld (RESULTS + 1ah), a
        ld a, 5
        ld (RESULTS + 18h), a
        ld a, 77h
        ld (RESULTS + 1bh), a
idle:   halt
        jr idle

; The screen at HL (bitmap cleared) with attribute A everywhere.
screen: push af
        push bc
        ld d, h
        ld e, l
        inc de
        ld (hl), 0
        ld bc, 1800h - 1
        ldir
        pop bc
        pop af
        inc hl
attributes:
        push bc
        ld d, h
        ld e, l
        inc de
        ld (hl), a
        ld bc, 300h - 1
        ldir
        pop bc
        ret

; Phase A begins; it lasts 25 interrupts.
phase:  ld (RESULTS + 18h), a
        push bc
        ld b, 25
wait:   halt
        djnz wait
        pop bc
        ret

; The IM 2 handler (copied to A2A2h).
handler:
        push af
        ld a, (TICK)
        inc a
        ld (TICK), a
        pop af
        ei
        ret
handler_end:
