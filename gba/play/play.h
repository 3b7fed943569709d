/* The emulator on the GBA: starts the snapshot picked in the menu, or the one Pogoshell opened
 * with the plug-in, and runs it until the user goes back to the menu. */
#ifndef TAPELOOM_PLAY_H
#define TAPELOOM_PLAY_H

#include "menu/menu.h"

/* The actions tpl.gba hands to the menu. */
extern const MenuActions play_menu_actions;

#endif
