#pragma once
// The 48K ROM's tape loader, LD-BYTES (0x0556), seen from outside: whether the machine is in
// it, waiting for a block's leader tone, and handing it a whole block as if the block had
// played. Entry: A' the flag byte wanted, carry of F' set to load (clear to verify), IX where
// to, DE how many bytes. It returns through the address it pushed (SA/LD-RET), carry set when
// the block loaded with a good checksum.
#include "spectrum/machine.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tapeloom::rom_loader {

// The ROM carries LD-BYTES as the 48K ROM has it (OpenSE BASIC does).
bool romHasLoader(std::span<const std::uint8_t> rom);

// Loaders find their own address with CALL 0x0052, a RET in the 48K ROM. OpenSE BASIC keeps
// two spare bytes there (its interrupt routine returns at 0x0050); this puts the RET back in
// such a ROM and leaves any other ROM as it is.
void restoreReturnAt0052(std::span<std::uint8_t> rom);

// The program counter is inside LD-BYTES or the edge routines it calls.
constexpr bool inLoader(std::uint16_t pc) {
    return pc >= 0x0556 && pc < 0x0605;
}

// When the loader still looks for a leader tone (it has not begun to read the flag byte), the
// stack pointer at which it will return; empty otherwise.
std::optional<std::uint16_t> waitingForLeader(const Spectrum& machine);

enum class HandOver : std::uint8_t {
    Declined, // nothing changed: let the signal play
    Loaded,   // the bytes are in memory; the loader returns with its checksum verdict
    Skipped,  // the block's flag byte is not the one wanted: the loader returns with carry clear
};

// Gives the loader a whole block (flag byte, bytes, checksum) when it waits for a leader:
// stores the bytes and leaves the CPU where the loader checks the checksum, or where it turns
// down a wrong flag byte. Declines to verify, and declines blocks shorter than asked for: the
// signal then plays and the loader reacts to it as it would.
HandOver handOver(Spectrum& machine, std::span<const std::uint8_t> block);

} // namespace tapeloom::rom_loader
