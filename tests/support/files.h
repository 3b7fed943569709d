#pragma once
// Temporary folders and whole files for the tests.
#include <cstdint>
#include <filesystem>
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

} // namespace tapeloom::test
