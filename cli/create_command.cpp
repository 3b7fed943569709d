// tapeloom-cli create: add the FILEs to an empty catalogue, press "Create TPL", close.
#include "build_command.h"
#include "catalogue.h"
#include "commands.h"
#include "data_items.h"
#include "errors.h"
#include "tape_progress.h"
#include "tape_snapshots.h"
#include "terminal_host.h"

#include <sys/stat.h>

#include <iostream>
#include <string>
#include <vector>

namespace tapeloom::cli {

const std::string_view kCreateHelp =
    R"(Usage: tapeloom-cli create [--yes|--no] [--force] [FILE...]

Does what the Tapeloom window, started in the current directory, does when the
FILEs (.sna or .z80 snapshots, .tap or .tzx tapes) are added to its empty list
and "Create TPL" is pressed, then closes it:
  - A tape is loaded on Tapeloom's Spectrum first (as "tapeloom-cli load" does);
    the snapshot it leaves is kept in tape-snapshots/ of the current directory,
    named after the tape (an existing different file there is never replaced:
    the new one gets -2, -3, ...), and added in the tape's place.
  - TPL.INI of the current directory gives each snapshot its display name and
    control scheme (new ones get their file name and the default scheme); the
    list is sorted by display name under your locale; the snapshot sections and
    Settings/LastDir are written back, and TPL.INI is saved at the end.
  - With FILEs: tpl.gba is written into the folder Settings/TPLBinary names, or
    into the current directory when that key is missing.
  - Without FILEs: the Pogoshell plug-in is written into <Pogoshell>/root/.plugins,
    then the theme files and the start of GO.BAT, as the settings ask.

Messages are printed as "Caption: text". When tpl.gba exists already, the
replace question is answered by
  --yes   replace it
  --no    keep it (the command ends, exit status 3)
or else asked on the terminal; without a terminal the answer is No.

Before writing, every snapshot is checked as the cartridge will load it. Files
that are not 48K snapshots, entries without keys, and an image larger than a
cartridge's 32 MiB are listed in a warning, and nothing is written (exit
status 3) unless
  --force  write the image all the same
FILEs whose names hold a line break, or begin or end with a blank, cannot be
kept in TPL.INI and are refused (exit status 1).

tpl.gba is written beside the old one and replaces it only when complete: an
error, or Ctrl+C while writing, leaves the old image as it was.

Exit status: 0 created, 1 ended in an error (or no folder set up, or
interrupted), 2 wrong arguments, 3 replace declined or the warning not forced.
)";

namespace {

struct CreateOptions {
    QuestionPolicy policy = QuestionPolicy::Ask;
    bool force = false;
    std::vector<std::filesystem::path> files;
};

bool parseOptions(std::span<char*> args, CreateOptions& options) {
    bool optionsEnded = false;
    for (std::string_view arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--yes" || arg == "-y")) {
            options.policy = QuestionPolicy::Yes;
        } else if (!optionsEnded && (arg == "--no" || arg == "-n")) {
            options.policy = QuestionPolicy::No;
        } else if (!optionsEnded && (arg == "--force" || arg == "-f")) {
            options.force = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            std::cerr << "tapeloom-cli create: unknown option '" << arg << "'\n"
                      << "Try 'tapeloom-cli create --help'.\n";
            return false;
        } else {
            options.files.push_back(std::filesystem::absolute(arg).lexically_normal());
        }
    }
    return true;
}

// The window's open dialog only returns files that exist.
bool isRegularFile(const std::filesystem::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int exitStatus(BuildOutcome outcome) {
    switch (outcome) {
    case BuildOutcome::Created:
        return kExitOk;
    case BuildOutcome::Declined:
        return kExitDeclined;
    case BuildOutcome::Failed:
    case BuildOutcome::MissingFolder:
    case BuildOutcome::Cancelled:
        break;
    }
    return kExitFailed;
}

// Each tape replaced by the snapshot it loads into.
std::vector<std::filesystem::path> withTapesLoaded(std::vector<std::filesystem::path> files,
                                                   const std::filesystem::path& startDirectory) {
    for (auto& file : files) {
        if (!isTapeFile(file))
            continue;
        try {
            file = convertTape(file, tapeSnapshotFolder(startDirectory),
                               terminalTapeProgress(file.filename().string()));
        } catch (...) {
            endTapeProgress();
            throw;
        }
        endTapeProgress();
    }
    return files;
}

} // namespace

int runCreate(std::span<char*> args) {
    CreateOptions options;
    if (!parseOptions(args, options))
        return kExitUsage;
    TerminalHost host(options.policy, std::cout, std::cerr);
    host.setForced(options.force);
    std::vector<std::filesystem::path> unfit;
    for (const auto& file : options.files) {
        if (!isRegularFile(file)) {
            host.reportError(FileError::cannotOpen(file.string()).what());
            return kExitFailed;
        }
        if (!fileNameFitsSettings(file))
            unfit.push_back(file);
    }
    if (!unfit.empty()) {
        host.reportError(refusedFilesText(unfit));
        return kExitFailed;
    }
    auto image = findDataItem("tpl");
    if (!image) {
        host.reportError("The emulator image is missing from this build");
        return kExitFailed;
    }

    try {
        Session session = openSession(host.currentDirectory());
        Catalogue catalogue;
        if (!options.files.empty()) {
            rememberSnapshotFolder(session.settings, options.files.front().parent_path().string());
            catalogue.addSnapshots(withTapesLoaded(options.files, host.currentDirectory()),
                                   session.settings, session.defaultScheme);
        }
        const InterruptGuard interrupts;
        BuildOutcome outcome = createTpl(catalogue.rows(), session.settings, host, *image);
        if (outcome == BuildOutcome::Cancelled)
            host.reportError("Interrupted: tpl.gba was left as it was");
        session.settings.save();
        return exitStatus(outcome);
    } catch (const std::exception& error) {
        host.reportError(error.what());
        return kExitFailed;
    }
}

} // namespace tapeloom::cli
