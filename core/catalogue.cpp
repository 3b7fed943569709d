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
    if (!diskName.empty())
        return std::filesystem::path(folder) / diskName;
    return findSnapshotFile(folder, fileName);
}

std::string sectionKeyOf(std::string_view fileName) {
    return std::string(fileName.substr(0, fileName.rfind('.')));
}

namespace {

// Names are held in lower case; on a case-sensitive file system the file may have capitals.
// Calls found(name) for every entry of the folder whose name matches ignoring ASCII case.
template <typename Found> void listFolder(const std::filesystem::path& folder, Found found) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        found(it->path().filename().string());
}

bool fileExists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

} // namespace

std::filesystem::path findSnapshotFile(const std::filesystem::path& folder,
                                       std::string_view fileName) {
    std::filesystem::path exact = folder / fileName;
    if (fileExists(exact))
        return exact;
    std::string match;
    listFolder(folder, [&](const std::string& name) {
        if (equalsIgnoringCase(name, fileName) && (match.empty() || name < match))
            match = name;
    });
    return match.empty() ? exact : folder / match;
}

std::filesystem::path SnapshotLocator::pathOf(const CatalogueEntry& entry) {
    if (!entry.diskName.empty())
        return entry.snapshotPath();
    std::filesystem::path exact = std::filesystem::path(entry.folder) / entry.fileName;
    if (fileExists(exact))
        return exact;
    const Listing& listing = listingOf(entry.folder);
    auto found = listing.find(asciiLower(entry.fileName));
    return found == listing.end() ? exact : std::filesystem::path(entry.folder) / found->second;
}

const SnapshotLocator::Listing& SnapshotLocator::listingOf(const std::string& folder) {
    auto [slot, added] = listings_.try_emplace(folder);
    if (added) {
        listFolder(folder, [&listing = slot->second](const std::string& name) {
            auto [match, fresh] = listing.try_emplace(asciiLower(name), name);
            if (!fresh && name < match->second)
                match->second = name;
        });
    }
    return slot->second;
}

bool fileNameFitsSettings(const std::filesystem::path& file) {
    // The folder counts too: it is kept as LastDir.
    if (file.string().find_first_of("\r\n") != std::string::npos)
        return false;
    const std::string key = sectionKeyOf(file.filename().string());
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    return key.empty() || !(isBlank(key.front()) || isBlank(key.back()));
}

std::string refusedFilesText(const std::vector<std::filesystem::path>& refused) {
    std::string text = "These files were not added: TPL.INI cannot keep a name with a line break, "
                       "or one that begins or ends with a blank. Rename them and add them again.";
    for (const auto& file : refused) {
        std::string shown = file.string();
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 32)
                c = '?';
        text += "\r" + shown;
    }
    return text;
}

bool isBlankDisplayName(std::string_view name) {
    return name.empty();
}

int compareDisplayNames(std::string_view a, std::string_view b) {
    return std::strcoll(std::string(a).c_str(), std::string(b).c_str());
}

std::vector<std::filesystem::path>
Catalogue::addSnapshots(const std::vector<std::filesystem::path>& files, SettingsFile& settings,
                        std::string_view defaultScheme) {
    std::vector<std::filesystem::path> refused;
    for (const auto& file : files) {
        if (!fileNameFitsSettings(file)) {
            refused.push_back(file);
            continue;
        }
        CatalogueEntry entry;
        entry.diskName = file.filename().string();
        entry.fileName = asciiLower(entry.diskName);
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
    return refused;
}

bool Catalogue::rename(std::size_t row, std::string_view newName, SettingsFile& settings) {
    auto& entry = rows_.at(row);
    if (isBlankDisplayName(newName))
        return false;
    entry.displayName = cutName(newName, kDisplayNameLength);
    settings.write(entry.sectionKey(), ini::kDisplayNameKey, entry.displayName);
    return true;
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
