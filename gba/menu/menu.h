/* The start menu: the catalogue's display names with the selected entry's screen, or the plug-in
 * summary. The entry started last is remembered in the save memory and selected at the next
 * start. What happens when an entry is picked or Pogoshell starts the plug-in is the caller's:
 * an explicit set of actions. */
#ifndef TAPELOOM_MENU_H
#define TAPELOOM_MENU_H

#include "menu/catalogue.h"

typedef struct MenuActions {
    /* Entry `index` was picked with A; the menu redraws its list when this returns. */
    void (*pick_entry)(const TplCatalogue* c, int index);
    /* The image was started as a Pogoshell plug-in; need not return. */
    void (*start_plugin)(const TplCatalogue* c);
    /* Nonzero: a catalogue of one entry picks it at once (the list shows after it returns). */
    int start_single_entry;
    /* What the hint line says A does, e.g. "A:play". */
    const char* pick_hint;
} MenuActions;

/* The menu's own actions: the entry's details (kind, offset, size, key codes) until B, and the
 * plug-in summary. */
extern const MenuActions menu_details_actions;

/* Reads the table behind the image (first, before anything writes near Pogoshell's argument
 * block), then runs the catalogue menu or the plug-in start; does not return. */
void menu_start(const MenuActions* actions);

#endif
