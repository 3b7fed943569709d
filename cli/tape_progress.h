#pragma once
// Loading a tape on the terminal: the tape's position shown on standard error while it loads,
// when standard error is a terminal.
#include "tape_loader.h"

#include <string>

namespace tapeloom::cli {

// Options whose progress report prints "Loading NAME: 42%" on one line of a terminal.
TapeLoadOptions terminalTapeProgress(const std::string& name);
// Ends the progress line (a line break when one was shown).
void endTapeProgress();

} // namespace tapeloom::cli
