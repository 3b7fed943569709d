/* tpl.gba: the start menu, with the emulator starting what is picked there or what Pogoshell
 * opened with the plug-in. */
#include "menu/menu.h"
#include "play/play.h"

int main(void) {
    menu_start(&play_menu_actions);
    return 0;
}
