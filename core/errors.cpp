#include "errors.h"

#include <cctype>

namespace tapeloom {

FileError FileError::cannotCreate(std::string_view path) {
    return FileError("Cannot create file " + std::string(path));
}
FileError FileError::cannotOpen(std::string_view path) {
    return FileError("Cannot open file " + std::string(path));
}
FileError FileError::streamWrite() {
    return FileError("Stream write error");
}
FileError FileError::streamRead() {
    return FileError("Stream read error");
}
FileError FileError::cannotOpen(std::string_view path, std::string_view why) {
    return FileError("Cannot open file " + std::string(path) + "\r" + std::string(why));
}
FileError FileError::streamWrite(std::string_view detail) {
    return FileError("Stream write error\r" + std::string(detail));
}
FileError FileError::streamRead(std::string_view detail) {
    return FileError("Stream read error\r" + std::string(detail));
}

std::string errorReportText(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

std::string applicationTitle(std::string_view executablePath) {
    auto slash = executablePath.find_last_of('/');
    auto name = slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    std::string title;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        title += static_cast<char>(title.empty() ? std::toupper(u) : std::tolower(u));
    }
    return title;
}

} // namespace tapeloom
