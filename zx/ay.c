#include "ay.h"

#include <string.h>

/* On the GBA the per-write and per-sample paths run from IWRAM in ARM state; everything they call
 * is inlined or placed there too. */
#if defined(__arm__) && !defined(__linux__)
#define AY_HOT __attribute__((section(".iwram"), target("arm"), noinline, long_call))
#else
#define AY_HOT
#endif
#define AY_INLINE static inline __attribute__((always_inline))

enum {
    /* A span (a stretch of time with no write in it) is at most this long, so that level x time
     * products stay within 32 bits whatever sample length the caller asks for. */
    MAX_SPAN = 4096
};

/* The DAC's sixteen output levels, full scale 65535 (measured on a real AY-3-8912). */
static const uint16_t dac_levels[16] = {0,    655,   947,   1380,  2012,  2985,  4227,  7036,
                                        8296, 13434, 19150, 24434, 32278, 41636, 52794, 65535};

/* Bits a register keeps: the others read back as 0. */
static const uint8_t register_mask[AY_REGISTERS] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                                    0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF};

/* An envelope shape is two segments of 16 steps: the first, then the second and the first in
 * turn. A hold never ends. */
enum { SEG_DOWN, SEG_UP, SEG_LOW, SEG_HIGH };
static const uint8_t shape_segments[16][2] = {
    {SEG_DOWN, SEG_LOW},  {SEG_DOWN, SEG_LOW}, {SEG_DOWN, SEG_LOW}, {SEG_DOWN, SEG_LOW},
    {SEG_UP, SEG_LOW},    {SEG_UP, SEG_LOW},   {SEG_UP, SEG_LOW},   {SEG_UP, SEG_LOW},
    {SEG_DOWN, SEG_DOWN}, {SEG_DOWN, SEG_LOW}, {SEG_DOWN, SEG_UP},  {SEG_DOWN, SEG_HIGH},
    {SEG_UP, SEG_UP},     {SEG_UP, SEG_HIGH},  {SEG_UP, SEG_DOWN},  {SEG_UP, SEG_LOW}};

AY_INLINE void envelope_enter(AyChip* ay) {
    int segment = shape_segments[ay->env_shape][ay->env_segment];
    int step = ay->env_step;
    ay->env_level = (uint8_t)(segment == SEG_DOWN   ? 15 - step
                              : segment == SEG_UP   ? step
                              : segment == SEG_HIGH ? 15
                                                    : 0);
    ay->env_holding = segment >= SEG_LOW;
}

AY_INLINE void envelope_step(AyChip* ay) {
    if (++ay->env_step == 16) {
        ay->env_step = 0;
        ay->env_segment ^= 1;
    }
    envelope_enter(ay);
}

/* T-states from `pos` to the next tick (0 when a tick falls on pos). Counters compare at ticks;
 * a write at pos comes before the tick at pos. */
AY_INLINE int32_t to_next_tick(const AyChip* ay, int32_t pos) {
    return -(pos + ay->grid) & (AY_TSTATES_PER_TICK - 1);
}

/* A counter that fires every `period` T-states, `*left` from now, gets a new period: it keeps
 * the ticks it has counted, and fires at the next tick when that already reaches the new one. */
AY_INLINE void change_period(int32_t* left, int32_t* period, int32_t new_period, int32_t next) {
    int32_t l = *left + new_period - *period;
    *left = l < next ? next : l;
    *period = new_period;
}

/* Applies one write to the playback state at position pos of the frame. */
static AY_HOT void apply(AyChip* ay, int reg, uint8_t value, int32_t pos) {
    ay->play[reg] = value;
    int32_t next = to_next_tick(ay, pos);
    switch (reg) {
    case AY_TONE_A_FINE:
    case AY_TONE_A_COARSE:
    case AY_TONE_B_FINE:
    case AY_TONE_B_COARSE:
    case AY_TONE_C_FINE:
    case AY_TONE_C_COARSE: {
        int ch = reg >> 1;
        int32_t p = ((ay->play[2 * ch + 1] & 0x0F) << 8) | ay->play[2 * ch];
        change_period(&ay->tone_left[ch], &ay->tone_period[ch], (p ? p : 1) * AY_TSTATES_PER_TICK,
                      next);
        break;
    }
    case AY_NOISE_PERIOD: {
        int32_t p = value & 0x1F;
        change_period(&ay->noise_left, &ay->noise_period, (p ? p : 1) * 2 * AY_TSTATES_PER_TICK,
                      next);
        break;
    }
    case AY_ENVELOPE_FINE:
    case AY_ENVELOPE_COARSE: {
        int32_t p = (ay->play[AY_ENVELOPE_COARSE] << 8) | ay->play[AY_ENVELOPE_FINE];
        change_period(&ay->env_left, &ay->env_period, (p ? p : 1) * 2 * AY_TSTATES_PER_TICK, next);
        break;
    }
    case AY_ENVELOPE_SHAPE: /* restarts the envelope: its counter from 0, the first step */
        ay->env_shape = value & 0x0F;
        ay->env_segment = 0;
        ay->env_step = 0;
        envelope_enter(ay);
        ay->env_left = next + ay->env_period - AY_TSTATES_PER_TICK;
        break;
    default: /* mixer and volumes are read while rendering; the ports make no sound */
        break;
    }
}

/* Time the tone output of channel ch is high during the next d T-states; advances it. A flip
 * due exactly at the end of the span belongs to the next one, after any write dated there. */
AY_INLINE int32_t tone_on_time(AyChip* ay, int ch, int32_t d) {
    int32_t left = ay->tone_left[ch];
    int out = ay->tone_out[ch];
    if (left >= d) {
        ay->tone_left[ch] = left - d;
        return out ? d : 0;
    }
    int32_t period = ay->tone_period[ch];
    int32_t on = out ? left : 0;
    int32_t flip = left;                     /* the latest flip */
    int32_t rest = d - flip;                 /* > 0 */
    if (period >= 4 * AY_TSTATES_PER_TICK) { /* audible: a few flips at most */
        out ^= 1;
        while (rest > period) {
            if (out)
                on += period;
            flip += period;
            rest -= period;
            out ^= 1;
        }
    } else {                            /* ultrasonic: count the flips instead of walking them */
        int32_t more = (rest - 1) >> 4; /* further flips, for periods of 1, 2 or 3 ticks */
        if (period == 2 * AY_TSTATES_PER_TICK)
            more >>= 1;
        else if (period == 3 * AY_TSTATES_PER_TICK)
            more = (more * 21846) >> 16; /* exact /3 for these small values */
        /* Between the flips the output alternates, starting from the opposite level. */
        on += (out ? more >> 1 : (more + 1) >> 1) * period;
        flip += more * period;
        rest -= more * period;
        out ^= 1 ^ (more & 1);
    }
    if (out)
        on += rest;
    ay->tone_left[ch] = flip + period - d;
    ay->tone_out[ch] = (uint8_t)out;
    return on;
}

/* Time the noise output is high during the next d T-states; advances the generator. */
AY_INLINE int32_t noise_on_time(AyChip* ay, int32_t d) {
    int32_t left = ay->noise_left;
    uint32_t lfsr = ay->noise_lfsr;
    if (left >= d) {
        ay->noise_left = left - d;
        return (lfsr & 1) ? d : 0;
    }
    int32_t period = ay->noise_period;
    int32_t on = (lfsr & 1) ? left : 0;
    int32_t shift = left;
    for (;;) {
        lfsr = (lfsr >> 1) | (((lfsr ^ (lfsr >> 3)) & 1) << 16);
        int32_t next = shift + period;
        if (next >= d) {
            if (lfsr & 1)
                on += d - shift;
            ay->noise_left = next - d;
            break;
        }
        if (lfsr & 1)
            on += period;
        shift = next;
    }
    ay->noise_lfsr = lfsr;
    return on;
}

/* Sum over the channels of level x time high (8 fractional bits) during the next d T-states.
 * Within a span the tone, the noise and the envelope are each followed exactly; where two of
 * them change inside the same span their product is taken as that of independent signals
 * (fraction x fraction), which is what the ear gets from signals that fast. */
AY_INLINE int32_t render_span(AyChip* ay, int32_t d, int32_t recip) {
    int32_t noise_on = noise_on_time(ay, d);

    int32_t env_amp = ay->amp[ay->env_level]; /* the level while it stays put */
    int32_t env_time = 0;                     /* level x time when it moves */
    if (!ay->env_holding && ay->env_left < d) {
        int32_t at = ay->env_left, from = 0;
        while (at < d) {
            env_time += ay->amp[ay->env_level] * (at - from);
            from = at;
            envelope_step(ay);
            if (ay->env_holding)
                break;
            at += ay->env_period;
        }
        env_time += ay->amp[ay->env_level] * (d - from);
        ay->env_left = at - d;
        env_amp = -1;
    } else if (!ay->env_holding) {
        ay->env_left -= d;
    }

    int32_t sum = 0;
    unsigned mixer = ay->play[AY_MIXER];
    for (int ch = 0; ch < 3; ++ch) {
        int32_t on = tone_on_time(ay, ch, d);
        if (mixer & (1u << ch))
            on = d;
        if (!(mixer & (8u << ch)) && noise_on != d) {
            if (on == d)
                on = noise_on;
            else if (noise_on != 0 && on != 0)
                on = (int32_t)(((int64_t)on * noise_on * recip) >> 16);
            else
                on = 0;
        }
        if (on == 0)
            continue;
        unsigned volume = ay->play[AY_VOLUME_A + ch];
        if (!(volume & 0x10))
            sum += ay->amp[volume & 0x0F] * on;
        else if (env_amp >= 0)
            sum += env_amp * on;
        else if (on == d)
            sum += env_time;
        else
            sum += (int32_t)(((int64_t)env_time * on * recip) >> 16);
    }
    return sum;
}

/* Division without a library call (the caller runs from IWRAM); a few per frame. */
static AY_HOT uint32_t divide(uint32_t n, uint32_t d) {
    uint32_t q = 0, r = 0;
    for (int bit = 31; bit >= 0; --bit) {
        r = (r << 1) | ((n >> bit) & 1);
        if (r >= d) {
            r -= d;
            q |= 1u << bit;
        }
    }
    return q;
}

AY_HOT void ay_render(AyChip* ay, int32_t frame_end, int8_t* out, int count) {
    int8_t unused = 0;
    if (count <= 0) { /* nothing asked: the frame still passes */
        out = &unused;
        count = 1;
    }
    if (frame_end < 0)
        frame_end = 0;
    uint32_t length = (uint32_t)frame_end;
    uint32_t n = (uint32_t)count;
    /* Sample lengths: base or base + 1 T-states, spread evenly (Bresenham). */
    uint32_t base = divide(length, n), extra = length - base * n, error = 0;
    /* 1 / length, 31 fractional bits, rounded up so that a steady level comes out whole. */
    uint32_t norm_base = base ? divide(0x80000000u + base - 1, base) : 0;
    uint32_t norm_long = divide(0x80000000u + base, base + 1);
    int32_t recip = (int32_t)divide(65536, base < 1 ? 1 : base > MAX_SPAN ? MAX_SPAN : base);

    uint32_t e = 0, queued = ay->queued;
    int32_t pos = 0;
    for (int i = 0; i < count; ++i) {
        int32_t len = (int32_t)base;
        uint32_t norm = norm_base;
        error += extra;
        if (error >= n) {
            error -= n;
            ++len;
            norm = norm_long;
        }
        int32_t end = pos + len;
        int64_t acc = 0;
        for (;;) {
            int32_t stop = end;
            int32_t at = 0;
            if (e < queued) {
                at = (int32_t)(ay->queue[e] >> 12);
                if (at < stop)
                    stop = at < pos ? pos : at;
            }
            if (stop - pos > MAX_SPAN)
                stop = pos + MAX_SPAN;
            if (stop > pos) {
                acc += render_span(ay, stop - pos, recip);
                pos = stop;
            }
            if (pos == end)
                break;
            if (e < queued && at <= pos) {
                uint32_t w = ay->queue[e++];
                apply(ay, (w >> 8) & 0x0F, (uint8_t)w, pos);
            }
        }
        int32_t v = out[i] + (int32_t)(((uint64_t)(acc >> 8) * norm) >> 31);
        out[i] = (int8_t)(v > 127 ? 127 : v);
    }
    /* What is dated from frame_end on belongs to the next frame. */
    uint32_t kept = 0;
    for (; e < queued; ++e) {
        uint32_t w = ay->queue[e];
        uint32_t t = (w >> 12) - length;
        ay->queue[kept++] = (t << 12) | (w & 0xFFF);
    }
    ay->last_t = kept ? (int32_t)(ay->queue[kept - 1] >> 12) : 0;
    /* Writes that found the queue full follow everything else, with their last values. */
    for (int reg = 0; ay->late_mask && reg < AY_REGISTERS && kept < AY_QUEUE_SIZE; ++reg) {
        if (ay->late_mask & (1u << reg)) {
            ay->queue[kept++] = ((uint32_t)ay->last_t << 12) | ((uint32_t)reg << 8) | ay->late[reg];
            ay->late_mask &= (uint16_t) ~(1u << reg);
        }
    }
    ay->queued = kept;
    ay->grid = (ay->grid + frame_end) & (AY_TSTATES_PER_TICK - 1);
}

AY_HOT void ay_write(AyChip* ay, int32_t t, uint8_t reg, uint8_t value) {
    if (reg >= AY_REGISTERS)
        return;
    value &= register_mask[reg];
    ay->regs[reg] = value;
    if (t < ay->last_t)
        t = ay->last_t;
    if (t > AY_TSTATE_MAX)
        t = AY_TSTATE_MAX;
    if (ay->queued < AY_QUEUE_SIZE && !ay->late_mask) {
        ay->queue[ay->queued++] = ((uint32_t)t << 12) | ((uint32_t)reg << 8) | value;
        ay->last_t = t;
        return;
    }
    if (!ay->late_mask)
        ay->overflows++;
    ay->late_mask |= (uint16_t)(1u << reg);
    ay->late[reg] = value;
}

void ay_write_selected(AyChip* ay, int32_t t, uint8_t value) {
    ay_write(ay, t, ay->selected, value);
}

void ay_select(AyChip* ay, uint8_t value) {
    ay->selected = value;
}

uint8_t ay_register(const AyChip* ay, uint8_t reg) {
    if (reg >= AY_REGISTERS)
        return 0xFF;
    uint8_t mixer = ay->regs[AY_MIXER];
    if (reg == AY_PORT_A) /* an output reads its latch through the lines held low outside */
        return (mixer & 0x40) ? (uint8_t)(ay->regs[AY_PORT_A] & AY_PORT_A_IDLE) : AY_PORT_A_IDLE;
    if (reg == AY_PORT_B) /* not bonded out on the 8912: only the latch of an output */
        return (mixer & 0x80) ? ay->regs[AY_PORT_B] : 0xFF;
    return ay->regs[reg];
}

uint8_t ay_read(const AyChip* ay) {
    return ay_register(ay, ay->selected);
}

void ay_set_peak(AyChip* ay, int peak) {
    if (peak < 1)
        peak = 1;
    if (peak > 127)
        peak = 127;
    ay->peak = peak;
    for (int i = 0; i < 16; ++i)
        ay->amp[i] = (int32_t)(((uint32_t)dac_levels[i] * (uint32_t)peak * 256u + 32767u) / 65535u);
}

void ay_reset(AyChip* ay) {
    int peak = ay->peak;
    memset(ay, 0, sizeof *ay);
    ay_set_peak(ay, peak);
    /* Counters from 0 with the first tick at T-state 0: every period reads as one tick. */
    for (int ch = 0; ch < 3; ++ch) {
        ay->tone_period[ch] = AY_TSTATES_PER_TICK;
        ay->tone_left[ch] = 0;
    }
    ay->noise_period = ay->env_period = 2 * AY_TSTATES_PER_TICK;
    ay->noise_left = AY_TSTATES_PER_TICK;
    ay->noise_lfsr = 1;
    apply(ay, AY_ENVELOPE_SHAPE, 0, 0);
}

void ay_init(AyChip* ay) {
    ay->peak = AY_DEFAULT_PEAK;
    ay_reset(ay);
}

void ay_load(AyChip* ay, const uint8_t regs[AY_REGISTERS], uint8_t selected) {
    ay_reset(ay);
    for (int reg = 0; reg < AY_REGISTERS; ++reg) {
        uint8_t value = regs[reg] & register_mask[reg];
        ay->regs[reg] = value;
        apply(ay, reg, value, 0);
    }
    ay->selected = selected;
}
