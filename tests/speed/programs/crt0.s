; Start-up code of the compiled benchmark programs (sdcc, Z80), loaded at 8000h.
; Stack below FD00h; globals zeroed and initialised; IM 2 with the vector table at FE00h-FF00h
; (every byte FDh) and a JP _isr at FDFDh, so any value on the data bus reaches the program's
; interrupt routine; then main. The ROM is neither called nor needed.

        .module crt0
        .globl  _main
        .globl  _isr

        .area   _CODE
init::
        di
        ld      sp, #0xfd00
        call    gsinit
        ld      hl, #0xfe00
        ld      de, #0xfe01
        ld      bc, #256
        ld      (hl), #0xfd
        ldir
        ld      a, #0xc3
        ld      (0xfdfd), a
        ld      hl, #_isr
        ld      (0xfdfe), hl
        ld      a, #0xfe
        ld      i, a
        im      2
        ei
        call    _main
1$:     halt
        jr      1$

        ; The order of the areas for the linker: code, then data at --data-loc.
        .area   _HOME
        .area   _INITIALIZER
        .area   _GSINIT
        .area   _GSFINAL
        .area   _DATA
        .area   _INITIALIZED
        .area   _BSEG
        .area   _BSS
        .area   _HEAP

        .area   _GSINIT
gsinit::
        ld      bc, #l__DATA
        ld      a, b
        or      a, c
        jr      z, 2$
        ld      hl, #s__DATA
        ld      (hl), #0
        dec     bc
        ld      a, b
        or      a, c
        jr      z, 2$
        ld      e, l
        ld      d, h
        inc     de
        ldir
2$:     ld      bc, #l__INITIALIZER
        ld      a, b
        or      a, c
        jr      z, 3$
        ld      de, #s__INITIALIZED
        ld      hl, #s__INITIALIZER
        ldir
3$:
        .area   _GSFINAL
        ret
