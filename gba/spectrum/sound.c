#include "sound.h"

#include "beeper.h"

#define REG_SOUNDCNT_L REG16(0x04000080)
#define REG_SOUNDCNT_H REG16(0x04000082)
#define REG_SOUNDCNT_X REG16(0x04000084)
#define REG_FIFO_A REG32(0x040000A0)

enum {
    RING_FRAMES = 4,
    RING_SIZE = RING_FRAMES * BEEPER_SAMPLES_PER_FRAME,
    PUSH = 16, /* bytes per FIFO top-up */
    GBA_CYCLES_PER_SAMPLE = 997
};

static s8 ring[RING_SIZE] EWRAM_BSS __attribute__((aligned(4)));
static volatile u32 read_pos;  /* bytes taken from the ring */
static volatile u32 write_pos; /* bytes rendered into it */
static volatile u32 samples_played;
static volatile u32 underruns;
static u32 silence; /* four copies of the last sample, pushed when the ring runs dry */

IWRAM_CODE static void sound_irq(u32 flags) {
    if (!(flags & IRQ_TIMER1))
        return;
    u32 r = read_pos;
    if (write_pos - r >= PUSH) {
        const u32* src = (const u32*)(ring + r % RING_SIZE);
        REG_FIFO_A = src[0];
        REG_FIFO_A = src[1];
        REG_FIFO_A = src[2];
        REG_FIFO_A = src[3];
        silence = (src[3] >> 24) * 0x01010101u;
        read_pos = r + PUSH;
    } else {
        for (int i = 0; i < 4; ++i)
            REG_FIFO_A = silence;
        underruns++;
    }
    samples_played += PUSH;
}

void sound_start(void) {
    read_pos = write_pos = samples_played = underruns = 0;
    silence = 0;
    REG_SOUNDCNT_X = 0x0080; /* master on */
    REG_SOUNDCNT_L = 0;
    REG_SOUNDCNT_H = 0x0B04; /* A: full volume, left and right, timer 0, FIFO reset */
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
    REG_SOUNDCNT_H = 0x0800;
    REG_SOUNDCNT_X = 0;
}

s8* sound_frame_buffer(void) {
    return ring + write_pos % RING_SIZE;
}

void sound_frame_done(void) {
    write_pos += BEEPER_SAMPLES_PER_FRAME;
}

u32 sound_frames_queued(void) {
    return (write_pos - read_pos) / BEEPER_SAMPLES_PER_FRAME;
}

u32 sound_samples_played(void) {
    return samples_played;
}

u32 sound_underruns(void) {
    return underruns;
}
