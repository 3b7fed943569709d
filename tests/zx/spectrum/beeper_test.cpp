// The beeper's samples against the mean level worked out directly, sample by sample, for edge
// lists that stress the renderer's runs: whole samples filled at once, many edges in one sample,
// edges on sample boundaries, at the frame's ends, out of order or past the end, and a buffer
// that starts off a word boundary.
#include "spectrum/beeper.h"
#include "spectrum/machine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kFull = 2 * BEEPER_AMPLITUDE;

// The mean level over each sample's share of the frame, in doubles.
std::vector<double> meanLevels(int level, std::vector<std::int32_t> edges, std::int32_t frame,
                               int samples) {
    std::int32_t last = 0;
    for (auto& e : edges) { // as the renderer takes them: inside the frame, never backwards
        e = std::max(std::min(std::max(e, 0), frame), last);
        last = e;
    }
    std::vector<double> out(samples);
    double span = double(frame) / samples;
    for (int k = 0; k < samples; ++k) {
        double from = k * span, to = from + span, high = 0, at = 0;
        int l = level;
        for (std::size_t i = 0; i <= edges.size(); ++i) {
            double next = i < edges.size() ? edges[i] : frame;
            double a = std::max(at, from), b = std::min(next, to);
            if (l && b > a)
                high += b - a;
            at = next;
            l ^= 1;
        }
        out[k] = kFull * high / span;
    }
    return out;
}

void expectRendered(int level, const std::vector<std::int32_t>& edges, std::int32_t frame,
                    int samples) {
    std::vector<std::int8_t> buffer(samples + 8, 0x55);
    std::int8_t* out = buffer.data() + 3; // off a word boundary, guards on both sides
    BeeperGrid grid = beeper_grid(frame, samples);
    beeper_render(level, edges.data(), static_cast<int>(edges.size()), &grid, out);
    auto expected = meanLevels(level, edges, frame, samples);
    int wrong = 0;
    for (int k = 0; k < samples; ++k)
        if (std::fabs(out[k] - expected[k]) > 1.0 && ++wrong <= 5)
            ADD_FAILURE() << "sample " << k << ": " << int(out[k]) << ", mean " << expected[k];
    EXPECT_EQ(wrong, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(buffer[i], 0x55);
    for (int i = 3 + samples; i < samples + 8; ++i)
        EXPECT_EQ(buffer[i], 0x55) << "written past the frame's samples";
}

TEST(SpectrumBeeper, SteadyLevelsAreSilenceAndTheFullLevel) {
    std::vector<std::int8_t> out(654);
    BeeperGrid grid = beeper_grid(SPECTRUM_FRAME_TSTATES, 654);
    const std::int32_t none[1] = {0};
    beeper_render(0, none, 0, &grid, out.data());
    for (auto v : out)
        ASSERT_EQ(v, 0); // no offset while the beeper is quiet
    beeper_render(1, none, 0, &grid, out.data());
    for (auto v : out)
        ASSERT_EQ(v, kFull);
}

TEST(SpectrumBeeper, EachSampleIsTheMeanLevelOverItsShare) {
    const std::int32_t frame = SPECTRUM_FRAME_TSTATES;
    for (int samples : {654, 655, 336, 7}) {
        SCOPED_TRACE(samples);
        // A square wave of 497 T-states per half-period, two edges a sample apart or less.
        std::vector<std::int32_t> square;
        for (std::int32_t t = 100; t < frame; t += 497)
            square.push_back(t);
        expectRendered(0, square, frame, samples);
        expectRendered(1, square, frame, samples);
        // A slow one: runs of many whole samples between edges.
        expectRendered(1, {15909, 31818, 47727, 63636}, frame, samples);
        // A hundred edges inside one sample, then a lone edge (on a boundary at 336 samples).
        std::vector<std::int32_t> burst;
        for (int i = 0; i < 100; ++i)
            burst.push_back(5000 + i);
        burst.push_back(40 * 208);
        expectRendered(1, burst, frame, samples);
        // At the frame's start and end, out of order, before it and past it.
        expectRendered(0, {0, 10, 5, -3, frame - 1, frame, frame + 7, frame + 20}, frame, samples);
    }
    // The 128K's frame.
    expectRendered(0, {1000, 20000, 20001, 70907}, 70908, 655);
}

} // namespace
