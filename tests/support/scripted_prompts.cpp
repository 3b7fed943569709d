#include "scripted_prompts.h"

namespace tapeloom::test {

Prompts::Answer ScriptedPrompts::message(QWidget*, const QString& caption, const QString& text,
                                         Buttons buttons, Icon icon) {
    messages.push_back({caption, text, buttons, icon});
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    if (answers.empty())
        return Answer::No;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QStringList ScriptedPrompts::openFiles(QWidget*, const QString& title, const QString& folder,
                                       const QString& filter, bool multiple) {
    fileDialogs.push_back({title, folder, filter, multiple});
    if (fileChoices.empty())
        return {};
    QStringList files = fileChoices.front();
    fileChoices.pop_front();
    return files;
}

std::optional<QString> ScriptedPrompts::pickFolder(QWidget*, const QString& start) {
    folderStarts.append(start);
    std::optional<QString> folder;
    if (!folderChoices.empty()) {
        folder.swap(folderChoices.front());
        folderChoices.pop_front();
    }
    return folder;
}

void ScriptedPrompts::reportError(QWidget*, const QString& message) {
    errors.append(message);
}

void ScriptedPrompts::openAddress(const QString& address) {
    addresses.append(address);
}

} // namespace tapeloom::test
