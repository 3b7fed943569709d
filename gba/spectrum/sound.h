/* Beeper output through Direct Sound A. Timer 0 clocks one sample every 208 T-states of
 * Spectrum time (997 GBA cycles, 16.8 kHz); timer 1 counts 16 samples and its interrupt pushes
 * the next 16 bytes into the FIFO. The samples played are the emulation's clock: the machine
 * runs a frame only when fewer than two frames of sound are waiting. */
#ifndef TAPELOOM_SPECTRUM_SOUND_H
#define TAPELOOM_SPECTRUM_SOUND_H

#include "gba.h"

void sound_start(void);
void sound_stop(void);
/* Where the next frame's samples go (BEEPER_SAMPLES_PER_FRAME of them), and their release. */
s8* sound_frame_buffer(void);
void sound_frame_done(void);
/* Frames rendered but not yet played. */
u32 sound_frames_queued(void);
/* Samples the FIFO has taken since sound_start (silence included), and the 16-sample top-ups
 * that found the ring empty. */
u32 sound_samples_played(void);
u32 sound_underruns(void);

#endif
