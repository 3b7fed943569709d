#include "frame_costs.h"

#include <algorithm>
#include <stdexcept>

namespace speed {

SpeedFigures summarise(const std::vector<SpectrumFrameCost>& costs) {
    if (costs.size() < 2)
        throw std::invalid_argument("speed figures need at least two frames");
    SpeedFigures f;
    f.frames = static_cast<int>(costs.size() - 1);
    double total = 0;
    std::uint32_t worst = 0;
    for (std::size_t i = 1; i < costs.size(); ++i) {
        const SpectrumFrameCost& c = costs[i];
        if (c.frame != costs[i - 1].frame + 1)
            throw std::invalid_argument("frame costs are not consecutive");
        std::uint32_t busy = busyCycles(c);
        total += busy;
        worst = std::max(worst, busy);
        f.input += c.input;
        f.z80 += c.z80;
        f.sound += c.sound;
        f.display += c.display;
        f.other += c.other;
        f.rows += c.rows;
        f.skipped += (c.flags & SPECTRUM_FRAME_SKIPPED) != 0;
        f.ayHalf += (c.flags & SPECTRUM_FRAME_AY_HALF) != 0;
        if (c.underruns != costs[i - 1].underruns)
            ++f.lateFrames;
    }
    if (f.rows > 0)
        f.displayPerRow = f.display / f.rows;
    for (double* part : {&f.input, &f.z80, &f.sound, &f.display, &f.other, &f.rows})
        *part /= f.frames;
    f.mean = f.frames * kRealTimeFrameCycles / total * 100.0;
    f.worstFrame = kRealTimeFrameCycles / worst * 100.0;

    int window = std::min(kWindowFrames, f.frames);
    double sum = 0;
    for (int i = 1; i <= window; ++i)
        sum += busyCycles(costs[static_cast<std::size_t>(i)]);
    double slowest = sum;
    std::size_t slowestFirst = 1;
    for (std::size_t last = static_cast<std::size_t>(window) + 1; last < costs.size(); ++last) {
        sum += busyCycles(costs[last]);
        sum -= busyCycles(costs[last - static_cast<std::size_t>(window)]);
        if (sum > slowest) {
            slowest = sum;
            slowestFirst = last - static_cast<std::size_t>(window) + 1;
        }
    }
    f.slowestWindow = window * kRealTimeFrameCycles / slowest * 100.0;
    f.slowestWindowStart = static_cast<int>(costs[slowestFirst].frame);
    return f;
}

} // namespace speed
