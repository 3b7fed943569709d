#pragma once
// Temporary folders and whole files for the tests.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const Bytes& bytes);
void writeText(const std::filesystem::path& path, std::string_view text);
// The file's bytes; empty when it cannot be read.
Bytes readFile(const std::filesystem::path& path);
std::string readText(const std::filesystem::path& path);
// n bytes that differ from file to file (seeded), so misplaced data shows.
Bytes patternBytes(std::size_t n, std::uint8_t seed);

// While it stands, no file of this process may grow past `bytes`: writes beyond fail as they do
// on a full disk (EFBIG, "File too large").
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    std::uint64_t savedSoft_, savedHard_;
};

// Runs body in a child process that sees a fresh, empty file system of `bytes` bytes at folder
// (a tmpfs in a mount namespace of its own: it goes with the child, whatever happens). Returns
// what body returns, or nothing when the machine does not allow it (no privileges).
std::optional<int> inSmallFileSystem(const std::filesystem::path& folder, std::size_t bytes,
                                     const std::function<int()>& body);

} // namespace tapeloom::test
