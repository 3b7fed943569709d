#include "ay_tune.h"

/* Tone periods of a minor scale around A3 at 1.7734 MHz. */
static const uint16_t scale[8] = {504, 449, 424, 378, 336, 318, 283, 252};

static int add(AyTuneWrite* out, int n, int32_t t, uint8_t reg, uint8_t value) {
    out[n].t = t;
    out[n].reg = reg;
    out[n].value = value;
    return n + 1;
}

int ay_tune_frame(AyTuneKind kind, uint32_t frame, AyTuneWrite* out) {
    int n = 0;
    int32_t t = 120; /* the player runs from the interrupt: one write every 24 T-states */
    if (kind == AY_TUNE_SILENT) {
        for (uint8_t reg = 0; reg < 14; ++reg, t += 24)
            n = add(out, n, t, reg, reg == 7 ? 0x3F : 0);
        return n;
    }
    uint32_t row = frame / 6, tick = frame % 6; /* six frames per row, as trackers play */
    /* A: melody, a new note every row, vibrato and a volume that decays. */
    uint32_t a = scale[(row * 5 + (row >> 3)) & 7] + ((tick & 1) ? 3u : 0u);
    /* B: buzzer bass: tone off, the envelope (sawtooth) at the note's pitch. */
    uint32_t bass = scale[(row >> 2) & 7] * 2;
    /* C: drums every other row: noise, a falling tone, fast noise period. */
    int drum = (row & 1) == 0 && tick < 4;
    uint32_t c = 200 + tick * 180;
    uint8_t mixer = drum ? 0x1A : 0x3E; /* A tone; C tone + noise while the drum sounds */
    n = add(out, n, t, 0, (uint8_t)a);
    n = add(out, n, t += 24, 1, (uint8_t)(a >> 8));
    n = add(out, n, t += 24, 2, (uint8_t)bass);
    n = add(out, n, t += 24, 3, (uint8_t)(bass >> 8));
    n = add(out, n, t += 24, 4, (uint8_t)c);
    n = add(out, n, t += 24, 5, (uint8_t)(c >> 8));
    n = add(out, n, t += 24, 6, (uint8_t)(1 + tick));
    n = add(out, n, t += 24, 7, kind == AY_TUNE_DIGI ? (uint8_t)(mixer | 0x24) : mixer);
    n = add(out, n, t += 24, 8, (uint8_t)(15 - tick));
    n = add(out, n, t += 24, 9, 0x10);
    n = add(out, n, t += 24, 10, drum ? (uint8_t)(14 - 2 * tick) : 0);
    n = add(out, n, t += 24, 11, (uint8_t)(bass >> 4));
    n = add(out, n, t += 24, 12, 0);
    if (tick == 0)
        n = add(out, n, t += 24, 13, (row & 4) ? 10 : 8);
    if (kind == AY_TUNE_DIGI) {
        /* A 4-bit drum sample on C (tone and noise off), one volume write every 250 T-states,
         * as a sample player in a busy loop does. */
        uint32_t s = frame * 2654435761u;
        for (int k = 0; k < AY_TUNE_DIGI_WRITES; ++k) {
            s = s * 1103515245u + 12345u;
            int32_t at = 800 + k * 250;
            uint8_t level = (uint8_t)(((s >> 16) & 7) + (k < 100 ? 8 : 0));
            n = add(out, n, at, 10, level);
        }
    }
    return n;
}
