#include "build_check.h"

#include "spectrum/snapshot.h"

#include <vector>

namespace tapeloom {

// The cartridge's own loader judges the bytes, as the cartridge will when the entry is started,
// with the kind the record gives it. It runs 48K snapshots and reports 128K ones as such; this
// is the one place that turns its verdict into a problem, so a machine that runs more changes
// only what is counted as one here.
SnapshotProblem snapshotProblem(std::string_view fileName, ByteView bytes) {
    std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    SnapshotState state{};
    const SnapshotKind kind = snapshotKind(fileName) == TPL_KIND_SNA ? SNAPSHOT_SNA : SNAPSHOT_Z80;
    switch (snapshot_load(bytes.data(), bytes.size(), kind, nullptr, ram.data(), &state)) {
    case SNAPSHOT_OK:
        return SnapshotProblem::None;
    case SNAPSHOT_NOT_A_SNAPSHOT:
        return SnapshotProblem::NotASnapshot;
    case SNAPSHOT_128K:
        return SnapshotProblem::Needs128K;
    case SNAPSHOT_OTHER_MACHINE:
        return SnapshotProblem::OtherMachine;
    case SNAPSHOT_CORRUPT:
        return SnapshotProblem::Damaged;
    }
    return SnapshotProblem::NotASnapshot;
}

} // namespace tapeloom
