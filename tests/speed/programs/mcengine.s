; The multicolour engine's interrupt routine: from the interrupt it waits for the beam to
; reach pixel line 64 (about 14,336 + 64 x 224 T-states after the interrupt on a 48K), then
; for each of 64 lines copies that line's eight colours (mc_colours) into the attribute
; cells 12-19 of its character row, every line exactly 224 T-states. The destination of each
; line comes from a table read by POP (interrupts are off inside the routine).

        .module mcengine
        .globl  _mc_colours
        .globl  _ticks
        .area   _CODE

_isr::
        push    af
        push    bc
        push    de
        push    hl
        ld      (saved_sp), sp
        ld      bc, #1092               ; 1,092 x 26 T-states: to line 64
1$:     dec     bc
        ld      a, b
        or      c
        jr      nz, 1$
        ld      sp, #targets
        ld      hl, #_mc_colours
        ld      a, #64
        or      a                       ; carry clear: RET C below is a 5-T-state pause
line:   pop     de                      ; 10
        ldi                             ; 8 x 16
        ldi
        ldi
        ldi
        ldi
        ldi
        ldi
        ldi
        ld      b, #5                   ; 7 + 4 x 13 + 8 = 67
2$:     djnz    2$
        ret     c                       ; 5
        dec     a                       ; 4
        jp      nz, line                ; 10: 224 in all
        ld      sp, (saved_sp)
        ld      hl, #_ticks
        inc     (hl)
        pop     hl
        pop     de
        pop     bc
        pop     af
        ei
        reti

saved_sp:
        .dw     0
targets:                                ; attribute cell 12 of character rows 8-15, 8 lines each
        .dw     0x590c, 0x590c, 0x590c, 0x590c, 0x590c, 0x590c, 0x590c, 0x590c
        .dw     0x592c, 0x592c, 0x592c, 0x592c, 0x592c, 0x592c, 0x592c, 0x592c
        .dw     0x594c, 0x594c, 0x594c, 0x594c, 0x594c, 0x594c, 0x594c, 0x594c
        .dw     0x596c, 0x596c, 0x596c, 0x596c, 0x596c, 0x596c, 0x596c, 0x596c
        .dw     0x598c, 0x598c, 0x598c, 0x598c, 0x598c, 0x598c, 0x598c, 0x598c
        .dw     0x59ac, 0x59ac, 0x59ac, 0x59ac, 0x59ac, 0x59ac, 0x59ac, 0x59ac
        .dw     0x59cc, 0x59cc, 0x59cc, 0x59cc, 0x59cc, 0x59cc, 0x59cc, 0x59cc
        .dw     0x59ec, 0x59ec, 0x59ec, 0x59ec, 0x59ec, 0x59ec, 0x59ec, 0x59ec
