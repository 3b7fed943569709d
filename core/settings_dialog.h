#pragma once
// The settings dialog's rules: what it shows when it opens, when a stored Pogoshell folder is
// dropped, what a newly chosen folder must hold, and what OK and a theme pick write to section
// Settings of TPL.INI. The window only moves these values in and out of its controls.
#include "build_messages.h"
#include "settings_file.h"
#include "settings_keys.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tapeloom {

using ini::kSettingsSection;

// The entries of the theme list, in the order the list shows them.
inline constexpr std::array<std::string_view, 4> kThemeChoices = {"Amiga", "Original", "PogoXP",
                                                                  "XPSmall"};

// Shown when a newly chosen folder lacks one of Pogoshell's folders; pogoshellSubfolderProblem
// gives the full text, which starts with this one's.
inline constexpr Message kPogoshellWarning{"Tapeloom warning",
                                           "This folder does not appear to contain Pogoshell!",
                                           Buttons::Ok, Icon::None};

// The five choices the dialog holds.
struct SettingsChoices {
    std::string imageFolder;     // TPLBinary
    std::string pogoshellFolder; // Pogoshell; empty when there is none
    bool associations = false;   // Associations = "Maintain"
    std::string theme;           // an entry of kThemeChoices, empty when none is selected
    bool compile = false;        // Compile = "Yes"
};

struct SettingsOpening {
    SettingsChoices choices;
};

// What stands on Linux for the drive of the current directory: the root of its file system.
std::string driveOf(const std::filesystem::path& currentDirectory);

// The folder when it and its plugins, theme and root folders exist (tested in that order),
// else the empty text.
std::string testPogoshellFolder(std::string_view folder);

// For a newly chosen folder: the warning's text naming the first of plugins, root, theme that
// is missing below it; nothing when all three are there.
std::optional<std::string> pogoshellSubfolderProblem(std::string_view folder);

// The entry of kThemeChoices equal to value ignoring ASCII case, else the empty text.
std::string themeChoice(std::string_view value);

// Reads the five choices (folder defaults: the drive of currentDirectory). A stored Pogoshell
// folder that fails the test (a card not inserted) is shown as none, with its three choices
// as stored; nothing is deleted or saved: only OK writes what the dialog then shows.
SettingsOpening openSettings(const SettingsFile& settings,
                             const std::filesystem::path& currentDirectory);

// OK: TPLBinary, then Pogoshell, Associations and Theme, Compile written or deleted as the
// choices stand, then saved. Throws FileError when the save fails.
void applySettings(SettingsFile& settings, const SettingsChoices& choices);

// A theme picked by the user: Associations = "Maintain", Theme = theme, saved at once, whatever
// the associations box shows. Throws FileError when the save fails.
void recordThemePick(SettingsFile& settings, std::string_view theme);

} // namespace tapeloom
