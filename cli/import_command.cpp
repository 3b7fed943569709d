// tapeloom-cli import: the "Import Tarn INI" dialog with its two check boxes as flags.
#include "build_command.h"
#include "catalogue.h"
#include "commands.h"
#include "import_dialog.h"
#include "inject_ini.h"
#include "terminal_host.h"

#include <filesystem>
#include <iostream>
#include <optional>

namespace tapeloom::cli {

const std::string_view kImportHelp =
    R"(Usage: tapeloom-cli import PATH [--update] [--no-add]

Reads Tarn's binary INJECT.INI at PATH into TPL.INI of the current directory,
as the "Import Tarn INI" dialog of the Tapeloom window started there does:
each record becomes the section of its snapshot (display name, scheme Custom
and the ten button keys).
  --update   "Update existing entries": overwrite sections that exist already
             (default: leave them alone)
  --no-add   clear "Add new entries": do not create new sections
             (default: add them)
TPL.INI is saved once at the end, and the report is printed as
"Tarn INI Import: Import complete!" with a line per checked box. Records cut
short by the end of the file, or without a file name, are skipped and counted
on a line of their own.

Exit status: 0 imported, 1 ended in an error, 2 wrong arguments.
)";

int runImport(std::span<char*> args) {
    ImportOptions options;
    std::optional<std::filesystem::path> path;
    bool optionsEnded = false;
    for (std::string_view arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--update") {
            options.update = true;
        } else if (!optionsEnded && arg == "--no-add") {
            options.add = false;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            std::cerr << "tapeloom-cli import: unknown option '" << arg << "'\n"
                      << "Try 'tapeloom-cli import --help'.\n";
            return kExitUsage;
        } else if (!path) {
            path = arg;
        } else {
            std::cerr << "tapeloom-cli import: one PATH only\n";
            return kExitUsage;
        }
    }
    if (!path) {
        std::cerr << "tapeloom-cli import: PATH of INJECT.INI is needed\n"
                  << "Try 'tapeloom-cli import --help'.\n";
        return kExitUsage;
    }
    if (!importOffered(options)) {
        // The dialog's Import button is disabled with both boxes cleared.
        std::cerr << "tapeloom-cli import: --no-add without --update imports nothing\n";
        return kExitUsage;
    }
    TerminalHost host(QuestionPolicy::No, std::cout, std::cerr);
    try {
        Session session = openSession(host.currentDirectory());
        const ImportResult result = importInjectIni(*path, session.settings, options);
        host.showMessage(kImportReportCaption, importReport(result, options), Buttons::Ok,
                         Icon::None);
        return kExitOk;
    } catch (const std::exception& error) {
        host.reportError(error.what());
        return kExitFailed;
    }
}

} // namespace tapeloom::cli
