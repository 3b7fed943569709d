#include "window_build_host.h"

#include "platform.h"
#include "prompts.h"
#include "qt_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QProgressBar>

namespace {
// Often enough that the window answers at once, rarely enough to cost the build nothing.
constexpr qint64 kEventInterval = 20; // milliseconds
} // namespace

tapeloom::Answer WindowBuildHost::showMessage(std::string_view caption, std::string_view text,
                                              tapeloom::Buttons buttons, tapeloom::Icon icon) {
    Prompts::Icon shown = Prompts::Icon::None;
    if (icon == tapeloom::Icon::Exclamation)
        shown = Prompts::Icon::Warning;
    else if (icon == tapeloom::Icon::Stop)
        shown = Prompts::Icon::Critical;
    const bool question = buttons == tapeloom::Buttons::YesNo;
    const Prompts::Answer answer =
        prompts_.message(window_, toQ(caption), toQ(text),
                         question ? Prompts::Buttons::YesNo : Prompts::Buttons::Ok, shown);
    if (!question)
        return tapeloom::Answer::Ok;
    return answer == Prompts::Answer::Yes ? tapeloom::Answer::Yes : tapeloom::Answer::No;
}

void WindowBuildHost::reportError(std::string_view message) {
    prompts_.reportError(window_, toQ(message));
}

void WindowBuildHost::setProgressRange(int minimum, int maximum) {
    progress_->setRange(minimum, maximum);
}

void WindowBuildHost::setProgressStep(int step) {
    step_ = step;
}

void WindowBuildHost::stepProgress() {
    progress_->setValue(std::min(progress_->value() + step_, progress_->maximum()));
}

void WindowBuildHost::setProgressPosition(int position) {
    progress_->setValue(position);
}

std::filesystem::path WindowBuildHost::currentDirectory() {
    return toPath(QDir::currentPath());
}

std::string WindowBuildHost::startDocument(const std::filesystem::path& file,
                                           const std::filesystem::path& workingDirectory) {
    return tapeloom::startDocument(file, workingDirectory);
}

bool WindowBuildHost::keepGoing() {
    if (!keepGoing_)
        return true;
    if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kEventInterval) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        sinceEvents_.start();
    }
    return keepGoing_();
}
