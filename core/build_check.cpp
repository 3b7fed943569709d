#include "build_check.h"

#include "text.h"

#include <algorithm>
#include <functional>

namespace tapeloom {

namespace {

// Entries named per group before the rest are only counted.
constexpr std::size_t kNamedPerGroup = 6;

std::string withThousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

bool noKeys(const KeyBlock& keys) {
    return std::all_of(keys.begin(), keys.end(), [](std::uint8_t code) { return code == 0; });
}

SnapshotProblem checkSnapshot(const CatalogueEntry& entry, InputFile& file) {
    if (file.size() > kLargestSnapshot)
        return SnapshotProblem::NotASnapshot;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size()));
    bytes.resize(file.read(bytes));
    return snapshotProblem(entry.fileName, bytes);
}

void listGroup(std::string& text, std::string_view heading, std::span<const CatalogueEntry> rows,
               const CatalogueCheck& check, const std::function<bool(const CheckedEntry&)>& in) {
    std::size_t count = 0;
    std::string names;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!in(check.entries[i]))
            continue;
        if (++count <= kNamedPerGroup) {
            std::string name = rows[i].displayName;
            std::replace_if(
                name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 32; },
                ' ');
            names +=
                "\r    " + name + " (" + check.entries[i].source.path.filename().string() + ")";
        }
    }
    if (count == 0)
        return;
    if (count > kNamedPerGroup)
        names += "\r    and " + std::to_string(count - kNamedPerGroup) + " more";
    text += "\r\r";
    text += heading;
    text += names;
}

} // namespace

bool CatalogueCheck::anyProblem() const {
    return std::any_of(entries.begin(), entries.end(), [](const CheckedEntry& entry) {
        return entry.problem != SnapshotProblem::None || entry.noKeys || entry.pastCartridge;
    });
}

std::vector<SnapshotSource> CatalogueCheck::sources() const {
    std::vector<SnapshotSource> all;
    all.reserve(entries.size());
    for (const auto& entry : entries)
        all.push_back(entry.source);
    return all;
}

CatalogueCheck checkCatalogue(std::span<const CatalogueEntry> rows, const SettingsFile& settings,
                              std::uint64_t emulatorImageSize, WriteProgress& progress) {
    CatalogueCheck check;
    check.entries.reserve(rows.size());
    SnapshotLocator locator;
    progress.setMaximum(static_cast<int>(rows.size()));
    std::uint64_t end = emulatorImageSize + kEntryRecordSize * (rows.size() + 1);
    for (const auto& entry : rows) {
        CheckedEntry checked;
        checked.source.path = locator.pathOf(entry);
        InputFile file(checked.source.path.string());
        checked.source.seen = file.stamp();
        checked.size = file.size();
        checked.problem = checkSnapshot(entry, file);
        checked.noKeys = noKeys(resolveKeys(settings, entry.sectionKey()));
        end += checked.size;
        checked.pastCartridge = end > kCartridgeSize;
        check.entries.push_back(std::move(checked));
        progress.step();
        if (!progress.keepGoing())
            throw BuildCancelled();
    }
    check.imageSize = end;
    return check;
}

std::string catalogueCheckText(std::span<const CatalogueEntry> rows, const CatalogueCheck& check) {
    using Problem = SnapshotProblem;
    auto problem = [](Problem which) {
        return [which](const CheckedEntry& entry) { return entry.problem == which; };
    };
    std::string text = "Some entries will not work on the cartridge as they are.";
    listGroup(text, "Not a ZX Spectrum snapshot (empty, cut short or another kind of file):", rows,
              check, problem(Problem::NotASnapshot));
    listGroup(text, "128K snapshots (the cartridge runs 48K ones):", rows, check,
              problem(Problem::Needs128K));
    listGroup(text, "Snapshots of another machine (the cartridge runs a 48K Spectrum):", rows,
              check, problem(Problem::OtherMachine));
    listGroup(text,
              "Damaged snapshots (their data does not unpack to the memory they claim):", rows,
              check, problem(Problem::Damaged));
    listGroup(text,
              "No keys: no button will do anything (assign keys in Configure, or add the "
              "preset's [Control_...] section to TPL.INI):",
              rows, check, [](const CheckedEntry& entry) { return entry.noKeys; });
    listGroup(text,
              "Past the end of the cartridge: the image would be " +
                  withThousands(check.imageSize) + " bytes, a cartridge holds " +
                  withThousands(kCartridgeSize) + "; these will not be listed or cannot load:",
              rows, check, [](const CheckedEntry& entry) { return entry.pastCartridge; });
    text += "\r\rCreate the image all the same?";
    return text;
}

} // namespace tapeloom
