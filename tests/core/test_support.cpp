#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tapeloom::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tapeloom-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writeText(const std::filesystem::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes patternBytes(std::size_t n, std::uint8_t seed) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

const Bytes& fakeImage() {
    static const Bytes image = {0x2E, 0x00, 0x00, 0xEA, 'T', 'P', 'L'};
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
    if (answers.empty())
        return Answer::No;
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedHost::setProgressRange(int minimum, int maximum) {
    rangeMin = minimum;
    rangeMax = maximum;
}

std::string ScriptedHost::startDocument(const std::filesystem::path& file,
                                        const std::filesystem::path& workingDirectory) {
    started.emplace_back(file.string(), workingDirectory.string());
    return startResult;
}

} // namespace tapeloom::test
