#pragma once
// The subcommands of tapeloom-cli. Each lives in a file of its own and is listed once in the
// dispatch table of main.cpp.
#include <span>
#include <string_view>

namespace tapeloom::cli {

// Every subcommand gets the arguments after its name and returns the exit status.
using CommandFunction = int (*)(std::span<char*> args);

struct Command {
    std::string_view name;
    CommandFunction run;
    std::string_view synopsis; // one line for the overview
    std::string_view help;     // the whole text of "tapeloom-cli NAME --help"
};

// Exit statuses shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // the command ended in an error
inline constexpr int kExitUsage = 2;    // wrong arguments
inline constexpr int kExitDeclined = 3; // a question was answered No

// The name the general error report is captioned with, set by main().
std::string_view programTitle();

int runCreate(std::span<char*> args);
extern const std::string_view kCreateHelp;
int runPreview(std::span<char*> args);
extern const std::string_view kPreviewHelp;
int runImport(std::span<char*> args);
extern const std::string_view kImportHelp;
int runLoad(std::span<char*> args);
extern const std::string_view kLoadHelp;

} // namespace tapeloom::cli
