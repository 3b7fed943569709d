/* The other way to play the AY on a GBA, sketched to measure its cost: once per Spectrum frame
 * the AY's registers become settings of the GBA's own channels. A and B go to the two square
 * channels, C to the wave channel playing a square from wave RAM, the noise to channel 4 at the
 * loudest volume among the channels that mix it in. Levels map from the AY's logarithmic scale to
 * the PSG's linear 0-15 (the five lowest become silence); a changed volume needs the channel
 * restarted. A slow envelope is stepped in software once per frame; a fast one (a "buzzer") is
 * played as a square at the envelope's pitch. What cannot be played at all: a channel with tone
 * and noise off (the DC level that sampled sound is made of), tone AND noise on one channel (the
 * PSG adds them), tones below 64 Hz on A/B (32 Hz on C), and anything that changes within a
 * frame. */
#include "psg_sketch.h"

#include "hw/gba.h"

#define REG_SOUND1CNT_L REG16(0x04000060)
#define REG_SOUND1CNT_H REG16(0x04000062)
#define REG_SOUND1CNT_X REG16(0x04000064)
#define REG_SOUND2CNT_L REG16(0x04000068)
#define REG_SOUND2CNT_H REG16(0x0400006C)
#define REG_SOUND3CNT_L REG16(0x04000070)
#define REG_SOUND3CNT_H REG16(0x04000072)
#define REG_SOUND3CNT_X REG16(0x04000074)
#define REG_SOUND4CNT_L REG16(0x04000078)
#define REG_SOUND4CNT_H REG16(0x0400007C)
#define REG_WAVE_RAM(i) REG16(0x04000090 + 2 * (i))

/* AY level -> PSG volume. */
static const uint8_t linear_volume[16] = {0, 0, 0, 0, 0, 1, 1, 2, 2, 3, 4, 6, 7, 10, 12, 15};
/* AY noise period -> channel 4's clock (shift << 4 | divider), nearest rate. */
static const uint8_t noise_clock[32] = {
    0x02, 0x02, 0x05, 0x07, 0x15, 0x16, 0x17, 0x24, 0x25, 0x25, 0x26, 0x27, 0x27, 0x34, 0x34, 0x34,
    0x35, 0x35, 0x35, 0x36, 0x36, 0x36, 0x37, 0x37, 0x37, 0x37, 0x44, 0x44, 0x44, 0x44, 0x44, 0x45};

void psg_sketch_start(PsgSketch* s) {
    for (int i = 0; i < 4; ++i)
        s->volume[i] = 0xFF;
    s->env_time = 0;
    s->env_step = 0;
    REG_SOUNDCNT_X = 0x0080;
    REG_SOUNDCNT_L = 0xFF77;                    /* all four channels left and right, full */
    REG_SOUNDCNT_H = (REG_SOUNDCNT_H & ~3) | 2; /* PSG at 100 % */
    REG_SOUND3CNT_L = 0x0000;                   /* wave RAM writable: one square period */
    for (int i = 0; i < 8; ++i)
        REG_WAVE_RAM(i) = i < 4 ? 0xFFFF : 0x0000;
    REG_SOUND3CNT_L = 0x0080;
    REG_SOUND1CNT_L = 0x0008; /* no sweep */
}

/* Tone period (ticks of clock / 16) -> the square channels' rate: 2048 - 131072 / f. */
static uint32_t square_rate(uint32_t period) {
    int32_t rate = 2048 - (int32_t)((period * 77501u) >> 16);
    return rate < 0 ? 0 : (uint32_t)rate;
}

void psg_sketch_frame(PsgSketch* s, const uint8_t* r, int32_t frame_tstates) {
    unsigned mixer = r[7];
    uint32_t env = r[11] | (r[12] << 8);
    int buzzer = env < 64; /* faster than a step per 2,048 T-states: play its pitch */
    int env_level = (r[13] & 4) ? s->env_step : 15 - s->env_step;
    int noise_volume = 0;
    for (int ch = 0; ch < 3; ++ch) {
        unsigned volume = r[8 + ch];
        uint32_t period = r[2 * ch] | ((r[2 * ch + 1] & 15u) << 8);
        int tone = !(mixer & (1u << ch));
        int level = volume & 15;
        if (volume & 0x10) {
            level = env_level;
            if (buzzer) { /* the envelope's sawtooth as a square at its pitch */
                period = (env ? env : 1) * 16;
                level = 15;
                tone = 1;
            }
        }
        if (!(mixer & (8u << ch)) && linear_volume[level] > noise_volume)
            noise_volume = linear_volume[level];
        int out = tone ? linear_volume[level] : 0;
        int restart = out != s->volume[ch];
        s->volume[ch] = (uint8_t)out;
        if (ch < 2) {
            uint32_t rate = square_rate(period ? period : 1);
            uint16_t control = (uint16_t)(0x0080 | (out << 12)); /* duty 50 %, no envelope */
            uint16_t frequency = (uint16_t)(rate | (restart ? 0x8000 : 0));
            if (ch == 0) {
                REG_SOUND1CNT_H = control;
                REG_SOUND1CNT_X = frequency;
            } else {
                REG_SOUND2CNT_L = control;
                REG_SOUND2CNT_H = frequency;
            }
        } else { /* the wave channel: 32 samples per period, volume 0/25/50/100 % */
            int32_t rate = 2048 - (int32_t)(((period ? period : 1) * 38750u) >> 16);
            static const uint16_t wave_volume[16] = {0,      0,      0,      0,      0,      0x6000,
                                                     0x6000, 0x6000, 0x6000, 0x6000, 0x4000, 0x4000,
                                                     0x4000, 0x2000, 0x2000, 0x2000};
            REG_SOUND3CNT_H = out ? wave_volume[level] : 0;
            REG_SOUND3CNT_X = (uint16_t)((rate < 0 ? 0 : rate) | (restart ? 0x8000 : 0));
        }
    }
    int restart = noise_volume != s->volume[3];
    s->volume[3] = (uint8_t)noise_volume;
    REG_SOUND4CNT_L = (uint16_t)(noise_volume << 12);
    REG_SOUND4CNT_H = (uint16_t)(noise_clock[r[6] & 31] | (restart ? 0x8000 : 0));

    /* A slow envelope, stepped by the frame's length. */
    if (!buzzer) {
        int32_t step = (int32_t)env * 32;
        s->env_time += frame_tstates;
        while (s->env_time >= step) {
            s->env_time -= step;
            if (s->env_step < 15)
                s->env_step++;
            else if ((r[13] & 9) == 8) /* continuing, not holding: round again */
                s->env_step = 0;
        }
    }
}
