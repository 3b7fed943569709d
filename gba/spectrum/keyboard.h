/* From GBA buttons to what the Spectrum reads: the keyboard half-rows of port 0xFE and the
 * Kempston joystick of port 0x1F, through an entry's key block (one key code per button). */
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
} SpectrumInput;

/* pressed: bit i set when the button of KEYINPUT bit i is held (A = 0 ... L = 9). */
void keyboard_from_buttons(const uint8_t key_block[KEY_BLOCK_SIZE], unsigned pressed,
                           SpectrumInput* input);

/* Bits 0-4 of port 0xFE for the high address byte `high` (0 = pressed; bits 5-7 are 1). */
uint8_t keyboard_read(const SpectrumInput* input, uint8_t high);

#ifdef __cplusplus
}
#endif

#endif
