// The tone program (programs/tones.asm) on the cartridge in mGBA, its sound captured and
// compared with a reference run, sound by sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tone_analysis.h"

namespace speed {

// Samples the cartridge makes a frame (32,768 Hz at the 48K's 69,888 T-states).
constexpr int kCartridgeSamplesPerFrame = 654;

struct HeardTone {
    std::string name;
    ToneFigures figures; // dropouts: underruns while frames 2..n of the tone were made
};

struct ToneRun {
    std::vector<HeardTone> tones;
    int referenceSounds = 0, heardSounds = 0;
    std::uint32_t underruns = 0; // the cartridge's count while the program ran
};

// Runs the whole program (about nine seconds of Spectrum time).
ToneRun runTones();

// The program's sound as the cartridge synthesises it from exact edges (the reference machine's,
// rendered by beeper_render at `samplesPerFrame` samples a frame) against the same edges: what
// the synthesis alone loses. No dropouts here.
ToneRun synthesiseTones(int samplesPerFrame);

} // namespace speed
