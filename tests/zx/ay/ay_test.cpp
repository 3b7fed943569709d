// The AY-3-8912: register behaviour, the generators sampled over time, mixing, the write queue,
// and agreement with a slow model that steps the chip T-state by T-state.
#include "ay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace {

struct Write {
    int64_t t; // T-states since reset
    int reg;
    int value;
};

// Renders `frames` frames of frameT T-states as `samples` samples each, applying the writes (in
// time order) at their T-states. Output as it lands in a zeroed buffer.
std::vector<int> render(AyChip& ay, const std::vector<Write>& writes, int frames, int32_t frameT,
                        int samples) {
    std::vector<int> out;
    std::vector<int8_t> buffer(static_cast<size_t>(samples));
    size_t w = 0;
    for (int f = 0; f < frames; ++f) {
        int64_t start = int64_t(f) * frameT;
        for (; w < writes.size() && writes[w].t < start + frameT; ++w)
            ay_write(&ay, int32_t(writes[w].t - start), uint8_t(writes[w].reg),
                     uint8_t(writes[w].value));
        std::fill(buffer.begin(), buffer.end(), int8_t(0));
        ay_render(&ay, frameT, buffer.data(), samples);
        out.insert(out.end(), buffer.begin(), buffer.end());
    }
    return out;
}

AyChip freshChip(int peak) {
    AyChip ay;
    ay_init(&ay);
    ay_set_peak(&ay, peak);
    return ay;
}

// The chip as its data sheet describes it, one T-state at a time: counters advance at every
// 16th T-state and compare with their periods; the envelope is a 16-step cycle shaped by its
// continue / attack / alternate / hold bits.
class SlowAy {
  public:
    explicit SlowAy(const AyChip& fast) {
        for (int i = 0; i < 16; ++i)
            amp_[i] = fast.gen.amp[i];
    }

    void write(int reg, int value) {
        static const int mask[16] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                     0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF};
        r_[reg] = value & mask[reg];
        if (reg == 13) {
            envCount_ = 0;
            envCycle_ = 0;
            envStep_ = 0;
        }
    }

    // Level x 256 during T-state t (after the tick that falls on it).
    int64_t step() {
        if (t_++ % 16 == 0)
            tick();
        int64_t sum = 0;
        for (int ch = 0; ch < 3; ++ch) {
            bool toneOff = r_[7] & (1 << ch), noiseOff = r_[7] & (8 << ch);
            bool high = (tone_[ch] || toneOff) && ((lfsr_ & 1) || noiseOff);
            int volume = r_[8 + ch];
            int level = (volume & 0x10) ? envelopeLevel() : (volume & 0x0F);
            if (high)
                sum += amp_[level];
        }
        return sum;
    }

    int envelopeLevel() const {
        int shape = r_[13];
        bool attack = shape & 4;
        if (envCycle_ == 0)
            return attack ? envStep_ : 15 - envStep_;
        if (!(shape & 8))
            return 0;
        if (shape & 1) { // hold: the end of the first cycle, or the other end when alternating
            int end = attack ? 15 : 0;
            return (shape & 2) ? 15 - end : end;
        }
        bool up = (shape & 2) && (envCycle_ & 1) ? !attack : attack;
        return up ? envStep_ : 15 - envStep_;
    }

  private:
    void tick() {
        for (int ch = 0; ch < 3; ++ch) {
            int period = r_[2 * ch] | (r_[2 * ch + 1] << 8);
            if (++toneCount_[ch] >= std::max(period, 1)) {
                toneCount_[ch] = 0;
                tone_[ch] ^= 1;
            }
        }
        if (++noiseCount_ >= 2 * std::max(r_[6], 1)) {
            noiseCount_ = 0;
            lfsr_ = (lfsr_ >> 1) | (((lfsr_ ^ (lfsr_ >> 3)) & 1) << 16);
        }
        if (++envCount_ >= 2 * std::max(r_[11] | (r_[12] << 8), 1)) {
            envCount_ = 0;
            if (++envStep_ == 16) {
                envStep_ = 0;
                if (envCycle_ < 1000)
                    ++envCycle_;
                else
                    envCycle_ = 999; // keeps parity, never overflows
            }
        }
    }

    int64_t amp_[16];
    int r_[16] = {};
    int64_t t_ = 0;
    int toneCount_[3] = {}, tone_[3] = {};
    int noiseCount_ = 0;
    uint32_t lfsr_ = 1;
    int envCount_ = 0, envStep_ = 0, envCycle_ = 0;
};

// The slow model's mean output per sample (sample i of a frame covers T-states
// [i * frameT / n, (i + 1) * frameT / n)), in output units.
std::vector<double> slowRender(SlowAy& slow, const std::vector<Write>& writes, int frames,
                               int32_t frameT, int samples) {
    std::vector<double> out;
    size_t w = 0;
    int64_t t = 0;
    for (int f = 0; f < frames; ++f) {
        int64_t start = int64_t(f) * frameT;
        for (int i = 0; i < samples; ++i) {
            int64_t end = start + (int64_t(i) + 1) * frameT / samples;
            int64_t from = t, sum = 0;
            for (; t < end; ++t) {
                for (; w < writes.size() && writes[w].t <= t; ++w)
                    slow.write(writes[w].reg, writes[w].value);
                sum += slow.step();
            }
            out.push_back(double(sum) / 256.0 / double(end - from));
        }
    }
    return out;
}

// Output of one channel at a fixed volume level, tone and noise off (a DC level).
int dcLevel(int level, int peak) {
    AyChip ay = freshChip(peak);
    std::vector<Write> w = {{0, 7, 0x3F}, {0, 8, level}};
    return render(ay, w, 1, 69888, 336).back();
}

TEST(AyRegisters, ReadBackKeepsOnlyTheBitsTheChipHas) {
    AyChip ay = freshChip(AY_DEFAULT_PEAK);
    const int expected[14] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F,
                              0xFF, 0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F};
    for (int reg = 0; reg < 14; ++reg) {
        ay_select(&ay, uint8_t(reg));
        ay_write_selected(&ay, 0, 0xFF);
        EXPECT_EQ(ay_read(&ay), expected[reg]) << "register " << reg;
    }
    // Port A as an input reads the idle lines of a Spectrum 128; as an output its latch, with
    // bit 6 held low outside. Port B is not bonded out: 0xFF as input, the latch as output.
    ay_write(&ay, 0, AY_MIXER, 0x3F);
    ay_write(&ay, 0, AY_PORT_A, 0x5A);
    ay_write(&ay, 0, AY_PORT_B, 0x12);
    EXPECT_EQ(ay_register(&ay, AY_PORT_A), 0xBF);
    EXPECT_EQ(ay_register(&ay, AY_PORT_B), 0xFF);
    ay_write(&ay, 0, AY_MIXER, 0xFF);
    EXPECT_EQ(ay_register(&ay, AY_PORT_A), 0x1A);
    EXPECT_EQ(ay_register(&ay, AY_PORT_B), 0x12);
    EXPECT_EQ(ay_register(&ay, AY_MIXER), 0xFF);

    // A select of 16 or more deselects the chip: reads float high, writes go nowhere.
    ay_select(&ay, 0x18); // not register 8
    EXPECT_EQ(ay_read(&ay), 0xFF);
    ay_write_selected(&ay, 0, 0x03);
    EXPECT_EQ(ay_register(&ay, AY_VOLUME_A), 0x1F);
    ay_select(&ay, AY_VOLUME_A);
    EXPECT_EQ(ay_read(&ay), 0x1F);
}

TEST(AyRegisters, ResetAndSnapshotLoad) {
    AyChip ay = freshChip(40);
    uint8_t regs[16] = {0x10, 0xF1, 0, 0,    0,    0,    0x25, 0x3E,
                        0x0F, 0,    0, 0x34, 0x12, 0xFE, 0x77, 0x88};
    ay_load(&ay, regs, 0x07);
    EXPECT_EQ(ay_read(&ay), 0x3E);
    EXPECT_EQ(ay_register(&ay, 1), 0x01);
    EXPECT_EQ(ay_register(&ay, 6), 0x05);
    EXPECT_EQ(ay_register(&ay, 13), 0x0E);
    // Channel A plays its tone at once: period 0x110 ticks, so it flips every 4,352 T-states.
    std::vector<int> out = render(ay, {}, 1, 69888, 336);
    int flips = 0;
    for (size_t i = 1; i < out.size(); ++i)
        flips += (out[i] != out[i - 1]);
    EXPECT_GE(flips, 14);
    EXPECT_LE(flips, 34); // edges inside a sample show as an intermediate value

    ay_reset(&ay);
    for (int reg = 0; reg < 14; ++reg)
        EXPECT_EQ(ay_register(&ay, uint8_t(reg)), 0) << reg;
    out = render(ay, {}, 2, 69888, 336);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int v) { return v == 0; }));
}

TEST(AyEnvelope, EveryShapeStepByStep) {
    int dc[16];
    for (int level = 0; level < 16; ++level)
        dc[level] = dcLevel(level, 127);
    const int period = 13; // one step = 2 x 13 ticks = 416 T-states
    const int stepT = 32 * period;
    for (int shape = 0; shape < 16; ++shape) {
        AyChip ay = freshChip(127);
        std::vector<Write> w = {
            {0, 7, 0x3F}, {0, 8, 0x10}, {0, 11, period}, {0, 12, 0}, {0, 13, shape}};
        // 16-T-state samples: each lies inside one step.
        std::vector<int> out = render(ay, w, 1, 69888, 69888 / 16);
        bool attack = shape & 4, cont = shape & 8, alternate = shape & 2, hold = shape & 1;
        for (int k = 0; k < 64; ++k) {
            // The write lands on a tick, which counts: step k starts at k * 416 - 16.
            int64_t middle = k == 0 ? 100 : int64_t(k) * stepT - 16 + stepT / 2;
            int cycle = k / 16, s = k % 16, level;
            if (cycle == 0)
                level = attack ? s : 15 - s;
            else if (!cont)
                level = 0;
            else if (hold)
                level = (attack != alternate) ? 15 : 0;
            else
                level = (attack != (alternate && (cycle & 1))) ? s : 15 - s;
            ASSERT_EQ(out[size_t(middle / 16)], dc[level])
                << "shape " << shape << " step " << k << " level " << level;
        }
        // A write to the shape register restarts the envelope, even with the same shape.
        std::vector<int> later = render(ay, {{30112, 13, shape}}, 1, 69888, 69888 / 16);
        int64_t at = 30112 + 100; // inside the first step after the restart
        EXPECT_EQ(later[size_t(at / 16)], dc[attack ? 0 : 15]) << "shape " << shape;
    }
    // The DAC: silent at 0, full peak at 15, each level above the last, about 3 dB apart
    // in the upper half.
    EXPECT_EQ(dc[0], 0);
    EXPECT_EQ(dc[15], 127);
    for (int level = 1; level < 16; ++level)
        EXPECT_GE(dc[level], dc[level - 1]);
    for (int level = 9; level < 16; ++level)
        EXPECT_NEAR(double(dc[level]) / dc[level - 1], 1.4, 0.3) << level;
}

TEST(AyEnvelope, KeepsItsPlaceWhileNobodyHearsIt) {
    // The channel goes quiet for stretches of odd lengths; the envelope (and the tone and noise
    // of the other channels, heard on and off too) must be where the slow model has it after.
    std::mt19937 rng(77);
    for (int shape : {8, 10, 13, 14}) {
        for (int period : {1, 3, 40}) {
            std::vector<Write> w = {{0, 7, 0x1D}, {0, 8, 0x10}, {0, 11, period}, {0, 13, shape},
                                    {0, 2, 37},   {0, 6, 2},    {0, 9, 12},      {0, 10, 0x0F}};
            int64_t t = 0;
            for (int k = 0; k < 30; ++k) {
                t += 500 + int64_t(rng() % 9000);
                w.push_back({t, 8, 0});    // channel A silent
                w.push_back({t, 9, 0});    // channel B silent (tone B unheard)
                w.push_back({t, 7, 0x3D}); // C's noise off (noise unheard)
                t += 1 + int64_t(rng() % 20000);
                w.push_back({t, 8, 0x10}); // back on the envelope
                w.push_back({t, 9, 12});
                w.push_back({t, 7, 0x1D}); // noise on C again
            }
            AyChip ay = freshChip(42);
            std::vector<int> out = render(ay, w, 6, 70908, 336);
            SlowAy slow(ay);
            std::vector<double> ref = slowRender(slow, w, 6, 70908, 336);
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_NEAR(out[i], ref[i], 1.0)
                    << "shape " << shape << " period " << period << " sample " << i;
        }
    }
}

// Players write every register each frame. A register given the value it holds changes
// nothing, mid-period included (the renderer skips such writes); the envelope's shape given
// again restarts the envelope, as on the chip, and the slow model agrees with both.
TEST(AyWrites, TheSameValueAgainChangesNothingButTheShapeRestarts) {
    const std::vector<Write> base = {{0, 7, 0x36}, {0, 0, 200},  {0, 1, 1},   {0, 6, 3},
                                     {0, 8, 0x0F}, {0, 9, 0x10}, {0, 11, 90}, {0, 13, 0x0E}};
    std::vector<Write> again = base;
    for (int64_t t = 1000; t < 3 * 70908; t += 7919) // mid-period and mid-step
        for (size_t i = 0; i + 1 < base.size(); ++i) // every register but the shape
            again.push_back({t, base[i].reg, base[i].value});
    std::vector<Write> reshaped = base;
    reshaped.push_back({100000, 13, 0x0E});
    AyChip a = freshChip(42), b = freshChip(42), c = freshChip(42);
    std::vector<int> plain = render(a, base, 3, 70908, 336);
    EXPECT_EQ(render(b, again, 3, 70908, 336), plain);
    std::vector<int> restarted = render(c, reshaped, 3, 70908, 336);
    EXPECT_NE(restarted, plain);
    SlowAy slow(c);
    std::vector<double> ref = slowRender(slow, reshaped, 3, 70908, 336);
    for (size_t i = 0; i < restarted.size(); ++i)
        ASSERT_NEAR(restarted[i], ref[i], 1.0) << "sample " << i;
}

TEST(AyTone, PeriodsInTicksWithZeroAsOne) {
    auto flips = [](int fine, int coarse) {
        AyChip ay = freshChip(127);
        std::vector<Write> w = {{0, 7, 0x3E}, {0, 8, 15}, {0, 0, fine}, {0, 1, coarse}};
        std::vector<int> out = render(ay, w, 4, 69888, 69888 / 16);
        std::vector<int64_t> at;
        for (size_t i = 1; i < out.size(); ++i) {
            EXPECT_TRUE(out[i] == 0 || out[i] == 127) << i; // edges fall on ticks
            if (out[i] != out[i - 1])
                at.push_back(int64_t(i) * 16);
        }
        return at;
    };
    for (int period : {1, 2, 3, 5, 100, 1000}) {
        std::vector<int64_t> at = flips(period & 0xFF, period >> 8);
        ASSERT_GT(at.size(), 3u) << period;
        for (size_t i = 1; i < at.size(); ++i)
            ASSERT_EQ(at[i] - at[i - 1], 16 * period) << "period " << period;
    }
    EXPECT_EQ(flips(0, 0), flips(1, 0));
    // A period written on the tick of a flip comes first: the counter (at 100) has not reached
    // the new period 200, so the flip waits for it.
    {
        AyChip ay = freshChip(127);
        std::vector<Write> w = {{0, 7, 0x3E}, {0, 8, 15}, {0, 0, 100}, {3184, 0, 200}};
        std::vector<int> out = render(ay, w, 1, 69888, 69888 / 16);
        std::vector<int64_t> at;
        for (size_t i = 1; i < out.size(); ++i)
            if (out[i] != out[i - 1])
                at.push_back(int64_t(i) * 16);
        ASSERT_GE(at.size(), 3u);
        EXPECT_EQ(at[0], 1584);
        EXPECT_EQ(at[1], 4784);
        EXPECT_EQ(at[2], 4784 + 3200);
    }
    // The coarse register has 4 bits: 0xFF there is 0xF, a 4,095-tick period.
    std::vector<int64_t> longest = flips(0xFF, 0xFF);
    ASSERT_GE(longest.size(), 2u);
    EXPECT_EQ(longest[1] - longest[0], 16 * 4095);

    // A tone nobody hears for 40,000 frames (13 minutes, more than 2^31 T-states) comes back
    // in its place.
    {
        AyChip ay = freshChip(127);
        ay_write(&ay, 0, 7, 0x3E);
        ay_write(&ay, 0, 0, 100); // flips at 1,584 + k x 1,600
        std::vector<int8_t> buffer(336);
        const int64_t frames = 40000;
        for (int64_t f = 0; f < frames; ++f)
            ay_render(&ay, 69888, buffer.data(), 336);
        std::vector<int> out = render(ay, {{0, 8, 15}}, 1, 69888, 69888 / 16);
        for (size_t i = 0; i < out.size(); i += 7) {
            int64_t t = frames * 69888 + int64_t(i) * 16;
            int64_t flipped = (t - 1584) / 1600 + 1;
            ASSERT_EQ(out[i], (flipped & 1) ? 127 : 0) << i;
        }
    }

    // Above half the sample rate a tone averages out to half its level instead of aliasing.
    for (int period : {0, 1, 2, 3}) {
        AyChip ay = freshChip(120);
        std::vector<int> out =
            render(ay, {{0, 7, 0x3E}, {0, 8, 15}, {0, 0, period}}, 2, 69888, 336);
        for (size_t i = 10; i < out.size(); ++i)
            ASSERT_NEAR(out[i], 60, 6) << "period " << period << " sample " << i;
    }
}

TEST(AyNoise, SeventeenBitGeneratorAtItsPeriod) {
    for (int period : {0, 1, 5, 31}) {
        AyChip ay = freshChip(127);
        std::vector<Write> w = {{0, 7, 0x37}, {0, 8, 15}, {0, 6, period}};
        std::vector<int> out = render(ay, w, 2, 69888, 69888 / 16);
        // Taps at bits 0 and 3, the output is bit 0; the first shift after the write comes when
        // the counter (which counted the ticks at 0 and 16 already) reaches 2 x period.
        const int64_t shiftT = 32 * std::max(period, 1);
        int64_t first = std::max<int64_t>(16, shiftT - 16);
        uint32_t lfsr = 1;
        EXPECT_EQ(out[0], 127);
        for (int k = 0; first + k * shiftT + shiftT < int64_t(out.size()) * 16; ++k) {
            lfsr = (lfsr >> 1) | (((lfsr ^ (lfsr >> 3)) & 1) << 16);
            int64_t middle = first + k * shiftT + shiftT / 2;
            ASSERT_EQ(out[size_t(middle / 16)], (lfsr & 1) ? 127 : 0)
                << "period " << period << " shift " << k;
        }
    }
}

TEST(AyMixer, DisabledToneAndNoiseGiveTheLevelItself) {
    // Sample playback: levels written at any T-state, each sample the time-weighted mean.
    AyChip ay = freshChip(127);
    std::vector<Write> w = {{0, 7, 0x3F}};
    for (int k = 0; k < 600; ++k)
        w.push_back({50 + int64_t(k) * 104, 8, (k % 3) ? 15 : 0});
    std::vector<int> out = render(ay, w, 1, 69888, 336);
    SlowAy slow(ay);
    std::vector<double> ref = slowRender(slow, w, 1, 69888, 336);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], ref[i], 1.0) << i;
    // Two writes of three at full level (over whole groups of three, while they last).
    EXPECT_NEAR(std::accumulate(out.begin() + 3, out.begin() + 3 + 297, 0.0) / 297, 127.0 * 2 / 3,
                0.5);

    // Tone and noise on together: the channel is high only when both are.
    AyChip both = freshChip(127);
    std::vector<Write> mix = {{0, 7, 0x36}, {0, 8, 15}, {0, 0, 0xA0}, {0, 1, 0x0F}, {0, 6, 3}};
    std::vector<int> anded = render(both, mix, 1, 69888, 69888 / 16);
    AyChip noiseOnly = freshChip(127);
    std::vector<int> noise =
        render(noiseOnly, {{0, 7, 0x37}, {0, 8, 15}, {0, 6, 3}}, 1, 69888, 69888 / 16);
    // The tone (period 0xFA0 ticks) is low until its first flip at T-state 63,984 (the
    // counter counted the tick at 0).
    for (size_t i = 0; i < anded.size(); ++i)
        ASSERT_EQ(anded[i], int64_t(i) * 16 >= 63984 ? noise[i] : 0) << i;

    // Tone and noise both faster than the samples: high about a quarter of the time, as the
    // slow model has it, not half.
    AyChip fast = freshChip(127);
    std::vector<Write> hiss = {{0, 7, 0x36}, {0, 8, 15}, {0, 0, 1}, {0, 6, 1}};
    std::vector<int> quarter = render(fast, hiss, 2, 69888, 336);
    SlowAy slowHiss(fast);
    std::vector<double> hissRef = slowRender(slowHiss, hiss, 2, 69888, 336);
    double sum = 0, refSum = 0;
    for (size_t i = 0; i < quarter.size(); ++i) {
        sum += quarter[i];
        refSum += hissRef[i];
        ASSERT_NEAR(quarter[i], hissRef[i], 127 / 4) << i;
    }
    EXPECT_NEAR(sum / double(quarter.size()), refSum / double(quarter.size()), 1.0);
    EXPECT_NEAR(sum / double(quarter.size()), 127 / 4.0, 4.0);

    // Everything enabled but at volume 0: silence.
    AyChip quiet = freshChip(127);
    std::vector<int> silent = render(quiet, {{0, 7, 0}, {0, 6, 1}}, 1, 69888, 336);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int v) { return v == 0; }));
}

TEST(AyMixer, ThreeChannelsSumWithoutWrapping) {
    std::vector<Write> loud = {{0, 7, 0x3F}, {0, 8, 15}, {0, 9, 15}, {0, 10, 15}};
    AyChip ay = freshChip(42);
    EXPECT_EQ(render(ay, loud, 1, 69888, 336).back(), 126);
    // Louder than the buffer holds: the sum saturates, it never wraps negative.
    AyChip hot = freshChip(127);
    EXPECT_EQ(render(hot, loud, 1, 69888, 336).back(), 127);
    // Added to what the buffer already holds (the beeper's samples).
    AyChip onBeeper = freshChip(40);
    for (const Write& w : loud)
        ay_write(&onBeeper, int32_t(w.t), uint8_t(w.reg), uint8_t(w.value));
    int8_t buffer[336];
    std::fill(buffer, buffer + 336, int8_t(-100));
    ay_render(&onBeeper, 69888, buffer, 336);
    EXPECT_EQ(buffer[335], -100 + 120);
    std::fill(buffer, buffer + 336, int8_t(90));
    ay_render(&onBeeper, 69888, buffer, 336);
    EXPECT_EQ(buffer[335], 127);
}

// Random register programs against the slow model. Where each channel follows one moving
// signal (tone, noise or envelope), every sample must match to the unit; with tone and noise
// mixed on one channel the renderer multiplies their fractions, so only the mean error is held.
std::vector<Write> randomProgram(std::mt19937& rng, int64_t lengthT, bool oneSignalPerChannel) {
    std::vector<Write> w;
    std::uniform_int_distribution<int> byte(0, 255), reg(0, 13);
    std::uniform_int_distribution<int64_t> gap(1, 3000);
    for (int64_t t = 0; t < lengthT; t += gap(rng)) {
        int r = reg(rng), v = byte(rng);
        if (r == 1 || r == 3 || r == 5)
            v &= (rng() & 1) ? 0x0F : 0x00; // mostly audible periods, sometimes long ones
        if (r == 0 || r == 2 || r == 4)
            v = (rng() % 4 == 0) ? int(rng() % 4) : v; // ultrasonic ones too
        if (r == 12)
            v &= 0x01;
        if (r == 8 || r == 9 || r == 10)
            v &= 0x1F;
        if (r == 7 && oneSignalPerChannel) {
            // Each channel: tone only, noise only, or neither; never both.
            v = 0;
            for (int ch = 0; ch < 3; ++ch) {
                int kind = int(rng() % 3);
                v |= (kind == 1 ? 0 : 1) << ch;       // tone off unless kind 1
                v |= (kind == 2 ? 0 : 1) << (ch + 3); // noise off unless kind 2
            }
        }
        w.push_back({t, r, v});
    }
    return w;
}

TEST(AyReference, MatchesTheSlowModelOnRandomPrograms) {
    std::mt19937 rng(20240613);
    for (int32_t frameT : {69888, 70908}) {
        for (int run = 0; run < 4; ++run) {
            const int frames = 12;
            // Envelope-driven channels get tone and noise off for good: mixer bits set for
            // them after every write of the mixer.
            std::vector<Write> w = randomProgram(rng, int64_t(frames) * frameT, true);
            int envChannels = int(rng() % 8);
            for (Write& x : w) {
                if (x.reg == 7)
                    x.value |= envChannels | (envChannels << 3);
                if (x.reg >= 8 && x.reg <= 10) {
                    int ch = x.reg - 8;
                    x.value = (envChannels & (1 << ch)) ? (x.value | 0x10) : (x.value & 0x0F);
                }
            }
            w.insert(w.begin(), {0, 7, 0x3F | envChannels});
            AyChip ay = freshChip(42);
            std::vector<int> out = render(ay, w, frames, frameT, 336);
            SlowAy slow(ay);
            std::vector<double> ref = slowRender(slow, w, frames, frameT, 336);
            ASSERT_EQ(out.size(), ref.size());
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_NEAR(out[i], ref[i], 1.0)
                    << "frame length " << frameT << " run " << run << " sample " << i;
        }
    }
    // Anything goes: tone and noise together on one channel, envelopes over tones.
    for (int run = 0; run < 4; ++run) {
        const int frames = 12;
        std::vector<Write> w = randomProgram(rng, int64_t(frames) * 69888, false);
        AyChip ay = freshChip(42);
        std::vector<int> out = render(ay, w, frames, 69888, 336);
        SlowAy slow(ay);
        std::vector<double> ref = slowRender(slow, w, frames, 69888, 336);
        double error = 0, level = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            error += std::abs(out[i] - ref[i]);
            level += ref[i];
        }
        EXPECT_LT(error / double(out.size()), 0.75) << "run " << run; // about 0.45 today
        EXPECT_NEAR(level / double(out.size()),
                    std::accumulate(out.begin(), out.end(), 0.0) / double(out.size()), 1.0);
    }
}

// A frame rendered at half the rate (when the machine runs behind) leaves the chip where a
// full frame would: the frames after it sound the same, and its own level is the full frame's
// in pairs of samples, an odd count's last sample included.
TEST(AyHalfRate, KeepsTheChipsTimeAndTheLevel) {
    std::mt19937 rng(7);
    const int frames = 10, samples = 655, frameT = 70908;
    for (int run = 0; run < 3; ++run) {
        std::vector<Write> w = randomProgram(rng, int64_t(frames) * frameT, run == 0);
        AyChip full = freshChip(40), mixed = freshChip(40);
        ay_set_offset(&full, -60);
        ay_set_offset(&mixed, -60);
        std::vector<int8_t> a(samples), b(samples), scratch((samples + 1) / 2);
        size_t wi = 0;
        for (int f = 0; f < frames; ++f) {
            int64_t start = int64_t(f) * frameT;
            for (; wi < w.size() && w[wi].t < start + frameT; ++wi)
                for (AyChip* chip : {&full, &mixed})
                    ay_write(chip, int32_t(w[wi].t - start), uint8_t(w[wi].reg),
                             uint8_t(w[wi].value));
            std::fill(a.begin(), a.end(), int8_t(5)); // the beeper's samples beneath
            std::fill(b.begin(), b.end(), int8_t(5));
            ay_render(&full, frameT, a.data(), samples);
            if (f % 3 == 1) {
                ay_render_half(&mixed, frameT, b.data(), samples, scratch.data());
                double sumA = 0, sumB = 0;
                for (int i = 0; i < samples; ++i) {
                    sumA += a[size_t(i)];
                    sumB += b[size_t(i)];
                    if (i % 2 == 1) {
                        ASSERT_EQ(b[size_t(i)], b[size_t(i - 1)]) << "frame " << f << " " << i;
                    }
                }
                EXPECT_NEAR(sumA / samples, sumB / samples, 1.0) << "run " << run << " frame " << f;
            } else {
                ay_render(&mixed, frameT, b.data(), samples);
                ASSERT_EQ(a, b) << "run " << run << " frame " << f;
            }
        }
    }
}

TEST(AyQueue, WritesKeepTheirTimeAcrossFramesAndOverflow) {
    // A write dated after the frame's end (the frame's last instruction ran over) sounds in
    // the next frame at its place; read-back sees it at once.
    AyChip ay = freshChip(127);
    ay_write(&ay, 0, 7, 0x3F);
    ay_write(&ay, 69888 + 1040, 8, 15);
    EXPECT_EQ(ay_register(&ay, 8), 15);
    std::vector<int> first = render(ay, {}, 1, 69888, 336);
    EXPECT_EQ(first.back(), 0);
    std::vector<int> second = render(ay, {}, 1, 69888, 336);
    EXPECT_EQ(second[4], 0);
    EXPECT_EQ(second[5], 127); // 1040 = 5 x 208

    // Out-of-order times count as the previous write's.
    AyChip late = freshChip(127);
    ay_write(&late, 0, 7, 0x3F);
    ay_write(&late, 2080, 8, 15);
    ay_write(&late, 100, 8, 7);
    std::vector<int> out = render(late, {}, 1, 69888, 336);
    EXPECT_EQ(out[9], 0);
    EXPECT_EQ(out[10], dcLevel(7, 127));

    // More writes than the queue holds: the last value of every register still applies, from
    // the end of the frame, and the overflow is counted once for the frame.
    AyChip full = freshChip(127);
    ay_write(&full, 0, 7, 0x3F);
    for (int k = 0; k < AY_QUEUE_SIZE + 50; ++k)
        ay_write(&full, 10 + k * 60, uint8_t(8 + k % 2), uint8_t(k % 16));
    ay_write(&full, 69000, 10, 12);
    EXPECT_EQ(full.overflows, 1u);
    render(full, {}, 1, 69888, 336);
    std::vector<int> after = render(full, {}, 1, 69888, 336);
    int lastA = (AY_QUEUE_SIZE + 48) % 16, lastB = (AY_QUEUE_SIZE + 49) % 16;
    AyChip expect = freshChip(127);
    std::vector<int> want =
        render(expect, {{0, 7, 0x3F}, {0, 8, lastA}, {0, 9, lastB}, {0, 10, 12}}, 1, 69888, 336);
    EXPECT_EQ(after.back(), want.back());
    EXPECT_EQ(full.overflows, 1u);

    // Odd requests stay safe: no samples, one sample for a whole frame, more samples than
    // T-states.
    AyChip odd = freshChip(127);
    ay_write(&odd, 0, 7, 0x3F);
    ay_write(&odd, 0, 8, 15);
    ay_render(&odd, 69888, nullptr, 0);
    int8_t one = 0;
    ay_render(&odd, 69888, &one, 1);
    EXPECT_EQ(one, 127);
    std::vector<int8_t> many(100, 0);
    ay_render(&odd, 50, many.data(), 100);
    EXPECT_EQ(std::count(many.begin(), many.end(), int8_t(127)), 100); // empty ones: the level
}

} // namespace
