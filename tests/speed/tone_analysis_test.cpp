// The analysers on made-up input: a tone rendered as mGBA's mixer would hand it over, then
// spoilt the ways the emulator can spoil it; frame costs with a known slow stretch.
#include "frame_costs.h"
#include "tone_analysis.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace speed;

namespace {

constexpr double kRate = 32768.0;

// Edges of a square tone: `count` edges, half-period `half` seconds, from `start`.
std::vector<double> squareTone(double start, double half, int count) {
    std::vector<double> edges;
    for (int i = 0; i < count; ++i)
        edges.push_back(start + i * half);
    return edges;
}

// The level (low 0, high 18,000) averaged over each sample's span, as a sampled box filter.
std::vector<std::int16_t> render(const std::vector<double>& edges, double seconds) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * kRate));
    std::size_t next = 0;
    bool high = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double from = static_cast<double>(i) / kRate, to = static_cast<double>(i + 1) / kRate;
        double at = from, highTime = 0;
        while (next < edges.size() && edges[next] < to) {
            if (high)
                highTime += edges[next] - at;
            at = std::max(at, edges[next]);
            high = !high;
            ++next;
        }
        if (high)
            highTime += to - at;
        samples[i] = static_cast<std::int16_t>(std::lround(18000.0 * highTime * kRate));
    }
    return samples;
}

TEST(ToneAnalysis, ATrueCaptureMatchesItsReference) {
    for (double hz : {110.0, 880.0, 3521.13}) {
        SCOPED_TRACE(hz);
        auto played = squareTone(0.1, 0.5 / hz, 2 * static_cast<int>(0.4 * hz));
        auto heard = splitSounds(audioEdges(render(played, 0.7), kRate));
        ASSERT_EQ(heard.size(), 1u);
        ToneFigures f = compareTone(played, heard[0]);
        EXPECT_NEAR(f.hz, hz, 1e-6);
        EXPECT_NEAR(f.cents, 0.0, 0.1);
        EXPECT_NEAR(f.durationError, 0.0, 0.02);
        EXPECT_EQ(f.lostEdges, 0);
        EXPECT_EQ(f.holds, 0);
        EXPECT_LT(f.jitterRms, 2.0); // the mixer's 30 us steps against 284 us periods at most
    }
}

TEST(ToneAnalysis, HoldsLostEdgesAndLongerSoundsShowInTheFigures) {
    const double half = 0.5 / 880.0;
    auto played = squareTone(0.1, half, 704);
    // The buffer runs dry once in the middle (the level held 0.95 ms), and the first four
    // edges never sound.
    auto spoilt = played;
    for (std::size_t i = 352; i < spoilt.size(); ++i)
        spoilt[i] += 0.00095;
    spoilt.erase(spoilt.begin(), spoilt.begin() + 4);
    auto heard = splitSounds(audioEdges(render(spoilt, 0.7), kRate));
    ASSERT_EQ(heard.size(), 1u);
    ToneFigures f = compareTone(played, heard[0]);
    EXPECT_EQ(f.lostEdges, 4);
    EXPECT_EQ(f.holds, 1);
    EXPECT_NEAR(f.cents, 0.0, 0.2); // the hold is left out of the pitch and the jitter
    EXPECT_NEAR(f.durationError, (0.00095 - 4 * half) / (703 * half) * 100.0, 0.05);

    // Nothing heard at all.
    ToneFigures silent = compareTone(played, {});
    EXPECT_EQ(silent.lostEdges, 704);
    EXPECT_EQ(silent.durationError, -100.0);
    EXPECT_TRUE(std::isnan(silent.cents));
}

TEST(ToneAnalysis, SoundsAreSplitAtSilencesAndEdgesInterpolated) {
    auto tones = squareTone(0.05, 0.001, 10);
    auto second = squareTone(0.5, 0.002, 6);
    tones.insert(tones.end(), second.begin(), second.end());
    auto sounds = splitSounds(tones);
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_EQ(sounds[0].size(), 10u);
    EXPECT_EQ(sounds[1].size(), 6u);

    // Edges between samples are found between them, not on the sample grid: the time between
    // two is right to a fraction of a sample.
    auto edges = audioEdges(render({0.0101234, 0.0201234, 0.0300000}, 0.04), kRate);
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_NEAR(edges[0], 0.0101234, 1 / kRate);
    EXPECT_NEAR(edges[1] - edges[0], 0.01, 0.25 / kRate);
    EXPECT_NEAR(edges[2] - edges[1], 0.0098766, 0.25 / kRate);
    EXPECT_TRUE(audioEdges(std::vector<std::int16_t>(100, 7), kRate).empty());
}

SpectrumFrameCost cost(std::uint32_t frame, std::uint32_t z80, std::uint32_t underruns = 0) {
    SpectrumFrameCost c{};
    c.frame = frame;
    c.z80 = z80;
    c.display = 1000;
    c.sound = 500;
    c.input = 10;
    c.other = 90;
    c.underruns = underruns;
    c.rows = 2;
    c.flags = frame % 4 ? 0 : SPECTRUM_FRAME_SKIPPED;
    return c;
}

TEST(FrameCosts, TheSlowestFiftyFramesAndTheLateOnes) {
    std::vector<SpectrumFrameCost> costs;
    std::uint32_t underruns = 7;
    for (std::uint32_t frame = 10; frame <= 210; ++frame) {
        bool slow = frame >= 120 && frame < 170; // fifty frames at twice the cost
        if (frame == 130 || frame == 131)
            underruns += 3;
        costs.push_back(cost(frame, slow ? 2 * 166000 : 166000, underruns));
    }
    SpeedFigures f = summarise(costs);
    EXPECT_EQ(f.frames, 200);
    EXPECT_EQ(f.slowestWindowStart, 120);
    EXPECT_NEAR(f.slowestWindow, kRealTimeFrameCycles / (2 * 166000 + 1600) * 100.0, 1e-9);
    EXPECT_NEAR(f.worstFrame, f.slowestWindow, 1e-9);
    EXPECT_GT(f.mean, f.slowestWindow);
    EXPECT_EQ(f.lateFrames, 2); // the first record only gives the count before
    EXPECT_NEAR(f.z80, 166000.0 * 250 / 200, 1e-6);
    EXPECT_DOUBLE_EQ(f.display, 1000.0);
    EXPECT_DOUBLE_EQ(f.rows, 2.0);
    EXPECT_DOUBLE_EQ(f.displayPerRow, 500.0);
    EXPECT_EQ(f.skipped, 50); // frames 12, 16, ... 208

    // Fewer frames than a window: the window is all of them.
    SpeedFigures few = summarise({cost(1, 100000), cost(2, 200000), cost(3, 300000)});
    EXPECT_NEAR(few.slowestWindow, 2 * kRealTimeFrameCycles / (500000 + 3200) * 100.0, 1e-9);

    costs.erase(costs.begin() + 5);
    EXPECT_THROW(summarise(costs), std::invalid_argument);
}

} // namespace
