/* Beeper output through Direct Sound A at 32,768 Hz, the rate at which the GBA's sound hardware
 * itself produces its output (one sample every 512 GBA cycles): each sample the program makes is
 * heard once, unstretched. Timer 0 clocks the samples; timer 1 counts 16 of them and its
 * interrupt pushes the next 16 bytes into the FIFO (sound_irq.S). The samples played are the
 * emulation's clock: the main loop makes a frame only when fewer than a few frames of sound
 * wait in the ring. When the ring runs dry, the FIFO gets the last sample again (the sound
 * holds still) and the ring's sound is heard that much later. */
#ifndef TAPELOOM_SOUND_H
#define TAPELOOM_SOUND_H

#include "hw/gba.h"

enum {
    SOUND_CYCLES_PER_SAMPLE = 512,
    SOUND_RING_SIZE = 4096,         /* bytes; a power of two, several frames */
    SOUND_MAX_FRAME_SAMPLES = 1024, /* room after the ring for a frame written across its end */
    SOUND_PUSH = 16                 /* bytes per FIFO top-up */
};

/* The ring of rendered samples, shared with the timer interrupt that feeds the FIFO. The
 * positions count bytes from sound_start; the ring index is the position modulo its size. */
typedef struct SoundRing {
    volatile u32 read_pos;       /* bytes taken from the ring */
    volatile u32 write_pos;      /* bytes rendered into it */
    volatile u32 samples_played; /* samples the FIFO has taken since sound_start, silence too */
    volatile u32 underruns;      /* 16-sample top-ups that found the ring empty */
    volatile u32 hold;           /* four copies of the last sample pushed, for an underrun */
} SoundRing;
extern SoundRing sound_ring;

/* Samples a frame of `tstates` T-states at `cpu_hz` lasts, to the nearest. */
u32 sound_samples_per_frame(u32 tstates, u32 cpu_hz);

void sound_start(void);
void sound_stop(void);
/* Where the next frame's samples go (room for SOUND_MAX_FRAME_SAMPLES), and their release. */
s8* sound_frame_buffer(void);
void sound_frame_done(u32 samples);

/* Samples rendered but not yet played. */
static inline u32 sound_queued(void) {
    return sound_ring.write_pos - sound_ring.read_pos;
}

#endif
