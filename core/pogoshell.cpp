#include "pogoshell.h"

#include "build_command.h"
#include "byte_files.h"
#include "data_items.h"
#include "settings_keys.h"

#include <stdexcept>
#include <string>

namespace tapeloom {

const std::array<ThemeSet, 4> kThemeSets = {{
    {"Original", "origfiletypes", "origgui", "origicons"},
    {"Amiga", "amigafiletypes", "amigagui", "amigaicons"},
    {"PogoXP", "pogoxpfiletypes", "pogoxpgui", "pogoxpicons"},
    {"XPSmall", "xpsmallfiletypes", "xpsmallgui", "xpsmallicons"},
}};

namespace {

void writeItem(std::string_view item, const std::string& pathText) {
    auto bytes = findDataItem(item);
    if (!bytes)
        throw std::logic_error("Missing data item " + std::string(item));
    writeWholeFile(pathText, *bytes);
}

} // namespace

void installTheme(const std::filesystem::path& pluginFolder, const SettingsFile& settings) {
    const std::string theme = settings.read(ini::kSettingsSection, ini::kThemeKey, "");
    const std::string shellFolder = pluginFolder.string() + "/../.shell/";
    for (const auto& set : kThemeSets) {
        if (theme != set.theme)
            continue;
        writeItem(set.filetypesItem, shellFolder + "filetypes");
        writeItem(set.guiItem, shellFolder + "gui.cfg");
        writeItem(set.iconsItem, shellFolder + "icons.bmp");
        return;
    }
}

void compilePogoshell(const std::filesystem::path& pluginFolder, BuildHost& host) {
    // Named absolutely: the script starts in the Pogoshell folder, where a path relative to the
    // current directory (a hand-edited "Pogoshell=pogo") would name nothing.
    const std::filesystem::path given = pluginFolder.string() + "/../..";
    std::error_code error;
    std::filesystem::path pogoshellFolder = std::filesystem::weakly_canonical(given, error);
    if (error)
        pogoshellFolder = std::filesystem::absolute(given, error);
    const std::filesystem::path script = pogoshellFolder / "GO.BAT";
    const std::string failure = host.startDocument(script, pogoshellFolder);
    if (!failure.empty())
        host.reportError(failure + "\r" + script.string());
}

} // namespace tapeloom
