#pragma once
// What the desktop does for us on Linux.
#include <filesystem>
#include <string>

namespace tapeloom {

// Opens file with the desktop's default handler (xdg-open) in workingDirectory, detached and
// not waited for. Returns "" when started, else the system's text for the failure (a missing
// file gives "No such file or directory"). The opener is watched for a second: one that gives
// up in that time (nothing set up to open such a file) is reported as a failed start.
std::string startDocument(const std::filesystem::path& file,
                          const std::filesystem::path& workingDirectory);

} // namespace tapeloom
