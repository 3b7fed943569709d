#include "spectrum/keyboard.h"

void keyboard_from_buttons(const uint8_t key_block[KEY_BLOCK_SIZE], unsigned pressed,
                           SpectrumInput* input) {
    for (int r = 0; r < 8; ++r)
        input->rows[r] = 0;
    input->kempston = 0;
    for (int slot = 0; slot < KEY_BLOCK_SIZE; ++slot) {
        if (!(pressed & (1u << slot)))
            continue;
        unsigned code = key_block[slot];
        if (code >= 1 && code <= KEY_CODE_LAST_KEY) {
            unsigned index = code - 1; /* code = 5 * row + (4 - bit) + 1 */
            input->rows[index / 5] |= (uint8_t)(1u << (4 - index % 5));
        } else if (code >= KEY_CODE_KEMPSTON_RIGHT && code <= KEY_CODE_KEMPSTON_RIGHT + 4) {
            input->kempston |= (uint8_t)(1u << (code - KEY_CODE_KEMPSTON_RIGHT));
        }
    }
    /* A nibble's clear bits select half-rows: bit 3 the first of its four, bit 0 the last. */
    for (unsigned nibble = 0; nibble < 16; ++nibble) {
        uint8_t high = 0, low = 0;
        for (unsigned r = 0; r < 4; ++r) {
            if (!(nibble & (8u >> r))) {
                high |= input->rows[r];
                low |= input->rows[r + 4];
            }
        }
        input->held_high[nibble] = high;
        input->held_low[nibble] = low;
    }
}
