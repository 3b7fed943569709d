#include "play/sound.h"

#include "spectrum/beeper.h"

enum {
    RING_FRAMES = 4,
    RING_SIZE = RING_FRAMES * BEEPER_SAMPLES_PER_FRAME,
    PUSH = 16, /* bytes per FIFO top-up */
    GBA_CYCLES_PER_SAMPLE = 997
};

static s8 ring[RING_SIZE] EWRAM_BSS __attribute__((aligned(4)));
SoundRing sound_ring;
static u32 silence; /* four copies of the last sample, pushed when the ring runs dry */

IWRAM_CODE static void sound_irq(u32 flags) {
    if (!(flags & IRQ_TIMER1))
        return;
    SoundRing* s = &sound_ring;
    u32 r = s->read_pos;
    if (s->write_pos - r >= PUSH) {
        const u32* src = (const u32*)(ring + r % RING_SIZE);
        REG_FIFO_A = src[0];
        REG_FIFO_A = src[1];
        REG_FIFO_A = src[2];
        REG_FIFO_A = src[3];
        silence = (src[3] >> 24) * 0x01010101u;
        s->read_pos = r + PUSH;
    } else {
        for (int i = 0; i < 4; ++i)
            REG_FIFO_A = silence;
        s->underruns++;
    }
    s->samples_played += PUSH;
}

void sound_start(void) {
    sound_ring.read_pos = sound_ring.write_pos = sound_ring.samples_played = 0;
    sound_ring.underruns = 0;
    silence = 0;
    REG_SOUNDCNT_X = SOUNDCNT_X_MASTER;
    REG_SOUNDCNT_L = 0;
    REG_SOUNDCNT_H = SOUNDCNT_H_A_FULL | SOUNDCNT_H_A_LEFT | SOUNDCNT_H_A_RIGHT |
                     SOUNDCNT_H_A_TIMER0 | SOUNDCNT_H_A_RESET;
    for (int i = 0; i < 8; ++i)
        REG_FIFO_A = 0;
    gba_irq_hook = sound_irq;
    REG_TM0CNT_H = 0;
    REG_TM1CNT_H = 0;
    REG_TM0CNT_L = (u16)(65536 - GBA_CYCLES_PER_SAMPLE);
    REG_TM1CNT_L = (u16)(65536 - PUSH);
    REG_IE |= IRQ_TIMER1;
    REG_IME = 1;
    REG_TM1CNT_H = TM_ENABLE | TM_CASCADE | TM_IRQ;
    REG_TM0CNT_H = TM_ENABLE | TM_FREQ_1;
}

void sound_stop(void) {
    REG_TM0CNT_H = 0;
    REG_TM1CNT_H = 0;
    REG_IE &= (u16)~IRQ_TIMER1;
    gba_irq_hook = 0;
    REG_SOUNDCNT_H = SOUNDCNT_H_A_RESET;
    REG_SOUNDCNT_X = 0;
}

s8* sound_frame_buffer(void) {
    return ring + sound_ring.write_pos % RING_SIZE;
}

void sound_frame_done(void) {
    sound_ring.write_pos += BEEPER_SAMPLES_PER_FRAME;
}
