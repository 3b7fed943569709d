/* From a handheld's buttons to what the Spectrum reads: the keyboard half-rows of port 0xFE and
 * the Kempston joystick of port 0x1F, through a key block (one key code per button).
 *
 * Key codes: 0 none; 1-40 the keys by half-row (port 0x7FFE first), each half-row from its inner
 * key outwards, i.e. 5 * row + (4 - bit) + 1; 41-45 the Kempston lines in bit order (right, left,
 * down, up, fire). The cartridge format (format/tpl_format.h) stores the same codes. */
#ifndef TAPELOOM_SPECTRUM_KEYBOARD_H
#define TAPELOOM_SPECTRUM_KEYBOARD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { KEY_BLOCK_SIZE = 10, KEY_CODE_LAST_KEY = 40, KEY_CODE_KEMPSTON_RIGHT = 41 };

typedef struct SpectrumInput {
    /* Half-row r is read when bit (7 - r) of the port's high byte is 0; r = 0 is port 0x7FFE.
     * Bits 0-4, 1 = key pressed (inverted when read). */
    uint8_t rows[8];
    uint8_t kempston; /* bit 0 right, 1 left, 2 down, 3 up, 4 fire */
    /* The keys held in the half-rows a high byte selects, by its high and its low nibble (rows
     * 0-3 and 4-7): refreshed by keyboard_from_buttons(). */
    uint8_t held_high[16], held_low[16];
} SpectrumInput;

/* pressed: bit i set when the button of slot i is held (the GBA's KEYINPUT order: A = 0 ...
 * L = 9). Sets rows, kempston and the held tables. */
void keyboard_from_buttons(const uint8_t key_block[KEY_BLOCK_SIZE], unsigned pressed,
                           SpectrumInput* input);

/* Bits 0-4 of port 0xFE for the high address byte `high` (0 = pressed; bits 5-7 are 1).
 * Inline: games poll the keyboard in tight loops, and the port handler runs from IWRAM. */
static inline uint8_t keyboard_read(const SpectrumInput* input, uint8_t high) {
    return 0xFF ^ (input->held_high[high >> 4] | input->held_low[high & 15]); /* fits 8 bits */
}

#ifdef __cplusplus
}
#endif

#endif
