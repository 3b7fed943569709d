#pragma once
// Writing a 48K or 128K machine's state as a .z80 snapshot (version 3, memory compressed), the
// form every Spectrum emulator reads and the cartridge packs.
#include "z80/z80.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tapeloom {

inline constexpr std::size_t kSnapshotRamSize = 0xC000;     // 0x4000-0xFFFF
inline constexpr std::size_t kSnapshot128RamSize = 0x20000; // the 128K's eight banks

struct MachineState {
    Z80Regs regs{};
    std::uint8_t border = 0;      // 0-7
    std::int32_t frameTState = 0; // T-states since the frame's interrupt (0 to 69,887; 70,907)
    // The 128K's: the last byte written to port 0x7FFD, the AY's register latch and registers.
    std::uint8_t port7ffd = 0;
    std::uint8_t aySelected = 0;
    std::array<std::uint8_t, 16> ayRegisters{};
};

// The .z80 file of a 48K Spectrum with this state and memory (48 KiB from 0x4000 on).
std::vector<std::uint8_t> writeZ80Snapshot(const MachineState& state,
                                           std::span<const std::uint8_t, kSnapshotRamSize> ram);

// The .z80 file of a Spectrum 128 with this state and its eight banks, bank b at
// spectrum_bank_offset(b) (banks 5, 2 and 0 first, as the emulator library keeps them).
std::vector<std::uint8_t>
writeZ80Snapshot128(const MachineState& state,
                    std::span<const std::uint8_t, kSnapshot128RamSize> ram);

// The run-length form of a memory block: runs of five or more equal bytes, and runs of two or
// more 0xED, become ED ED count byte; the byte after a lone 0xED is never the start of a run.
std::vector<std::uint8_t> compressZ80Block(std::span<const std::uint8_t> data);

} // namespace tapeloom
