/* The handheld's buttons: KEYINPUT is read here and nowhere else, once per frame by whoever runs
 * the screen (the menu, the emulator, the overlay), and the others ask what that read saw. */
#ifndef TAPELOOM_INPUT_H
#define TAPELOOM_INPUT_H

#include "hw/gba.h"

typedef struct InputState {
    u32 held, held_before, repeat_timer;
} InputState;
extern InputState input_state;

/* Reads the buttons. Call once per frame. */
void input_poll(void);
/* KEY_ bits held at the last poll (1 = held). */
static inline u32 input_held(void) {
    return input_state.held;
}
/* KEY_ bits pressed since the poll before; with `repeat`, the D-pad and the shoulder buttons
 * also repeat while held (after 18 polls, then every 4th). */
u32 input_pressed(int repeat);
/* Polls once per VBlank until no button is held. */
void input_wait_release(void);

#endif
