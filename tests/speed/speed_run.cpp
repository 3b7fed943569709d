#include "speed_run.h"

#include "cartridge.h"

#include <cstring>
#include <stdexcept>

namespace speed {

WorkloadRun::WorkloadRun(const Workload& workload) : workload_(workload) {
    gba_ = std::make_unique<gbatest::Gba>(
        spectest::catalogueImage({{workload.name, workload.file, workload.keys}}));
    gba_->failOnGameError(true);
    if (!spectest::startEntry(*gba_, 0))
        throw std::runtime_error(workload.name + ": the snapshot did not start");
    gba_->write32(SPECTRUM_STATE_ADDRESS + offsetof(SpectrumState, display_every),
                  workload.drawEvery);
    collect();
}

std::uint32_t WorkloadRun::frames() {
    return gba_->read32(SPECTRUM_STATE_ADDRESS + offsetof(SpectrumState, frames));
}

void WorkloadRun::applyScript() {
    gba_->setKeys(buttonsAt(workload_.script, frames()));
}

void WorkloadRun::collect() {
    std::uint32_t done = frames();
    if (done <= collected_)
        return;
    std::uint32_t ring =
        gba_->read32(SPECTRUM_STATE_ADDRESS + offsetof(SpectrumState, frame_costs));
    std::size_t available = 0;
    const std::uint8_t* base = gba_->memory(ring, &available);
    if (!base || available < SPECTRUM_COST_FRAMES * sizeof(SpectrumFrameCost))
        throw std::runtime_error("the frame cost ring is not in memory");
    if (collected_ != 0 && done - collected_ >= SPECTRUM_COST_FRAMES)
        throw std::runtime_error(workload_.name + ": frame cost records were overwritten");
    std::uint32_t first = collected_ != 0                    ? collected_ + 1
                          : done >= SPECTRUM_COST_FRAMES - 2 ? done - (SPECTRUM_COST_FRAMES - 2)
                                                             : 1;
    for (std::uint32_t frame = first; frame <= done; ++frame) {
        SpectrumFrameCost record;
        std::memcpy(&record, base + (frame % SPECTRUM_COST_FRAMES) * sizeof record, sizeof record);
        if (record.frame != frame) // the frame is counted but its record not yet written
            break;
        if (!costs_.empty() && costs_.back().frame + 1 != frame)
            costs_.clear(); // a gap (the snapshot was reset): start again
        costs_.push_back(record);
        collected_ = frame;
    }
}

void WorkloadRun::runUntilFrame(std::uint32_t frame) {
    // Bounded: a Spectrum frame that takes ten GBA frames is far slower than anything seen.
    int limit = static_cast<int>(frame - std::min(frame, collected_)) * 10 + 120;
    for (int i = 0; collected_ < frame; ++i) {
        if (i == limit)
            throw std::runtime_error(workload_.name + ": the emulator stopped making frames");
        applyScript();
        gba_->runFrames(1);
        collect();
    }
}

std::vector<SpectrumFrameCost> WorkloadRun::costs(std::uint32_t first, std::uint32_t last) const {
    std::vector<SpectrumFrameCost> out;
    for (const SpectrumFrameCost& c : costs_)
        if (c.frame >= first && c.frame <= last)
            out.push_back(c);
    if (out.size() != last - first + 1)
        throw std::runtime_error(workload_.name + ": frames missing from the cost records");
    return out;
}

SpeedFigures measure(const Workload& workload, const std::filesystem::path& screens) {
    WorkloadRun run(workload);
    std::uint32_t last = workload.warmup + workload.frames;
    if (!screens.empty()) {
        for (std::uint32_t frame = 50; frame <= last; frame += 50) {
            run.runUntilFrame(frame);
            run.gba().writePng(screens / (workload.name + "-" + std::to_string(frame) + ".png"));
        }
    }
    run.runUntilFrame(last);
    return summarise(run.costs(workload.warmup, last));
}

} // namespace speed
