; A different picture every frame, for the display's timing: after each interrupt (IM 1, HALT)
; all 768 attributes change, from red ink on blue paper to yellow ink on cyan paper and back,
; over a bitmap of F0h (the left half of each cell in ink). 9000h counts the frames (16 bits);
; after 300 the program stops in the first colours with interrupts off (DI, HALT) and sets 9002h
; to 1, so that its memory no longer changes.

        org 8000h

FRAMES  equ 300

start:  di
        ld sp, 0ff00h
        ld hl, 4000h
        ld de, 4001h
        ld bc, 17ffh
        ld (hl), 0f0h
        ldir
        ld hl, 0
        ld (9000h), hl
        xor a
        ld (9002h), a
        im 1
        ei
frame:  halt
        ld hl, (9000h)
        inc hl
        ld (9000h), hl
        ld a, l
        rra                     ; carry: an odd frame
        ld a, 0ah               ; paper 1 (blue), ink 2 (red)
        jr nc, fill
        ld a, 2eh               ; paper 5 (cyan), ink 6 (yellow)
fill:   ld hl, 5800h
        ld de, 5801h
        ld bc, 767
        ld (hl), a
        ldir
        ld hl, (9000h)
        ld de, FRAMES
        or a
        sbc hl, de
        jr nz, frame
        ld a, 1
        ld (9002h), a
        di
        halt
