; Draws a known picture and then idles in IM 1, so the ROM's interrupt handler counts FRAMES.
; Bitmap: every byte F0h (the left half of each cell in ink). Attributes of cell (cx, cy):
; paper = cx & 7, ink = 7 - paper, BRIGHT = cy & 1, FLASH on the first eight cells of row 23.
; 9000h = 1 when the picture is complete.

        org 8000h

start:  di
        ld sp, 0ff00h
        ld hl, 4000h
        ld de, 4001h
        ld bc, 17ffh
        ld (hl), 0f0h
        ldir
        ld hl, 5800h
        ld c, 0                 ; cy
row:    ld b, 0                 ; cx
cell:   ld a, b
        and 7
        ld d, a                 ; paper
        ld a, 7
        sub d
        ld e, a                 ; ink
        ld a, d
        rlca
        rlca
        rlca
        or e
        bit 0, c
        jr z, dull
        or 40h
dull:   ld e, a
        ld a, c
        cp 23
        jr nz, steady
        ld a, b
        cp 8
        jr nc, steady
        set 7, e
steady: ld (hl), e
        inc hl
        inc b
        ld a, b
        cp 32
        jr nz, cell
        inc c
        ld a, c
        cp 24
        jr nz, row
        ld a, 2                 ; red border
        out (0feh), a
        ld a, 1
        ld (9000h), a
        im 1
        ei
idle:   halt
        jr idle
