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

  private:
    Answer ask();

    QuestionPolicy policy_;
    std::ostream& out_;
    std::ostream& err_;
};

// A message text as a terminal shows it: each '\r' becomes a line break.
std::string terminalText(std::string_view text);

} // namespace tapeloom::cli
