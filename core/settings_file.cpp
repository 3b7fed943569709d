#include "settings_file.h"

#include "byte_files.h"
#include "errors.h"
#include "text.h"

#include <system_error>

namespace tapeloom {

namespace {

std::string_view trimmed(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// By its byte-order mark, or by the zero high bytes of its first ASCII character.
bool isUtf16(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 2)
        return false;
    if ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))
        return true;
    return (bytes[0] == 0) != (bytes[1] == 0);
}

} // namespace

SettingsFile SettingsFile::open(std::filesystem::path path) {
    SettingsFile file;
    file.path_ = std::move(path);
    std::error_code error;
    auto status = std::filesystem::status(file.path_, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return file;
    if (error)
        throw FileError::cannotOpen(file.path_.string());
    const std::vector<std::uint8_t> bytes = readWholeFile(file.path_, kLargestSettingsFile);
    // Rewriting UTF-16 as single bytes would garble every line: the file is left alone.
    if (isUtf16(bytes))
        throw FileError::cannotOpen(file.path_.string(), kUtf16Refusal);
    file.parse({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    return file;
}

SettingsFile SettingsFile::fromText(std::string_view text) {
    SettingsFile file;
    file.parse(text);
    return file;
}

// A hand-edited file may repeat a section or a key: a repeated section adds to the first one,
// and a repeated key keeps the first one's place and takes the later value.
void SettingsFile::parse(std::string_view text) {
    // An editor's UTF-8 mark is not part of the first line; it is written back as it was found.
    byteOrderMark_ = text.starts_with(kUtf8Mark);
    if (byteOrderMark_)
        text.remove_prefix(kUtf8Mark.size());
    Section* current = nullptr;
    while (!text.empty()) {
        auto end = text.find_first_of("\r\n");
        auto line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &sectionFor(trimmed(line.substr(1, line.size() - 2)));
            continue;
        }
        if (current == nullptr)
            continue;
        auto equals = line.find('=');
        if (equals == std::string_view::npos)
            current->lines.push_back({{}, std::string(line), false});
        else
            setKey(*current, trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
    }
}

SettingsFile::Section* SettingsFile::findSection(std::string_view name) {
    auto found = sectionIndex_.find(asciiLower(name));
    return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

const SettingsFile::Section* SettingsFile::findSection(std::string_view name) const {
    auto found = sectionIndex_.find(asciiLower(name));
    return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

SettingsFile::Section& SettingsFile::sectionFor(std::string_view name) {
    auto [slot, added] = sectionIndex_.try_emplace(asciiLower(name), sections_.size());
    if (added)
        sections_.push_back({std::string(name), {}, {}, 0});
    return sections_[slot->second];
}

void SettingsFile::setKey(Section& section, std::string_view key, std::string_view value) {
    auto [slot, added] = section.keyIndex.try_emplace(asciiLower(key), section.lines.size());
    if (added) {
        section.lines.push_back({std::string(key), std::string(value), true});
        ++section.keyCount;
    } else {
        section.lines[slot->second].value = value;
    }
}

std::string SettingsFile::read(std::string_view section, std::string_view key,
                               std::string_view def) const {
    if (const Section* found = findSection(section)) {
        auto line = found->keyIndex.find(asciiLower(key));
        if (line != found->keyIndex.end())
            return found->lines[line->second].value;
    }
    return std::string(def);
}

bool SettingsFile::keyExists(std::string_view section, std::string_view key) const {
    const Section* found = findSection(section);
    return found != nullptr && found->keyIndex.contains(asciiLower(key));
}

void SettingsFile::write(std::string_view section, std::string_view key, std::string_view value) {
    setKey(sectionFor(section), key, value);
}

void SettingsFile::remove(std::string_view section, std::string_view key) {
    Section* found = findSection(section);
    if (found == nullptr)
        return;
    auto line = found->keyIndex.find(asciiLower(key));
    if (line == found->keyIndex.end())
        return;
    std::size_t index = line->second;
    found->lines.erase(found->lines.begin() + static_cast<std::ptrdiff_t>(index));
    found->keyIndex.erase(line);
    --found->keyCount;
    for (auto& [name, position] : found->keyIndex)
        if (position > index)
            --position;
}

bool SettingsFile::sectionExists(std::string_view section) const {
    const Section* found = findSection(section);
    return found != nullptr && found->keyCount > 0;
}

std::vector<std::string> SettingsFile::sectionNames() const {
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const auto& section : sections_)
        names.push_back(section.name);
    return names;
}

std::string SettingsFile::toText() const {
    std::string text(byteOrderMark_ ? kUtf8Mark : std::string_view());
    for (const auto& section : sections_) {
        text += '[';
        text += section.name;
        text += "]\r\n";
        for (const auto& line : section.lines) {
            if (line.isKey) {
                text += line.key;
                text += '=';
            }
            text += line.value;
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

void SettingsFile::save() const {
    try {
        OutputFile out(path_.string());
        out.write(toText());
        out.commit();
    } catch (const FileError&) {
        throw FileError::cannotCreate(path_.string());
    }
}

} // namespace tapeloom
