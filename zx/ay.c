#include "ay.h"

#include <string.h>

/* On the GBA the per-write and per-sample paths run from IWRAM (ZX_HOT); what they call once a
 * frame or for rare cases stays in ROM (AY_COLD), out of the scarce IWRAM. */
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

/* floor(x / period) through the period's reciprocal (2^32 / period, rounded down). */
AY_INLINE uint32_t whole_periods(uint32_t x, int32_t period, uint32_t recip) {
    uint32_t q = (uint32_t)(((uint64_t)x * recip) >> 32);
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

/* 17-bit noise generator: taps at bits 0 and 3, the new bit enters at bit 16. Up to 14 shifts
 * at once: their new bits come from bits that no earlier shift of the batch has replaced. */
AY_INLINE uint32_t lfsr_shift(uint32_t x, uint32_t n) {
    while (n) {
        uint32_t k = n < 14 ? n : 14;
        uint32_t fresh = (x ^ (x >> 3)) & ((1u << k) - 1);
        x = (x >> k) | (fresh << (17 - k));
        n -= k;
    }
    return x;
}

AY_INLINE uint32_t bits_set(uint32_t v) { /* v < 2^16 */
    v = v - ((v >> 1) & 0x5555);
    v = (v & 0x3333) + ((v >> 2) & 0x3333);
    v = (v + (v >> 4)) & 0x0F0F;
    return (v + (v >> 8)) & 0x1F;
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
        g->noise_lfsr = lfsr_shift(g->noise_lfsr, n);
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
static ZX_HOT void apply(AyGenerators* g, int reg, uint8_t value, int32_t pos, int32_t next) {
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
static ZX_HOT void catch_up(AyGenerators* g, unsigned mask, int32_t pos) {
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

static ZX_HOT void track(const AyGenerators* g, Tracking* k) {
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
static ZX_HOT void fire(AyGenerators* g, Tracking* k, int32_t pos) {
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
static ZX_HOT void take_write(AyGenerators* g, Tracking* k, uint32_t w, int32_t pos, int32_t grid) {
    int reg = (w >> 8) & 0x0F;
    uint8_t value = (uint8_t)w;
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

/* Time the noise output is high during [a, a + d); advances the generator. After its j-th
 * shift in the span the output is bit j of the generator as the span began. */
static ZX_HOT int32_t noise_on_time(AyGenerators* g, int32_t a, int32_t d) {
    int32_t left = g->noise_at - a;
    uint32_t x = g->noise_lfsr;
    if (left >= d)
        return (x & 1) ? d : 0;
    int32_t period = g->noise_period;
    int32_t on = (x & 1) ? left : 0;
    uint32_t shifts = whole_periods((uint32_t)(d - 1 - left), period, g->noise_recip) + 1;
    for (uint32_t full = shifts - 1; full;) { /* whole periods between the shifts */
        uint32_t k = full < 14 ? full : 14;
        on += (int32_t)bits_set((x >> 1) & ((1u << k) - 1)) * period;
        x = lfsr_shift(x, k);
        full -= k;
    }
    x = lfsr_shift(x, 1);
    int32_t last = left + (int32_t)(shifts - 1) * period;
    if (x & 1)
        on += d - last;
    g->noise_lfsr = x;
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
    if (k->noise_at >= stop)
        return (int64_t)((g->noise_lfsr & 1) ? k->high : k->low) * d;
    int32_t noise_on, left = k->noise_at - pos;
    if (left + g->noise_period >= d) { /* one shift */
        uint32_t x = g->noise_lfsr;
        noise_on = (x & 1) ? left : 0;
        x = (x >> 1) | (((x ^ (x >> 3)) & 1) << 16);
        if (x & 1)
            noise_on += d - left;
        g->noise_lfsr = x;
        g->noise_at += g->noise_period;
    } else {
        noise_on = noise_on_time(g, pos, d);
    }
    k->noise_at = g->noise_at;
    return (int64_t)k->low * d + (int64_t)(k->high - k->low) * noise_on;
}

ZX_HOT void ay_render(AyChip* ay, int32_t frame_end, int8_t* out, int count) {
    int8_t unused = 0;
    if (count <= 0) { /* nothing asked: the frame still passes */
        out = &unused;
        count = 1;
    }
    if (frame_end < 0)
        frame_end = 0;
    sample_grid(ay, frame_end, count);
    const uint32_t n = (uint32_t)count, base = ay->sample_base, extra = ay->sample_extra;
    const uint32_t norm_base = ay->norm_base, norm_long = ay->norm_long;
    const int32_t recip = ay->span_recip, grid = ay->grid;

    /* The generators work on a copy in fast memory (the stack), safe from aliasing `out`. */
    AyGenerators gen = ay->gen;
    Tracking k;
    k.mask = heard(&gen);
    track(&gen, &k);
    const uint32_t* queue = ay->queue;
    uint32_t e = 0, queued = ay->queued;
    int32_t write_at = queued ? (int32_t)(queue[0] >> 12) : INT32_MAX;

    int32_t pos = 0, len;
    uint32_t norm, error = 0;
#define NEXT_SAMPLE_LENGTH()                                                                       \
    do {                                                                                           \
        len = (int32_t)base;                                                                       \
        norm = norm_base;                                                                          \
        error += extra;                                                                            \
        if (error >= n) {                                                                          \
            error -= n;                                                                            \
            ++len;                                                                                 \
            norm = norm_long;                                                                      \
        }                                                                                          \
    } while (0)
    NEXT_SAMPLE_LENGTH();
    int i = 0;
    while (i < count) {
        int32_t end = pos + len;
        int64_t acc;
        if (write_at >= end && k.change >= end) {
            if (k.noise_at >= end) {
                /* Nothing heard changes: the level itself, for as many samples as that lasts. */
                int32_t v = ((gen.noise_lfsr & 1) ? k.high : k.low) >> 8;
                int32_t until = write_at < k.change ? write_at : k.change;
                if (k.noise_at < until)
                    until = k.noise_at;
                if (until >= frame_end) { /* for the rest of the frame: no timing needed */
                    for (; v && i < count; ++i) {
                        int32_t s = out[i] + v;
                        out[i] = (int8_t)(s > 127 ? 127 : s);
                    }
                    i = count;
                    pos = frame_end;
                    break;
                }
                for (;;) {
                    int32_t s = out[i] + v;
                    out[i] = (int8_t)(s > 127 ? 127 : s);
                    pos = end;
                    if (++i == count)
                        break;
                    NEXT_SAMPLE_LENGTH();
                    end = pos + len;
                    if (end > until)
                        break;
                }
                continue;
            }
            if (len <= MAX_SPAN) {
                /* Only the noise moves: sample after sample while that lasts, its state held in
                 * registers. */
                int32_t until = write_at < k.change ? write_at : k.change;
                uint32_t x = gen.noise_lfsr, nrecip = gen.noise_recip;
                int32_t at = gen.noise_at, period = gen.noise_period;
                int32_t low = k.low, diff = k.high - k.low;
                for (;;) {
                    int32_t left = at - pos, on;
                    if (left >= len) {
                        on = (x & 1) ? len : 0;
                    } else {
                        on = (x & 1) ? left : 0;
                        uint32_t shifts =
                            whole_periods((uint32_t)(len - 1 - left), period, nrecip) + 1;
                        for (uint32_t full = shifts - 1; full;) {
                            uint32_t batch = full < 14 ? full : 14;
                            on += (int32_t)bits_set((x >> 1) & ((1u << batch) - 1)) * period;
                            x = lfsr_shift(x, batch);
                            full -= batch;
                        }
                        x = (x >> 1) | (((x ^ (x >> 3)) & 1) << 16);
                        int32_t last = left + (int32_t)(shifts - 1) * period;
                        if (x & 1)
                            on += len - last;
                        at = pos + last + period;
                    }
                    uint32_t sum = (uint32_t)(low * len + diff * on) >> 8;
                    int32_t s = out[i] + (int32_t)(((uint64_t)sum * norm) >> 31);
                    out[i] = (int8_t)(s > 127 ? 127 : s);
                    pos = end;
                    if (++i == count)
                        break;
                    NEXT_SAMPLE_LENGTH();
                    end = pos + len;
                    if (end > until || len > MAX_SPAN)
                        break;
                }
                gen.noise_lfsr = x;
                gen.noise_at = k.noise_at = at;
                continue;
            }
            acc = steady(&gen, &k, pos, end); /* only the noise moves */
            pos = end;
        } else {
            acc = 0;
            for (;;) {
                int32_t stop = write_at < end ? (write_at < pos ? pos : write_at) : end;
                if (stop - pos > MAX_SPAN)
                    stop = pos + MAX_SPAN;
                if (k.fast) { /* whole spans */
                    if (stop > pos) {
                        acc += render_span(&gen, k.mask, pos, stop - pos, recip);
                        track(&gen, &k);
                    }
                } else { /* change by change */
                    if (k.change < stop)
                        stop = k.change < pos ? pos : k.change;
                    if (stop > pos)
                        acc += steady(&gen, &k, pos, stop);
                }
                pos = stop;
                if (pos == end)
                    break;
                if (write_at <= pos) {
                    take_write(&gen, &k, queue[e++], pos, grid);
                    write_at = e < queued ? (int32_t)(queue[e] >> 12) : INT32_MAX;
                } else if (!k.fast && k.change <= pos) {
                    fire(&gen, &k, pos);
                }
            }
        }
        int32_t s = out[i] + (int32_t)(((uint64_t)(acc >> 8) * norm) >> 31);
        out[i] = (int8_t)(s > 127 ? 127 : s);
        if (++i < count)
            NEXT_SAMPLE_LENGTH();
    }
#undef NEXT_SAMPLE_LENGTH

    /* Everything up to the frame's end, then times count from there. */
    catch_up(&gen, ALL_GENERATORS, pos);
    for (int ch = 0; ch < 3; ++ch)
        gen.tone_at[ch] -= frame_end;
    gen.noise_at -= frame_end;
    gen.env_at = gen.env_holding ? 0 : gen.env_at - frame_end; /* a hold has no next step */
    ay->gen = gen;

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

ZX_HOT void ay_write(AyChip* ay, int32_t t, uint8_t reg, uint8_t value) {
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

void ay_reset(AyChip* ay) {
    int peak = ay->peak;
    memset(ay, 0, sizeof *ay);
    ay_set_peak(ay, peak);
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
    g->noise_lfsr = 1;
    apply(g, AY_ENVELOPE_SHAPE, 0, 0, 0);
}

void ay_init(AyChip* ay) {
    ay->peak = AY_DEFAULT_PEAK;
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
