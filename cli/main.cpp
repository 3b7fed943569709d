// tapeloom-cli: the command-line face of Tapeloom.
#include "commands.h"
#include "errors.h"
#include "version.h"

#include <array>
#include <clocale>
#include <iostream>
#include <string>

namespace tapeloom::cli {

namespace {

// The dispatch table: one line per subcommand.
const std::array kCommands = {
    Command{"create", runCreate, "pack snapshots (or the Pogoshell plug-in) into tpl.gba",
            kCreateHelp},
    Command{"preview", runPreview, "write a snapshot's screen as a PNG picture", kPreviewHelp},
    Command{"import", runImport, "read Tarn's INJECT.INI into TPL.INI", kImportHelp},
    Command{"load", runLoad, "load a tape (.tap, .tzx) into a .z80 snapshot", kLoadHelp},
};

std::string gProgramTitle = "Tapeloom";

void printOverview(std::ostream& out) {
    out << "Usage: tapeloom-cli COMMAND [OPTION...] [ARG...]\n"
           "       tapeloom-cli COMMAND --help\n"
           "       tapeloom-cli --help | --version\n\n"
           "Works in the current directory, with its TPL.INI, as the Tapeloom window started\n"
           "there would.\n\nCommands:\n";
    for (const auto& command : kCommands)
        out << "  " << command.name << std::string(10 - command.name.size(), ' ')
            << command.synopsis << "\n";
    out << "\nExit status: " << kExitOk << " done, " << kExitFailed << " ended in an error, "
        << kExitUsage << " wrong arguments, " << kExitDeclined << " a question answered No.\n";
}

} // namespace

std::string_view programTitle() {
    return gProgramTitle;
}

} // namespace tapeloom::cli

int main(int argc, char** argv) {
    using namespace tapeloom::cli;
    std::setlocale(LC_ALL, ""); // display names sort under the user's locale
    gProgramTitle = tapeloom::applicationTitle(argc > 0 ? argv[0] : "tapeloom-cli");

    std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() < 2) {
        printOverview(std::cerr);
        return kExitUsage;
    }
    std::string_view first = args[1];
    if (first == "--help" || first == "-h" || first == "help") {
        if (first == "help" && args.size() > 2)
            for (const auto& command : kCommands)
                if (command.name == args[2]) {
                    std::cout << command.help;
                    return kExitOk;
                }
        printOverview(std::cout);
        return kExitOk;
    }
    if (first == "--version") {
        std::cout << "tapeloom-cli (" << tapeloom::kProductName << ") " << tapeloom::kFileVersion
                  << "\n"
                  << tapeloom::kCopyright << "\n";
        return kExitOk;
    }
    for (const auto& command : kCommands) {
        if (command.name != first)
            continue;
        auto rest = args.subspan(2);
        for (std::string_view arg : rest) {
            if (arg == "--")
                break;
            if (arg == "--help" || arg == "-h") {
                std::cout << command.help;
                return kExitOk;
            }
        }
        return command.run(rest);
    }
    std::cerr << "tapeloom-cli: unknown command '" << first << "'\n\n";
    printOverview(std::cerr);
    return kExitUsage;
}
