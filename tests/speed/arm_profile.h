// Where the GBA's cycles go while a workload runs: mGBA steps the ARM CPU one instruction at a
// time and every instruction's cycles are added to the emulator's symbol it belongs to. Z80
// instructions that the fast path hands to the C loop are counted by opcode as well.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "workloads.h"

namespace speed {

struct ArmProfile {
    std::uint32_t frames = 0;
    std::uint64_t cycles = 0;                         // GBA cycles stepped
    std::map<std::string, std::uint64_t> bySymbol;    // "(BIOS)" below 4000h, "?" unknown
    std::map<std::string, std::uint64_t> slowOpcodes; // e.g. "ED 78 IN A,(C)"
};

// Runs the workload's warm-up, then steps `frames` Spectrum frames.
ArmProfile profile(const Workload& workload, std::uint32_t frames = 50);
// The hottest symbols and slow-path opcodes.
void printProfile(const std::string& name, const ArmProfile& profile, std::FILE* out);

} // namespace speed
