#include "build_check.h"

namespace tapeloom {

SnapshotProblem snapshotProblem(std::string_view, ByteView) {
    return SnapshotProblem::None;
}

} // namespace tapeloom
