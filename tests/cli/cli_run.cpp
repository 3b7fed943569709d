#include "cli_run.h"

#include "files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace tapeloom::test {

CliRun runCli(const std::filesystem::path& folder, std::vector<std::string> args) {
    TempDir capture;
    auto outPath = capture.path() / "out", errPath = capture.path() / "err";
    std::vector<char*> argv;
    std::string program = TAPELOOM_CLI_PATH;
    argv.push_back(program.data());
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || ::chdir(folder.c_str()) != 0)
            ::_exit(120);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("LC_ALL", "C", 1); // byte order: capitals before small letters
        ::alarm(60);                // a command that hangs fails its test instead of the suite
        ::execv(argv[0], argv.data());
        ::_exit(121);
    }
    CliRun run;
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
}

} // namespace tapeloom::test
