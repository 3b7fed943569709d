/* The emulator as the menu and the plug-in start see it: run one snapshot until the user goes
 * back to the menu. */
#ifndef TAPELOOM_SPECTRUM_SPECTRUM_H
#define TAPELOOM_SPECTRUM_SPECTRUM_H

#include "gba.h"

typedef struct SpectrumGame {
    const u8* data;
    u32 size;
    int kind;       /* 0 = .SNA, 1 = .Z80 */
    const u8* keys; /* ten key codes, KEYINPUT bit order */
    int has_menu;   /* 0 in the plug-in form: there is no menu to go back to */
} SpectrumGame;

/* Runs the game; returns when the user picks "Back to menu" in the overlay, or after a
 * snapshot that cannot run was reported on the screen and acknowledged with A. */
void spectrum_play(const SpectrumGame* game);

/* A message screen (lines split by '\n'); waits for A when wait_for_a, else forever. */
void spectrum_message(const char* title, const char* text, int wait_for_a);

#endif
