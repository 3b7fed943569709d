// Speed figures from the emulator's per-frame cost records (SpectrumFrameCost).
#pragma once

#include <cstdint>
#include <vector>

#include "play_state.h"

namespace speed {

// GBA cycles a Spectrum frame lasts in real time: 69,888 T-states at 3.5 MHz, 16,777,216 Hz.
constexpr double kRealTimeFrameCycles = 69888.0 * 16777216.0 / 3500000.0;
constexpr int kWindowFrames = 50;

inline std::uint32_t busyCycles(const SpectrumFrameCost& c) {
    return c.input + c.z80 + c.sound + c.display + c.other;
}

struct SpeedFigures {
    int frames = 0;             // frames measured
    double slowestWindow = 0;   // % of real time over the slowest 50 consecutive frames
    int slowestWindowStart = 0; // its first frame (frame numbers as the emulator counts)
    double mean = 0;            // % of real time over all measured frames
    double worstFrame = 0;      // % of real time of the single slowest frame
    int lateFrames = 0;         // frames during whose making the sound ran dry
    // Mean GBA cycles per frame, by part of the emulator's main loop.
    double input = 0, z80 = 0, sound = 0, display = 0, other = 0;
    double rows = 0;          // character rows drawn into per frame
    double displayPerRow = 0; // display cycles per row drawn into (all frames' cycles)
    int skipped = 0;          // frames whose picture was left for a later one
    int ayHalf = 0;           // frames whose AY sound was rendered at half the rate
};

// `costs` are consecutive frames; the first one only supplies the underrun count before the
// second (it is not measured). Fewer than kWindowFrames measured frames: the window is all of
// them.
SpeedFigures summarise(const std::vector<SpectrumFrameCost>& costs);

} // namespace speed
