// Where the GBA's cycles go while a workload runs: mGBA steps the ARM CPU one instruction at a
// time and every instruction's cycles are added to the emulator's symbol it belongs to. Z80
// instructions that the fast path hands to the C loop are counted by opcode as well.
#pragma once

#include <cstdint>
#include <cstdio>

#include "workloads.h"

namespace speed {

// Runs the workload's warm-up, then profiles `frames` Spectrum frames and prints the hottest
// symbols and slow-path opcodes.
void printProfile(const Workload& workload, std::FILE* out, std::uint32_t frames = 50);

} // namespace speed
