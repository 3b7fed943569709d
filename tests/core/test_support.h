#pragma once
// Shared pieces of the core tests: a temporary folder, whole-file helpers, a scripted host.
#include "build_command.h"
#include "image_writer.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
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
Bytes readFile(const std::filesystem::path& path);
std::string readText(const std::filesystem::path& path);
// n bytes that differ from file to file (seeded), so misplaced data shows.
Bytes patternBytes(std::size_t n, std::uint8_t seed);

// A stand-in for the emulator image: odd length, so nothing may assume alignment.
const Bytes& fakeImage();

struct CountingProgress final : WriteProgress {
    int maximum = -1;
    int steps = 0;
    void setMaximum(int value) override { maximum = value; }
    void step() override { ++steps; }
};

struct ShownMessage {
    std::string caption, text;
    Buttons buttons;
    Icon icon;
    bool operator==(const ShownMessage&) const = default;
};
ShownMessage shown(const Message& message);

// Records everything the build asks of a window; answers questions from a script.
class ScriptedHost final : public BuildHost {
  public:
    std::deque<Answer> answers;    // for Yes/No questions; empty means No
    std::filesystem::path current; // what currentDirectory() returns
    std::string startResult;       // what startDocument() returns
    std::vector<ShownMessage> messages;
    std::vector<std::string> errors;
    std::vector<std::pair<std::string, std::string>> started; // file, working folder
    int rangeMin = -1, rangeMax = -1, stepSize = -1, steps = 0, position = -1;

    Answer showMessage(std::string_view caption, std::string_view text, Buttons buttons,
                       Icon icon) override;
    void reportError(std::string_view message) override { errors.emplace_back(message); }
    void setProgressRange(int minimum, int maximum) override;
    void setProgressStep(int step) override { stepSize = step; }
    void stepProgress() override { ++steps; }
    void setProgressPosition(int value) override { position = value; }
    std::filesystem::path currentDirectory() override { return current; }
    std::string startDocument(const std::filesystem::path& file,
                              const std::filesystem::path& workingDirectory) override;
};

} // namespace tapeloom::test
