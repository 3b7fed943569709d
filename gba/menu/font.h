/* Tapeloom's own 8x8 font (ASCII 32-126). */
#ifndef TAPELOOM_FONT_H
#define TAPELOOM_FONT_H

#include "hw/gba.h"

#define FONT_FIRST 32
#define FONT_LAST 126
#define FONT_GLYPHS (FONT_LAST - FONT_FIRST + 1)

/* Pixel row y (0-7) of a character: bit n set = ink at cell column n (0 = leftmost).
 * Characters outside 32-126 are drawn as '?'. */
u8 font_row(int ch, int y);

#endif
