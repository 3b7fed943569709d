#include "image_writer.h"

#include "byte_files.h"
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

std::array<std::uint8_t, kEntryRecordSize> endRecord(std::uint8_t lastKind,
                                                     std::uint64_t lastSize) {
    std::array<std::uint8_t, kEntryRecordSize> record{};
    if (lastKind == TPL_KIND_SNA &&
        (lastSize == TPL_SNA_128K_SIZE || lastSize == TPL_SNA_128K_LONG_SIZE))
        for (std::size_t i = 0; i < 4; ++i)
            record[TPL_END_LAST_SIZE + i] = static_cast<std::uint8_t>(lastSize >> (8 * i));
    return record;
}

namespace {

void writeLittleEndian32(OutputFile& out, std::uint32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    out.write(bytes);
}

} // namespace

// Display names are byte strings written as held; a name longer than the field loses its tail
// but never half a UTF-8 character, and the field is filled up with spaces.
void writeCatalogueImage(const std::filesystem::path& out, std::span<const CatalogueEntry> rows,
                         const SettingsFile& settings, ByteView emulatorImage,
                         WriteProgress& progress) {
    OutputFile image(out.string());
    image.write(emulatorImage);

    // Data offsets count from the start of the table; sums wrap at 32 bits like the field.
    auto offset = static_cast<std::uint32_t>(kEntryRecordSize * rows.size() + kEntryRecordSize);
    std::uint8_t lastKind = TPL_KIND_Z80;
    std::uint64_t lastSize = 0;
    for (const auto& entry : rows) {
        image.write(nameField(entry.displayName, kDisplayNameLength));
        image.writeByte(0);
        writeLittleEndian32(image, offset);
        image.writeByte(snapshotKind(entry.fileName));
        image.writeByte(0);
        image.write(resolveKeys(settings, entry.sectionKey()));
        InputFile snapshot(entry.snapshotPath().string());
        offset += static_cast<std::uint32_t>(snapshot.size());
        lastKind = snapshotKind(entry.fileName);
        lastSize = snapshot.size();
        progress.step();
    }
    image.write(endRecord(lastKind, lastSize));

    for (const auto& entry : rows) {
        InputFile snapshot(entry.snapshotPath().string());
        image.copyFrom(snapshot.handle(), snapshot.size());
        progress.step();
    }
    image.close();
}

void writePluginImage(const std::filesystem::path& out, const SettingsFile& settings,
                      ByteView emulatorImage, WriteProgress& progress) {
    OutputFile image(out.string());
    image.write(emulatorImage);

    image.write(nameField(kPluginHeadName, kKeyRecordNameLength));
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
            image.write(nameField(section, kKeyRecordNameLength));
            image.writeByte(0);
            image.write(resolveKeys(settings, section));
        }
        progress.step();
    }
    image.writeByte(0);
    image.close();
}

} // namespace tapeloom
