// Fuzz target: both loaders and the screen reader on arbitrary bytes, with the output checked to
// stay in its buffer; where a whole load works, the screen read alone is the loaded one.
#include "spectrum/snapshot.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> rom(0x4000, 0xC9);
    std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    SnapshotState state;
    for (SnapshotKind kind : {SNAPSHOT_SNA, SNAPSHOT_Z80}) {
        SnapshotResult r = snapshot_load(data, size, kind, rom.data(), ram.data(), &state);
        if (r == SNAPSHOT_OK && (state.border > 7 || state.regs.im > 2))
            __builtin_trap();
        (void)snapshot_result_text(r);

        std::uint8_t screen[SNAPSHOT_SCREEN_SIZE];
        SnapshotResult s = snapshot_read_screen(data, size, kind, screen);
        // A .SNA and a version 1 .Z80 hold one copy of the screen (a paged file may repeat page 8).
        bool single = kind == SNAPSHOT_SNA || (size >= 8 && (data[6] | data[7]) != 0);
        if (r == SNAPSHOT_OK && single &&
            (s != SNAPSHOT_OK || std::memcmp(screen, ram.data(), SNAPSHOT_SCREEN_SIZE) != 0))
            __builtin_trap();
    }
    return 0;
}
