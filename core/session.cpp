#include "catalogue.h"
#include "version.h"

namespace tapeloom {

Session openSession(const std::filesystem::path& startDirectory) {
    Session session;
    session.startDirectory = startDirectory;
    session.settings = SettingsFile::open(startDirectory / (std::string(kInternalName) + ".INI"));
    session.settings.write(kInternalName, "Version", kFileVersion);
    session.homepage = session.settings.read("Homepage", "URL", "");
    session.defaultScheme = session.settings.read("Control Defaults", "Default0n", "Kempston");
    for (int n = 0;; ++n) {
        std::string preset =
            session.settings.read("Control Defaults", "Default" + std::to_string(n), "");
        if (preset.empty())
            break;
        session.presets.push_back(std::move(preset));
    }
    return session;
}

} // namespace tapeloom
