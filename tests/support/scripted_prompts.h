#pragma once
// Prompts that answer from a script and remember what was asked: for tests.
#include "prompts.h"

#include <deque>
#include <optional>
#include <vector>

namespace tapeloom::test {

class ScriptedPrompts : public Prompts {
  public:
    struct Message {
        QString caption;
        QString text;
        Buttons buttons;
        Icon icon;
    };
    struct FileDialog {
        QString title;
        QString folder;
        QString filter;
        bool multiple;
    };

    // Answers to Yes/No questions, used in order; an unscripted question is answered No.
    std::deque<Answer> answers;
    // Results of the file-open dialogs, in order; an unscripted dialog is cancelled.
    std::deque<QStringList> fileChoices;
    // Results of the folder chooser, in order; an unscripted chooser is cancelled.
    std::deque<std::optional<QString>> folderChoices;

    std::vector<Message> messages;
    std::vector<FileDialog> fileDialogs;
    QStringList folderStarts;
    QStringList errors; // texts given to the general error report
    QStringList addresses;

    Answer message(QWidget* parent, const QString& caption, const QString& text, Buttons buttons,
                   Icon icon) override;
    QStringList openFiles(QWidget* parent, const QString& title, const QString& folder,
                          const QString& filter, bool multiple) override;
    std::optional<QString> pickFolder(QWidget* parent, const QString& start) override;
    void reportError(QWidget* parent, const QString& message) override;
    void openAddress(const QString& address) override;
};

} // namespace tapeloom::test
