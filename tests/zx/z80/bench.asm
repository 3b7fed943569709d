; Benchmark workload for the Z80 core: the kind of work a Spectrum game does every frame.
; Block instructions (LDIR, CPIR) take about a quarter of the T-states, as in typical games.
; Loaded at 8000h; the driver puts JP IRQ at 0038h and raises an IM 1 interrupt every frame.

        org 8000h

        jp main

irq:    push af                 ; frame interrupt: count frames, like a game's timer
        push hl
        ld hl,(frames)
        inc hl
        ld (frames),hl
        pop hl
        pop af
        ei
        ret

main:   di
        ld sp,0ff00h
        im 1
        ld ix,objects
        ei

loop:   ; redraw a strip of the screen from a back buffer
        ld hl,backbuf
        ld de,4800h
        ld bc,64
        ldir

        ; move eight objects: positions, speeds, a sine table lookup
        ld ix,objects
        ld b,8
move:   ld a,(ix+0)
        add a,(ix+2)
        ld (ix+0),a
        ld l,a
        ld h,high sine
        ld a,(hl)
        add a,(ix+3)
        ld (ix+1),a
        ld de,4
        add ix,de
        djnz move

        ; score arithmetic: 16-bit multiply and a BCD add
        ld hl,(seed)
        ld de,1103
        call mul16
        ld (seed),hl
        ld a,(score)
        add a,l
        daa
        ld (score),a
        ld a,(score+1)
        adc a,0
        daa
        ld (score+1),a

        ; scroll one attribute row left through the carry
        ld hl,5800h+31
        ld b,32
        or a
scroll: rl (hl)
        dec hl
        djnz scroll

        ; draw an 8-line sprite with masks, through the screen address of each line
        ld hl,sprite
        ld de,4000h+100
        ld c,8
sprline:
        ld a,(de)
        and (hl)
        inc hl
        or (hl)
        inc hl
        ld (de),a
        inc d
        dec c
        jr nz,sprline

        ; nested calls with the stack
        call level1

        ; search a short table with CPIR and count bits
        ld hl,sine
        ld bc,16
        ld a,(seed+1)
        cpir
        ld a,(seed)
        ld b,8
        ld c,0
bits:   rlca
        jr nc,nobit
        inc c
nobit:  djnz bits
        ld a,c
        ld (bitcount),a

        jp loop

; HL = HL * DE (low 16 bits)
mul16:  ld b,h
        ld c,l
        ld hl,0
        ld a,16
mulbit: add hl,hl
        ex de,hl
        add hl,hl
        ex de,hl
        jr nc,mulskip
        add hl,bc
mulskip:
        dec a
        jr nz,mulbit
        ret

level1: push bc
        push de
        call level2
        pop de
        pop bc
        ret
level2: push hl
        ld hl,counter
        inc (hl)
        bit 0,(hl)
        jr z,even
        exx
        ld hl,(counter)
        ld de,0101h
        sbc hl,de
        exx
even:   pop hl
        ret

frames:   dw 0
seed:     dw 12345
score:    dw 0
counter:  dw 0
bitcount: db 0
objects:  db 10,0,3,20, 40,0,5,10, 80,0,7,30, 120,0,1,40
          db 160,0,2,50, 200,0,9,60, 240,0,4,70, 30,0,6,80
sprite:   db 0f0h,00h,0e0h,0ah,0c0h,15h,0c0h,2ah,0e0h,04h,0f0h,02h,0f8h,01h,0fch,00h
backbuf:  ds 256,55h

        org (($ + 255) / 256) * 256
sine:
        db 128,131,134,137,140,143,146,149,152,155,158,162,165,167,170,173
        db 176,179,182,185,188,190,193,196,198,201,203,206,208,211,213,215
        db 218,220,222,224,226,228,230,232,234,235,237,238,240,241,243,244
        db 245,246,248,249,250,250,251,252,253,253,254,254,254,255,255,255
        db 255,255,255,255,254,254,254,253,253,252,251,250,250,249,248,246
        db 245,244,243,241,240,238,237,235,234,232,230,228,226,224,222,220
        db 218,215,213,211,208,206,203,201,198,196,193,190,188,185,182,179
        db 176,173,170,167,165,162,158,155,152,149,146,143,140,137,134,131
        db 128,124,121,118,115,112,109,106,103,100,97,93,90,88,85,82
        db 79,76,73,70,67,65,62,59,57,54,52,49,47,44,42,40
        db 37,35,33,31,29,27,25,23,21,20,18,17,15,14,12,11
        db 10,9,7,6,5,5,4,3,2,2,1,1,1,0,0,0
        db 0,0,0,0,1,1,1,2,2,3,4,5,5,6,7,9
        db 10,11,12,14,15,17,18,20,21,23,25,27,29,31,33,35
        db 37,40,42,44,47,49,52,54,57,59,62,65,67,70,73,76
        db 79,82,85,88,90,93,97,100,103,106,109,112,115,118,121,124
