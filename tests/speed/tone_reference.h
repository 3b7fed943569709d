// What a real Spectrum's beeper does running a snapshot: the host build of the emulator's
// machine (the portable C core, exact to the T-state) runs it frame by frame, interrupts
// included, with the 48K ROM the cartridge carries.
#pragma once

#include <cstdint>
#include <vector>

namespace speed {

// Stop early once `address` holds `value` in memory.
struct StopAt {
    std::uint16_t address = 0;
    std::uint8_t value = 0;
};

// Seconds from the snapshot's start at which the beeper level changed, over `frames` frames.
std::vector<double> referenceEdges(const std::vector<std::uint8_t>& sna, std::uint32_t frames,
                                   const StopAt* until = nullptr);

// The same run as the cartridge's sound synthesis makes it from those exact edges:
// `samplesPerFrame` samples a frame (beeper_render), widened to 16 bits. Their rate in the
// Spectrum's time is samplesPerFrame x 3,500,000 / 69,888 Hz.
std::vector<std::int16_t> referenceSamples(const std::vector<std::uint8_t>& sna,
                                           std::uint32_t frames, int samplesPerFrame,
                                           const StopAt* until = nullptr);

} // namespace speed
