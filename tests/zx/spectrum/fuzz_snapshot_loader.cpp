// Fuzz target: the loaders on arbitrary bytes, for the 48K alone and for a caller that runs the
// 128K too, with the output checked to stay in its buffer.
#include "spectrum/snapshot.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> rom(0x4000, 0xC9);
    std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    std::vector<std::uint8_t> ram128(SPECTRUM_128_RAM_SIZE);
    SnapshotState state;
    for (SnapshotKind kind : {SNAPSHOT_SNA, SNAPSHOT_Z80}) {
        SnapshotResult r = snapshot_load(data, size, kind, rom.data(), ram.data(), &state);
        if (r == SNAPSHOT_OK && (state.border > 7 || state.regs.im > 2 || state.model != 0))
            __builtin_trap();
        (void)snapshot_result_text(r);
        r = snapshot_load_128(data, size, kind, rom.data(), ram128.data(), &state);
        if (r == SNAPSHOT_OK && (state.border > 7 || state.regs.im > 2 || state.model > 1))
            __builtin_trap();
        if (r == SNAPSHOT_128K) // only the 48K loader says so
            __builtin_trap();
        (void)snapshot_result_text(r);
    }
    return 0;
}
