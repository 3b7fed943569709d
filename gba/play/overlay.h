/* The overlay over a running snapshot (L + R + Start + Select): resume, the on-screen keyboard,
 * save and load states, reset the snapshot, the choice of view, back to the menu. */
#ifndef TAPELOOM_OVERLAY_H
#define TAPELOOM_OVERLAY_H

#include "hw/gba.h"
#include "save/save_store.h"
#include "spectrum/machine.h"

/* What the overlay hands back to the play loop. */
enum OverlayChoice { OVERLAY_RESUME, OVERLAY_RESET, OVERLAY_MENU, OVERLAY_KEYBOARD };

#define OVERLAY_COMBO (KEY_L | KEY_R | KEY_START | KEY_SELECT)

/* The game the overlay acts on. */
typedef struct OverlayGame {
    Spectrum* machine;
    const SaveOwner* owner; /* the entry, for save states; NULL: no save states (plug-in form) */
    int has_menu;           /* 0: there is no menu to go back to (its line cannot be chosen) */
} OverlayGame;

/* Shows the overlay until the user resumes (B, or a state was loaded), picks reset, the
 * keyboard or the menu, and returns the choice. The view (enum DisplayView) and its panning
 * change while it is open, R + D-pad pans the 1:1 view. */
int overlay_run(int* view, int* pan_x, int* pan_y, const OverlayGame* game);

#endif
