/* A compiled game after its game over: "PRESS ANY KEY", then the keyboard polled with IN r,(C)
 * in a tight loop with interrupts off until a key is down; a key starts a short round (a bar
 * grows for a second, paced by HALT) and the game is over again. */
#include "zxscreen.h"

unsigned char in_inkey(void);

volatile unsigned char ticks;
static unsigned int rounds;

void isr(void) __interrupt {
    ticks++;
}

static void play_round(void) {
    unsigned char t;
    __asm__("ei");
    zx_print(8, 10, "                ");
    for (t = 0; t < 50; ++t) {
        ZX_ATTRS[12 * 32 + (t >> 1) + 4] = 0x20;
        __asm__("halt");
    }
}

void main(void) {
    zx_cls(0x38);
    for (;;) {
        zx_print(11, 10, "GAME OVER");
        zx_print(9, 12, "PRESS ANY KEY");
        zx_print(0, 0, "ROUNDS");
        zx_print_number(7, 0, rounds, 5);
        __asm__("di");
        while (in_inkey())
            ;
        while (!in_inkey())
            ;
        ++rounds;
        play_round();
        zx_cls(0x38);
    }
}
