#pragma once
// Tapes in the catalogue: a .tap or .tzx file that is added is loaded on the desktop's Spectrum
// and the snapshot it leaves is kept in the folder "tape-snapshots" beside TPL.INI, named after
// the tape ("Jet Set.TZX" -> "tape-snapshots/jet set.z80"), and added like any snapshot. No file
// is ever replaced: a snapshot equal to the one already there is that one; a different one is
// kept beside it as "jet set-2.z80" (then -3, ...).
#include "data_items.h"
#include "tape_loader.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace tapeloom {

inline constexpr std::string_view kTapeSnapshotFolder = "tape-snapshots";

// A tape by its extension: .tap or .tzx, any letter case.
bool isTapeFile(const std::filesystem::path& path);

// startDirectory/tape-snapshots.
std::filesystem::path tapeSnapshotFolder(const std::filesystem::path& startDirectory);

// Writes a snapshot for the tape `tapePath` into `folder` (made when missing) and returns its
// path, without replacing any file. Throws FileError when the folder or file cannot be made.
std::filesystem::path storeTapeSnapshot(const std::filesystem::path& folder,
                                        const std::filesystem::path& tapePath,
                                        std::span<const std::uint8_t> snapshot);

// Writes `path` whole, through a new file beside it: a file already at `path` is replaced only
// when `replace` is set (FileError "File exists" otherwise), and a failed write leaves no trace.
void writeNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                  bool replace);

// The 48K ROM built into the program, for loading tapes.
ByteView tapeRom();

// Reads the tape, loads it and stores the snapshot: the path of the snapshot. Throws FileError,
// TapeError, TapeLoadError or TapeLoadCancelled.
std::filesystem::path convertTape(const std::filesystem::path& tapePath,
                                  const std::filesystem::path& folder,
                                  const TapeLoadOptions& options = {});

} // namespace tapeloom
