/* The selected entry's screen in the menu: read from its snapshot (only the screen's 6912 bytes)
 * and scaled to PREVIEW_WIDTH x PREVIEW_HEIGHT on a background of its own (BG1) over the text
 * layer. Pixel (x, y) of the preview shows the Spectrum pixel at the centre of its area:
 * ((2x + 1) * 256 / (2 * PREVIEW_WIDTH), (2y + 1) * 192 / (2 * PREVIEW_HEIGHT)). */
#ifndef TAPELOOM_PREVIEW_H
#define TAPELOOM_PREVIEW_H

#include "hw/gba.h"

enum {
    PREVIEW_WIDTH = 120, /* 15/32 of the Spectrum's 256 x 192 */
    PREVIEW_HEIGHT = 90,
    PREVIEW_X = 120, /* the right half of the LCD, below the title bar */
    PREVIEW_Y = 16,
    PREVIEW_ROWS_PER_STEP = 24
};

/* Sets up the layer and its palette; the text layer goes behind it. Call after text_init(). */
void preview_init(void);
/* Reads the screen of `size` bytes of snapshot of kind `kind` (enum TplKind) at `data`; returns
 * the SnapshotResult of reading it (not OK: no picture). preview_step() then draws it, a band at
 * a time, so that the menu keeps reading the buttons every frame. */
int preview_show(const u8* data, u32 size, int kind);
/* Draws the next PREVIEW_ROWS_PER_STEP rows (under half a frame's time); 1 once all are drawn. */
int preview_step(void);
/* Hides the picture. */
void preview_hide(void);
/* The 6912 screen bytes last read, for tests. */
const u8* preview_screen(void);

#endif
