// Prints the speed suite's table: every workload run in mGBA, its slowest 50-frame window, late
// frames and GBA cycles per Spectrum frame by part of the emulator's main loop.
//   speed_table [--markdown] [--profile] [--screens DIR] [--draw-every N] [--list] [WORKLOAD...]
// --profile steps the ARM CPU over 50 frames of each workload instead and prints where the
// cycles go; --screens saves the LCD every 50 frames into DIR; --draw-every N draws the picture
// of every N-th frame only (1: every frame, never left for later); --list names the workloads.
#include "arm_profile.h"
#include "speed_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

using namespace speed;

namespace {

void printHeader(bool markdown) {
    if (markdown) {
        std::printf("| workload | slowest 50 | mean | worst frame | late | Z80 | display | sound | "
                    "input | other | rows | per row | skipped | AY half |\n");
        std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    } else {
        std::printf("%-13s %10s %7s %7s %5s %8s %8s %8s %7s %7s %5s %7s %7s %7s\n", "workload",
                    "slowest50", "mean", "worst", "late", "Z80", "display", "sound", "input",
                    "other", "rows", "per row", "skipped", "AY half");
    }
}

void printRow(const std::string& name, const SpeedFigures& f, bool markdown) {
    auto k = [](double cycles) { return cycles / 1000.0; };
    if (markdown)
        std::printf("| %s | %.1f %% | %.1f %% | %.1f %% | %d | %.1f k | %.1f k | %.1f k | %.1f k | "
                    "%.1f k | %.1f | %.1f k | %d | %d |\n",
                    name.c_str(), f.slowestWindow, f.mean, f.worstFrame, f.lateFrames, k(f.z80),
                    k(f.display), k(f.sound), k(f.input), k(f.other), f.rows, k(f.displayPerRow),
                    f.skipped, f.ayHalf);
    else
        std::printf("%-13s %9.1f%% %6.1f%% %6.1f%% %5d %7.1fk %7.1fk %7.1fk %6.1fk %6.1fk %5.1f "
                    "%6.1fk %7d %7d\n",
                    name.c_str(), f.slowestWindow, f.mean, f.worstFrame, f.lateFrames, k(f.z80),
                    k(f.display), k(f.sound), k(f.input), k(f.other), f.rows, k(f.displayPerRow),
                    f.skipped, f.ayHalf);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    bool markdown = false, profiling = false, list = false;
    std::uint32_t drawEvery = 0;
    std::filesystem::path screens;
    std::vector<std::string> only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--markdown"))
            markdown = true;
        else if (!std::strcmp(argv[i], "--profile"))
            profiling = true;
        else if (!std::strcmp(argv[i], "--list"))
            list = true;
        else if (!std::strcmp(argv[i], "--screens") && i + 1 < argc)
            screens = argv[++i];
        else if (!std::strcmp(argv[i], "--draw-every") && i + 1 < argc)
            drawEvery = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (argv[i][0] == '-') {
            std::fprintf(
                stderr,
                "usage: %s [--markdown] [--profile] [--screens DIR] [--draw-every N] [--list] "
                "[WORKLOAD...]\n",
                argv[0]);
            return 2;
        } else
            only.emplace_back(argv[i]);
    }
    auto all = workloads();
    std::vector<Workload> chosen;
    if (only.empty())
        chosen = all;
    for (const std::string& name : only) {
        const Workload* w = findWorkload(all, name);
        if (!w) {
            std::fprintf(stderr, "no workload %s; there are:", name.c_str());
            for (const Workload& known : all)
                std::fprintf(stderr, " %s", known.name.c_str());
            std::fprintf(stderr, "\n");
            return 2;
        }
        chosen.push_back(*w);
    }
    for (Workload& w : chosen)
        w.drawEvery = drawEvery;
    if (list) {
        for (const Workload& w : chosen)
            std::printf("%-13s frames %4u-%-4u %s\n", w.name.c_str(), w.warmup + 1,
                        w.warmup + w.frames, w.what.c_str());
        return 0;
    }
    int failed = 0;
    if (!profiling)
        printHeader(markdown);
    for (const Workload& w : chosen) {
        try {
            if (profiling) {
                printProfile(w.name, profile(w), stdout);
            } else {
                printRow(w.name, measure(w, screens), markdown);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", w.name.c_str(), e.what());
            ++failed;
        }
    }
    return failed ? 1 : 0;
}
