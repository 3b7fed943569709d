#pragma once
// Loading a tape into the desktop's Spectrum as a user would: power on, type LOAD "" and play
// the tape into the EAR socket, the machine running as fast as the host can. What the program
// leaves in memory when it has loaded becomes a .z80 snapshot.
//
// The signal is real, so custom and turbo loaders load as on a Spectrum. Blocks in the ROM's
// own format are handed over at once when the ROM's loader asks for one while the block's pilot
// tone plays (the result the ROM would reach, without the minutes of signal).
//
// The deck follows the program: it plays while the program reads the tape port as a loader
// does, and stops when the program leaves the tape alone for a while (a "stop the tape" block
// stops it too). A program that then waits with blocks left to play gets ENTER pressed, as a
// user answering "press any key" would; if it does not start reading the tape again, the
// snapshot is the state from before the key. Loading ends when the tape has played to its end
// and the program has run on for two seconds.
#include "tape_file.h"
#include "z80_writer.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tapeloom {

// A tape that could not be loaded: the text names the tape and says what went wrong.
struct TapeLoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Loading was cancelled through the progress report.
struct TapeLoadCancelled : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The machine a tape needs. Only the 48K machine exists on the desktop so far.
enum class TapeMachine : std::uint8_t { Spectrum48K, Spectrum128K };
// What the tape's hardware block (TZX 0x33) says: 128K when it says the program does not run on
// a 48K (or 16K) Spectrum, or lists only 128K models and uses their hardware.
TapeMachine machineForTape(const TapeFile& tape);

struct TapeLoadProgress {
    std::uint64_t played = 0;      // T-states of tape played
    std::uint64_t total = 0;       // T-states the tape plays in all
    std::size_t block = 0;         // the block playing, from 0
    std::uint64_t machineTime = 0; // T-states the Spectrum has run since it was switched on
};

struct TapeLoadOptions {
    // Called every emulated frame; returning false cancels (TapeLoadCancelled is thrown).
    std::function<bool(const TapeLoadProgress&)> progress;
    // Emulated T-states the tape may take to load, counted from the start of the tape. 0: the
    // tape's own length and three minutes more, at most an hour.
    std::uint64_t timeLimit = 0;
    // Hand ROM-format blocks over at once (off: every block plays as signal).
    bool fastRomBlocks = true;
};

struct LoadedTape {
    MachineState state;
    std::vector<std::uint8_t> ram;      // 48 KiB from 0x4000
    std::vector<std::uint8_t> snapshot; // the .z80 file of state and ram
    // How it went: for tests, benchmarks and the curious.
    std::uint64_t machineTime = 0; // T-states run from power-on to the snapshot
    unsigned fastBlocks = 0;       // blocks handed to the ROM's loader at once
    unsigned keyPresses = 0;       // ENTER pressed for a program that waited
};

// Loads `tape` on a 48K Spectrum with `rom` (16 KiB). Throws TapeLoadError when the tape needs
// another machine, the Spectrum does not take LOAD "", the ROM reports a loading error, the
// tape ends while the ROM still waits for a block, or the time limit passes.
LoadedTape loadTape(const TapeFile& tape, std::span<const std::uint8_t> rom,
                    const TapeLoadOptions& options = {});

} // namespace tapeloom
