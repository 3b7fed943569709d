#pragma once
// tapeloom-cli run as a user runs it: in a folder of its own, stdin not a terminal, the C locale.
#include <filesystem>
#include <string>
#include <vector>

namespace tapeloom::test {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun runCli(const std::filesystem::path& folder, std::vector<std::string> args);

} // namespace tapeloom::test
