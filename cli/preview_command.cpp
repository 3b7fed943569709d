// tapeloom-cli preview: the screen the configuration dialog shows for a snapshot, as a PNG file.
#include "commands.h"
#include "screen_decoder.h"
#include "screen_decoder_png.h"
#include "terminal_host.h"

#include <filesystem>
#include <iostream>
#include <optional>

namespace tapeloom::cli {

const std::string_view kPreviewHelp =
    R"(Usage: tapeloom-cli preview FILE --png OUT

Decodes the screen stored in the snapshot FILE (.sna, or .z80 of version 1, 2
or 3; the kind follows the extension in any letter case, anything but .sna is
read as .z80) as the configuration dialog's preview does, and writes it to OUT
as a 256 x 192 PNG picture. A file that ends early shows what it holds; the
rest of the screen is black.

Exit status: 0 written, 1 ended in an error, 2 wrong arguments.
)";

int runPreview(std::span<char*> args) {
    std::optional<std::filesystem::path> snapshot;
    std::optional<std::filesystem::path> png;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--png" && i + 1 < args.size()) {
            png = args[++i];
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            std::cerr << "tapeloom-cli preview: unknown option '" << arg << "'\n"
                      << "Try 'tapeloom-cli preview --help'.\n";
            return kExitUsage;
        } else if (!snapshot) {
            snapshot = arg;
        } else {
            std::cerr << "tapeloom-cli preview: one snapshot FILE only\n";
            return kExitUsage;
        }
    }
    if (!snapshot || !png) {
        std::cerr << "tapeloom-cli preview: FILE and --png OUT are needed\n"
                  << "Try 'tapeloom-cli preview --help'.\n";
        return kExitUsage;
    }
    TerminalHost host(QuestionPolicy::No, std::cout, std::cerr);
    try {
        writePng(*png, decodeSnapshotScreen(*snapshot));
        return kExitOk;
    } catch (const std::exception& error) {
        host.reportError(error.what());
        return kExitFailed;
    }
}

} // namespace tapeloom::cli
