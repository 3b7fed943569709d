@ The AY renderer's kernel for the GBA: render_plain of ay.c (with steady, noise_on_time, fire
@ and a sample player's volume writes as it calls them) in ARM code for IWRAM. It renders
@ samples in which nothing, only the noise, or tone flips, envelope steps and writes change, and
@ returns to the C code at a sample longer than MAX_SPAN, or when a heard generator is too fast to
@ follow change by change. Other writes go to the C code's ay_kernel_write (Thumb, in ROM) and
@ come back. It must give the C code's samples to the bit: the AY's GBA benchmark compares the
@ two. Levels times time fit 32 bits within MAX_SPAN (three channels at most 97,536 x 4,096).
@
@ void ay_kernel(Renderer* r)   (the fields at the offsets of ay_layout.h)

#include "ay_layout.h"

#define O(name) AY_OFFSET_##name

#if O(BASE) != O(N) + 4 || O(EXTRA) != O(N) + 8 || O(NORM_BASE) != O(N) + 12 || \
    O(NORM_LONG) != O(N) + 16
#error "the noise loop loads n, base, extra, norm_base and norm_long as one block"
#endif
#if O(LOW) != O(HIGH) + 4 || O(OUT) != O(HIGH) + 8 || O(COUNT) != O(HIGH) + 12 || \
    O(OFFSET) != O(HIGH) + 16
#error "the noise loop loads high, low, out, count and offset as one block"
#endif

@ Adds r\v to the int8 at [\base, \index] and stores it saturated; clobbers \t.
.macro ADD_SAMPLE base, index, v, t
    ldrsb \t, [\base, \index]
    add \t, \t, \v
    cmp \t, #127
    movgt \t, #127
    cmn \t, #128
    mvnlt \t, #127
    strb \t, [\base, \index]
.endm

@ Z clear when the noise's output at place \pos is high; clobbers \t, \u (\bits: the table).
.macro NOISE_BIT pos, bits, t, u
    mov \t, \pos, lsr #5
    ldr \t, [\bits, \t, lsl #2]
    and \u, \pos, #31
    mov \t, \t, lsr \u
    tst \t, #1
.endm

    .section .iwram.ay, "ax", %progbits
    .arm
    .align 2
    .global ay_kernel
    .type ay_kernel, %function

@ Through the sample loop: r0 the Renderer, r4 the sample's start, r5 its end, r6 i, r7 the
@ level x time made of it (or the steady level), r8 how far it is made. steady and fire keep
@ r0 and r4-r8.
ay_kernel:
    push {r4-r11, lr}
next:
    ldr r6, [r0, #O(I)]
    ldr r4, [r0, #O(POS)]
next_live:                      @ i and the sample's start in r6, r4 (and in memory)
    ldr r1, [r0, #O(COUNT)]
    cmp r6, r1
    bge done
    ldr r1, [r0, #O(FAST)]
    cmp r1, #0
    bne done
    ldr r5, [r0, #O(LEN)]
next_sample:                    @ ... and its length in r5; a sample left, no fast generator
    cmp r5, #AY_LAYOUT_MAX_SPAN
    bgt done
    add r5, r4, r5
    ldr r1, [r0, #O(WRITE_AT)]
    cmp r1, r5
    blt events                  @ a write inside the sample
    ldr r2, [r0, #O(CHANGE)]
    cmp r2, r5
    blt events
    ldr r3, [r0, #O(HEARD_NOISE_AT)]
    cmp r3, r5
    blt noise_only

@ Nothing heard changes: the level itself, for as many samples as that lasts (until r1).
    cmp r2, r1
    movlt r1, r2
    cmp r3, r1
    movlt r1, r3
    ldr r2, [r0, #O(NOISE_POS)]
    ldr r12, =ay_noise_bits
    NOISE_BIT r2, r12, r3, r2
    ldrne r7, [r0, #O(HIGH)]
    ldreq r7, [r0, #O(LOW)]
    ldr r2, [r0, #O(OFFSET)]
    add r7, r2, r7, asr #8
    ldr r8, [r0, #O(OUT)]
    ldr r9, [r0, #O(COUNT)]
    ldr r2, [r0, #O(FRAME_END)]
    cmp r1, r2
    blt fill_timed
    cmp r7, #0                  @ for the rest of the frame: no timing needed
    beq fill_rest_done
fill_rest:
    ADD_SAMPLE r8, r6, r7, r3
    add r6, r6, #1
    cmp r6, r9
    blt fill_rest
fill_rest_done:
    str r9, [r0, #O(I)]
    str r2, [r0, #O(POS)]
    str r2, [r0, #O(AT)]
    b done

fill_timed:                     @ error, extra, n and base in r10, r11, r12, lr
    ldr r10, [r0, #O(ERROR)]
    ldr r11, [r0, #O(EXTRA)]
    ldr r12, [r0, #O(N)]
    ldr lr, [r0, #O(BASE)]
fill_loop:
    ADD_SAMPLE r8, r6, r7, r3
    mov r4, r5
    add r6, r6, #1
    cmp r6, r9
    beq fill_out
    add r10, r10, r11
    mov r2, lr
    cmp r10, r12
    subhs r10, r10, r12
    addhs r2, r2, #1
    add r5, r4, r2
    cmp r5, r1
    ble fill_loop
    str r2, [r0, #O(LEN)]       @ the next sample begun
    cmp r2, lr
    ldreq r3, [r0, #O(NORM_BASE)]
    ldrne r3, [r0, #O(NORM_LONG)]
    str r3, [r0, #O(NORM)]
fill_out:
    str r10, [r0, #O(ERROR)]
    str r6, [r0, #O(I)]
    str r4, [r0, #O(POS)]
    str r4, [r0, #O(AT)]
    b next_live

@ Only the noise moves.
@ Only the noise moves: sample after sample until a write or a heard change is due (r1, r2),
@ the noise's place and next shift in r7 and r8, the sample's length, 1 / length and the error
@ of the spread in r9, r10, r11. No shift or up to 31 are worked out here, more through steady.
noise_only:
    cmp r2, r1
    movlt r1, r2
    push {r1}                   @ until
    ldr r7, [r0, #O(NOISE_POS)]
    ldr r8, [r0, #O(NOISE_AT)]
    ldr r9, [r0, #O(LEN)]
    ldr r10, [r0, #O(NORM)]
    ldr r11, [r0, #O(ERROR)]
noise_loop:
    sub r1, r8, r4              @ left: to the next shift
    ldr r12, =ay_noise_bits
    mov r2, r7, lsr #5
    ldr r2, [r12, r2, lsl #2]
    and r3, r7, #31
    mov r2, r2, lsr r3          @ bit 0: the output now
    cmp r1, r9
    bge noise_none
    ldr lr, [r0, #O(NOISE_PERIOD)]
    add r3, r1, lr
    cmp r3, r9
    blt noise_many
    ands r2, r2, #1             @ one shift: the output before it for `left`,
    movne r2, r1
    add r7, r7, #1              @ the next place's after it
    add r3, r7, #1
    cmp r3, #AY_LAYOUT_NOISE_LENGTH + 1
    moveq r7, #0
    add r8, r8, lr
    mov r3, r7, lsr #5
    ldr r3, [r12, r3, lsl #2]
    and lr, r7, #31
    mov r3, r3, lsr lr
    tst r3, #1
    subne r3, r9, r1
    addne r2, r2, r3
    b noise_level
noise_none:
    ands r2, r2, #1
    movne r2, r9
    b noise_level
@ More shifts, up to 31 (r1 left, lr the period): q whole periods after the first shift; the
@ outputs are bits 0 .. q + 1 of the 32 from the place on.
noise_many:
    sub r3, r9, #1
    sub r3, r3, r1              @ length - 1 - left
    ldr r12, [r0, #O(NOISE_RECIP)]
    umull r8, r2, r12, r3
    mul r8, r2, lr
    sub r8, r3, r8
    cmp r8, lr
    addhs r2, r2, #1
    cmp r2, #30
    bhi noise_general
    mov r3, r2                  @ q
    ldr r12, =ay_noise_bits
    mov r2, r7, lsr #5
    add r2, r12, r2, lsl #2
    ldmia r2, {r2, r8}
    ands r12, r7, #31
    movne r2, r2, lsr r12
    rsbne r12, r12, #32
    orrne r2, r2, r8, lsl r12   @ the outputs from the place on
    ands r8, r2, #1             @ high before the first shift
    movne r8, r1
    mla r1, r3, lr, r1          @ the last shift, from the sample's start
    add r12, r3, #1
    mov r12, r2, lsr r12
    tst r12, #1                 @ high after it
    subne r12, r9, r1
    addne r8, r8, r12
    mov r2, r2, lsr #1          @ the q outputs between: whole periods
    mvn r12, #0
    bic r2, r2, r12, lsl r3
    mov r12, #0
noise_ones:
    movs r2, r2, lsr #1
    adc r12, r12, #0
    bne noise_ones
    mla r2, r12, lr, r8         @ time high
    add r7, r7, r3              @ q + 1 places on
    add r7, r7, #1
    ldr r12, =AY_LAYOUT_NOISE_LENGTH
    cmp r7, r12
    subhs r7, r7, r12
    add r8, r1, r4              @ the next shift
    add r8, r8, lr
    b noise_level
noise_general:                  @ the noise back in memory for steady
    str r7, [r0, #O(NOISE_POS)]
    add r8, r4, r1
    str r8, [r0, #O(NOISE_AT)]
    push {r9-r11}
    mov r8, r4
    mov r1, r5
    bl steady
    pop {r9-r11}
    ldr r7, [r0, #O(NOISE_POS)]
    ldr r8, [r0, #O(NOISE_AT)]
    add r12, r0, #O(OUT)
    ldmia r12, {r4, r12, lr}    @ out, count, offset
    b noise_emit
@ low x length + (high - low) x time high; the sample's start (r4) is free from here, the
@ output's address, the count and the offset in r4, r12, lr.
noise_level:
    add r12, r0, #O(HIGH)
    ldmia r12, {r1, r3, r4, r12, lr} @ high, low, out, count, offset
    sub r1, r1, r3
    mul r2, r1, r2
    mla r2, r3, r9, r2
noise_emit:                     @ offset + (r2 >> 8) x 1 / length, the next sample begun
    mov r2, r2, lsr #8
    umull r3, r1, r10, r2
    mov r3, r3, lsr #31
    orr r3, r3, r1, lsl #1
    add r3, r3, lr
    ADD_SAMPLE r4, r6, r3, r2
    mov r4, r5
    add r6, r6, #1
    cmp r6, r12
    beq noise_out
    add r1, r0, #O(N)
    ldmia r1, {r1, r2, r3, r12, lr} @ n, base, extra, norm_base, norm_long
    add r11, r11, r3
    mov r9, r2
    mov r10, r12
    cmp r11, r1
    subhs r11, r11, r1
    addhs r9, r9, #1
    movhs r10, lr
    add r5, r4, r9
    ldr r1, [sp]
    cmp r5, r1
    bgt noise_out
    cmp r9, #AY_LAYOUT_MAX_SPAN
    ble noise_loop
noise_out:
    add sp, sp, #4
    str r7, [r0, #O(NOISE_POS)]
    str r8, [r0, #O(NOISE_AT)]
    str r8, [r0, #O(HEARD_NOISE_AT)]
    str r9, [r0, #O(LEN)]
    str r10, [r0, #O(NORM)]
    str r11, [r0, #O(ERROR)]
    str r6, [r0, #O(I)]
    str r4, [r0, #O(POS)]
    str r4, [r0, #O(AT)]
    b next_live

@ Writes, tone flips and envelope steps, change by change (a write first at a T-state).
events:
    mov r7, #0
    mov r8, r4
events_loop:
    ldr r1, [r0, #O(WRITE_AT)]
    ldr r2, [r0, #O(CHANGE)]
    cmp r1, r2
    movlt r2, r1                @ the next write or change
    cmp r2, r5
    bge events_end
    cmp r2, r8
    ble events_at
    mov r1, r2
    bl steady
    add r7, r7, r2
    mov r8, r1
events_at:
    ldr r1, [r0, #O(WRITE_AT)]
    cmp r1, r8
    bgt events_fire
    bl write
    b events_check
events_fire:
    bl fire
events_check:
    ldr r1, [r0, #O(FAST)]
    cmp r1, #0
    beq events_loop
    str r7, [r0, #O(ACC)]       @ the rest of the sample is the C code's
    mov r1, #0
    str r1, [r0, #O(ACC) + 4]
    str r8, [r0, #O(AT)]
    b done
events_end:
    mov r1, r5
    bl steady
    add r7, r7, r2

@ The sample made (r7) into the buffer: offset + (acc >> 8) x norm >> 31; the next one begins.
emit:
    ldr r1, [r0, #O(NORM)]
    mov r2, r7, asr #8
    umull r3, r12, r1, r2
    mov r3, r3, lsr #31
    orr r3, r3, r12, lsl #1
    add r12, r0, #O(OUT)
    ldmia r12, {r1, r12, lr}    @ out, count, offset
    add r3, r3, lr
    ADD_SAMPLE r1, r6, r3, r2
    mov r4, r5                  @ the sample's end: the next one's start
    str r4, [r0, #O(POS)]
    str r4, [r0, #O(AT)]
    mov r2, #0
    str r2, [r0, #O(ACC)]
    str r2, [r0, #O(ACC) + 4]
    add r6, r6, #1
    str r6, [r0, #O(I)]
    cmp r6, r12
    bge done
    ldr r3, [r0, #O(ERROR)]     @ the next sample's length and 1 / length
    add r12, r0, #O(N)
    ldmia r12, {r1, r2, r7, r8, lr} @ n, base, extra, norm_base, norm_long
    add r3, r3, r7
    cmp r3, r1
    subhs r3, r3, r1
    addhs r2, r2, #1
    movhs r8, lr
    str r2, [r0, #O(LEN)]
    str r8, [r0, #O(NORM)]
    str r3, [r0, #O(ERROR)]
    mov r5, r2
    b next_sample

done:
    pop {r4-r11, lr}
    bx lr

@ steady: level x time over [r8, r1) while no heard tone or envelope changes (the noise may),
@ in r2; advances the noise. Keeps r0, r1 and r4-r8.
steady:
    sub r9, r1, r8
    ldr r10, [r0, #O(HEARD_NOISE_AT)]
    cmp r10, r1
    blt steady_noise
    ldr r2, [r0, #O(NOISE_POS)]
    ldr r12, =ay_noise_bits
    NOISE_BIT r2, r12, r3, r2
    ldrne r2, [r0, #O(HIGH)]
    ldreq r2, [r0, #O(LOW)]
    mul r2, r9, r2
    bx lr

@ The noise shifts in [a, a + d) (a r8, d r9): its time high is the output before the first
@ shift for `left`, the whole periods between the shifts, and the output after the last shift.
steady_noise:
    push {r1, r4-r8, lr}
    ldr r10, [r0, #O(NOISE_AT)]
    sub r10, r10, r8            @ left (< d)
    ldr r4, [r0, #O(NOISE_POS)]
    ldr r11, =ay_noise_bits
    ldr r6, [r0, #O(NOISE_PERIOD)]
    sub r2, r9, #1              @ whole periods q in d - 1 - left, by the reciprocal
    sub r2, r2, r10
    ldr r3, [r0, #O(NOISE_RECIP)]
    umull r12, r7, r3, r2
    mul r12, r7, r6
    sub r12, r2, r12
    cmp r12, r6
    addhs r7, r7, #1            @ r7 = q: the shifts are q + 1
    ldr r1, =AY_LAYOUT_NOISE_LENGTH
    mov r5, #0                  @ outputs high among the q after place r4
    movs lr, r7
    beq counted
    mov r2, r4
count_words:                    @ 32 places at a time from r2 + 1
    add r2, r2, #1
    cmp r2, r1
    subhs r2, r2, r1
    mov r3, r2, lsr #5
    add r3, r11, r3, lsl #2
    ldmia r3, {r3, r12}
    and r9, r2, #31
    mov r3, r3, lsr r9
    rsb r9, r9, #32
    orr r3, r3, r12, lsl r9     @ a shift by 32 gives 0
    cmp lr, #32
    movlo r9, #1
    movlo r9, r9, lsl lr
    sublo r9, r9, #1
    andlo r3, r3, r9
    movhs r9, #32
    movlo r9, lr
count_bits:
    movs r3, r3, lsr #1
    adc r5, r5, #0
    bne count_bits
    sub lr, lr, r9
    add r2, r2, r9
    sub r2, r2, #1
    cmp r2, r1
    subhs r2, r2, r1
    cmp lr, #0
    bne count_words
counted:
    mul r12, r5, r6             @ the whole periods high
    NOISE_BIT r4, r11, r3, r2
    addne r12, r12, r10         @ high before the first shift
    add r4, r4, r7              @ q + 1 places on
    add r4, r4, #1
    cmp r4, r1
    subhs r4, r4, r1
    mul r2, r7, r6
    add r2, r2, r10             @ the last shift, from a
    ldr r9, [sp]                @ d again (the stop pushed, less a)
    sub r9, r9, r8
    NOISE_BIT r4, r11, r3, lr
    subne r3, r9, r2
    addne r12, r12, r3          @ high after the last shift
    str r4, [r0, #O(NOISE_POS)]
    add r2, r8, r2
    add r2, r2, r6
    str r2, [r0, #O(NOISE_AT)]
    str r2, [r0, #O(HEARD_NOISE_AT)]
    ldr r3, [r0, #O(HIGH)]
    ldr r2, [r0, #O(LOW)]
    sub r3, r3, r2
    mul lr, r2, r9              @ low x d
    mul r2, r12, r3             @ (high - low) x time high
    add r2, r2, lr
    pop {r1, r4-r8, lr}
    bx lr

@ write: the next queued write takes effect at r8. A fixed volume on a channel whose tone and
@ noise are both off (and was fixed before) only moves the output; the C code takes any other.
@ Keeps r0 and r4-r8.
write:
    push {r4-r8, lr}
    ldr r1, [r0, #O(QUEUE)]
    ldr r2, [r0, #O(E)]
    ldr r3, [r1, r2, lsl #2]    @ time << 12 | register << 8 | value
    and r12, r3, #0xF00
    cmp r12, #0xD00             @ the value a register holds changes nothing (but the
    beq write_any               @ envelope's shape)
    add lr, r0, r12, lsr #8
    ldrb lr, [lr, #O(PLAY)]
    and r4, r3, #0xFF
    cmp lr, r4
    beq write_next
write_any:
    sub r12, r12, #0x800
    cmp r12, #0x200
    bhi write_c                 @ not a volume
    mov r12, r12, lsr #8        @ the channel
    ldrb lr, [r0, #O(PLAY) + 7]
    mov lr, lr, lsr r12
    and lr, lr, #9
    cmp lr, #9
    bne write_c                 @ its tone or noise on
    add r4, r0, r12
    ldrb r5, [r4, #O(PLAY) + 8] @ the volume before
    and r6, r3, #0xFF
    orr lr, r5, r6
    tst lr, #0x10
    bne write_c                 @ on the envelope, before or after
    strb r6, [r4, #O(PLAY) + 8]
    and r6, r6, #15
    and r5, r5, #15
    add r6, r0, r6, lsl #2
    ldr r6, [r6, #O(AMP)]
    add r5, r0, r5, lsl #2
    ldr r5, [r5, #O(AMP)]
    sub r6, r6, r5              @ the step in level
    ldr r5, [r0, #O(HIGH)]
    add r5, r5, r6
    str r5, [r0, #O(HIGH)]
    ldr r5, [r0, #O(LOW)]
    add r5, r5, r6
    str r5, [r0, #O(LOW)]
write_next:
    add r2, r2, #1              @ the next write's time
    str r2, [r0, #O(E)]
    ldr r3, [r0, #O(QUEUED)]
    cmp r2, r3
    ldrlo r3, [r1, r2, lsl #2]
    movlo r3, r3, lsr #12
    mvnhs r3, #0x80000000
    str r3, [r0, #O(WRITE_AT)]
    pop {r4-r8, lr}
    bx lr
write_c:                        @ ay_kernel_write(r, pos): Thumb code
    mov r4, r0
    mov r1, r8
    ldr r12, =ay_kernel_write
    mov lr, pc
    bx r12
    mov r0, r4
    pop {r4-r8, lr}
    bx lr

@ fire: the tones and envelope steps due at r8. A tone's flip moves the output by its channel's
@ level (at the envelope's level before a step at the same time); an envelope step changes the
@ level of the channels on the envelope whose gate is open. Sets the next change. Keeps r0 and
@ r4-r8.
.macro TONE ch
    tst r1, #(1 << \ch)
    beq 1f
    ldr r7, [r0, #O(TONE_AT) + 4 * \ch]
    cmp r7, r8
    bne 2f
    ldrb r12, [r0, #O(TONE_OUT) + \ch]
    eor r12, r12, #1
    strb r12, [r0, #O(TONE_OUT) + \ch]
    ldr lr, [r0, #O(TONE_PERIOD) + 4 * \ch]
    add r7, r7, lr
    str r7, [r0, #O(TONE_AT) + 4 * \ch]
    ldrb lr, [r0, #O(PLAY) + 8 + \ch]
    tst lr, #0x10
    movne lr, r6
    andeq lr, lr, #15
    add lr, r0, lr, lsl #2
    ldr lr, [lr, #O(AMP)]
    cmp r12, #0
    rsbeq lr, lr, #0
    add r4, r4, lr
    tst r2, #(8 << \ch)
    addne r5, r5, lr
2:
    cmp r7, r3
    movlt r3, r7
1:
.endm

.macro ENVELOPE_CHANNEL ch
    ldrb r12, [r0, #O(PLAY) + 8 + \ch]
    tst r12, #0x10
    beq 1f
    ldrb r12, [r0, #O(TONE_OUT) + \ch]
    tst r2, #(1 << \ch)
    movne r12, #1
    cmp r12, #0
    beq 1f
    add r4, r4, r6
    tst r2, #(8 << \ch)
    addne r5, r5, r6
1:
.endm

fire:
    push {r4-r8, lr}
    ldr r1, [r0, #O(MASK)]
    ldrb r2, [r0, #O(PLAY) + 7]     @ the mixer
    mvn r3, #0x80000000             @ the next change, none yet
    ldr r4, [r0, #O(HIGH)]
    ldr r5, [r0, #O(LOW)]
    ldrb r6, [r0, #O(ENV_LEVEL)]
    TONE 0
    TONE 1
    TONE 2
    tst r1, #AY_LAYOUT_ENVELOPE_HEARD
    beq fire_done
    ldrb r12, [r0, #O(ENV_HOLDING)]
    cmp r12, #0
    bne fire_done
    ldr r7, [r0, #O(ENV_AT)]
    cmp r7, r8
    bne envelope_next
    add lr, r0, r6, lsl #2
    ldr r6, [lr, #O(AMP)]           @ the level before the step
    ldrb r12, [r0, #O(ENV_STEP)]
    ldrb lr, [r0, #O(ENV_SEGMENT)]
    cmp r12, #15
    addlo r12, r12, #1
    movhs r12, #0
    eorhs lr, lr, #1                @ into the other segment
    strb r12, [r0, #O(ENV_STEP)]
    strb lr, [r0, #O(ENV_SEGMENT)]
    add lr, r0, lr
    ldrb lr, [lr, #O(ENV_SEGMENTS)]
    cmp lr, #AY_LAYOUT_SEG_LOW
    bhs envelope_hold
    cmp lr, #0
    rsbeq r12, r12, #15             @ down: 15 - step; up: step
    mov lr, #0
    b envelope_level
envelope_hold:
    cmp lr, #AY_LAYOUT_SEG_LOW + 1
    moveq r12, #15                  @ held high, or low
    movne r12, #0
    mov lr, #1
envelope_level:
    strb r12, [r0, #O(ENV_LEVEL)]
    strb lr, [r0, #O(ENV_HOLDING)]
    ldr lr, [r0, #O(ENV_PERIOD)]
    add r7, r7, lr
    str r7, [r0, #O(ENV_AT)]
    add lr, r0, r12, lsl #2
    ldr lr, [lr, #O(AMP)]
    sub r6, lr, r6                  @ the step in level
    ENVELOPE_CHANNEL 0
    ENVELOPE_CHANNEL 1
    ENVELOPE_CHANNEL 2
envelope_next:
    ldrb r12, [r0, #O(ENV_HOLDING)]
    cmp r12, #0
    bne fire_done
    cmp r7, r3
    movlt r3, r7
fire_done:
    str r3, [r0, #O(CHANGE)]
    str r4, [r0, #O(HIGH)]
    str r5, [r0, #O(LOW)]
    pop {r4-r8, lr}
    bx lr

    .ltorg
    .size ay_kernel, . - ay_kernel

@ void ay_expand(int8_t* out, const int8_t* half, int count): out[i] += half[i / 2], saturating,
@ for i < count; a frame rendered at half the rate, each sample heard twice.
    .global ay_expand
    .type ay_expand, %function
ay_expand:
    subs r2, r2, #2
    blt expand_last
expand_pair:
    ldrsb r3, [r1], #1
    ldrsb r12, [r0]
    add r12, r12, r3
    cmp r12, #127
    movgt r12, #127
    cmn r12, #128
    mvnlt r12, #127
    strb r12, [r0], #1
    ldrsb r12, [r0]
    add r12, r12, r3
    cmp r12, #127
    movgt r12, #127
    cmn r12, #128
    mvnlt r12, #127
    strb r12, [r0], #1
    subs r2, r2, #2
    bge expand_pair
expand_last:
    adds r2, r2, #2             @ an odd count's last sample
    bxle lr
    ldrsb r3, [r1]
    ADD_SAMPLE r0, #0, r3, r12
    bx lr
    .size ay_expand, . - ay_expand
