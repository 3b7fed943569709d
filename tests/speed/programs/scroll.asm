; Scrolling with block moves, paced by HALT (IM 1): each frame the top nine character rows
; (72 pixel lines) move one byte to the left with LDIR, a new column entering at the right, and
; the attributes of rows 12-23 move down a row with LDDR, a new row entering at the top.
; About 58,000 T-states of the frame.

        org 8000h

start:  di
        ld sp, 0ff00h
        ld ix, lines            ; start addresses of pixel lines 0-71
        ld b, 0
addr:   ld a, b                 ; y = 00 Y5 Y4 ... : H = 010 Y7Y6 Y2Y1Y0, L = Y5Y4Y3 00000
        and 07h
        ld c, a
        ld a, b
        and 0c0h
        rrca
        rrca
        rrca
        or c
        or 40h
        ld (ix + 1), a
        ld a, b
        and 38h
        rlca
        rlca
        ld (ix + 0), a
        inc ix
        inc ix
        inc b
        ld a, b
        cp 72
        jr nz, addr
        ld hl, 5800h            ; black on white above, where the pixels move
        ld de, 5801h
        ld bc, 9 * 32 - 1
        ld (hl), 38h
        ldir
        im 1
        ld iy, 5c3ah
        ei

frame:  halt
        ld hl, phase
        inc (hl)
        ld ix, lines
        ld b, 72
left:   ld e, (ix + 0)          ; DE = line start, HL = DE + 1
        ld d, (ix + 1)
        inc ix
        inc ix
        ld l, e
        ld h, d
        inc l
        push bc
        ld bc, 31
        ldir
        pop bc
        ld a, (phase)           ; the new column: a pattern of the line and the frame
        add a, b
        and 0cch
        ld (de), a
        djnz left

        ld hl, 5affh - 32       ; attribute rows 12-22 to 13-23
        ld de, 5affh
        ld bc, 352
        lddr
        ld hl, 5980h            ; row 12 anew
        ld a, (phase)
        ld b, 32
top:    and 3fh
        ld (hl), a
        add a, 9
        inc hl
        djnz top
        jp frame

phase:  db 0
lines:
