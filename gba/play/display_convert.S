@ The display's conversion of a character row's changed cells into their sprite tiles (4 bpp):
@ each pixel line is paper ^ (diff & mask), diff = ink ^ paper, the mask and the colours from
@ display_pixel_table (256 masks, one nibble per pixel; then the 16 colours, BRIGHT in bit 3).
@ An aligned four of cells of one attribute, its first and two more to draw, is converted at
@ once: one 32-bit read of the screen gives a pixel line of all four, where a byte read of EWRAM
@ costs nearly as much as a word's (about 10.5 cycles a pixel line against 15 cell by cell).
@
@ void display_convert_cells(const u8* bitmap, const u8* attrs, u32* tile, u32 cells, u32 flash)
@   bitmap: the row's pixel line 0 (line n at + 256 n); attrs: its attributes; tile: column 0's
@   tile (column n's at + 32 n bytes); cells: bit n = column n; flash: 0x80 while FLASH shows
@   ink as paper, else 0. The screen's rows and the tiles are word aligned.

    .syntax unified
    .section .iwram, "ax", %progbits
    .arm
    .align 2
    .global display_convert_cells
    .type display_convert_cells, %function

@ Four lines of a cell, from line \line on, into their place in its tile at r2.
.macro CELL_LINES line
    ldrb r4, [r0, #\line]
    ldrb r5, [r0, #\line + 256]
    ldrb r6, [r0, #\line + 512]
    ldrb r7, [r0, #\line + 768]
    ldr r4, [r12, r4, lsl #2]
    ldr r5, [r12, r5, lsl #2]
    ldr r6, [r12, r6, lsl #2]
    ldr r7, [r12, r7, lsl #2]
    and r4, r4, r9
    and r5, r5, r9
    and r6, r6, r9
    and r7, r7, r9
    eor r4, r4, r8
    eor r5, r5, r8
    eor r6, r6, r8
    eor r7, r7, r8
  .if \line
    add lr, r2, #16
    stmia lr, {r4-r7}
  .else
    stmia r2, {r4-r7}
  .endif
.endm

@ Line \t of the four's cell \k (0 or 1; the words move on by two cells) from screen word \w.
.macro LINE t, w, k
  .if \k == 0
    and \t, \w, #0xFF
    ldr \t, [r12, \t, lsl #2]
  .else
    and \t, \w, #0xFF00
    ldr \t, [r12, \t, lsr #6]
  .endif
    and \t, \t, r9
    eor \t, \t, r8
.endm

@ Four lines of the four's cell \k (screen words in r1, r3, r4, r5) into its tile.
.macro GROUP_CELL k
    LINE r6, r1, \k
    LINE r7, r3, \k
    LINE r10, r4, \k
    LINE r11, r5, \k
    stmia r2, {r6, r7, r10, r11}
    add r2, r2, #32
.endm

@ r0 bitmap, r1 attrs, r2 tile, r3 cells, r4-r7 four lines, r8 paper, r9 diff, r10 the
@ attribute they are of (0x100: none), r11 flash, r12 the table.
display_convert_cells:
    push {r4-r11, lr}
    sub sp, sp, #16
    ldr r11, [sp, #16 + 36]
    ldr r12, =display_pixel_table
    mov r10, #0x100
cells_loop:
    tst r3, #0xFF
    beq skip_eight
    tst r3, #1
    beq cell_next
    ldrb lr, [r1]
    cmp lr, r10                 @ most cells share their neighbour's colours
    beq cell_coloured
    mov r10, lr
    and r4, lr, #7
    and r5, lr, #0x40
    orr r4, r4, r5, lsr #3      @ ink
    add r4, r12, r4, lsl #2
    ldr r4, [r4, #1024]
    and r5, lr, #0x78
    add r5, r12, r5, lsr #1     @ paper
    ldr r8, [r5, #1024]
    eor r9, r4, r8
    tst lr, r11
    movne r8, r4                @ FLASH: ink shown as paper
cell_coloured:
    tst r0, #3
    bne cell_lines
    and lr, r3, #15
    mov r4, #0xA800
    orr r4, r4, #0x80           @ the fours with the first and two more cells set
    mov lr, r4, lsr lr
    tst lr, #1
    beq cell_lines
    ldr lr, [r1]
    eors lr, lr, lr, ror #8
    beq group                   @ one attribute
cell_lines:
    CELL_LINES 0
    CELL_LINES 1024
cell_next:
    add r0, r0, #1
    add r1, r1, #1
    add r2, r2, #32
    movs r3, r3, lsr #1
    bne cells_loop
cells_done:
    add sp, sp, #16
    pop {r4-r11, lr}
    bx lr
skip_eight:
    add r0, r0, #8
    add r1, r1, #8
    add r2, r2, #256
    movs r3, r3, lsr #8
    bne cells_loop
    b cells_done

@ Four cells of one attribute (its colours in r8, r9) at once, lines 0-3 then 4-7, two cells at
@ a time, the screen's words in r1, r3, r4, r5; the tile's address (128-byte aligned) counts
@ the pairs and the halves.
group:
    stmia sp, {r1, r3, r10, r11}
group_half:
    ldr r1, [r0]
    ldr r3, [r0, #256]
    ldr r4, [r0, #512]
    ldr r5, [r0, #768]
    add r0, r0, #1024
group_pair:
    GROUP_CELL 0
    GROUP_CELL 1
    mov r1, r1, lsr #16
    mov r3, r3, lsr #16
    mov r4, r4, lsr #16
    mov r5, r5, lsr #16
    tst r2, #0x40
    bne group_pair
    sub r2, r2, #128 - 16
    tst r2, #16
    bne group_half
    sub r0, r0, #2048           @ the next four
    add r0, r0, #4
    add r2, r2, #128 - 32
    ldmia sp, {r1, r3, r10, r11}
    add r1, r1, #4
    movs r3, r3, lsr #4
    bne cells_loop
    b cells_done
    .ltorg
    .size display_convert_cells, . - display_convert_cells
