#pragma once
// The sections, keys and fixed values of TPL.INI, named once for every part of the core.
#include <string>
#include <string_view>

namespace tapeloom::ini {

// Section `Settings`: where and how the image is delivered.
inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kImageFolderKey = "TPLBinary";
inline constexpr std::string_view kPogoshellKey = "Pogoshell";
inline constexpr std::string_view kAssociationsKey = "Associations";
inline constexpr std::string_view kThemeKey = "Theme";
inline constexpr std::string_view kCompileKey = "Compile";
inline constexpr std::string_view kLastDirKey = "LastDir";
inline constexpr std::string_view kMaintain = "Maintain"; // Associations: write the theme files
inline constexpr std::string_view kYes = "Yes";           // Compile: start GO.BAT

// Section `Control Defaults`: the preset list ("Default" + n) and the scheme of new snapshots.
inline constexpr std::string_view kPresetListSection = "Control Defaults";
inline constexpr std::string_view kPresetListKey = "Default";
inline constexpr std::string_view kDefaultSchemeKey = "Default0n";
inline constexpr std::string_view kFallbackScheme = "Kempston";

// A preset's keys stand in section "Control_" + its name.
inline constexpr std::string_view kPresetSectionPrefix = "Control_";
inline std::string presetSection(std::string_view scheme) {
    return std::string(kPresetSectionPrefix) + std::string(scheme);
}

// A snapshot's section (named by its section key).
inline constexpr std::string_view kDisplayNameKey = "Filename";
inline constexpr std::string_view kSchemeKey = "Control";
inline constexpr std::string_view kCustomScheme = "Custom"; // the keys stand in the own section
inline constexpr std::string_view kUnassigned = "<unassigned>";

// Section `Homepage`, and the version written under the internal name at start-up.
inline constexpr std::string_view kHomepageSection = "Homepage";
inline constexpr std::string_view kHomepageKey = "URL";
inline constexpr std::string_view kVersionKey = "Version";

} // namespace tapeloom::ini
