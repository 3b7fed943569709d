#include "core_doubles.h"

namespace tapeloom::test {

const std::vector<std::uint8_t>& fakeImage() {
    static const std::vector<std::uint8_t> image = {0x2E, 0x00, 0x00, 0xEA, 'T', 'P', 'L'};
    return image;
}

ShownMessage shown(const Message& message) {
    return {std::string(message.caption), std::string(message.text), message.buttons, message.icon};
}

Answer ScriptedHost::showMessage(std::string_view caption, std::string_view text, Buttons buttons,
                                 Icon icon) {
    messages.push_back({std::string(caption), std::string(text), buttons, icon});
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    if (beforeAnswer)
        beforeAnswer();
    if (answers.empty())
        return Answer::No;
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedHost::setProgressRange(int minimum, int maximum) {
    rangeMin = minimum;
    rangeMax = maximum;
    ranges.push_back(maximum);
}

std::string ScriptedHost::startDocument(const std::filesystem::path& file,
                                        const std::filesystem::path& workingDirectory) {
    started.emplace_back(file.string(), workingDirectory.string());
    return startResult;
}

bool ScriptedHost::keepGoing() {
    ++keepGoingCalls;
    return !keepGoingAnswer || keepGoingAnswer();
}

} // namespace tapeloom::test
