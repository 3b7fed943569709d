#pragma once
// "Create TPL": chooses the image form and its folder, asks before replacing, writes, installs
// into Pogoshell on the plug-in road and ends with a message. Reads the settings, never writes.
#include "build_messages.h"
#include "catalogue.h"
#include "data_items.h"
#include "settings_file.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tapeloom {

// What a window does for the command; tests script it.
class BuildHost {
  public:
    virtual ~BuildHost();
    virtual Answer showMessage(std::string_view caption, std::string_view text, Buttons buttons,
                               Icon icon) = 0;
    // The general error report, given the raw text (format it with errorReportText).
    virtual void reportError(std::string_view message) = 0;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressStep(int step) = 0;
    virtual void stepProgress() = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual std::filesystem::path currentDirectory() = 0;
    // Starts a document or script with the desktop's default handler, not waiting for it;
    // returns "" on success, else the system's error text.
    virtual std::string startDocument(const std::filesystem::path& file,
                                      const std::filesystem::path& workingDirectory) = 0;
    // The warning before writing an image that will not work as it is: Yes goes on. A window
    // asks; the command line refuses unless told to go on.
    virtual Answer confirmWarning(const Message& warning) { return show(warning); }
    // Asked often during a long build: false cancels it (the old image stays). A window keeps
    // its events going here.
    virtual bool keepGoing() { return true; }

    Answer show(const Message& message) {
        return showMessage(message.caption, message.text, message.buttons, message.icon);
    }
};

// Declined: the replace question or the warning answered No; Cancelled: stopped while writing.
enum class BuildOutcome { Created, Declined, Failed, MissingFolder, Cancelled };

inline constexpr std::string_view kOutputFileName = "tpl.gba";
inline constexpr std::string_view kPluginSubfolder = "/root/.plugins";

BuildOutcome createTpl(std::span<const CatalogueEntry> rows, const SettingsFile& settings,
                       BuildHost& host, ByteView emulatorImage);

} // namespace tapeloom
