#include "build_command.h"

#include "build_check.h"
#include "image_writer.h"
#include "pogoshell.h"
#include "settings_keys.h"

#include <exception>
#include <system_error>

namespace tapeloom {

BuildHost::~BuildHost() = default;

namespace {

// The writers' progress goes to the host's bar.
class HostProgress final : public WriteProgress {
  public:
    explicit HostProgress(BuildHost& host) : host_(host) {}
    void setMaximum(int maximum) override { host_.setProgressRange(0, maximum); }
    void step() override { host_.stepProgress(); }
    bool keepGoing() override { return host_.keepGoing(); }

  private:
    BuildHost& host_;
};

} // namespace

BuildOutcome createTpl(std::span<const CatalogueEntry> rows, const SettingsFile& settings,
                       BuildHost& host, ByteView emulatorImage) {
    const bool pluginRoad = rows.empty();
    std::string folder;
    if (pluginRoad) {
        folder = settings.read(ini::kSettingsSection, ini::kPogoshellKey, "") +
                 std::string(kPluginSubfolder);
        host.show(kNoEntriesWarning);
    } else {
        folder = settings.read(ini::kSettingsSection, ini::kImageFolderKey,
                               host.currentDirectory().string());
    }
    if (folder == kPluginSubfolder) {
        host.show(kMissingFolderError);
        return BuildOutcome::MissingFolder;
    }

    // One level only; a folder that cannot be made shows up as an output that cannot be created.
    std::error_code ignored;
    if (!folder.empty() && !std::filesystem::exists(folder, ignored))
        std::filesystem::create_directory(folder, ignored);

    const std::string output = folder + "/" + std::string(kOutputFileName);
    if (std::filesystem::exists(output, ignored) &&
        host.show(pluginRoad ? kReplacePluginQuestion : kReplaceCatalogueQuestion) != Answer::Yes)
        return BuildOutcome::Declined;

    host.setProgressRange(0, static_cast<int>(2 * rows.size()));
    host.setProgressStep(1);
    try {
        HostProgress progress(host);
        if (pluginRoad) {
            writePluginImage(output, settings, emulatorImage, progress);
            if (settings.read(ini::kSettingsSection, ini::kAssociationsKey, "") == ini::kMaintain)
                installTheme(folder, settings);
            if (settings.read(ini::kSettingsSection, ini::kCompileKey, "") == ini::kYes)
                compilePogoshell(folder, host);
        } else {
            const CatalogueCheck check =
                checkCatalogue(rows, settings, emulatorImage.size(), progress);
            if (check.anyProblem()) {
                const std::string text = catalogueCheckText(rows, check);
                if (host.confirmWarning({kCheckCaption, text, Buttons::YesNo, Icon::Exclamation}) !=
                    Answer::Yes)
                    return BuildOutcome::Declined;
            }
            // The check had the bar to itself; the writing runs it again over both steps.
            host.setProgressRange(0, static_cast<int>(2 * rows.size()));
            host.setProgressPosition(0);
            writeCatalogueImage(output, rows, check.sources(), settings, emulatorImage, progress);
        }
    } catch (const BuildCancelled&) {
        host.setProgressPosition(0);
        return BuildOutcome::Cancelled;
    } catch (const std::exception& error) {
        host.reportError(error.what());
        return BuildOutcome::Failed;
    }

    host.show(pluginRoad ? kPluginCreated : kCatalogueCreated);
    host.setProgressPosition(0);
    return BuildOutcome::Created;
}

} // namespace tapeloom
