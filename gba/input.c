#include "input.h"

enum {
    REPEAT_DELAY = 18, /* polls before a held button repeats */
    REPEAT_RATE = 4,
    REPEAT_KEYS = KEY_UP | KEY_DOWN | KEY_LEFT | KEY_RIGHT | KEY_L | KEY_R
};

InputState input_state;

void input_poll(void) {
    InputState* s = &input_state;
    s->held_before = s->held;
    s->held = ~REG_KEYINPUT & KEY_MASK;
    u32 repeating = s->held & REPEAT_KEYS;
    if (repeating && repeating == (s->held_before & REPEAT_KEYS))
        ++s->repeat_timer;
    else
        s->repeat_timer = 0;
}

u32 input_pressed(int repeat) {
    const InputState* s = &input_state;
    u32 pressed = s->held & ~s->held_before;
    if (repeat && s->repeat_timer >= REPEAT_DELAY &&
        (s->repeat_timer - REPEAT_DELAY) % REPEAT_RATE == 0)
        pressed |= s->held & REPEAT_KEYS;
    return pressed;
}

void input_wait_release(void) {
    for (input_poll(); input_held(); input_poll())
        bios_vblank_intr_wait();
}
