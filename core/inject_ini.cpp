#include "inject_ini.h"

#include "byte_files.h"
#include "errors.h"
#include "settings_keys.h"

namespace tapeloom {

namespace {

constexpr std::uint8_t kSourceJoystick = 1;
constexpr std::uint8_t kSourceKeyboard = 2;
constexpr std::uint8_t kJoystickPort = 31;

// Keyboard key groups: half-row (line) and single-bit mask 1, 2, 4, 8, 16 (column).
constexpr std::array<std::array<std::string_view, 5>, 8> kKeyboardNames = {{
    {"SHIFT", "Z", "X", "C", "V"},
    {"A", "S", "D", "F", "G"},
    {"Q", "W", "E", "R", "T"},
    {"1", "2", "3", "4", "5"},
    {"0", "9", "8", "7", "6"},
    {"P", "O", "I", "U", "Y"},
    {"ENTER", "L", "K", "J", "H"},
    {"SPACE", "SYM SHIFT", "M", "N", "B"},
}};

// Joystick key groups on port 31: masks 1, 2, 4, 8, 16, 32.
constexpr std::array<std::string_view, 6> kJoystickNames = {"JOY RIGHT", "JOY LEFT", "JOY DOWN",
                                                            "JOY UP",    "JOY FIRE", "JOY FIRE 2"};

// What an imported entry writes, in this order: the slot key and the key group (1 to 10) it
// takes its name from; group 0 writes "<unassigned>" (group 7 is never used).
struct SlotSource {
    std::string_view slotKey;
    int group;
};
constexpr std::array<SlotSource, 10> kImportedSlots = {{
    {"Back Left", 1},
    {"Back Right", 2},
    {"DPad Left", 5},
    {"DPad Right", 6},
    {"DPad Up", 4},
    {"DPad Down", 3},
    {"Select", 8},
    {"Start", 0},
    {"Button A", 10},
    {"Button B", 9},
}};

// Column of a single-bit mask, or -1.
int maskColumn(std::uint8_t mask, int columns) {
    for (int column = 0; column < columns; ++column)
        if (mask == (1u << column))
            return column;
    return -1;
}

bool isIniBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string textUpToZero(ByteView field) {
    std::string text;
    for (std::uint8_t byte : field) {
        if (byte == 0)
            break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

void writeEntry(SettingsFile& settings, const InjectRecord& record) {
    settings.write(record.sectionKey, ini::kDisplayNameKey, record.name);
    settings.write(record.sectionKey, ini::kSchemeKey, ini::kCustomScheme);
    for (const SlotSource& slot : kImportedSlots) {
        const std::string_view value =
            slot.group == 0
                ? kUnassigned
                : std::string_view(record.keys[static_cast<std::size_t>(slot.group - 1)]);
        settings.write(record.sectionKey, slot.slotKey, value);
    }
}

} // namespace

std::string_view injectKeyName(const InjectKeyGroup& group) {
    if (group.source == kSourceKeyboard && group.row < kKeyboardNames.size()) {
        const int column = maskColumn(group.mask, 5);
        if (column >= 0)
            return kKeyboardNames[group.row][static_cast<std::size_t>(column)];
    } else if (group.source == kSourceJoystick && group.row == kJoystickPort) {
        const int column = maskColumn(group.mask, 6);
        if (column >= 0)
            return kJoystickNames[static_cast<std::size_t>(column)];
    }
    return kUnassigned;
}

std::string mendIniText(std::string_view text) {
    std::string mended(text);
    for (char& c : mended)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    std::size_t begin = 0;
    std::size_t end = mended.size();
    while (begin < end && isIniBlank(mended[begin]))
        ++begin;
    while (end > begin && isIniBlank(mended[end - 1]))
        --end;
    return mended.substr(begin, end - begin);
}

std::string injectSectionKey(std::string_view path) {
    // "/" cannot occur in a Windows file name, so splitting there too only helps paths written
    // with forward slashes.
    const std::size_t slash = path.find_last_of("\\/:");
    std::string_view fileName = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = fileName.rfind('.');
    if (dot != std::string_view::npos)
        fileName = fileName.substr(0, dot);
    std::string key(fileName);
    for (char& c : key) {
        if (c == '[')
            c = '{';
        else if (c == ']')
            c = '}';
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return mendIniText(key);
}

InjectFile parseInjectFile(ByteView bytes) {
    InjectFile file;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        ++file.recordCount;
        if (bytes.size() - pos < kInjectHeaderSize)
            break;
        const std::size_t pathLength = bytes[pos + 1] | static_cast<std::size_t>(bytes[pos + 2])
                                                            << 8;
        const std::size_t recordSize = kInjectHeaderSize + pathLength + kInjectFixedSize;
        if (bytes.size() - pos < recordSize)
            break; // cut short by the end of the file
        ByteView record = bytes.subspan(pos, recordSize);
        pos += recordSize;

        InjectRecord entry;
        entry.path = textUpToZero(record.subspan(kInjectHeaderSize, pathLength));
        entry.sectionKey = injectSectionKey(entry.path);
        const std::size_t nameAt = kInjectHeaderSize + pathLength + 8;
        entry.name = mendIniText(textUpToZero(record.subspan(nameAt, kInjectNameLength)));
        const std::size_t groupsAt = nameAt + kInjectNameLength + 32;
        for (std::size_t g = 0; g < kInjectKeyGroups; ++g) {
            const std::size_t at = groupsAt + 4 * g;
            entry.keys[g] = injectKeyName({record[at], record[at + 1], record[at + 2]});
        }
        file.records.push_back(std::move(entry));
    }
    return file;
}

ImportResult importInjectRecords(const InjectFile& file, SettingsFile& settings,
                                 const ImportOptions& options, const ImportProgress& progress) {
    ImportResult result;
    if (progress.setMaximum)
        progress.setMaximum(static_cast<int>(file.recordCount));
    for (const InjectRecord& record : file.records) {
        if (record.sectionKey.empty()) {
            ++result.skipped;
        } else if (settings.sectionExists(record.sectionKey)) {
            if (options.update) {
                writeEntry(settings, record);
                ++result.updated;
            }
        } else if (options.add) {
            writeEntry(settings, record);
            ++result.added;
        }
        if (progress.step)
            progress.step();
    }
    if (file.recordCount > file.records.size()) {
        ++result.skipped;
        if (progress.step)
            progress.step();
    }
    return result;
}

ImportResult importInjectIni(const std::filesystem::path& path, SettingsFile& settings,
                             const ImportOptions& options, const ImportProgress& progress) {
    const ImportResult result = importInjectRecords(
        parseInjectFile(readWholeFile(path, kLargestInjectFile)), settings, options, progress);
    settings.save();
    return result;
}

std::string importReport(const ImportResult& result, const ImportOptions& options) {
    std::string text = "Import complete!";
    if (options.update)
        text += "\r" + std::to_string(result.updated) + " entries updated.";
    if (options.add)
        text += "\r" + std::to_string(result.added) + " entries added.";
    if (result.skipped > 0)
        text += "\r" + std::to_string(result.skipped) + " entries skipped.";
    return text;
}

} // namespace tapeloom
