// Fuzz target: the loaders on arbitrary bytes, for the 48K alone and for a caller that runs the
// 128K too, and the screen reader, with the output checked to stay in its buffer, and where a
// whole 48K load works, the screen read alone is the loaded one; then the same bytes as a
// cartridge's last entry, whose size nobody knows: at the start of a buffer exactly as long as
// the largest snapshot, with a size far beyond it. Reading past that bound is an overflow the
// sanitizer reports.
#include "spectrum/snapshot.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> rom(0x4000, 0xC9);
    static std::vector<std::uint8_t> lastEntry(SNAPSHOT_LARGEST, 0);
    std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    std::vector<std::uint8_t> ram128(SPECTRUM_128_RAM_SIZE);
    SnapshotState state;
    const std::size_t copied = std::min<std::size_t>(size, lastEntry.size());
    if (copied > 0)
        std::memcpy(lastEntry.data(), data, copied);
    for (SnapshotKind kind : {SNAPSHOT_SNA, SNAPSHOT_Z80}) {
        SnapshotResult r = snapshot_load(data, size, kind, rom.data(), ram.data(), &state);
        if (r == SNAPSHOT_OK && (state.border > 7 || state.regs.im > 2 || state.model != 0))
            __builtin_trap();
        std::uint8_t screen[SNAPSHOT_SCREEN_SIZE];
        SnapshotResult s = snapshot_read_screen(data, size, kind, screen);
        // A .SNA and a version 1 .Z80 hold one copy of the screen (a paged file may repeat page 8).
        bool single = kind == SNAPSHOT_SNA || (size >= 8 && (data[6] | data[7]) != 0);
        if (r == SNAPSHOT_OK && single &&
            (s != SNAPSHOT_OK || std::memcmp(screen, ram.data(), SNAPSHOT_SCREEN_SIZE) != 0))
            __builtin_trap();

        (void)snapshot_result_text(r);
        r = snapshot_load_128(data, size, kind, rom.data(), ram128.data(), &state);
        if (r == SNAPSHOT_OK && (state.border > 7 || state.regs.im > 2 || state.model > 1))
            __builtin_trap();
        if (r == SNAPSHOT_128K) // only the 48K loader says so
            __builtin_trap();
        (void)snapshot_result_text(r);

        r = snapshot_load(lastEntry.data(), SIZE_MAX / 2, kind, rom.data(), ram.data(), &state);
        (void)snapshot_result_text(r);
        r = snapshot_load_128(lastEntry.data(), SIZE_MAX / 2, kind, rom.data(), ram128.data(),
                              &state);
        (void)snapshot_result_text(r);
        (void)snapshot_read_screen(lastEntry.data(), SIZE_MAX / 2, kind, screen);
    }
    std::memset(lastEntry.data(), 0, copied);
    return 0;
}
