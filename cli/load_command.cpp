// tapeloom-cli load: a tape loaded on Tapeloom's Spectrum, written as a .z80 snapshot.
#include "commands.h"
#include "errors.h"
#include "tape_progress.h"
#include "tape_snapshots.h"
#include "terminal_host.h"

#include <filesystem>
#include <iostream>
#include <optional>

namespace tapeloom::cli {

const std::string_view kLoadHelp =
    R"(Usage: tapeloom-cli load TAPE --out FILE [--force]

Loads the tape TAPE (.tap or .tzx) on Tapeloom's own Spectrum 48K as a user
would: LOAD "" is typed and the tape plays into the EAR socket, the machine
running as fast as it can (blocks in the ROM's format are taken at once). When
the tape has ended and the program runs, its state is written to FILE as a .z80
snapshot (version 3). The same happens when a tape is added to the catalogue.

A program that stops reading the tape with blocks left (a "press any key" in
the middle) gets ENTER pressed; one that does not then read the tape again has
loaded all it wanted. Loading gives up after the tape's length and three
minutes of Spectrum time.

  --out FILE  the snapshot to write; an existing FILE is kept
  --force     replace FILE when it exists

Exit status: 0 written, 1 ended in an error, 2 wrong arguments.
)";

int runLoad(std::span<char*> args) {
    std::optional<std::filesystem::path> tape;
    std::optional<std::filesystem::path> out;
    bool force = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (!optionsEnded && arg == "--force") {
            force = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            std::cerr << "tapeloom-cli load: unknown option '" << arg << "'\n"
                      << "Try 'tapeloom-cli load --help'.\n";
            return kExitUsage;
        } else if (!tape) {
            tape = arg;
        } else {
            std::cerr << "tapeloom-cli load: one TAPE only\n";
            return kExitUsage;
        }
    }
    if (!tape || !out) {
        std::cerr << "tapeloom-cli load: TAPE and --out FILE are needed\n"
                  << "Try 'tapeloom-cli load --help'.\n";
        return kExitUsage;
    }
    TerminalHost host(QuestionPolicy::No, std::cout, std::cerr);
    try {
        if (!force && std::filesystem::exists(std::filesystem::symlink_status(*out)))
            throw FileError(out->string() + ": File exists");
        TapeFile file = TapeFile::read(*tape);
        LoadedTape loaded = loadTape(file, tapeRom(), terminalTapeProgress(file.name()));
        endTapeProgress();
        writeNewFile(*out, loaded.snapshot, force);
        return kExitOk;
    } catch (const std::exception& error) {
        endTapeProgress();
        host.reportError(error.what());
        return kExitFailed;
    }
}

} // namespace tapeloom::cli
