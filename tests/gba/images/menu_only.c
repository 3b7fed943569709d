/* tpl_menu.gba: the menu without the emulator; picking an entry shows its details. */
#include "menu/menu.h"

int main(void) {
    menu_start(&menu_details_actions);
    return 0;
}
