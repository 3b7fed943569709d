; A Spectrum 128 program for its AY-3-8912: what each register reads back, which ports reach the
; chip, then the sixteen envelope shapes one after another on channel A (tone and noise off, so
; the channel's output is the envelope's level), eight interrupts each. Results from 9000h:
;
;   9000h-900Fh  registers 0-15 read back after FFh was written (mixer FFh: I/O ports outputs)
;   9010h-901Fh  the same after 00h
;   9020h        register 14 with the ports as inputs (mixer 3Fh) after 55h was written
;   9021h        register 15 the same
;   9022h        register 8 after 05h went to BFFFh (A1 high: not the AY)
;   9023h        register 9 after 0Ch went to BEFDh (A15 high, A14 and A1 low: the data port)
;   9024h        what FFFDh reads after register 10 was selected through C0FDh and 0Bh written
;   9025h        what FFFDh reads with no register selected (10h latched)
;   9030h        the envelope shape playing (FFh: all played)
;   9031h        77h: done
;   9040h        interrupts counted by the IM 2 handler

SELECT  equ 0fffdh
DATA    equ 0bffdh
RESULTS equ 9000h
SHAPE   equ 9030h
TICK    equ 9040h

        org 8000h

start:  di
        include "im2_table.inc"   ; IM 2: a table at A000h to a handler at A2A2h

        ld a, 0ffh              ; every register FFh, read back
        ld ix, RESULTS
        call fill
        xor a
        ld ix, RESULTS + 10h
        call fill

        ld d, 7                 ; the I/O ports as inputs
        ld e, 3fh
        call write
        ld d, 14
        ld e, 55h
        call write
        call read
        ld (RESULTS + 20h), a
        ld d, 15
        ld e, 55h
        call write
        call read
        ld (RESULTS + 21h), a

        ld d, 8                 ; a port with A1 high is not the AY
        call select
        ld a, 5
        ld bc, 0bfffh
        out (c), a
        call read
        ld (RESULTS + 22h), a
        ld d, 9                 ; the data port decoded by A15, A14 and A1 alone
        call select
        ld a, 0ch
        ld bc, 0befdh
        out (c), a
        call read
        ld (RESULTS + 23h), a
        ld a, 10                ; and the select port
        ld bc, 0c0fdh
        out (c), a
        ld d, 10
        ld e, 0bh
        call write_selected
        call read
        ld (RESULTS + 24h), a
        ld d, 10h
        call select
        call read
        ld (RESULTS + 25h), a

        ; The envelope shapes on channel A alone, a step every 8,192 T-states (period 256).
        ld d, 7
        ld e, 3fh
        call write
        ld d, 8
        ld e, 10h
        call write
        ld d, 9
        ld e, 0
        call write
        ld d, 10
        call write
        ld d, 11
        call write
        ld d, 12
        ld e, 1
        call write
        ei
        ld e, 0
shapes: halt                    ; each starts a little after an interrupt
        ld a, e
        ld (SHAPE), a
        ld d, 13
        call write
        ld b, 8
hold:   halt
        djnz hold
        inc e
        ld a, e
        cp 16
        jr nz, shapes
        halt                    ; the last one plays as long as the others
        ld a, 0ffh
        ld (SHAPE), a
        ld a, 77h
        ld (RESULTS + 31h), a
idle:   halt
        jr idle

; Writes A to every register and reads each back into (IX + register).
fill:   ld e, a
        ld d, 0
fill1:  call write
        call read
        ld (ix + 0), a
        inc ix
        inc d
        ld a, d
        cp 16
        jr nz, fill1
        ret

; Register D := E.
write:  call select
write_selected:
        ld bc, DATA
        out (c), e
        ret
select: ld bc, SELECT
        out (c), d
        ret
read:   ld bc, SELECT
        in a, (c)
        ret

handler:
        push af
        ld a, (TICK)
        inc a
        ld (TICK), a
        pop af
        ei
        ret
handler_end:
