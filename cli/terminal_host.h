#pragma once
// What the window does for a command, done on a terminal: messages printed as
// "Caption: text", questions answered by a flag or asked when stdin is a terminal.
#include "build_command.h"

#include <iosfwd>
#include <string>

namespace tapeloom::cli {

enum class QuestionPolicy { Ask, Yes, No };

class TerminalHost final : public BuildHost {
  public:
    TerminalHost(QuestionPolicy policy, std::ostream& out, std::ostream& err);

    Answer showMessage(std::string_view caption, std::string_view text, Buttons buttons,
                       Icon icon) override;
    void reportError(std::string_view message) override;
    void setProgressRange(int, int) override {}
    void setProgressStep(int) override {}
    void stepProgress() override {}
    void setProgressPosition(int) override {}
    std::filesystem::path currentDirectory() override;
    std::string startDocument(const std::filesystem::path& file,
                              const std::filesystem::path& workingDirectory) override;
    // The warning is printed; it is answered Yes only when forced (--force), never asked.
    Answer confirmWarning(const Message& warning) override;
    // False once Ctrl+C (or a termination signal) arrived while an InterruptGuard stood.
    bool keepGoing() override;
    void setForced(bool forced) { forced_ = forced; }

  private:
    Answer ask();

    QuestionPolicy policy_;
    bool forced_ = false;
    std::ostream& out_;
    std::ostream& err_;
};

// A message text as a terminal shows it: each '\r' becomes a line break.
std::string terminalText(std::string_view text);

// While it stands, the first SIGINT or SIGTERM only asks the build to stop (keepGoing() turns
// false), so it can remove its half-written image; a second one ends the program at once.
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

} // namespace tapeloom::cli
