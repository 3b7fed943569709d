#pragma once
// Writing a 48K machine's state as a .z80 snapshot (version 3, memory compressed), the form
// every Spectrum emulator reads and the cartridge packs.
#include "z80/z80.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tapeloom {

inline constexpr std::size_t kSnapshotRamSize = 0xC000; // 0x4000-0xFFFF

struct MachineState {
    Z80Regs regs{};
    std::uint8_t border = 0;      // 0-7
    std::int32_t frameTState = 0; // T-states since the frame's interrupt (0 to 69,887)
};

// The .z80 file of a 48K Spectrum with this state and memory (48 KiB from 0x4000 on).
std::vector<std::uint8_t> writeZ80Snapshot(const MachineState& state,
                                           std::span<const std::uint8_t, kSnapshotRamSize> ram);

// The run-length form of a memory block: runs of five or more equal bytes, and runs of two or
// more 0xED, become ED ED count byte; the byte after a lone 0xED is never the start of a run.
std::vector<std::uint8_t> compressZ80Block(std::span<const std::uint8_t> data);

} // namespace tapeloom
