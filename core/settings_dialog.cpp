#include "settings_dialog.h"

#include "text.h"

#include <system_error>

namespace tapeloom {

namespace {

using namespace ini;
constexpr std::string_view kDefaultTheme = "Original";

// The test at opening and the check after a pick look for the same folders in other orders.
constexpr std::array<std::string_view, 3> kTestedFolders = {"plugins", "theme", "root"};
constexpr std::array<std::string_view, 3> kCheckedFolders = {"plugins", "root", "theme"};

bool isFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

} // namespace

std::string driveOf(const std::filesystem::path& currentDirectory) {
    const std::string root = currentDirectory.root_path().string();
    return root.empty() ? std::string("/") : root;
}

std::string testPogoshellFolder(std::string_view folder) {
    const std::string text(folder);
    if (!isFolder(text))
        return {};
    for (std::string_view name : kTestedFolders) {
        if (!isFolder(text + "/" + std::string(name)))
            return {};
    }
    return text;
}

std::optional<std::string> pogoshellSubfolderProblem(std::string_view folder) {
    for (std::string_view name : kCheckedFolders) {
        if (!isFolder(std::string(folder) + "/" + std::string(name)))
            return std::string(kPogoshellWarning.text) + "\rCan't find folder \\" +
                   std::string(name);
    }
    return std::nullopt;
}

std::string themeChoice(std::string_view value) {
    for (std::string_view theme : kThemeChoices) {
        if (equalsIgnoringCase(theme, value))
            return std::string(theme);
    }
    return {};
}

SettingsOpening openSettings(const SettingsFile& settings,
                             const std::filesystem::path& currentDirectory) {
    const std::string drive = driveOf(currentDirectory);
    SettingsOpening opening;
    SettingsChoices& choices = opening.choices;
    choices.imageFolder = settings.read(kSettingsSection, kImageFolderKey, drive);
    choices.pogoshellFolder =
        testPogoshellFolder(settings.read(kSettingsSection, kPogoshellKey, drive));
    // The two boxes count only the exact words; the theme list matches ignoring case.
    choices.associations = settings.read(kSettingsSection, kAssociationsKey, "") == kMaintain;
    choices.theme = themeChoice(settings.read(kSettingsSection, kThemeKey, kDefaultTheme));
    choices.compile = settings.read(kSettingsSection, kCompileKey, "") == kYes;
    return opening;
}

void applySettings(SettingsFile& settings, const SettingsChoices& choices) {
    settings.write(kSettingsSection, kImageFolderKey, choices.imageFolder);
    if (!choices.pogoshellFolder.empty())
        settings.write(kSettingsSection, kPogoshellKey, choices.pogoshellFolder);
    else
        settings.remove(kSettingsSection, kPogoshellKey);
    if (choices.associations) {
        settings.write(kSettingsSection, kAssociationsKey, kMaintain);
        settings.write(kSettingsSection, kThemeKey, choices.theme);
    } else {
        settings.remove(kSettingsSection, kAssociationsKey);
        settings.remove(kSettingsSection, kThemeKey);
    }
    if (choices.compile)
        settings.write(kSettingsSection, kCompileKey, kYes);
    else
        settings.remove(kSettingsSection, kCompileKey);
    settings.save();
}

void recordThemePick(SettingsFile& settings, std::string_view theme) {
    settings.write(kSettingsSection, kAssociationsKey, kMaintain);
    settings.write(kSettingsSection, kThemeKey, theme);
    settings.save();
}

} // namespace tapeloom
