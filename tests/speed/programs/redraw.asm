; A demo that redraws 22 of the 24 character rows every frame, pixels and attributes: after each
; interrupt (IM 1, HALT) the bitmap of rows 1-22 is filled line by line with PUSH (a pattern
; that moves by one step a frame) and their 704 attributes are copied with LDIR from a colour
; table at an offset that moves as well. About 50,000 of the frame's 69,888 T-states.

        org 8000h

start:  di
        ld sp, 0ff00h
        ld hl, colours          ; colour table: 960 bytes, INK and PAPER differ
        ld bc, 960
        ld d, 0
fill:   ld a, d
        and 3fh
        ld e, a
        rrca
        rrca
        rrca
        xor e
        and 07h
        xor e                   ; ink from bits 3-5: ink = paper in one case of eight
        ld (hl), a
        inc hl
        inc d
        dec bc
        ld a, b
        or c
        jr nz, fill
        im 1
        ld iy, 5c3ah
        ei

frame:  halt
        ld hl, phase
        inc (hl)
        ld e, (hl)              ; the pattern's first byte this frame
        di                      ; the stack draws the pixels
        ld (saved), sp
        ld b, 1                 ; character row
row:    ld a, b                 ; HL = start of the row's first pixel line + 32
        and 18h
        or 40h
        ld h, a
        ld a, b
        and 07h
        rrca
        rrca
        rrca
        add a, 32
        ld l, a
        jr nc, line0
        inc h
line0:  ld c, 8
line:   ld sp, hl
        ld a, e
        add a, 1dh
        ld e, a
        ld d, a
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        push de
        inc h
        dec c
        jr nz, line
        inc b
        ld a, b
        cp 23
        jr nz, row
        ld sp, (saved)
        ei
        ld a, (phase)           ; attributes of rows 1-22 from the table at the phase
        ld l, a
        ld h, 0
        ld de, colours
        add hl, de
        ld de, 5820h
        ld bc, 704
        ldir
        jp frame

saved:  dw 0
phase:  db 0
colours:
