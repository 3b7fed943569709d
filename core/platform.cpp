#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace tapeloom {

namespace {

// How long a start waits to see whether the desktop's opener gave up: it does so at once when
// nothing is set up to open the file, while a handler that opened it may run for hours.
constexpr auto kOpenerWait = std::chrono::milliseconds(1000);

// What goes back to the caller through the pipe.
struct StartReport {
    enum Kind : int { ExecFailed, OpenerFailed } kind;
    int value; // errno, or the opener's wait status
};

void send(int pipe, StartReport report) {
    [[maybe_unused]] auto ignored = ::write(pipe, &report, sizeof report);
}

// Runs in the grandchild: a session of its own, the working folder, then the handler. On
// failure the errno goes back through the pipe, which a successful exec closes instead.
[[noreturn]] void execHandler(const std::string& file, const std::string& folder, int report) {
    ::setsid();
    if (::chdir(folder.c_str()) == 0) {
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, STDIN_FILENO);
            ::dup2(devnull, STDOUT_FILENO);
        }
        ::execlp("xdg-open", "xdg-open", file.c_str(), static_cast<char*>(nullptr));
    }
    send(report, {StartReport::ExecFailed, errno});
    ::_exit(127);
}

// Runs in the child: starts the handler and watches it for a moment. A handler still running
// then is left to itself (adopted by init, never our zombie); one that ended in failure is
// reported.
[[noreturn]] void watchHandler(const std::string& file, const std::string& folder, int report) {
    const pid_t opener = ::fork();
    if (opener == 0)
        execHandler(file, folder, report);
    if (opener > 0) {
        const auto deadline = std::chrono::steady_clock::now() + kOpenerWait;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            const pid_t done = ::waitpid(opener, &status, WNOHANG);
            if (done == opener) {
                if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0))
                    send(report, {StartReport::OpenerFailed, status});
                break;
            }
            if (done < 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    } else {
        send(report, {StartReport::ExecFailed, errno});
    }
    ::_exit(0);
}

// xdg-open's exit statuses, as its manual gives them.
std::string openerFailure(int status) {
    if (WIFSIGNALED(status))
        return "The desktop's opener (xdg-open) was stopped by signal " +
               std::to_string(WTERMSIG(status));
    const int code = WEXITSTATUS(status);
    std::string why;
    switch (code) {
    case 1:
        why = "it was given wrong arguments";
        break;
    case 2:
        why = "the file does not exist";
        break;
    case 3:
        why = "no program is set up to open this kind of file";
        break;
    case 4:
        why = "the program set up to open it failed";
        break;
    default:
        why = "status " + std::to_string(code);
        break;
    }
    return "The desktop could not open the file (xdg-open: " + why + ")";
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
        ::close(report[0]);
        watchHandler(fileText, folderText, report[1]);
    }
    ::close(report[1]);
    if (child < 0) {
        int error = errno;
        ::close(report[0]);
        return std::strerror(error);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // A failed exec outweighs the opener's status that follows from it.
    std::string failure;
    StartReport received{};
    ssize_t got;
    while ((got = ::read(report[0], &received, sizeof received)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got != static_cast<ssize_t>(sizeof received))
            break;
        if (received.kind == StartReport::ExecFailed && received.value != 0) {
            failure = std::strerror(received.value);
            break;
        }
        if (received.kind == StartReport::OpenerFailed && failure.empty())
            failure = openerFailure(received.value);
    }
    ::close(report[0]);
    return failure;
}

} // namespace tapeloom
