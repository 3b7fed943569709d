#include "tone_analysis.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace speed {

std::vector<double> audioEdges(const std::vector<std::int16_t>& samples, double rate) {
    std::vector<double> edges;
    if (samples.size() < 2)
        return edges;
    auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    if (*low == *high)
        return edges;
    double middle = (static_cast<double>(*low) + *high) / 2.0;
    bool above = samples[0] > middle;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        bool now = samples[i] > middle;
        if (now == above)
            continue;
        double a = samples[i - 1], b = samples[i];
        double fraction = (middle - a) / (b - a);
        edges.push_back((static_cast<double>(i - 1) + fraction) / rate);
        above = now;
    }
    return edges;
}

std::vector<std::vector<double>> splitSounds(const std::vector<double>& edges, double gap) {
    std::vector<std::vector<double>> sounds;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (i == 0 || edges[i] - edges[i - 1] > gap)
            sounds.emplace_back();
        sounds.back().push_back(edges[i]);
    }
    return sounds;
}

ToneFigures compareTone(const std::vector<double>& reference, const std::vector<double>& heard) {
    if (reference.size() < 3)
        throw std::invalid_argument("a reference tone needs three edges");
    ToneFigures f;
    f.referenceEdges = static_cast<int>(reference.size());
    f.lostEdges = static_cast<int>(reference.size()) - static_cast<int>(heard.size());
    double referenceLength = reference.back() - reference.front();
    double referenceHalf = referenceLength / static_cast<double>(reference.size() - 1);
    f.hz = 1.0 / (2.0 * referenceHalf);
    if (heard.size() < 3) {
        f.cents = std::nan("");
        f.durationError = -100.0;
        return f;
    }
    f.durationError = ((heard.back() - heard.front()) / referenceLength - 1.0) * 100.0;

    std::vector<bool> held(heard.size() - 1);
    for (std::size_t i = 0; i + 1 < heard.size(); ++i) {
        held[i] = heard[i + 1] - heard[i] > referenceHalf + kHoldSeconds;
        f.holds += held[i];
    }
    std::vector<double> periods; // full periods without a hold in them
    for (std::size_t i = 0; i + 2 < heard.size(); ++i)
        if (!held[i] && !held[i + 1])
            periods.push_back(heard[i + 2] - heard[i]);
    if (periods.empty()) {
        f.cents = std::nan("");
        return f;
    }
    // The mean: edges are found on a grid of mixing steps, and a median would snap to it.
    double period =
        std::accumulate(periods.begin(), periods.end(), 0.0) / static_cast<double>(periods.size());
    f.cents = -1200.0 * std::log2(f.hz * period); // heard 1 / period against f.hz
    double squares = 0;
    for (double p : periods) {
        double deviation = std::fabs(p - period) / period * 100.0;
        squares += deviation * deviation;
        f.jitterMax = std::max(f.jitterMax, deviation);
    }
    f.jitterRms = std::sqrt(squares / static_cast<double>(periods.size()));
    return f;
}

} // namespace speed
