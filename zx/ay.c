#include "ay.h"

#include <stddef.h>
#include <string.h>

#include "ay_noise.h"

/* On the GBA this file is Thumb code in ROM (AY_COLD for what the ARM code may call); the
 * renderer's kernel, the sample loop (render_plain below: steady runs, noise, tone flips,
 * envelope steps and writes), is ARM code in IWRAM written by hand (ay_kernel.S). */
#if ZX_GBA
#define AY_COLD __attribute__((noinline, long_call))
#else
#define AY_COLD
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

/* Bits a register keeps: the others read back as 0. (A table would sit in ROM, slow to read
 * from the write path.) */
AY_INLINE uint8_t ay_mask_of(uint8_t reg) {
    if (reg == 1 || reg == 3 || reg == 5 || reg == 13)
        return 0x0F;
    if (reg == 6 || (reg >= 8 && reg <= 10))
        return 0x1F;
    return 0xFF;
}

/* An envelope shape is two segments of 16 steps: the first, then the second and the first in
 * turn. A hold never ends. */
enum { SEG_DOWN, SEG_UP, SEG_LOW, SEG_HIGH };
static const uint8_t shape_segments[16][2] = {
    {SEG_DOWN, SEG_LOW},  {SEG_DOWN, SEG_LOW}, {SEG_DOWN, SEG_LOW}, {SEG_DOWN, SEG_LOW},
    {SEG_UP, SEG_LOW},    {SEG_UP, SEG_LOW},   {SEG_UP, SEG_LOW},   {SEG_UP, SEG_LOW},
    {SEG_DOWN, SEG_DOWN}, {SEG_DOWN, SEG_LOW}, {SEG_DOWN, SEG_UP},  {SEG_DOWN, SEG_HIGH},
    {SEG_UP, SEG_UP},     {SEG_UP, SEG_HIGH},  {SEG_UP, SEG_DOWN},  {SEG_UP, SEG_LOW}};

AY_INLINE void envelope_enter(AyGenerators* g) {
    int segment = g->env_segments[g->env_segment];
    int step = g->env_step;
    g->env_level = (uint8_t)(segment == SEG_DOWN   ? 15 - step
                             : segment == SEG_UP   ? step
                             : segment == SEG_HIGH ? 15
                                                   : 0);
    g->env_holding = segment >= SEG_LOW;
}

/* n steps on; a shape without a hold repeats every 32. */
AY_INLINE void envelope_advance(AyGenerators* g, uint32_t n) {
    if (g->env_segments[1] < SEG_LOW)
        n &= 31;
    while (n && !g->env_holding) {
        uint32_t to_end = 16u - g->env_step;
        if (n < to_end) {
            g->env_step = (uint8_t)(g->env_step + n);
            n = 0;
        } else {
            n -= to_end;
            g->env_step = 0;
            g->env_segment ^= 1;
        }
        envelope_enter(g);
    }
}

/* Division without a library call; a few per frame at most. */
static AY_COLD uint32_t divide(uint32_t n, uint32_t d) {
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

/* Bits 32-63 and 31-62 of the product a x b. The GBA's Thumb code has no long multiply, and
 * the library's (64 x 64 bits, in ROM) costs several times these four 16-bit products. */
AY_INLINE uint32_t product_high(uint32_t a, uint32_t b, uint32_t* low) {
    uint32_t al = a & 0xFFFF, ah = a >> 16, bl = b & 0xFFFF, bh = b >> 16;
    uint32_t lo = al * bl, m1 = ah * bl, m2 = al * bh;
    uint32_t mid = (lo >> 16) + (m1 & 0xFFFF) + (m2 & 0xFFFF);
    *low = (lo & 0xFFFF) | (mid << 16);
    return ah * bh + (m1 >> 16) + (m2 >> 16) + (mid >> 16);
}

AY_INLINE uint32_t mul_high(uint32_t a, uint32_t b) {
    uint32_t low;
    return product_high(a, b, &low);
}

AY_INLINE uint32_t mul_shift31(uint32_t a, uint32_t b) {
    uint32_t low, high = product_high(a, b, &low);
    return high << 1 | low >> 31;
}

/* floor(x / period) through the period's reciprocal (2^32 / period, rounded down). */
AY_INLINE uint32_t whole_periods(uint32_t x, int32_t period, uint32_t recip) {
    uint32_t q = mul_high(x, recip);
    if (x - q * (uint32_t)period >= (uint32_t)period)
        ++q;
    return q;
}

/* 2^32 / (32 x noise period), rounded down. */
static const uint32_t noise_recips[32] = {
    134217727, 134217727, 67108863, 44739242, 33554431, 26843545, 22369621, 19173961,
    16777215,  14913080,  13421772, 12201611, 11184810, 10324440, 9586980,  8947848,
    8388607,   7895160,   7456540,  7064090,  6710886,  6391320,  6100805,  5835553,
    5592405,   5368709,   5162220,  4971026,  4793490,  4628197,  4473924,  4329604};

/* The noise generator as its place in the sequence it walks through (ay_noise.h): a shift is a
 * step on, and any number of shifts costs one addition. */
AY_INLINE uint32_t noise_bit(uint32_t pos) {
    return (ay_noise_bits[pos >> 5] >> (pos & 31)) & 1;
}

/* The 32 outputs from place pos on, the first in bit 0. */
AY_INLINE uint32_t noise_word(uint32_t pos) {
    const uint32_t* w = ay_noise_bits + (pos >> 5);
    unsigned shift = pos & 31;
    return shift ? (w[0] >> shift) | (w[1] << (32 - shift)) : w[0];
}

AY_INLINE uint32_t noise_advance(uint32_t pos, uint32_t shifts) {
    if (shifts >= AY_NOISE_LENGTH)
        shifts %= AY_NOISE_LENGTH;
    pos += shifts;
    return pos >= AY_NOISE_LENGTH ? pos - AY_NOISE_LENGTH : pos;
}

AY_INLINE uint32_t ones(uint32_t v) {
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0Fu;
    return (v * 0x01010101u) >> 24;
}

/* How many of the n outputs after place pos (pos + 1 .. pos + n) are high. */
AY_INLINE uint32_t noise_ones(uint32_t pos, uint32_t n) {
    uint32_t count = 0;
    while (n) {
        pos = noise_advance(pos, 1);
        uint32_t k = n < 32 ? n : 32;
        uint32_t bits = noise_word(pos);
        count += ones(k < 32 ? bits & ((1u << k) - 1) : bits);
        pos = noise_advance(pos, k - 1);
        n -= k;
    }
    return count;
}

/* A sample into the int8 buffer. */
AY_INLINE int8_t saturate(int32_t s) {
    return (int8_t)(s > 127 ? 127 : s < -128 ? -128 : s);
}

/* Bringing generators up to `t`: every event dated before t happens (one at t waits: a write
 * at t comes first). */
AY_INLINE void tone_catch_up(AyGenerators* g, int ch, int32_t t) {
    if (g->tone_at[ch] < t) {
        int32_t period = g->tone_period[ch];
        if (!g->tone_recip[ch])
            g->tone_recip[ch] = divide(0xFFFFFFFFu, (uint32_t)period);
        uint32_t n =
            whole_periods((uint32_t)(t - 1 - g->tone_at[ch]), period, g->tone_recip[ch]) + 1;
        g->tone_out[ch] ^= (uint8_t)(n & 1);
        g->tone_at[ch] += (int32_t)n * period;
    }
}

AY_INLINE void noise_catch_up(AyGenerators* g, int32_t t) {
    if (g->noise_at < t) {
        uint32_t n =
            whole_periods((uint32_t)(t - 1 - g->noise_at), g->noise_period, g->noise_recip) + 1;
        g->noise_pos = noise_advance(g->noise_pos, n);
        g->noise_at += (int32_t)n * g->noise_period;
    }
}

AY_INLINE void envelope_catch_up(AyGenerators* g, int32_t t) {
    if (!g->env_holding && g->env_at < t) {
        if (!g->env_recip)
            g->env_recip = divide(0xFFFFFFFFu, (uint32_t)g->env_period);
        uint32_t n = whole_periods((uint32_t)(t - 1 - g->env_at), g->env_period, g->env_recip) + 1;
        g->env_at += (int32_t)n * g->env_period;
        envelope_advance(g, n);
    }
}

/* T-states from `pos` to the next tick (0 when a tick falls on pos). Counters compare at ticks;
 * a write at pos comes before the tick at pos. */
AY_INLINE int32_t to_next_tick(int32_t grid, int32_t pos) {
    return -(pos + grid) & (AY_TSTATES_PER_TICK - 1);
}

/* A counter that fires every `period` T-states, next at `*at`, gets a new period at `pos`: it
 * keeps the ticks it has counted, and fires at the next tick when that already reaches the new
 * period. */
AY_INLINE void change_period(int32_t* at, int32_t* period, int32_t new_period, int32_t pos,
                             int32_t next) {
    int32_t left = *at - pos + new_period - *period;
    *at = pos + (left < next ? next : left);
    *period = new_period;
}

/* Applies one write at `pos` to generators that are up to date there; the next tick is `next`
 * T-states away. */
static AY_COLD void apply(AyGenerators* g, int reg, uint8_t value, int32_t pos, int32_t next) {
    g->play[reg] = value;
    switch (reg) {
    case AY_TONE_A_FINE:
    case AY_TONE_A_COARSE:
    case AY_TONE_B_FINE:
    case AY_TONE_B_COARSE:
    case AY_TONE_C_FINE:
    case AY_TONE_C_COARSE: {
        int ch = reg >> 1;
        int32_t p = ((g->play[2 * ch + 1] & 0x0F) << 8) | g->play[2 * ch];
        p = (p ? p : 1) * AY_TSTATES_PER_TICK;
        if (p != g->tone_period[ch])
            g->tone_recip[ch] = 0;
        change_period(&g->tone_at[ch], &g->tone_period[ch], p, pos, next);
        break;
    }
    case AY_NOISE_PERIOD: {
        int32_t p = value & 0x1F;
        g->noise_recip = noise_recips[p];
        change_period(&g->noise_at, &g->noise_period, (p ? p : 1) * 2 * AY_TSTATES_PER_TICK, pos,
                      next);
        break;
    }
    case AY_ENVELOPE_FINE:
    case AY_ENVELOPE_COARSE: {
        int32_t p = (g->play[AY_ENVELOPE_COARSE] << 8) | g->play[AY_ENVELOPE_FINE];
        p = (p ? p : 1) * 2 * AY_TSTATES_PER_TICK;
        if (p != g->env_period)
            g->env_recip = 0;
        change_period(&g->env_at, &g->env_period, p, pos, next);
        break;
    }
    case AY_ENVELOPE_SHAPE: /* restarts the envelope: its counter from 0, the first step */
        g->env_segments[0] = shape_segments[value & 0x0F][0];
        g->env_segments[1] = shape_segments[value & 0x0F][1];
        g->env_segment = 0;
        g->env_step = 0;
        envelope_enter(g);
        g->env_at = pos + next + g->env_period - AY_TSTATES_PER_TICK;
        break;
    default: /* mixer and volumes are read while rendering; the ports make no sound */
        break;
    }
}

/* What is heard: bits 0-2 the tones of A-C, NOISE_HEARD, ENVELOPE_HEARD. A channel at fixed
 * level 0 is not heard, nor a signal the mixer keeps out. */
enum { NOISE_HEARD = 8, ENVELOPE_HEARD = 16, ALL_GENERATORS = 31 };
AY_INLINE unsigned heard(const AyGenerators* g) {
    unsigned mixer = g->play[AY_MIXER], mask = 0;
    for (int ch = 0; ch < 3; ++ch) {
        unsigned volume = g->play[AY_VOLUME_A + ch];
        if (!(volume & 0x1F))
            continue;
        if (!(mixer & (1u << ch)))
            mask |= 1u << ch;
        if (!(mixer & (8u << ch)))
            mask |= NOISE_HEARD;
        if (volume & 0x10)
            mask |= ENVELOPE_HEARD;
    }
    return mask;
}

/* Brings generators in `mask` up to `pos`. */
static AY_COLD void catch_up(AyGenerators* g, unsigned mask, int32_t pos) {
    for (int ch = 0; ch < 3; ++ch)
        if (mask & (1u << ch))
            tone_catch_up(g, ch, pos);
    if (mask & NOISE_HEARD)
        noise_catch_up(g, pos);
    if (mask & ENVELOPE_HEARD)
        envelope_catch_up(g, pos);
}

/* What the renderer keeps track of between changes: who is heard, when a heard tone or the
 * envelope next changes, when the noise does, and the summed output (level x 256) with the
 * noise high and low. `fast` is set when a heard tone or envelope changes more often than every
 * 4 ticks: samples are then rendered as a whole (render_span) instead of change by change. */
typedef struct Tracking {
    unsigned mask, fast;
    int32_t change, noise_at;
    int32_t high, low;
} Tracking;

/* The summed output with the noise high and low (noise-free channels count in both). */
AY_INLINE void track_levels(const AyGenerators* g, Tracking* k) {
    unsigned mixer = g->play[AY_MIXER];
    int32_t high = 0, low = 0;
    for (int ch = 0; ch < 3; ++ch) {
        unsigned volume = g->play[AY_VOLUME_A + ch];
        if (!(g->tone_out[ch] | ((mixer >> ch) & 1)) || !(volume & 0x1F))
            continue;
        int32_t amp = g->amp[(volume & 0x10) ? g->env_level : (volume & 0x0F)];
        high += amp;
        if (mixer & (8u << ch))
            low += amp;
    }
    k->high = high;
    k->low = low;
}

static AY_COLD void track(const AyGenerators* g, Tracking* k) {
    unsigned mask = k->mask, fast = 0;
    int32_t change = INT32_MAX;
    for (int ch = 0; ch < 3; ++ch) {
        if (!(mask & (1u << ch)))
            continue;
        if (g->tone_at[ch] < change)
            change = g->tone_at[ch];
        fast |= g->tone_period[ch] < 4 * AY_TSTATES_PER_TICK;
    }
    if ((mask & ENVELOPE_HEARD) && !g->env_holding) {
        if (g->env_at < change)
            change = g->env_at;
        fast |= g->env_period < 4 * AY_TSTATES_PER_TICK;
    }
    k->change = change;
    k->fast = fast;
    k->noise_at = (mask & NOISE_HEARD) ? g->noise_at : INT32_MAX;
    track_levels(g, k);
}

/* The tones and envelope steps due at `pos` (after any write there). A tone's flip moves the
 * output by its channel's level; an envelope step changes the levels. */
static AY_COLD void fire(AyGenerators* g, Tracking* k, int32_t pos) {
    unsigned mask = k->mask, mixer = g->play[AY_MIXER];
    int32_t change = INT32_MAX;
    for (int ch = 0; ch < 3; ++ch) {
        if (!(mask & (1u << ch)))
            continue;
        if (g->tone_at[ch] == pos) {
            g->tone_out[ch] ^= 1;
            g->tone_at[ch] += g->tone_period[ch];
            unsigned volume = g->play[AY_VOLUME_A + ch];
            int32_t amp = g->amp[(volume & 0x10) ? g->env_level : (volume & 0x0F)];
            if (!g->tone_out[ch])
                amp = -amp;
            k->high += amp;
            if (mixer & (8u << ch))
                k->low += amp;
        }
        if (g->tone_at[ch] < change)
            change = g->tone_at[ch];
    }
    if ((mask & ENVELOPE_HEARD) && !g->env_holding) {
        if (g->env_at == pos) {
            int32_t before = g->amp[g->env_level];
            envelope_advance(g, 1);
            g->env_at += g->env_period;
            int32_t step = g->amp[g->env_level] - before;
            for (int ch = 0; ch < 3; ++ch) { /* the channels on the envelope whose gate is open */
                if ((g->play[AY_VOLUME_A + ch] & 0x10) && (g->tone_out[ch] | ((mixer >> ch) & 1))) {
                    k->high += step;
                    if (mixer & (8u << ch))
                        k->low += step;
                }
            }
        }
        if (!g->env_holding && g->env_at < change)
            change = g->env_at;
    }
    k->change = change;
}

/* A queued write taking effect at `pos`. */
static AY_COLD void take_write(AyGenerators* g, Tracking* k, uint32_t w, int32_t pos,
                               int32_t grid) {
    int reg = (w >> 8) & 0x0F;
    uint8_t value = (uint8_t)w;
    /* A player writes every register each frame: a register given the value it holds changes
     * nothing (but the envelope's shape, which restarts the envelope). */
    if (value == g->play[reg] && reg != AY_ENVELOPE_SHAPE)
        return;
    if (reg >= AY_VOLUME_A && reg <= AY_VOLUME_C) {
        /* The common case of sample playback: a fixed level on a channel whose tone and noise
         * are both off only moves the output. */
        int ch = reg - AY_VOLUME_A;
        unsigned old = g->play[reg];
        if (((g->play[AY_MIXER] >> ch) & 9) == 9 && !((old | value) & 0x10)) {
            int32_t step = g->amp[value & 0x0F] - g->amp[old & 0x0F];
            g->play[reg] = value;
            k->high += step;
            k->low += step;
            return;
        }
    }
    /* A new period takes over from the counter's state at pos. */
    if (reg < AY_NOISE_PERIOD)
        tone_catch_up(g, reg >> 1, pos);
    else if (reg == AY_NOISE_PERIOD)
        noise_catch_up(g, pos);
    else if (reg == AY_ENVELOPE_FINE || reg == AY_ENVELOPE_COARSE)
        envelope_catch_up(g, pos);
    apply(g, reg, value, pos, to_next_tick(grid, pos));
    unsigned now = heard(g);
    if (now & ~k->mask)
        catch_up(g, now & ~k->mask, pos); /* what was not heard until now */
    k->mask = now;
    track(g, k);
}

/* Time the tone output of channel ch is high during [a, a + d); advances it. */
AY_INLINE int32_t tone_on_time(AyGenerators* g, int ch, int32_t a, int32_t d) {
    int32_t left = g->tone_at[ch] - a;
    int out = g->tone_out[ch];
    if (left >= d)
        return out ? d : 0;
    int32_t period = g->tone_period[ch];
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
    g->tone_at[ch] = a + flip + period;
    g->tone_out[ch] = (uint8_t)out;
    return on;
}

/* Time the noise output is high during [a, a + d); advances the generator. The outputs
 * between its first and last shift in the span last a whole period each. */
static AY_COLD int32_t noise_on_time(AyGenerators* g, int32_t a, int32_t d) {
    int32_t left = g->noise_at - a;
    uint32_t pos = g->noise_pos;
    if (left >= d)
        return noise_bit(pos) ? d : 0;
    int32_t period = g->noise_period;
    int32_t on = noise_bit(pos) ? left : 0;
    uint32_t shifts = whole_periods((uint32_t)(d - 1 - left), period, g->noise_recip) + 1;
    on += (int32_t)noise_ones(pos, shifts - 1) * period;
    pos = noise_advance(pos, shifts);
    int32_t last = left + (int32_t)(shifts - 1) * period;
    if (noise_bit(pos))
        on += d - last;
    g->noise_pos = pos;
    g->noise_at = a + last + period;
    return on;
}

/* Sum over the channels of level x time high (8 fractional bits) during [a, a + d) when heard
 * tones or the envelope change faster than samples; advances them. Where two signals change
 * inside the span their product is taken as that of independent signals (fraction x
 * fraction), which is what the ear gets from signals that fast. */
static AY_COLD int32_t render_span(AyGenerators* g, unsigned mask, int32_t a, int32_t d,
                                   int32_t recip) {
    int32_t noise_on = (mask & NOISE_HEARD) ? noise_on_time(g, a, d) : d;

    int32_t env_amp = g->amp[g->env_level]; /* the level while it stays put */
    int32_t env_time = 0;                   /* level x time when it moves */
    if ((mask & ENVELOPE_HEARD) && !g->env_holding && g->env_at - a < d) {
        int32_t at = g->env_at - a, from = 0;
        while (at < d) {
            env_time += g->amp[g->env_level] * (at - from);
            from = at;
            envelope_advance(g, 1);
            if (g->env_holding)
                break;
            at += g->env_period;
        }
        env_time += g->amp[g->env_level] * (d - from);
        g->env_at = a + at;
        env_amp = -1;
    }

    int32_t sum = 0;
    unsigned mixer = g->play[AY_MIXER];
    for (int ch = 0; ch < 3; ++ch) {
        unsigned volume = g->play[AY_VOLUME_A + ch];
        if (!(volume & 0x1F))
            continue;
        int32_t on = (mask & (1u << ch)) ? tone_on_time(g, ch, a, d) : d;
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
        if (!(volume & 0x10))
            sum += g->amp[volume & 0x0F] * on;
        else if (env_amp >= 0)
            sum += env_amp * on;
        else if (on == d)
            sum += env_time;
        else
            sum += (int32_t)(((int64_t)env_time * on * recip) >> 16);
    }
    return sum;
}

/* Sample lengths (base or base + 1 T-states, spread evenly) and their reciprocals for a frame
 * of this length and sample count; divided out once, kept while they stay the same. */
static AY_COLD void sample_grid(AyChip* ay, int32_t frame_end, int count) {
    if (ay->grid_end == frame_end && ay->grid_count == count)
        return;
    uint32_t n = (uint32_t)count, base = divide((uint32_t)frame_end, n);
    ay->grid_end = frame_end;
    ay->grid_count = count;
    ay->sample_base = base;
    ay->sample_extra = (uint32_t)frame_end - base * n;
    /* 1 / length, 31 fractional bits, rounded up so that a steady level comes out whole. */
    ay->norm_base = base ? divide(0x80000000u + base - 1, base) : 0;
    ay->norm_long = divide(0x80000000u + base, base + 1);
    ay->span_recip = (int32_t)divide(65536, base < 1 ? 1 : base > MAX_SPAN ? MAX_SPAN : base);
}

/* Level x time over [pos, stop) while no heard tone or envelope changes: the noise may. */
AY_INLINE int64_t steady(AyGenerators* g, Tracking* k, int32_t pos, int32_t stop) {
    int32_t d = stop - pos;
    /* Levels of three channels (at most 97,536) times a span up to MAX_SPAN fit 32 bits. */
    if (k->noise_at >= stop)
        return d <= MAX_SPAN ? (noise_bit(g->noise_pos) ? k->high : k->low) * d
                             : (int64_t)(noise_bit(g->noise_pos) ? k->high : k->low) * d;
    int32_t noise_on, left = k->noise_at - pos;
    if (left + g->noise_period >= d) { /* one shift */
        uint32_t at = g->noise_pos;
        noise_on = noise_bit(at) ? left : 0;
        at = noise_advance(at, 1);
        if (noise_bit(at))
            noise_on += d - left;
        g->noise_pos = at;
        g->noise_at += g->noise_period;
    } else {
        noise_on = noise_on_time(g, pos, d);
    }
    k->noise_at = g->noise_at;
    if (d <= MAX_SPAN)
        return k->low * d + (k->high - k->low) * noise_on;
    return (int64_t)k->low * d + (int64_t)(k->high - k->low) * noise_on;
}

/* The renderer's working state for one frame: the generators (a copy in fast memory, safe from
 * aliasing `out`), what is heard, the sample being made and the queued writes. A sample covers
 * [pos, pos + len); `acc` is level x time (8 fractional bits) over [pos, at) of it. The ARM
 * kernel (ay_kernel.S) reads the fields at the offsets in ay_layout.h, checked below. */
typedef struct Renderer {
    AyGenerators gen;
    Tracking k;
    int8_t* out;
    int count;
    int32_t offset;
    int i;
    int32_t pos, len, at;
    uint32_t norm, error;
    uint32_t n, base, extra, norm_base, norm_long;
    int32_t frame_end, write_at;
    int64_t acc;
    const uint32_t* queue;
    uint32_t e, queued;
    int32_t recip, grid;
} Renderer;

#if ZX_GBA
#include "ay_layout.h"
#define AY_LAYOUT_(field, name)                                                                    \
    _Static_assert(offsetof(Renderer, field) == AY_OFFSET_##name, "ay_layout.h: " #name)
AY_LAYOUT_(gen.tone_at, TONE_AT);
AY_LAYOUT_(gen.tone_period, TONE_PERIOD);
AY_LAYOUT_(gen.noise_at, NOISE_AT);
AY_LAYOUT_(gen.noise_period, NOISE_PERIOD);
AY_LAYOUT_(gen.noise_recip, NOISE_RECIP);
AY_LAYOUT_(gen.noise_pos, NOISE_POS);
AY_LAYOUT_(gen.env_at, ENV_AT);
AY_LAYOUT_(gen.env_period, ENV_PERIOD);
AY_LAYOUT_(gen.amp, AMP);
AY_LAYOUT_(gen.play, PLAY);
AY_LAYOUT_(gen.tone_out, TONE_OUT);
AY_LAYOUT_(gen.env_segments, ENV_SEGMENTS);
AY_LAYOUT_(gen.env_segment, ENV_SEGMENT);
AY_LAYOUT_(gen.env_step, ENV_STEP);
AY_LAYOUT_(gen.env_level, ENV_LEVEL);
AY_LAYOUT_(gen.env_holding, ENV_HOLDING);
AY_LAYOUT_(k.mask, MASK);
AY_LAYOUT_(k.fast, FAST);
AY_LAYOUT_(k.change, CHANGE);
AY_LAYOUT_(k.noise_at, HEARD_NOISE_AT);
AY_LAYOUT_(k.high, HIGH);
AY_LAYOUT_(k.low, LOW);
AY_LAYOUT_(out, OUT);
AY_LAYOUT_(i, I);
AY_LAYOUT_(count, COUNT);
AY_LAYOUT_(pos, POS);
AY_LAYOUT_(len, LEN);
AY_LAYOUT_(at, AT);
AY_LAYOUT_(norm, NORM);
AY_LAYOUT_(error, ERROR);
AY_LAYOUT_(n, N);
AY_LAYOUT_(base, BASE);
AY_LAYOUT_(extra, EXTRA);
AY_LAYOUT_(norm_base, NORM_BASE);
AY_LAYOUT_(norm_long, NORM_LONG);
AY_LAYOUT_(offset, OFFSET);
AY_LAYOUT_(frame_end, FRAME_END);
AY_LAYOUT_(write_at, WRITE_AT);
AY_LAYOUT_(acc, ACC);
AY_LAYOUT_(queue, QUEUE);
AY_LAYOUT_(e, E);
AY_LAYOUT_(queued, QUEUED);
_Static_assert(AY_NOISE_LENGTH == AY_LAYOUT_NOISE_LENGTH && MAX_SPAN == AY_LAYOUT_MAX_SPAN &&
                   SEG_LOW == AY_LAYOUT_SEG_LOW && NOISE_HEARD == AY_LAYOUT_NOISE_HEARD &&
                   ENVELOPE_HEARD == AY_LAYOUT_ENVELOPE_HEARD,
               "ay_layout.h: constants");
#endif

/* The next sample's length (base or base + 1 T-states, spread evenly) and 1 / length. */
AY_INLINE void next_sample(Renderer* r) {
    r->len = (int32_t)r->base;
    r->norm = r->norm_base;
    r->error += r->extra;
    if (r->error >= r->n) {
        r->error -= r->n;
        ++r->len;
        r->norm = r->norm_long;
    }
}

/* The sample made (acc covers it whole) goes into the buffer; the next one begins. acc is at
 * most three channels' 97,536 x the sample's length: below 2^40. */
AY_INLINE void emit(Renderer* r, int64_t acc) {
    r->out[r->i] =
        saturate(r->out[r->i] + r->offset + (int32_t)mul_shift31((uint32_t)(acc >> 8), r->norm));
    r->pos += r->len;
    r->at = r->pos;
    r->acc = 0;
    if (++r->i < r->count)
        next_sample(r);
}

/* The next queued write takes effect at `pos`. Called by the ARM kernel for every write but a
 * fixed volume on a channel playing neither tone nor noise (a sample player's), which it takes
 * itself as take_write would. */
void ay_kernel_write(Renderer* r, int32_t pos);
AY_COLD void ay_kernel_write(Renderer* r, int32_t pos) {
    take_write(&r->gen, &r->k, r->queue[r->e++], pos, r->grid);
    r->write_at = r->e < r->queued ? (int32_t)(r->queue[r->e] >> 12) : INT32_MAX;
}

/* Samples up to MAX_SPAN long while every heard generator is slow enough to follow change by
 * change: runs of samples in which nothing heard changes, samples in which only the noise
 * shifts, and samples with tone flips, envelope steps and writes, taken in time order (a write
 * before a change at the same T-state). Stops at a longer sample, or when a generator becomes
 * too fast (from `at`, with `acc` made so far). On the GBA the same in ARM code in IWRAM:
 * ay_kernel.S, which must give the same samples (the GBA benchmark compares them with the
 * host's). */
#if ZX_GBA
void ay_kernel(Renderer* r);
#define render_plain ay_kernel
#else
static void render_plain(Renderer* r) {
    AyGenerators* g = &r->gen;
    Tracking* k = &r->k;
    while (r->i < r->count && !k->fast) {
        int32_t pos = r->pos, end = pos + r->len;
        if (r->len > MAX_SPAN)
            return;
        if (r->write_at >= end && k->change >= end) {
            if (k->noise_at >= end) {
                /* Nothing heard changes: the level itself, for as many samples as that lasts. */
                int32_t v = ((noise_bit(g->noise_pos) ? k->high : k->low) >> 8) + r->offset;
                int32_t until = r->write_at < k->change ? r->write_at : k->change;
                if (k->noise_at < until)
                    until = k->noise_at;
                int8_t* out = r->out;
                int i = r->i, count = r->count;
                if (until >= r->frame_end) { /* for the rest of the frame: no timing needed */
                    for (; v && i < count; ++i)
                        out[i] = saturate(out[i] + v);
                    r->i = count;
                    r->pos = r->at = r->frame_end;
                    return;
                }
                for (;;) {
                    out[i] = saturate(out[i] + v);
                    pos = end;
                    if (++i == count)
                        break;
                    r->i = i;
                    next_sample(r);
                    end = pos + r->len;
                    if (end > until)
                        break;
                }
                r->i = i;
                r->pos = r->at = pos;
                continue;
            }
            /* Only the noise moves: sample after sample until a write or a heard change is
             * due. No shift or one is worked out here, more through steady. */
            int32_t until = r->write_at < k->change ? r->write_at : k->change;
            for (;;) {
                int32_t len = end - pos, left = g->noise_at - pos, on;
                uint32_t sum;
                if (left >= len) {
                    on = noise_bit(g->noise_pos) ? len : 0;
                    sum = (uint32_t)(k->low * len + (k->high - k->low) * on);
                } else if (left + g->noise_period >= len) {
                    on = noise_bit(g->noise_pos) ? left : 0;
                    g->noise_pos = noise_advance(g->noise_pos, 1);
                    g->noise_at += g->noise_period;
                    k->noise_at = g->noise_at;
                    if (noise_bit(g->noise_pos))
                        on += len - left;
                    sum = (uint32_t)(k->low * len + (k->high - k->low) * on);
                } else {
                    sum = (uint32_t)steady(g, k, pos, end);
                }
                emit(r, (int64_t)sum);
                pos = end;
                if (r->i == r->count)
                    break;
                end = pos + r->len;
                if (end > until || r->len > MAX_SPAN)
                    break;
            }
            continue;
        }
        /* Writes, tone flips and envelope steps, change by change. */
        int32_t acc = 0;
        for (;;) {
            int32_t stop = r->write_at < k->change ? r->write_at : k->change;
            if (stop >= end)
                break;
            if (stop > pos) {
                acc += (int32_t)steady(g, k, pos, stop);
                pos = stop;
            }
            if (r->write_at <= pos)
                ay_kernel_write(r, pos);
            else
                fire(g, k, pos);
            if (k->fast) { /* the rest of the sample is render_any's */
                r->acc = acc;
                r->at = pos;
                return;
            }
        }
        acc += (int32_t)steady(g, k, pos, end);
        emit(r, acc);
    }
}
#endif

/* The current sample from `at` on, whatever happens in it: writes, and generators too fast to
 * follow change by change (rendered span by span). */
static AY_COLD void render_any(Renderer* r) {
    AyGenerators* g = &r->gen;
    Tracking* k = &r->k;
    int32_t pos = r->at, end = r->pos + r->len;
    int64_t acc = r->acc;
    for (;;) {
        int32_t stop = r->write_at < end ? (r->write_at < pos ? pos : r->write_at) : end;
        if (stop - pos > MAX_SPAN)
            stop = pos + MAX_SPAN;
        if (k->fast) { /* whole spans */
            if (stop > pos) {
                acc += render_span(g, k->mask, pos, stop - pos, r->recip);
                track(g, k);
            }
        } else { /* change by change */
            if (k->change < stop)
                stop = k->change < pos ? pos : k->change;
            if (stop > pos)
                acc += steady(g, k, pos, stop);
        }
        pos = stop;
        if (pos == end)
            break;
        if (r->write_at <= pos) {
            take_write(g, k, r->queue[r->e++], pos, r->grid);
            r->write_at = r->e < r->queued ? (int32_t)(r->queue[r->e] >> 12) : INT32_MAX;
        } else if (!k->fast && k->change <= pos) {
            fire(g, k, pos);
        }
    }
    emit(r, acc);
}

AY_COLD void ay_render(AyChip* ay, int32_t frame_end, int8_t* out, int count) {
    int8_t unused = 0;
    if (count <= 0) { /* nothing asked: the frame still passes */
        out = &unused;
        count = 1;
    }
    if (frame_end < 0)
        frame_end = 0;
    sample_grid(ay, frame_end, count);
    Renderer r;
    r.n = (uint32_t)count;
    r.base = ay->sample_base;
    r.extra = ay->sample_extra;
    r.norm_base = ay->norm_base;
    r.norm_long = ay->norm_long;
    r.recip = ay->span_recip;
    r.grid = ay->grid;
    r.offset = ay->offset;
    r.frame_end = frame_end;
    r.gen = ay->gen;
    r.k.mask = heard(&r.gen);
    track(&r.gen, &r.k);
    r.queue = ay->queue;
    r.e = 0;
    r.queued = ay->queued;
    r.write_at = r.queued ? (int32_t)(r.queue[0] >> 12) : INT32_MAX;
    r.out = out;
    r.i = 0;
    r.count = count;
    r.pos = r.at = 0;
    r.acc = 0;
    r.error = 0;
    next_sample(&r);
    for (;;) {
        render_plain(&r);
        if (r.i >= r.count)
            break;
        render_any(&r);
    }
    AyGenerators* gen = &r.gen;
    uint32_t e = r.e, queued = r.queued;

    /* Everything up to the frame's end, then times count from there. */
    catch_up(gen, ALL_GENERATORS, r.pos);
    for (int ch = 0; ch < 3; ++ch)
        gen->tone_at[ch] -= frame_end;
    gen->noise_at -= frame_end;
    gen->env_at = gen->env_holding ? 0 : gen->env_at - frame_end; /* a hold has no next step */
    ay->gen = *gen;

    /* Writes dated from frame_end on belong to the next frame. */
    uint32_t kept = 0;
    for (; e < queued; ++e) {
        uint32_t w = ay->queue[e];
        uint32_t t = (w >> 12) - (uint32_t)frame_end;
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

/* out[i] += half[i / 2] for i < count, saturating: each sample rendered at half the rate heard
 * twice. On the GBA the same in ARM code in IWRAM (ay_kernel.S). */
#if ZX_GBA
void ay_expand(int8_t* out, const int8_t* half, int count);
#define expand_into ay_expand
#else
static void expand_into(int8_t* out, const int8_t* half, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = saturate(out[i] + half[i >> 1]);
}
#endif

void ay_render_half(AyChip* ay, int32_t frame_end, int8_t* out, int count, int8_t* scratch) {
    if (count <= 1) {
        ay_render(ay, frame_end, out, count);
        return;
    }
    int half = (count + 1) / 2;
    memset(scratch, 0, (size_t)half);
    ay_render(ay, frame_end, scratch, half);
    expand_into(out, scratch, count);
}

AY_COLD void ay_write(AyChip* ay, int32_t t, uint8_t reg, uint8_t value) {
    if (reg >= AY_REGISTERS)
        return;
    value &= ay_mask_of(reg);
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
        ay->gen.amp[i] =
            (int32_t)(((uint32_t)dac_levels[i] * (uint32_t)peak * 256u + 32767u) / 65535u);
}

void ay_set_offset(AyChip* ay, int offset) {
    ay->offset = offset < -255 ? -255 : offset > 255 ? 255 : offset;
}

void ay_reset(AyChip* ay) {
    int peak = ay->peak, offset = ay->offset;
    memset(ay, 0, sizeof *ay);
    ay_set_peak(ay, peak);
    ay->offset = offset;
    /* Counters from 0 with the first tick at T-state 0: every period reads as one tick. */
    AyGenerators* g = &ay->gen;
    for (int ch = 0; ch < 3; ++ch) {
        g->tone_period[ch] = AY_TSTATES_PER_TICK;
        g->tone_recip[ch] = 0;
        g->tone_at[ch] = 0;
    }
    g->noise_period = g->env_period = 2 * AY_TSTATES_PER_TICK;
    g->noise_recip = noise_recips[1];
    g->env_recip = 0;
    g->noise_at = AY_TSTATES_PER_TICK;
    g->noise_pos = 0;
    apply(g, AY_ENVELOPE_SHAPE, 0, 0, 0);
}

void ay_init(AyChip* ay) {
    ay->peak = AY_DEFAULT_PEAK;
    ay->offset = 0;
    ay_reset(ay);
}

void ay_load(AyChip* ay, const uint8_t regs[AY_REGISTERS], uint8_t selected) {
    ay_reset(ay);
    for (int reg = 0; reg < AY_REGISTERS; ++reg) {
        uint8_t value = regs[reg] & ay_mask_of((uint8_t)reg);
        ay->regs[reg] = value;
        apply(&ay->gen, reg, value, 0, 0);
    }
    ay->selected = selected;
}

/* The chip in a save state: what reads back, what the generators play and where they stand, and
 * the writes still queued. Periods and reciprocals follow from the registers played, so a state
 * cannot give the renderer a period it does not expect. Layout (little-endian):
 *   0 regs[16]  16 selected  17 play[16]  33 tone_out[3]  36 env_segment  37 env_step  38 grid
 *   39 0  40 tone_at[3] (i32)  52 noise_at  56 env_at  60 noise_pos (u32)  64 last_t
 *   68 late_mask (u16)  70 late[16]  86 0 0  88 queued (u32)  92 the queued writes (u32 each) */
enum { AY_STATE_QUEUE_AT = 92 };

static void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (uint8_t)(v >> (8 * i));
}

static uint32_t get_u32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint32_t ay_state_size(const AyChip* ay) {
    return AY_STATE_QUEUE_AT + 4 * ay->queued;
}

void ay_state_write(const AyChip* ay, uint8_t* out) {
    const AyGenerators* g = &ay->gen;
    memset(out, 0, AY_STATE_QUEUE_AT);
    memcpy(out, ay->regs, AY_REGISTERS);
    out[16] = ay->selected;
    memcpy(out + 17, g->play, AY_REGISTERS);
    memcpy(out + 33, g->tone_out, 3);
    out[36] = g->env_segment;
    out[37] = g->env_step;
    out[38] = (uint8_t)ay->grid;
    for (int ch = 0; ch < 3; ++ch)
        put_u32(out + 40 + 4 * ch, (uint32_t)g->tone_at[ch]);
    put_u32(out + 52, (uint32_t)g->noise_at);
    put_u32(out + 56, (uint32_t)g->env_at);
    put_u32(out + 60, g->noise_pos);
    put_u32(out + 64, (uint32_t)ay->last_t);
    out[68] = (uint8_t)ay->late_mask;
    out[69] = (uint8_t)(ay->late_mask >> 8);
    memcpy(out + 70, ay->late, AY_REGISTERS);
    put_u32(out + 88, ay->queued);
    for (uint32_t i = 0; i < ay->queued; ++i)
        put_u32(out + AY_STATE_QUEUE_AT + 4 * i, ay->queue[i]);
}

/* A counter stands no further ahead than its period and a tick (where a write or the frame's
 * end leaves it), and never behind the frame's start. */
static int plausible_at(int32_t at, int32_t period) {
    return at >= 0 && at <= period + AY_TSTATES_PER_TICK;
}

int ay_state_read(AyChip* ay, const uint8_t* in, uint32_t size) {
    if (size < AY_STATE_QUEUE_AT)
        return 0;
    uint32_t queued = get_u32(in + 88);
    if (queued > AY_QUEUE_SIZE || size != AY_STATE_QUEUE_AT + 4 * queued)
        return 0;
    for (int reg = 0; reg < AY_REGISTERS; ++reg)
        if ((in[reg] | in[17 + reg] | in[70 + reg]) & ~ay_mask_of((uint8_t)reg))
            return 0;
    if ((in[33] | in[34] | in[35]) > 1 || in[36] > 1 || in[37] > 15 || in[38] > 15)
        return 0;
    int32_t last_t = (int32_t)get_u32(in + 64), t = 0;
    if (last_t < 0 || last_t > AY_TSTATE_MAX)
        return 0;
    for (uint32_t i = 0; i < queued; ++i) { /* in time order, each value as the chip keeps it */
        uint32_t w = get_u32(in + AY_STATE_QUEUE_AT + 4 * i);
        int32_t at = (int32_t)(w >> 12);
        if (at < t || at > last_t || (w & 0xFF & ~ay_mask_of((uint8_t)(w >> 8 & 15))))
            return 0;
        t = at;
    }

    /* The counters' places against the periods the registers played give (as apply() sets
     * them); the chip changes only once all of it holds. */
    const uint8_t* play = in + 17;
    for (int ch = 0; ch < 3; ++ch) {
        int32_t p = ((play[2 * ch + 1] & 0x0F) << 8) | play[2 * ch];
        if (!plausible_at((int32_t)get_u32(in + 40 + 4 * ch), (p ? p : 1) * AY_TSTATES_PER_TICK))
            return 0;
    }
    int32_t noise = play[AY_NOISE_PERIOD] & 0x1F;
    int32_t env = (play[AY_ENVELOPE_COARSE] << 8) | play[AY_ENVELOPE_FINE];
    if (!plausible_at((int32_t)get_u32(in + 52), (noise ? noise : 1) * 2 * AY_TSTATES_PER_TICK) ||
        !plausible_at((int32_t)get_u32(in + 56), (env ? env : 1) * 2 * AY_TSTATES_PER_TICK) ||
        get_u32(in + 60) >= AY_NOISE_LENGTH)
        return 0;
    if (!ay)
        return 1;

    /* Periods, reciprocals and the envelope's shape from the registers, then the places. */
    AyGenerators* g = &ay->gen;
    for (int reg = 0; reg < AY_REGISTERS; ++reg)
        apply(g, reg, play[reg], 0, 0);
    for (int ch = 0; ch < 3; ++ch) {
        g->tone_at[ch] = (int32_t)get_u32(in + 40 + 4 * ch);
        g->tone_out[ch] = in[33 + ch];
    }
    g->noise_at = (int32_t)get_u32(in + 52);
    g->env_at = (int32_t)get_u32(in + 56);
    g->noise_pos = get_u32(in + 60);
    g->env_segment = in[36];
    g->env_step = in[37];
    envelope_enter(g);
    memcpy(ay->regs, in, AY_REGISTERS);
    ay->selected = in[16];
    ay->grid = in[38];
    ay->last_t = last_t;
    ay->late_mask = (uint16_t)(in[68] | in[69] << 8);
    memcpy(ay->late, in + 70, AY_REGISTERS);
    ay->queued = queued;
    for (uint32_t i = 0; i < queued; ++i)
        ay->queue[i] = get_u32(in + AY_STATE_QUEUE_AT + 4 * i);
    return 1;
}
