// Tones heard against tones played: the beeper edges of a reference run and the edges found in
// the captured sound, split into sounds at silences, and compared sound by sound.
#pragma once

#include <cstdint>
#include <vector>

namespace speed {

// Times (seconds from the first sample) at which the signal crosses the middle between its
// lowest and highest value, interpolated between samples.
std::vector<double> audioEdges(const std::vector<std::int16_t>& samples, double rate);

// Edges grouped into sounds: a silence longer than `gap` seconds separates two.
std::vector<std::vector<double>> splitSounds(const std::vector<double>& edges, double gap = 0.1);

struct ToneFigures {
    double hz = 0;            // the reference's frequency (mean period)
    double cents = 0;         // pitch heard (mean period without dropouts) against it
    double durationError = 0; // % of the reference's first-to-last edge time
    int holds = 0;            // half-periods heard at least kHoldSeconds longer than played
    double jitterRms = 0;     // % of that mean period, over the periods without a hold
    double jitterMax = 0;
    int dropouts = 0; // filled in by the caller: times the sound buffer ran dry during the tone
    int referenceEdges = 0;
    int lostEdges = 0; // reference edges minus edges heard (negative: extra edges)
};

// A half-period this much longer than the reference's is a hold: the sound stopped moving (the
// buffer ran dry, or edges were lost). Well above the timing noise of mGBA's mixing steps.
constexpr double kHoldSeconds = 0.0004;

ToneFigures compareTone(const std::vector<double>& reference, const std::vector<double>& heard);

} // namespace speed
