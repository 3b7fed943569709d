#include "catalogue.h"

#include "settings_keys.h"
#include "text.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <system_error>

namespace tapeloom {

std::string CatalogueEntry::sectionKey() const {
    return sectionKeyOf(fileName);
}

std::filesystem::path CatalogueEntry::snapshotPath() const {
    return findSnapshotFile(folder, fileName);
}

std::string sectionKeyOf(std::string_view fileName) {
    return std::string(fileName.substr(0, fileName.rfind('.')));
}

std::filesystem::path findSnapshotFile(const std::filesystem::path& folder,
                                       std::string_view fileName) {
    std::filesystem::path exact = folder / fileName;
    std::error_code error;
    if (std::filesystem::exists(exact, error))
        return exact;
    // Names are held in lower case; on a case-sensitive file system the file may have capitals.
    std::string match;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (equalsIgnoringCase(name, fileName) && (match.empty() || name < match))
            match = name;
    }
    return match.empty() ? exact : folder / match;
}

int compareDisplayNames(std::string_view a, std::string_view b) {
    return std::strcoll(std::string(a).c_str(), std::string(b).c_str());
}

void Catalogue::addSnapshots(const std::vector<std::filesystem::path>& files,
                             SettingsFile& settings, std::string_view defaultScheme) {
    for (const auto& file : files) {
        CatalogueEntry entry;
        entry.fileName = asciiLower(file.filename().string());
        entry.folder = file.has_parent_path() ? file.parent_path().string() : ".";
        if (entry.folder.back() != '/')
            entry.folder += '/';
        std::string key = entry.sectionKey();
        entry.displayName =
            cutName(settings.read(key, ini::kDisplayNameKey, key), kDisplayNameLength);
        entry.scheme = settings.read(key, ini::kSchemeKey, defaultScheme);
        settings.write(key, ini::kDisplayNameKey, entry.displayName);
        settings.write(key, ini::kSchemeKey, entry.scheme);
        rows_.push_back(std::move(entry));
    }
    // One stable sort after the batch orders the rows exactly as a sort after each append would.
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) {
        return compareDisplayNames(a.displayName, b.displayName) < 0;
    });
}

void Catalogue::rename(std::size_t row, std::string_view newName, SettingsFile& settings) {
    auto& entry = rows_.at(row);
    entry.displayName = cutName(newName, kDisplayNameLength);
    settings.write(entry.sectionKey(), ini::kDisplayNameKey, entry.displayName);
}

void Catalogue::setScheme(std::size_t row, std::string_view scheme) {
    rows_.at(row).scheme = scheme;
}

namespace {
std::vector<std::size_t> inListOrder(std::vector<std::size_t> rows, std::size_t size) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [size](std::size_t row) { return row >= size; });
    return rows;
}
} // namespace

void Catalogue::applyPreset(const std::vector<std::size_t>& selectedRows, std::string_view preset,
                            SettingsFile& settings) {
    for (std::size_t row : inListOrder(selectedRows, rows_.size())) {
        auto& entry = rows_[row];
        entry.scheme = preset;
        std::string key = entry.sectionKey();
        settings.write(key, ini::kSchemeKey, preset);
        for (auto slot : kSlotDeleteOrder)
            settings.remove(key, slot);
    }
}

void Catalogue::removeRows(const std::vector<std::size_t>& selectedRows) {
    auto doomed = inListOrder(selectedRows, rows_.size());
    for (auto row = doomed.rbegin(); row != doomed.rend(); ++row)
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*row));
}

std::string lastSnapshotFolder(const SettingsFile& settings) {
    return settings.read(ini::kSettingsSection, ini::kLastDirKey, "");
}

void rememberSnapshotFolder(SettingsFile& settings, std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    settings.write(ini::kSettingsSection, ini::kLastDirKey, folder);
}

} // namespace tapeloom
