#include "settings_file.h"

#include "byte_files.h"
#include "errors.h"
#include "text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
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
    const std::vector<std::uint8_t> bytes = readWholeFile(file.path_);
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
    std::string text;
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
    auto fail = [this] { return FileError::cannotCreate(path_.string()); };
    // Write beside the real file when TPL.INI is a link, so the link stays.
    std::error_code error;
    std::filesystem::path target = path_;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, error); ++hops) {
        auto link = std::filesystem::read_symlink(target, error);
        if (error)
            break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    struct stat old {};
    bool existed = ::stat(target.c_str(), &old) == 0;
    // A file marked read-only stays as it is, although the folder would allow a rename.
    if (existed && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0))
        throw fail();

    std::string aside = target.string() + ".tmp" + std::to_string(::getpid());
    ::unlink(aside.c_str());
    int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throw fail();
    bool written = writeAll(fd, toText()) && (!existed || ::fchmod(fd, old.st_mode & 07777) == 0) &&
                   ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(aside.c_str(), target.c_str()) != 0) {
        ::unlink(aside.c_str());
        throw fail();
    }
}

} // namespace tapeloom
