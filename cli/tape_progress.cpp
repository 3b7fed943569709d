#include "tape_progress.h"

#include <unistd.h>

#include <iostream>
#include <memory>

namespace tapeloom::cli {

namespace {
bool gShown = false;
}

TapeLoadOptions terminalTapeProgress(const std::string& name) {
    TapeLoadOptions options;
    if (::isatty(STDERR_FILENO) == 0)
        return options;
    auto last = std::make_shared<int>(-1);
    options.progress = [name, last](const TapeLoadProgress& progress) {
        int percent =
            progress.total == 0 ? 100 : static_cast<int>(progress.played * 100 / progress.total);
        if (percent != *last) {
            *last = percent;
            gShown = true;
            std::cerr << "\rLoading " << name << ": " << percent << "%" << std::flush;
        }
        return true;
    };
    return options;
}

void endTapeProgress() {
    if (gShown)
        std::cerr << "\n";
    gShown = false;
}

} // namespace tapeloom::cli
