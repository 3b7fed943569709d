/* The Spectrum screen on the LCD: twelve 64x64 affine sprites hold the 256x192 picture as 4 bpp
 * tiles (one tile per character cell), scaled by the hardware to 240x160 or shown 1:1 with
 * panning. Each pixel's palette index is its colour (BRIGHT in bit 3), so attributes cost
 * nothing at display time; only cells that changed are converted again.
 *
 * A frame's picture is made in two steps. display_prepare finds the cells that changed in the
 * character rows the CPU wrote, against a copy of the screen as last drawn (rows rewritten whole
 * frame after frame skip the comparison for a while). display_draw converts them into the tiles,
 * top row first, faster than the LCD scans them; started while the LCD is not showing those
 * rows (display_lines_to_wait), it cannot tear them. Cells found and not yet drawn are kept, so
 * a frame whose drawing is skipped is caught up by the next one drawn. */
#ifndef TAPELOOM_DISPLAY_H
#define TAPELOOM_DISPLAY_H

#include "hw/gba.h"

enum DisplayView { DISPLAY_SCALED = 0, DISPLAY_ONE_TO_ONE = 1 };

/* Mode 0, sprites on, BG0 (the overlay's text layer) off, palette and sprites set up; every cell
 * is drawn anew at the next display_draw once its rows are marked. */
void display_init(void);
void display_set_view(int view, int pan_x, int pan_y);
/* Character rows written (bit n = row n), to be compared at the next display_prepare. */
void display_mark(u32 rows);
/* Compares the marked rows of the screen memory at `screen` (0x4000 of the Spectrum) with the
 * copy; `frame` drives FLASH (its cells are added when the phase turns). Returns the character
 * rows with cells now waiting to be drawn (bit n = row n). */
u32 display_prepare(const u8* screen, u32 frame);
/* How many cells wait. */
u32 display_waiting_cells(void);
/* Every cell is drawn anew once compared (after something else used the video memory). */
void display_refresh(void);
/* LCD lines until drawing the waiting cells cannot tear (0: now). */
u32 display_lines_to_wait(void);
/* Converts the waiting cells of the screen memory into tiles; returns the character rows it
 * drew into (bit n = row n). */
u32 display_draw(const u8* screen);
/* Rows in a set of rows (bit n = row n). */
u32 display_row_count(u32 rows);
/* Hides the sprites (before the menu takes the screen back). */
void display_close(void);

#endif
