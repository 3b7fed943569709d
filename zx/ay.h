/* The AY-3-8912 sound chip of the Spectrum 128: sixteen registers behind ports 0xFFFD
 * (select, read) and 0xBFFD (write), three square-wave tone channels, one noise generator, a
 * mixer, fixed or envelope-driven volumes and the envelope generator with its sixteen shapes.
 *
 * Time is counted in the machine's T-states: the chip runs at half the CPU clock (1.7734 MHz on a
 * Spectrum 128), so its tone and envelope counters advance once every 16 T-states (a "tick").
 * The machine dates each write with the T-state of the OUT inside the current frame; writes
 * wait in a queue. At the end of the frame the front end asks for that frame's samples and the
 * chip plays the writes back at their own T-states while it renders. Rendering is fixed-point
 * throughout and each sample is the mean output over its share of the frame (a box filter), so
 * tones above half the sample rate become their average level instead of aliasing. Tone flips,
 * noise shifts, envelope steps and writes are followed to the T-state; only where a tone or the
 * envelope changes every 1-3 ticks (ultrasonic) are its products with the other signals of a
 * channel taken as those of independent signals.
 *
 * Cost goes with what changes: a sample in which nothing heard changes is one addition; each
 * tone flip, envelope step, noise-bearing sample and write costs more. Generators that nobody
 * hears (volume 0, kept out by the mixer) are left alone and brought up to date exactly when
 * they are heard again.
 *
 * The output of a channel is its level from the chip's logarithmic DAC (levels measured on a real
 * chip) while its mixed tone/noise signal is high, 0 while low. With tone and noise both disabled
 * the signal stays high and the channel outputs its level: programs play samples that way, by
 * writing volumes. The three channels are summed (unipolar, 0 .. 3 x peak), moved by an offset
 * and added to the samples already in the buffer, saturating at the int8 range, so a frame's
 * beeper samples and the AY's end up in one buffer.
 *
 * Portable C; on the GBA the sample loop runs from IWRAM as ARM code (ay_kernel.S, its twin in
 * ay.c), the rest as Thumb code from ROM. */
#ifndef TAPELOOM_ZX_AY_H
#define TAPELOOM_ZX_AY_H

#include <stdint.h>

#include "zx_placement.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    AY_REGISTERS = 16,
    /* Register numbers. */
    AY_TONE_A_FINE = 0,
    AY_TONE_A_COARSE = 1,
    AY_TONE_B_FINE = 2,
    AY_TONE_B_COARSE = 3,
    AY_TONE_C_FINE = 4,
    AY_TONE_C_COARSE = 5,
    AY_NOISE_PERIOD = 6,
    AY_MIXER = 7,    /* bits 0-2 tone off A-C, 3-5 noise off A-C, 6-7 ports A/B are outputs */
    AY_VOLUME_A = 8, /* bits 0-3 level, bit 4 the envelope's level instead */
    AY_VOLUME_B = 9,
    AY_VOLUME_C = 10,
    AY_ENVELOPE_FINE = 11,
    AY_ENVELOPE_COARSE = 12,
    AY_ENVELOPE_SHAPE = 13, /* bits: 3 continue, 2 attack, 1 alternate, 0 hold */
    AY_PORT_A = 14,
    AY_PORT_B = 15,

    AY_TSTATES_PER_TICK = 16,
    /* What port A reads on a Spectrum 128 with nothing plugged into its keypad and RS232
     * sockets: the lines idle high except bit 6, the serial DTR input, which reads low. */
    AY_PORT_A_IDLE = 0xBF,
    /* A frame's writes wait here until the frame is rendered (4 bytes each; a sample player in
     * a tight loop writes a few hundred). A program that writes more in one frame still has its
     * last value of every register applied, from the frame's end; overflows counts such frames. */
    AY_QUEUE_SIZE = 1024,
    /* Latest T-state a write may carry (later ones count as this one). */
    AY_TSTATE_MAX = (1 << 20) - 1,
    /* Default peak output of one channel at level 15: three channels sum to 120. */
    AY_DEFAULT_PEAK = 40
};

/* The generators and the registers they play, as of the render position. Event times count
 * T-states from the current frame's start. A generator that nobody hears is left behind and
 * brought up to date (exactly) when it is heard again or the frame ends. */
typedef struct AyGenerators {
    int32_t tone_at[3];     /* next flip of each tone output */
    int32_t tone_period[3]; /* T-states between flips */
    uint32_t tone_recip[3]; /* 2^32 / period for catching up; 0 until needed */
    int32_t noise_at, noise_period;
    uint32_t noise_recip;
    uint32_t noise_pos; /* the generator's place in its sequence (ay_noise.h) */
    int32_t env_at, env_period;
    uint32_t env_recip;
    int32_t amp[16]; /* DAC level x peak, 8 fractional bits */
    uint8_t play[AY_REGISTERS];
    uint8_t tone_out[3];
    uint8_t env_segments[2]; /* the shape's two segments (see ay.c) */
    uint8_t env_segment, env_step, env_level, env_holding;
} AyGenerators;

/* The chip. Fields are private to ay.c apart from `regs` (read-only) and `overflows`; the struct
 * is public so that a machine can hold it by value. */
typedef struct AyChip {
    uint8_t regs[AY_REGISTERS]; /* as written, masked as the chip keeps them */
    uint8_t selected;           /* the address latch: 16 and more leave the chip deselected */
    AyGenerators gen;
    int32_t grid; /* tick phase: ticks fall on T-states t with ((t + grid) & 15) == 0 */
    int peak;
    int offset; /* added to every sample rendered */
    /* The sample grid of the last frame rendered (frame length and count), worked out once. */
    int32_t grid_end;
    int grid_count;
    uint32_t sample_base, sample_extra, norm_base, norm_long;
    int32_t span_recip;

    /* The frame's writes: T-state << 12 | register << 8 | value, in time order. */
    uint32_t queue[AY_QUEUE_SIZE];
    uint32_t queued;
    int32_t last_t;
    uint16_t late_mask; /* registers written after the queue filled up, with their last value */
    uint8_t late[AY_REGISTERS];
    uint32_t overflows;
} AyChip;

/* Power-on: every register 0 (silence), default peak, nothing queued. */
ZX_API void ay_init(AyChip* ay);
/* The RESET line: every register 0, queue dropped; the peak stays. */
ZX_API void ay_reset(AyChip* ay);
/* Output of one channel at level 15 (1..127); the sum of three must fit the buffer's headroom. */
ZX_API void ay_set_peak(AyChip* ay, int peak);
/* A constant (-255..255) added to every sample, to move the chip's unipolar output (0 .. 3 x
 * peak) where the buffer has room for it; 0 at power-on. Sums still saturate at the int8 range. */
ZX_API void ay_set_offset(AyChip* ay, int offset);

/* Port 0xFFFD written: selects a register (values 16-255 deselect the chip). */
ZX_API void ay_select(AyChip* ay, uint8_t value);
/* Port 0xFFFD read: the selected register as the chip returns it; 0xFF when deselected. */
ZX_API uint8_t ay_read(const AyChip* ay);
/* Port 0xBFFD written at T-state t of the current frame: the selected register takes the value. */
ZX_API void ay_write_selected(AyChip* ay, int32_t t, uint8_t value);
/* Register `reg` takes `value` at T-state t of the current frame (reg 16+ is ignored). Times
 * are expected in order; an earlier one counts as the previous write's. */
ZX_API void ay_write(AyChip* ay, int32_t t, uint8_t reg, uint8_t value);
/* What register `reg` reads back (the ports as the Spectrum 128 sees them). */
ZX_API uint8_t ay_register(const AyChip* ay, uint8_t reg);

/* Snapshot restore: the sixteen registers and the latch take effect at once, queue dropped. */
ZX_API void ay_load(AyChip* ay, const uint8_t regs[AY_REGISTERS], uint8_t selected);

/* The chip for a save state: ay_state_size bytes (92, and 4 per write still queued) written by
 * ay_state_write; ay_state_read takes them back (peak and offset stay the chip's own) and returns
 * 1, or 0 and changes nothing when they are not a state the chip could have been in (with ay
 * NULL it only checks). */
ZX_API uint32_t ay_state_size(const AyChip* ay);
ZX_API void ay_state_write(const AyChip* ay, uint8_t* out);
ZX_API int ay_state_read(AyChip* ay, const uint8_t* in, uint32_t size);

/* Renders the current frame, from its start (or the last render) up to T-state frame_end, as
 * `count` samples added to out[0..count). Writes dated before frame_end are applied at their
 * T-state; later ones stay queued. Afterwards T-states count from frame_end: the next frame's
 * T-state 0. */
ZX_API void ay_render(AyChip* ay, int32_t frame_end, int8_t* out, int count);

/* The same frame at half the sample rate, for when the machine runs behind: (count + 1) / 2
 * samples rendered into scratch (room for that many), each added to two of out[0..count). About
 * half the work where the sound changes within samples; what the chip plays above a quarter of
 * the sample rate (8 kHz at 32,768 Hz) is lost. The chip ends the frame in the same state as
 * ay_render leaves it, so the rate may change from one frame to the next. */
ZX_API void ay_render_half(AyChip* ay, int32_t frame_end, int8_t* out, int count, int8_t* scratch);

#ifdef __cplusplus
}
#endif

#endif
