#pragma once
// The catalogue: the snapshots the next build packs, in the order they are packed, and the
// start-up values a window or the command line works with.
#include "settings_file.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tapeloom {

inline constexpr std::size_t kDisplayNameLength = 15;

// More than any snapshot of any Spectrum holds: no more is read from a snapshot file, and a
// larger one is no snapshot.
inline constexpr std::size_t kLargestSnapshot = 1 << 20;

struct CatalogueEntry {
    std::string displayName; // at most 15 bytes
    std::string scheme;      // a preset name or "Custom"
    std::string fileName;    // lower case, with extension
    std::string folder;      // ends with '/'
    // The name of the file the user picked, as it stands on disk ("Game.SNA"); empty when only
    // the lower-case name is known.
    std::string diskName{};

    std::string sectionKey() const;
    // folder + diskName: the very file that was picked, even beside one whose name differs
    // only in case. Without a disk name: folder + fileName, found ignoring case when that exact
    // name is absent.
    std::filesystem::path snapshotPath() const;
};

// The file name without its extension: "jet set willy.z80" -> "jet set willy".
std::string sectionKeyOf(std::string_view fileName);

// folder/fileName when it exists; else the one entry of folder whose name matches fileName
// ignoring ASCII case (the first in name order if several do); else folder/fileName.
std::filesystem::path findSnapshotFile(const std::filesystem::path& folder,
                                       std::string_view fileName);

// The snapshot paths of many entries, as snapshotPath() gives them, with each folder listed at
// most once however many entries look a name up in it: for a build.
class SnapshotLocator {
  public:
    std::filesystem::path pathOf(const CatalogueEntry& entry);

  private:
    // Lower-case name -> the first name in name order that lowers to it.
    using Listing = std::unordered_map<std::string, std::string>;
    const Listing& listingOf(const std::string& folder);

    std::unordered_map<std::string, Listing> listings_;
};

// False for a file that cannot be added: a path holding a line break, or a section key that
// begins or ends with a blank, would not read back from TPL.INI as it was written (a line break
// even starts a line of its own there, which the next load takes for a section or key).
bool fileNameFitsSettings(const std::filesystem::path& file);

// The message for files refused when added: the reason, then one line per file.
std::string refusedFilesText(const std::vector<std::filesystem::path>& refused);

// A display name is blank when it holds nothing at all (spaces are a name).
bool isBlankDisplayName(std::string_view name);

// Locale-aware comparison (strcoll under the locale the program set with setlocale).
int compareDisplayNames(std::string_view a, std::string_view b);

// The order in which applying a preset deletes the slot keys of a snapshot's section.
inline constexpr std::array<std::string_view, 10> kSlotDeleteOrder = {
    "Back Left", "Back Right", "DPad Left", "DPad Right", "DPad Up",
    "DPad Down", "Select",     "Start",     "Button A",   "Button B"};

// Settings / LastDir: the folder snapshots were last added from (empty when none), and setting
// it, with its trailing separator, when snapshots are added.
std::string lastSnapshotFolder(const SettingsFile& settings);
void rememberSnapshotFolder(SettingsFile& settings, std::string folder);

class Catalogue {
  public:
    const std::vector<CatalogueEntry>& rows() const { return rows_; }
    std::size_t size() const { return rows_.size(); }

    // For each file in order: a row from its section's Filename / Control (defaults: section
    // key, defaultScheme), appended, list re-sorted (stable) by display name, then Filename and
    // Control written back to the section. Files whose names TPL.INI cannot keep
    // (fileNameFitsSettings) are left out and returned.
    std::vector<std::filesystem::path> addSnapshots(const std::vector<std::filesystem::path>& files,
                                                    SettingsFile& settings,
                                                    std::string_view defaultScheme);
    // Cuts the name to 15 bytes, stores it in the row and as Filename of the row's section.
    // A blank name is refused (false): the row and the section keep the name they had.
    bool rename(std::size_t row, std::string_view newName, SettingsFile& settings);
    // The scheme column only; the settings are written by whoever changed the scheme.
    void setScheme(std::size_t row, std::string_view scheme);
    // Every selected row, in list order: scheme column, Control, and its ten slot keys deleted.
    void applyPreset(const std::vector<std::size_t>& selectedRows, std::string_view preset,
                     SettingsFile& settings);
    // Removes the selected rows; the settings are not touched.
    void removeRows(const std::vector<std::size_t>& selectedRows);

  private:
    std::vector<CatalogueEntry> rows_;
};

// The values a window holds for the whole run, read at start-up.
struct Session {
    std::filesystem::path startDirectory;
    SettingsFile settings;
    std::string defaultScheme;
    std::string homepage;
    std::vector<std::string> presets;
};

// Opens startDirectory/TPL.INI, writes TPL/Version and reads the homepage, the default scheme
// and the preset list (Default0, Default1, ... up to the first missing or empty one).
Session openSession(const std::filesystem::path& startDirectory);

} // namespace tapeloom
