/* The start menu: the catalogue's display names, or the plug-in summary. */
#ifndef TAPELOOM_MENU_H
#define TAPELOOM_MENU_H

#include "catalogue.h"

/* Runs the catalogue menu forever; A calls tpl_pick_entry() for the selected entry and redraws
 * the list when it returns. */
void menu_run(const TplCatalogue* c);

/* Shows entry `index` (kind, offset, size, key codes) until B is pressed. */
void menu_show_details(const TplCatalogue* c, int index);
/* Shows the plug-in summary forever. */
void menu_show_plugin(const TplCatalogue* c);

/* The actions the emulator takes over. The weak defaults in menu.c show details; a library in
 * TAPELOOM_TPL_WHOLE_LIBS (gba/cross.cmake) replaces them with strong definitions. */
void tpl_pick_entry(const TplCatalogue* c, int index);
void tpl_start_plugin(const TplCatalogue* c);
/* Nonzero when a catalogue of one entry starts that entry at once (the emulator says so; the
 * weak default keeps the list). */
int tpl_start_single_entry(void);

/* Keys newly pressed since the last call, with auto-repeat for the D-pad and shoulders. */
u16 menu_poll_keys(void);

#endif
