#pragma once
// Installing into a Pogoshell folder P: theme files into P/root/.shell and the start of P/GO.BAT.
// Both take the plug-in folder D = P + "/root/.plugins" and reach the rest through "..".
#include "settings_file.h"

#include <array>
#include <filesystem>
#include <string_view>

namespace tapeloom {

class BuildHost;

struct ThemeSet {
    std::string_view theme; // value of Settings/Theme that chooses it
    std::string_view filetypesItem, guiItem, iconsItem;
};
extern const std::array<ThemeSet, 4> kThemeSets;

// Writes the three files of the theme named by Settings/Theme (exact match), or nothing.
// Throws FileError("Cannot create file " + path) and stops at the first file that fails.
void installTheme(const std::filesystem::path& pluginFolder, const SettingsFile& settings);

// Starts GO.BAT in the Pogoshell folder through the host, not waiting; a failure goes to the
// host's error report and is not thrown.
void compilePogoshell(const std::filesystem::path& pluginFolder, BuildHost& host);

} // namespace tapeloom
