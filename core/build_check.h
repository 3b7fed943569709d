#pragma once
// What "Create TPL" checks before it writes a catalogue image: that each snapshot is one the
// cartridge runs, that each entry has keys, and that the image fits a cartridge. Every problem
// goes into one warning, and the user decides whether to go on.
#include "byte_files.h"
#include "catalogue.h"
#include "data_items.h"
#include "image_writer.h"
#include "settings_file.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom {

// The ROM space of a GBA cartridge; the cartridge lists no entry whose data lies beyond it.
inline constexpr std::uint64_t kCartridgeSize = 32ull << 20;

enum class SnapshotProblem {
    None,
    NotASnapshot, // empty, cut short, or no snapshot at all
    Needs128K,    // a 128K snapshot: the cartridge runs the 48K machine
    OtherMachine, // a snapshot of other hardware
    Damaged,      // compressed data that does not expand to the memory it claims
};

// The problem the cartridge's loader would find in a snapshot's bytes; fileName gives the kind
// (.sna in any case, else .z80) as it does for the cartridge.
SnapshotProblem snapshotProblem(std::string_view fileName, ByteView bytes);

struct CheckedEntry {
    SnapshotSource source; // the file and the version of it that was checked
    std::uint64_t size = 0;
    SnapshotProblem problem = SnapshotProblem::None;
    bool noKeys = false;        // all ten key codes are 0: no button does anything
    bool pastCartridge = false; // its data ends beyond the cartridge's 32 MiB
};

struct CatalogueCheck {
    std::vector<CheckedEntry> entries; // one per row, in list order
    std::uint64_t imageSize = 0;       // the image these files make

    bool anyProblem() const;
    std::vector<SnapshotSource> sources() const;
};

// Opens each row's snapshot once (as SnapshotLocator finds it) and checks it; a file that
// cannot be opened or read throws FileError. Progress runs from 0 to the number of rows, one
// step and a keepGoing() after each file.
CatalogueCheck checkCatalogue(std::span<const CatalogueEntry> rows, const SettingsFile& settings,
                              std::uint64_t emulatorImageSize, WriteProgress& progress);

// The warning's text: the problems grouped, a few entries named per group, then the question.
std::string catalogueCheckText(std::span<const CatalogueEntry> rows, const CatalogueCheck& check);
inline constexpr std::string_view kCheckCaption = "Warning";

} // namespace tapeloom
