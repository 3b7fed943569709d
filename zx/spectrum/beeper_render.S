@ beeper_render for the GBA (ARM in IWRAM): the samples of beeper.c's C version, byte for byte,
@ in one pass over the frame's edges as the CPU's latch logged them.
@
@ Time counts in units of 1 / (span x samples) of the frame (T-state t is unit t x samples, a
@ sample spans `span` units). A sample's high units are summed without tracking where the last
@ run began: an edge where the level falls adds its unit, one where it rises subtracts it, and
@ the sample's start (subtracted) and end (added) count as such when the level is high there.
@ An edge is taken no earlier than the one before it (nor than the frame's start) and no later
@ than the frame's end, which the C version does in units: the same samples.
@
@ void beeper_render(int level, const int32_t* edges, int count, const BeeperGrid* grid,
@                    int8_t* out)
@ Registers: r0 the level as the samples' value (0 or FULL), r1 the next edge, r2 the edges'
@ end, r3 and lr scratch, r4 the next sample, r5 the current sample's end (units), r6 the last
@ edge's T-state, r7 the current sample's high units so far, r8 span, r9 samples, r10 the
@ reciprocal, r11 the samples' end, r12 the edge's unit.

    .equ FULL, 96                   @ 2 x BEEPER_AMPLITUDE (beeper.h)
    .equ GRID_INVERSE, 12           @ offsetof(BeeperGrid, inverse)

    .section .iwram.beeper, "ax", %progbits
    .arm
    .align 2
    .global beeper_render
    .type beeper_render, %function
beeper_render:
    push {r3-r11, lr}               @ the grid stays at [sp] for long runs
    ldr r4, [sp, #40]
    ldmia r3, {r8, r9, r10}
    add r2, r1, r2, lsl #2
    ands r0, r0, #1
    movne r0, #FULL
    add r11, r4, r9
    mov r5, r8
    mov r6, #0
    mov r7, #0
    cmp r1, r2
    beq frame_end
edge:
    ldr r3, [r1], #4
    cmp r3, r6
    movlt r3, r6
    cmp r3, r8
    movgt r3, r8
    mov r6, r3
    mul r12, r3, r9
    cmp r12, r5
    bhs close
toggle:
    cmp r0, #0
    addne r7, r7, r12               @ the level falls here
    subeq r7, r7, r12               @ rises here
    eor r0, r0, #FULL
    cmp r1, r2
    bne edge
frame_end:
    mul r12, r8, r9                 @ the frame's end closes the last run
close:                              @ the edge lies past the current sample: finish it
    cmp r0, #0
    addne r7, r7, r5
    mul lr, r7, r10
    mov lr, lr, lsr #24
    strb lr, [r4], #1
    sub lr, r12, r5                 @ whole samples at the level before the edge's
    cmp lr, r8
    blo new_sample
    cmp lr, r8, lsl #3
    bhs long_run
1:  strb r0, [r4], #1
    add r5, r5, r8
    sub lr, lr, r8
    cmp lr, r8
    bhs 1b
new_sample:                         @ from r5 on: the edge falls into it, or the frame is done
    cmp r4, r11
    beq done
    cmp r0, #0
    rsbne r7, r5, #0
    moveq r7, #0
    add r5, r5, r8
    b toggle
done:
    pop {r3-r11, lr}
    bx lr

@ Eight whole samples or more (lr units from r5): their count by the grid's inverse, then bytes up
@ to a word boundary, four words at a time, the bytes left.
long_run:
    push {r1, r2, r12}
    ldr r3, [sp, #12]
    ldr r3, [r3, #GRID_INVERSE]
    umull r1, r2, lr, r3            @ r2: the whole samples, or one fewer (the inverse rounds down)
    mul r1, r2, r8
    sub r1, lr, r1
    cmp r1, r8
    addhs r2, r2, #1
    mla r5, r2, r8, r5
    orr r3, r0, r0, lsl #8
    orr r3, r3, r3, lsl #16
2:  tst r4, #3
    beq 3f
    strb r3, [r4], #1
    subs r2, r2, #1
    bne 2b
3:  mov r1, r3
    mov r12, r3
    mov lr, r3
    subs r2, r2, #16
    blo 5f
4:  stmia r4!, {r1, r3, r12, lr}
    subs r2, r2, #16
    bhs 4b
5:  adds r2, r2, #16
    beq 7f
6:  strb r3, [r4], #1
    subs r2, r2, #1
    bne 6b
7:  pop {r1, r2, r12}
    b new_sample
    .size beeper_render, . - beeper_render
