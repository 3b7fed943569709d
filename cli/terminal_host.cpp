#include "terminal_host.h"

#include "commands.h"
#include "errors.h"
#include "platform.h"

#include <unistd.h>

#include <csignal>
#include <iostream>

namespace tapeloom::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void noteInterrupt(int) {
    gInterrupted = 1;
}

} // namespace

InterruptGuard::InterruptGuard() {
    gInterrupted = 0;
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

InterruptGuard::~InterruptGuard() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool TerminalHost::keepGoing() {
    return gInterrupted == 0;
}

Answer TerminalHost::confirmWarning(const Message& warning) {
    err_ << warning.caption << ": " << terminalText(warning.text) << " ";
    if (forced_) {
        err_ << "yes (--force)" << std::endl;
        return Answer::Yes;
    }
    err_ << "no (nothing was written; use --force to write it all the same)" << std::endl;
    return Answer::No;
}

TerminalHost::TerminalHost(QuestionPolicy policy, std::ostream& out, std::ostream& err)
    : policy_(policy), out_(out), err_(err) {}

std::string terminalText(std::string_view text) {
    std::string shown(text);
    for (char& c : shown)
        if (c == '\r')
            c = '\n';
    return shown;
}

Answer TerminalHost::showMessage(std::string_view caption, std::string_view text, Buttons buttons,
                                 Icon icon) {
    std::ostream& stream = icon == Icon::None ? out_ : err_;
    stream << caption << ": " << terminalText(text);
    if (buttons == Buttons::Ok) {
        stream << std::endl;
        return Answer::Ok;
    }
    stream << " [y/N] " << std::flush;
    return ask();
}

Answer TerminalHost::ask() {
    if (policy_ != QuestionPolicy::Ask) {
        Answer answer = policy_ == QuestionPolicy::Yes ? Answer::Yes : Answer::No;
        err_ << (answer == Answer::Yes ? "yes (--yes)" : "no (--no)") << std::endl;
        return answer;
    }
    if (::isatty(STDIN_FILENO) == 0) {
        err_ << "no (standard input is not a terminal; use --yes to answer yes)" << std::endl;
        return Answer::No;
    }
    std::string reply;
    std::getline(std::cin, reply);
    return reply == "y" || reply == "Y" || reply == "yes" || reply == "Yes" ? Answer::Yes
                                                                            : Answer::No;
}

void TerminalHost::reportError(std::string_view message) {
    err_ << programTitle() << ": " << terminalText(errorReportText(message)) << std::endl;
}

std::filesystem::path TerminalHost::currentDirectory() {
    return std::filesystem::current_path();
}

std::string TerminalHost::startDocument(const std::filesystem::path& file,
                                        const std::filesystem::path& workingDirectory) {
    return tapeloom::startDocument(file, workingDirectory);
}

} // namespace tapeloom::cli
