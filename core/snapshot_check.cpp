#include "build_check.h"

#include "spectrum/snapshot.h"

#include <vector>

namespace tapeloom {

// The cartridge's own loader judges the bytes, as the cartridge will when the entry is started,
// with the kind the record gives it. It runs 48K and 128K snapshots; this is the one place that
// turns its verdict into a problem, so a machine that runs more changes only what is counted as
// one here.
SnapshotProblem snapshotProblem(std::string_view fileName, ByteView bytes) {
    std::vector<std::uint8_t> ram(SPECTRUM_128_RAM_SIZE);
    SnapshotState state{};
    const SnapshotKind kind = snapshotKind(fileName) == TPL_KIND_SNA ? SNAPSHOT_SNA : SNAPSHOT_Z80;
    switch (snapshot_load_128(bytes.data(), bytes.size(), kind, nullptr, ram.data(), &state)) {
    case SNAPSHOT_OK:
        return SnapshotProblem::None;
    case SNAPSHOT_NOT_A_SNAPSHOT:
        return SnapshotProblem::NotASnapshot;
    case SNAPSHOT_128K: // only a loader for the 48K alone says so
    case SNAPSHOT_OTHER_MACHINE:
    case SNAPSHOT_PLUS3:
    case SNAPSHOT_TRDOS:
        return SnapshotProblem::OtherMachine;
    case SNAPSHOT_CORRUPT:
        return SnapshotProblem::Damaged;
    }
    return SnapshotProblem::NotASnapshot;
}

} // namespace tapeloom
