#include "catalogue.h"
#include "settings_keys.h"
#include "version.h"

namespace tapeloom {

Session openSession(const std::filesystem::path& startDirectory) {
    Session session;
    session.startDirectory = startDirectory;
    session.settings = SettingsFile::open(startDirectory / (std::string(kInternalName) + ".INI"));
    session.settings.write(kInternalName, ini::kVersionKey, kFileVersion);
    session.homepage = session.settings.read(ini::kHomepageSection, ini::kHomepageKey, "");
    session.defaultScheme = session.settings.read(ini::kPresetListSection, ini::kDefaultSchemeKey,
                                                  ini::kFallbackScheme);
    for (int n = 0;; ++n) {
        std::string preset = session.settings.read(
            ini::kPresetListSection, std::string(ini::kPresetListKey) + std::to_string(n), "");
        if (preset.empty())
            break;
        session.presets.push_back(std::move(preset));
    }
    return session;
}

} // namespace tapeloom
