/* The on-screen Spectrum keyboard: the 40 keys in the Spectrum's four rows, drawn over the
 * running game on their own layer (BG1), blended so that the game shows through. The D-pad moves,
 * A presses the key (held as long as A is), SHIFT and SYM SHIFT stick for the next key, B closes.
 * Select, Start, L and R keep the game's mapping while it is open. */
#ifndef TAPELOOM_KEYBOARD_OVERLAY_H
#define TAPELOOM_KEYBOARD_OVERLAY_H

#include "hw/gba.h"
#include "tpl_format.h"

extern int keyboard_overlay_shown; /* nonzero while open (or closing: B still held) */

/* Draws the keyboard and shows it; no key is held. */
void keyboard_overlay_open(void);
/* Hides it at once and lets go of its keys. */
void keyboard_overlay_close(void);

/* One frame while it is open. `held` (KEY_ bits, 1 = held) goes in as the buttons and comes out
 * as the slots held in `block`, which receives the key codes the game sees this frame: the typed
 * key and the shifts it takes along in the D-pad's and A's slots, the game's own mapping in the
 * others. Returns nonzero when the keys the game sees changed since the last frame. */
int keyboard_overlay_frame(const u8 game_keys[TPL_KEY_SLOTS], u32* held, u8 block[TPL_KEY_SLOTS]);

#endif
