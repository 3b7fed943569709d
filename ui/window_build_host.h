#pragma once
// What the main window does for the "Create TPL" command: real message boxes, the real
// progress bar, the process's current directory and the desktop's document start.
#include "build_command.h"

#include <QElapsedTimer>

#include <functional>

class Prompts;
class QProgressBar;
class QWidget;

class WindowBuildHost : public tapeloom::BuildHost {
  public:
    // keepGoing, when given, is asked while a build runs, after the window's events were handled
    // (so it repaints, and Cancel and Exit are seen): false cancels the build.
    WindowBuildHost(Prompts& prompts, QWidget* window, QProgressBar* progress,
                    std::function<bool()> keepGoing = {})
        : prompts_(prompts), window_(window), progress_(progress),
          keepGoing_(std::move(keepGoing)) {}

    tapeloom::Answer showMessage(std::string_view caption, std::string_view text,
                                 tapeloom::Buttons buttons, tapeloom::Icon icon) override;
    void reportError(std::string_view message) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressStep(int step) override;
    void stepProgress() override;
    void setProgressPosition(int position) override;
    std::filesystem::path currentDirectory() override;
    std::string startDocument(const std::filesystem::path& file,
                              const std::filesystem::path& workingDirectory) override;
    bool keepGoing() override;

  private:
    Prompts& prompts_;
    QWidget* window_;
    QProgressBar* progress_;
    int step_ = 1;
    std::function<bool()> keepGoing_;
    QElapsedTimer sinceEvents_;
};
