#include "play/sound.h"

#include <stddef.h>
#include <string.h>

_Static_assert((SOUND_RING_SIZE & (SOUND_RING_SIZE - 1)) == 0 && SOUND_RING_SIZE % SOUND_PUSH == 0,
               "sound_irq.S takes the ring index with one mask");
_Static_assert(SOUND_RING_SIZE == 4096, "the mask in sound_irq.S");
_Static_assert(offsetof(SoundRing, samples_played) == 8 && offsetof(SoundRing, underruns) == 12 &&
                   offsetof(SoundRing, hold) == 16,
               "the offsets sound_irq.S uses");

/* The ring, and after it the room that a frame written across the ring's end spills into. */
s8 sound_samples[SOUND_RING_SIZE + SOUND_MAX_FRAME_SAMPLES] EWRAM_BSS __attribute__((aligned(4)));
SoundRing sound_ring;

void sound_irq_entry(void); /* sound_irq.S: the interrupt handler while sound plays */
void gba_irq_handler(void); /* boot/crt0.S: the general one */

u32 sound_samples_per_frame(u32 tstates, u32 cpu_hz) {
    u32 rate = 16777216u / SOUND_CYCLES_PER_SAMPLE;
    return (tstates * rate + cpu_hz / 2) / cpu_hz;
}

void sound_start(void) {
    REG_IME = 0;
    sound_ring.read_pos = sound_ring.write_pos = sound_ring.samples_played = 0;
    sound_ring.underruns = 0;
    sound_ring.hold = 0;
    REG_SOUNDCNT_X = SOUNDCNT_X_MASTER;
    REG_SOUNDCNT_L = 0;
    REG_SOUNDCNT_H = SOUNDCNT_H_A_FULL | SOUNDCNT_H_A_LEFT | SOUNDCNT_H_A_RIGHT |
                     SOUNDCNT_H_A_TIMER0 | SOUNDCNT_H_A_RESET;
    for (int i = 0; i < 8; ++i)
        REG_FIFO_A = 0;
    *(void (*volatile*)(void))BIOS_IRQ_HANDLER = sound_irq_entry;
    REG_TM0CNT_H = 0;
    REG_TM1CNT_H = 0;
    REG_TM0CNT_L = (u16)(65536 - SOUND_CYCLES_PER_SAMPLE);
    REG_TM1CNT_L = (u16)(65536 - SOUND_PUSH);
    REG_IE |= IRQ_TIMER1;
    REG_IME = 1;
    REG_TM1CNT_H = TM_ENABLE | TM_CASCADE | TM_IRQ;
    REG_TM0CNT_H = TM_ENABLE | TM_FREQ_1;
}

void sound_stop(void) {
    REG_IME = 0;
    REG_TM0CNT_H = 0;
    REG_TM1CNT_H = 0;
    REG_IE &= (u16)~IRQ_TIMER1;
    REG_IF = IRQ_TIMER1;
    *(void (*volatile*)(void))BIOS_IRQ_HANDLER = gba_irq_handler;
    REG_IME = 1;
    REG_SOUNDCNT_H = SOUNDCNT_H_A_RESET;
    REG_SOUNDCNT_X = 0;
}

s8* sound_frame_buffer(void) {
    return sound_samples + (sound_ring.write_pos & (SOUND_RING_SIZE - 1));
}

void sound_frame_done(u32 samples) {
    u32 at = sound_ring.write_pos & (SOUND_RING_SIZE - 1);
    if (at + samples > SOUND_RING_SIZE) /* the part past the ring's end belongs at its start */
        memcpy(sound_samples, sound_samples + SOUND_RING_SIZE, at + samples - SOUND_RING_SIZE);
    sound_ring.write_pos += samples;
}
