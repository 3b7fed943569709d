#include "image_writer.h"

#include "byte_files.h"
#include "errors.h"
#include "settings_keys.h"
#include "text.h"

#include <array>
#include <cstdint>

namespace tapeloom {

// The records are written field by field, in the order the format lays them out.
static_assert(kDisplayNameLength == TPL_ENTRY_NAME_LENGTH);
static_assert(TPL_ENTRY_DATA_OFFSET == TPL_ENTRY_NAME_LENGTH + 1 &&
              TPL_ENTRY_KIND == TPL_ENTRY_DATA_OFFSET + 4 &&
              TPL_ENTRY_RESERVED == TPL_ENTRY_KIND + 1 &&
              TPL_ENTRY_KEYS == TPL_ENTRY_RESERVED + 1 &&
              TPL_ENTRY_SIZE == TPL_ENTRY_KEYS + TPL_KEY_SLOTS);
static_assert(TPL_KEY_RECORD_KEYS == TPL_KEY_RECORD_NAME_LENGTH + 1 &&
              TPL_KEY_RECORD_SIZE == TPL_KEY_RECORD_KEYS + TPL_KEY_SLOTS);
static_assert(std::tuple_size_v<KeyBlock> == TPL_KEY_SLOTS);

WriteProgress::~WriteProgress() = default;

KeyBlock resolveKeys(const SettingsFile& settings, std::string_view section) {
    std::string scheme = settings.read(section, ini::kSchemeKey, "");
    std::string keySection =
        scheme == ini::kCustomScheme ? std::string(section) : ini::presetSection(scheme);
    KeyBlock block{};
    for (std::size_t slot = 0; slot < kSlotKeys.size(); ++slot)
        block[slot] = keyCode(settings.read(keySection, kSlotKeys[slot], ""));
    return block;
}

std::uint8_t snapshotKind(std::string_view fileName) {
    auto dot = fileName.rfind('.');
    std::string_view extension = dot == std::string_view::npos ? "" : fileName.substr(dot);
    return asciiUpper(extension) == ".SNA" ? TPL_KIND_SNA : TPL_KIND_Z80;
}

std::string recordName(std::string_view text, std::size_t width) {
    std::string field = nameField(text, width);
    for (char& c : field)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return field;
}

namespace {

constexpr std::size_t kCopyChunk = 1 << 18;

void putLittleEndian32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(value >> (8 * i));
}

void checkGoingOn(WriteProgress& progress) {
    if (!progress.keepGoing())
        throw BuildCancelled();
}

FileError changedWhileRead(const std::filesystem::path& path) {
    return FileError::streamRead("The file changed while the image was being written: " +
                                 path.string());
}

// Copies one snapshot whole; its size is what was copied, from the same opening.
std::uint64_t copySnapshot(OutputFile& image, const SnapshotSource& source,
                           std::vector<std::uint8_t>& buffer, WriteProgress& progress) {
    InputFile snapshot(source.path.string());
    if (source.seen && snapshot.stamp() != *source.seen)
        throw changedWhileRead(source.path);
    std::uint64_t copied = 0;
    while (const std::size_t got = snapshot.read(buffer)) {
        image.write(std::span(buffer.data(), got));
        copied += got;
        checkGoingOn(progress);
    }
    // Grown or shrunk while it was read: the bytes are not the file the size was taken from.
    if (copied != snapshot.size())
        throw changedWhileRead(source.path);
    return copied;
}

} // namespace

// Display names are byte strings written as held; a name longer than the field loses its tail
// but never half a UTF-8 character, and the field is filled up with spaces. The snapshots are
// copied first behind room for the table, which is filled in once their sizes are known.
void writeCatalogueImage(const std::filesystem::path& out, std::span<const CatalogueEntry> rows,
                         std::span<const SnapshotSource> sources, const SettingsFile& settings,
                         ByteView emulatorImage, WriteProgress& progress) {
    OutputFile image(out.string());
    image.write(emulatorImage);
    const std::size_t tableSize = kEntryRecordSize * rows.size() + kEntryRecordSize;
    image.write(std::vector<std::uint8_t>(tableSize)); // the end record stays as written

    std::vector<std::uint64_t> sizes;
    sizes.reserve(rows.size());
    std::vector<std::uint8_t> buffer(kCopyChunk);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        sizes.push_back(copySnapshot(image, sources[i], buffer, progress));
        progress.step();
    }

    // Data offsets count from the start of the table; sums wrap at 32 bits like the field.
    std::string table;
    table.reserve(tableSize);
    auto offset = static_cast<std::uint32_t>(tableSize);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CatalogueEntry& entry = rows[i];
        table += recordName(entry.displayName, kDisplayNameLength);
        table += '\0';
        putLittleEndian32(table, offset);
        table += static_cast<char>(snapshotKind(entry.fileName));
        table += '\0';
        const KeyBlock keys = resolveKeys(settings, entry.sectionKey());
        table.append(keys.begin(), keys.end());
        offset += static_cast<std::uint32_t>(sizes[i]);
        progress.step();
    }
    image.seek(emulatorImage.size());
    image.write(table);
    checkGoingOn(progress);
    image.commit();
}

void writeCatalogueImage(const std::filesystem::path& out, std::span<const CatalogueEntry> rows,
                         const SettingsFile& settings, ByteView emulatorImage,
                         WriteProgress& progress) {
    SnapshotLocator locator;
    std::vector<SnapshotSource> sources;
    sources.reserve(rows.size());
    for (const auto& entry : rows)
        sources.push_back({locator.pathOf(entry), std::nullopt});
    writeCatalogueImage(out, rows, sources, settings, emulatorImage, progress);
}

void writePluginImage(const std::filesystem::path& out, const SettingsFile& settings,
                      ByteView emulatorImage, WriteProgress& progress) {
    OutputFile image(out.string());
    image.write(emulatorImage);

    image.write(recordName(kPluginHeadName, kKeyRecordNameLength));
    image.writeByte(0);
    KeyBlock head{};
    for (std::size_t slot = 0; slot < kSlotKeys.size(); ++slot)
        head[slot] = keyCode(settings.read(kPluginHeadSection, kSlotKeys[slot], ""));
    image.write(head);

    auto sections = settings.sectionNames();
    progress.setMaximum(static_cast<int>(sections.size()));
    for (const auto& name : sections) {
        std::string section = asciiLower(name);
        if (!settings.read(section, ini::kSchemeKey, "").empty()) {
            image.write(recordName(section, kKeyRecordNameLength));
            image.writeByte(0);
            image.write(resolveKeys(settings, section));
        }
        progress.step();
    }
    image.writeByte(0);
    checkGoingOn(progress);
    image.commit();
}

} // namespace tapeloom
