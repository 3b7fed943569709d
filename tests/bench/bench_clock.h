#pragma once
// Wall-clock timing for the benchmarks: the best of a few runs, in milliseconds.
#include <algorithm>
#include <chrono>
#include <functional>

namespace tapeloom::bench {

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

} // namespace tapeloom::bench
