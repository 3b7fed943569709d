// What a real Spectrum's beeper does running a snapshot: the host build of the emulator's
// machine (the portable C core, exact to the T-state) runs it frame by frame, interrupts
// included, with the 48K ROM the cartridge carries.
#pragma once

#include <cstdint>
#include <vector>

namespace speed {

// Seconds from the snapshot's start at which the beeper level changed, over `frames` frames.
// Stops early once `until` (address, value) holds in memory, when given.
struct StopAt {
    std::uint16_t address = 0;
    std::uint8_t value = 0;
};
std::vector<double> referenceEdges(const std::vector<std::uint8_t>& sna, std::uint32_t frames,
                                   const StopAt* until = nullptr);

} // namespace speed
