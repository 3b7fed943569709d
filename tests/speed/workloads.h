// The speed suite's workloads: our benchmark programs and the shared games, each with the keys
// its catalogue entry maps and the buttons pressed along the way.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace speed {

// From Spectrum frame `frame` on, the buttons held (KEYINPUT bits) are `buttons`.
struct KeyStep {
    std::uint32_t frame;
    std::uint16_t buttons;
};

struct Workload {
    std::string name;
    std::string what;
    std::filesystem::path file; // a .bin (code loaded at 8000h and started there) or a snapshot
    std::array<std::string, 10> keys{}; // Button A, B, Select, Start, Right, Left, Up, Down, R, L
    std::vector<KeyStep> script;
    std::uint32_t warmup = 50;   // frames run before the measure
    std::uint32_t frames = 400;  // frames measured
    std::uint32_t drawEvery = 0; // pictures: 0 as the emulator chooses, n every n-th frame only
};

// The buttons held at `frame`: those of the step with the latest start at or before it (the
// later one in the list when two start together).
std::uint16_t buttonsAt(const std::vector<KeyStep>& script, std::uint32_t frame);

// Every workload, in table order.
std::vector<Workload> workloads();
// nullptr when there is none of that name.
const Workload* findWorkload(const std::vector<Workload>& all, const std::string& name);

// A program of ours as a snapshot: the code at 8000h, SP FF00h, IM 1, IY at the system
// variables, interrupts off, border white. Written into the test's temporary folder.
std::filesystem::path programSnapshot(const std::filesystem::path& binary);

} // namespace speed
