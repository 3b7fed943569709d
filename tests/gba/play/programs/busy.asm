; Benchmark: a game that never waits. Each pass copies a 2 KiB back buffer over one third of the
; screen (shifted by the pass count, so the picture changes every frame), recolours that third's
; attributes and moves sixteen objects with table look-ups and 16-bit arithmetic.
; 9000h counts passes (16 bits).

        org 8000h

start:  di
        ld sp, 0ff00h
        ld hl, back             ; back buffer: a pattern
        ld b, 0
fill:   ld a, b
        xor 5ah
        ld (hl), a
        inc hl
        ld a, h
        cp (back + 800h) / 256
        jr nz, fill1
        jr filled
fill1:  inc b
        jr fill
filled: im 1
        ld iy, 5c3ah
        ei

pass:   ld hl, (9000h)
        inc hl
        ld (9000h), hl
        ld a, l                 ; screen third 0, 1, 2, 0: at 4000h, 4800h, 5000h
        and 3
        cp 3
        jr nz, t2
        xor a
t2:     rlca
        rlca
        rlca
        add a, 40h
        ld d, a
        ld e, 0
        ld a, l
        and 7
        ld c, a
        ld b, 0
        ld hl, back
        add hl, bc
        ld bc, 800h
        ldir                    ; 2 KiB of bitmap

        ld a, (9000h)
        and 3
        cp 3
        jr nz, t3
        xor a
t3:     add a, 58h
        ld h, a
        ld l, 0
        ld a, (9000h)
        ld b, 0
attr:   ld (hl), a
        add a, 9
        inc hl
        djnz attr               ; 256 attributes

        ld ix, objects
        ld b, 16
move:   ld l, (ix + 0)
        ld h, (ix + 1)
        ld e, (ix + 2)
        ld d, (ix + 3)
        add hl, de
        ld (ix + 0), l
        ld (ix + 1), h
        ld a, h
        and 31
        ld e, a
        ld d, 0
        ld hl, table
        add hl, de
        ld a, (hl)
        ld (ix + 4), a
        ld de, 5
        add ix, de
        djnz move
        jp pass

table:  db 0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45
        db 48, 51, 54, 57, 60, 63, 66, 69, 72, 75, 78, 81, 84, 87, 90, 93
objects:
        ds 16 * 5, 1
back    equ 0a000h
