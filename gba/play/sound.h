/* Beeper output through Direct Sound A. Timer 0 clocks one sample every 208 T-states of
 * Spectrum time (997 GBA cycles, 16.8 kHz); timer 1 counts 16 samples and its interrupt pushes
 * the next 16 bytes into the FIFO. The samples played are the emulation's clock: the machine
 * runs a frame only when fewer than two frames of sound are waiting. */
#ifndef TAPELOOM_SOUND_H
#define TAPELOOM_SOUND_H

#include "hw/gba.h"

#include "spectrum/beeper.h"

/* The ring of rendered samples, shared with the timer interrupt that feeds the FIFO. */
typedef struct SoundRing {
    volatile u32 read_pos;       /* bytes taken from the ring */
    volatile u32 write_pos;      /* bytes rendered into it */
    volatile u32 samples_played; /* samples the FIFO has taken since sound_start, silence too */
    volatile u32 underruns;      /* 16-sample top-ups that found the ring empty */
} SoundRing;
extern SoundRing sound_ring;

void sound_start(void);
void sound_stop(void);
/* Where the next frame's samples go (BEEPER_SAMPLES_PER_FRAME of them), and their release. */
s8* sound_frame_buffer(void);
void sound_frame_done(void);

/* Frames rendered but not yet played. */
static inline u32 sound_frames_queued(void) {
    return (sound_ring.write_pos - sound_ring.read_pos) / BEEPER_SAMPLES_PER_FRAME;
}

#endif
