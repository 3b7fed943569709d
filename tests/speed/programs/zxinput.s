; Keyboard reading for the compiled programs, as a C library for the Spectrum does it: every
; half-row read with IN r,(C). C calling convention of sdcc (result in A).

        .module zxinput
        .area   _CODE

; unsigned char in_inkey(void): the key bits (1 = down) of the first half-row with a key held,
; scanning FEFEh to 7FFEh; 0 when no key is down.
_in_inkey::
        ld      bc, #0xfefe
1$:     in      a, (c)
        cpl
        and     #0x1f
        ret     nz
        rlc     b
        jr      c, 1$
        xor     a
        ret

; unsigned char in_key_code(void): 1 + 5 * half-row + bit of the first key held (half-row 0 is
; FEFEh, bit 0 the outermost key), 0 when no key is down.
_in_key_code::
        ld      bc, #0xfefe
        ld      e, #1
1$:     in      a, (c)
        ld      d, #5
2$:     rrca
        jr      nc, 3$
        inc     e
        dec     d
        jr      nz, 2$
        rlc     b
        jr      c, 1$
        xor     a
        ret
3$:     ld      a, e
        ret
