#pragma once
// Reading Tarn's INJECT.INI (binary injector records, one per snapshot) into TPL.INI: display
// name, scheme "Custom" and the ten slot keys of each snapshot's section.
#include "data_items.h"
#include "settings_file.h"
#include "settings_keys.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom {

using ini::kUnassigned;
inline constexpr std::string_view kImportReportCaption = "Tarn INI Import";

// Record layout, L being the path length: 1 unused byte, L (16-bit, low byte first), the path,
// 8 skipped bytes, the 8-byte name, 32 skipped bytes, ten 4-byte key groups.
inline constexpr std::size_t kInjectHeaderSize = 3;
inline constexpr std::size_t kInjectFixedSize = 88; // after the path
inline constexpr std::size_t kInjectNameLength = 8;
inline constexpr std::size_t kInjectKeyGroups = 10;
// Far more than any injector's list holds; a larger file was picked by mistake.
inline constexpr std::uint64_t kLargestInjectFile = 64ull << 20;

struct InjectKeyGroup {
    std::uint8_t source = 0; // 1 joystick, 2 keyboard
    std::uint8_t row = 0;    // joystick port, or keyboard half-row
    std::uint8_t mask = 0;   // one key of the half-row, or one joystick line
};

struct InjectRecord {
    std::string path;                               // as stored, up to its first zero byte
    std::string sectionKey;                         // empty: the record cannot be imported
    std::string name;                               // display name, at most 8 bytes
    std::array<std::string, kInjectKeyGroups> keys; // translated key groups 1 to 10
};

struct InjectFile {
    std::vector<InjectRecord> records; // complete records, in file order
    // Records counted by walking the headers; one more than records.size() when the last
    // record is cut short by the end of the file (it is not imported).
    std::size_t recordCount = 0;
};

// Key name of a key group; anything outside the tables is "<unassigned>".
std::string_view injectKeyName(const InjectKeyGroup& group);

// "C:\GAMES\Ball Game [a].Z80" -> "ball game {a}": the file-name part after the last "\", "/"
// or ":", less its extension, "[" / "]" as "{" / "}", A-Z lowered, then made safe for TPL.INI.
std::string injectSectionKey(std::string_view path);

// Text from the outside file made safe as a TPL.INI section name or value: control characters
// (CR, LF, tab, ...) become spaces, and the blanks that reading TPL.INI would trim away are
// removed, so nothing can start a new line and the saved file reads back the same.
std::string mendIniText(std::string_view text);

InjectFile parseInjectFile(ByteView bytes);

struct ImportOptions {
    bool update = false; // "Update existing entries"
    bool add = true;     // "Add new entries"
};

struct ImportResult {
    int updated = 0;
    int added = 0;
    int skipped = 0; // records cut short or with no usable section key
};

struct ImportProgress {
    std::function<void(int)> setMaximum; // number of records
    std::function<void()> step;          // one record done
};

// Imports the records into the settings (in memory only).
ImportResult importInjectRecords(const InjectFile& file, SettingsFile& settings,
                                 const ImportOptions& options, const ImportProgress& progress = {});
// Reads the file (FileError "Cannot open file " + path), imports it and saves the settings once.
ImportResult importInjectIni(const std::filesystem::path& path, SettingsFile& settings,
                             const ImportOptions& options, const ImportProgress& progress = {});

// "Import complete!", then per checked box a CR and the counter line; a CR and a skipped line
// only when records were skipped.
std::string importReport(const ImportResult& result, const ImportOptions& options);

} // namespace tapeloom
