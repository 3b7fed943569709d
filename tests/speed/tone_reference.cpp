#include "tone_reference.h"

#include "cartridge.h"
#include "spectrum/machine.h"

#include <stdexcept>

namespace speed {

std::vector<double> referenceEdges(const std::vector<std::uint8_t>& sna, std::uint32_t frames,
                                   const StopAt* until) {
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
    std::vector<double> seconds;
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        spectrum_run_frame(machine.get());
        if (machine->edge_count >= BEEPER_MAX_EDGES)
            throw std::runtime_error("more beeper edges in a frame than the reference keeps");
        for (std::uint32_t i = 0; i < machine->edge_count; ++i)
            seconds.push_back((frame * double(SPECTRUM_FRAME_TSTATES) + edges[i]) / 3500000.0);
        if (until && ram[until->address - 0x4000u] == until->value)
            break;
    }
    return seconds;
}

} // namespace speed
