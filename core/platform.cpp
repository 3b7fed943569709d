#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tapeloom {

namespace {

// Runs in the grandchild: a session of its own, the working folder, then the handler. On
// failure the errno goes back through the pipe, which a successful exec closes instead.
[[noreturn]] void execHandler(const std::string& file, const std::string& folder, int report) {
    ::setsid();
    int error = 0;
    if (::chdir(folder.c_str()) != 0) {
        error = errno;
    } else {
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, STDIN_FILENO);
            ::dup2(devnull, STDOUT_FILENO);
        }
        ::execlp("xdg-open", "xdg-open", file.c_str(), static_cast<char*>(nullptr));
        error = errno;
    }
    [[maybe_unused]] auto ignored = ::write(report, &error, sizeof error);
    ::_exit(127);
}

} // namespace

std::string startDocument(const std::filesystem::path& file,
                          const std::filesystem::path& workingDirectory) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return std::strerror(errno);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return std::strerror(errno);
    const std::string fileText = file.string(), folderText = workingDirectory.string();
    pid_t child = ::fork();
    if (child == 0) {
        // The child leaves at once, so the handler is adopted and never becomes our zombie.
        ::close(report[0]);
        if (::fork() == 0)
            execHandler(fileText, folderText, report[1]);
        ::_exit(0);
    }
    ::close(report[1]);
    if (child < 0) {
        int error = errno;
        ::close(report[0]);
        return std::strerror(error);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == static_cast<ssize_t>(sizeof error) && error != 0 ? std::strerror(error) : "";
}

} // namespace tapeloom
