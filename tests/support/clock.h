#pragma once
// Clocks for the figures the benchmarks and speed tests print: wall time on the host, and the
// emulated GBA's cycles set against a real Spectrum's time.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>

namespace tapeloom::test {

// The best of a few runs of `work`, in milliseconds of wall time.
inline double bestMilliseconds(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

inline constexpr double kGbaCyclesPerSecond = 16777216.0;
// A 48K Spectrum frame: 69,888 T-states at 3.5 MHz.
inline constexpr double kSpectrumFrameSeconds = 69888.0 / 3500000.0;

// How fast `frames` Spectrum frames ran in `gbaCycles` GBA cycles, in percent of a real Spectrum.
inline double spectrumSpeedPercent(std::uint64_t frames, std::uint64_t gbaCycles) {
    const double spectrumSeconds = static_cast<double>(frames) * kSpectrumFrameSeconds;
    return spectrumSeconds / (static_cast<double>(gbaCycles) / kGbaCyclesPerSecond) * 100.0;
}

} // namespace tapeloom::test
