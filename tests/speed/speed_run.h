// A workload running on a cartridge in headless mGBA: the script's buttons applied by Spectrum
// frame, and the emulator's per-frame cost records collected as frames complete.
#pragma once

#include "harness.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "frame_costs.h"
#include "workloads.h"

namespace speed {

class WorkloadRun {
  public:
    // Builds the cartridge of the workload's one entry and starts it.
    explicit WorkloadRun(const Workload& workload);

    gbatest::Gba& gba() { return *gba_; }
    // Spectrum frames completed.
    std::uint32_t frames();
    // Holds the buttons the script gives for the current frame.
    void applyScript();
    // Reads the cost records of the frames completed since the last call.
    void collect();
    // Runs GBA frames (script and collect after each) until frame `frame` is complete.
    void runUntilFrame(std::uint32_t frame);
    // Records of the frames collected so far, consecutive, from the first frame seen.
    const std::vector<SpectrumFrameCost>& costs() const { return costs_; }
    // Records of frames first..last (both complete).
    std::vector<SpectrumFrameCost> costs(std::uint32_t first, std::uint32_t last) const;

  private:
    Workload workload_;
    std::unique_ptr<gbatest::Gba> gba_;
    std::vector<SpectrumFrameCost> costs_;
    std::uint32_t collected_ = 0; // last frame whose record was read
};

// Runs the warm-up, then the measured frames; the figures of the measured ones. With `screens`,
// saves the LCD there every 50 frames as <workload>-<frame>.png (for writing scripts).
SpeedFigures measure(const Workload& workload, const std::filesystem::path& screens = {});

} // namespace speed
