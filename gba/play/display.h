/* The Spectrum screen on the LCD: twelve 64x64 affine sprites hold the 256x192 picture as 4 bpp
 * tiles (one tile per character cell), scaled by the hardware to 240x160 or shown 1:1 with
 * panning. Each pixel's palette index is its colour (BRIGHT in bit 3), so attributes cost
 * nothing at display time; only character rows the CPU wrote are converted again. */
#ifndef TAPELOOM_DISPLAY_H
#define TAPELOOM_DISPLAY_H

#include "hw/gba.h"

enum DisplayView { DISPLAY_SCALED = 0, DISPLAY_ONE_TO_ONE = 1 };

/* Mode 0, sprites on, BG0 (the overlay's text layer) off, palette and sprites set up. */
void display_init(void);
void display_set_view(int view, int pan_x, int pan_y);
/* Converts the character rows whose bits are set in `rows` (bit n = row n) from the screen
 * memory at `screen` (0x4000 of the Spectrum); `frame` drives FLASH, whose rows it adds when the
 * phase turns. */
void display_update(const u8* screen, u32 rows, u32 frame) IWRAM_CODE;
/* Hides the sprites (before the menu takes the screen back). */
void display_close(void);

#endif
