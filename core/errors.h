#pragma once
// File errors carry the exact texts the user sees in the general error report.
#include <stdexcept>
#include <string>
#include <string_view>

namespace tapeloom {

struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;

    static FileError cannotCreate(std::string_view path);
    static FileError cannotOpen(std::string_view path);
    static FileError streamWrite();
    static FileError streamRead();
    // The same texts with what the user needs besides (which file, why) on a line of its own.
    static FileError cannotOpen(std::string_view path, std::string_view why);
    static FileError streamWrite(std::string_view detail);
    static FileError streamRead(std::string_view detail);
};

// The text of the general error report: a full stop is appended when the last character's
// code is above that of the full stop.
std::string errorReportText(std::string_view message);

// The caption of the general error report: the executable's file name up to its first dot,
// first letter upper case, every later letter lower case ("tapeloom-cli" -> "Tapeloom-cli").
std::string applicationTitle(std::string_view executablePath);

} // namespace tapeloom
