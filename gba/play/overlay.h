/* The overlay over a running snapshot (L + R + Start + Select): resume, reset the snapshot,
 * the choice of view, back to the menu. */
#ifndef TAPELOOM_OVERLAY_H
#define TAPELOOM_OVERLAY_H

#include "hw/gba.h"

enum OverlayChoice { OVERLAY_RESUME, OVERLAY_RESET, OVERLAY_VIEW, OVERLAY_MENU, OVERLAY_ITEMS };

#define OVERLAY_COMBO (KEY_L | KEY_R | KEY_START | KEY_SELECT)

/* Shows the overlay until the user picks resume, reset or menu (without a menu, that line is
 * empty and cannot be chosen) and returns the choice. The view (enum DisplayView) and its
 * panning change while it is open, R + D-pad pans the 1:1 view. */
int overlay_run(int* view, int* pan_x, int* pan_y, int has_menu);

#endif
