#include "tone_reference.h"

#include "cartridge.h"
#include "spectrum/beeper.h"
#include "spectrum/machine.h"

#include <functional>
#include <stdexcept>

namespace speed {
namespace {

// Runs the snapshot frame by frame, handing each frame's machine to `frameDone`.
void runReference(const std::vector<std::uint8_t>& sna, std::uint32_t frames, const StopAt* until,
                  const std::function<void(std::uint32_t, const Spectrum&)>& frameDone) {
    auto rom = spectest::readBytes(TAPELOOM_OPENSE_ROM);
    if (rom.size() != SPECTRUM_ROM_SIZE)
        throw std::runtime_error("the 48K ROM is not 16 KiB");
    std::vector<std::uint8_t> ram(0xC000);
    std::vector<std::int32_t> edges(BEEPER_MAX_EDGES);
    auto machine = std::make_unique<Spectrum>();
    spectrum_init(machine.get(), rom.data(), ram.data(), edges.data());
    if (spectrum_load(machine.get(), sna.data(), static_cast<std::uint32_t>(sna.size()),
                      SNAPSHOT_SNA) != SNAPSHOT_OK)
        throw std::runtime_error("the reference machine cannot load the snapshot");
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        spectrum_run_frame(machine.get());
        if (machine->edge_count >= BEEPER_MAX_EDGES)
            throw std::runtime_error("more beeper edges in a frame than the reference keeps");
        frameDone(frame, *machine);
        if (until && ram[until->address - 0x4000u] == until->value)
            break;
    }
}

} // namespace

std::vector<double> referenceEdges(const std::vector<std::uint8_t>& sna, std::uint32_t frames,
                                   const StopAt* until) {
    std::vector<double> seconds;
    runReference(sna, frames, until, [&seconds](std::uint32_t frame, const Spectrum& s) {
        for (std::uint32_t i = 0; i < std::uint32_t{s.edge_count}; ++i)
            seconds.push_back((frame * double(SPECTRUM_FRAME_TSTATES) + s.edges[i]) / 3500000.0);
    });
    return seconds;
}

std::vector<std::int16_t> referenceSamples(const std::vector<std::uint8_t>& sna,
                                           std::uint32_t frames, int samplesPerFrame,
                                           const StopAt* until) {
    std::vector<std::int16_t> samples;
    std::vector<std::int8_t> frame(static_cast<std::size_t>(samplesPerFrame));
    BeeperGrid grid = beeper_grid(SPECTRUM_FRAME_TSTATES, samplesPerFrame);
    runReference(sna, frames, until, [&](std::uint32_t, const Spectrum& s) {
        beeper_render(s.frame_level, s.edges, static_cast<int>(s.edge_count), &grid, frame.data());
        samples.insert(samples.end(), frame.begin(), frame.end());
    });
    return samples;
}

} // namespace speed
