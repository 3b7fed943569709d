#pragma once
// Stand-ins for what the core asks of a face: a scripted build host, a counting progress, and a
// small fake emulator image.
#include "build_command.h"
#include "image_writer.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tapeloom::test {

// A stand-in for the emulator image: odd length, so nothing may assume alignment.
const std::vector<std::uint8_t>& fakeImage();

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
    std::vector<int> ranges;               // every maximum set, in order
    std::function<void()> beforeAnswer;    // runs when a question is asked, before its answer
    std::function<bool()> keepGoingAnswer; // what keepGoing() says; true when unset
    int keepGoingCalls = 0;

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
    bool keepGoing() override;
};

} // namespace tapeloom::test
