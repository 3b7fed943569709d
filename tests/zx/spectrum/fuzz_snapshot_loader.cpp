// Fuzz target: both loaders on arbitrary bytes, with the output checked to stay in its buffer.
#include "spectrum/snapshot.h"

#include <cstddef>
#include <cstdint>
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
    }
    return 0;
}
