#pragma once
// TPL.INI held in memory: sections and keys matched without regard to ASCII letter case,
// written back in the order they were first created or read, lines ending in CR LF.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tapeloom {

// Far more than any settings file holds; a larger file was picked by mistake.
inline constexpr std::uint64_t kLargestSettingsFile = 256ull << 20;

// Why a UTF-16 settings file is refused, after "Cannot open file " + its path.
inline constexpr std::string_view kUtf16Refusal =
    "It is UTF-16 text, which Tapeloom cannot keep: it reads and writes TPL.INI as single-byte "
    "or UTF-8 text. Save the file as UTF-8 in your editor and start Tapeloom again";

class SettingsFile {
  public:
    SettingsFile() = default;

    // Loads the file; a missing file gives an empty copy. A file that exists but cannot be
    // read, or is UTF-16 text, throws FileError ("Cannot open file ..."), so a later save cannot
    // wipe or garble it. A UTF-8 byte-order mark is read through and kept for the save.
    static SettingsFile open(std::filesystem::path path);
    // Parses text with no file behind it (save() then needs a path set by open()).
    static SettingsFile fromText(std::string_view text);

    // The value, or def when the key (or its section) is missing; a present empty value is "".
    std::string read(std::string_view section, std::string_view key, std::string_view def) const;
    bool keyExists(std::string_view section, std::string_view key) const;
    void write(std::string_view section, std::string_view key, std::string_view value);
    void remove(std::string_view section, std::string_view key);
    // True only when the section holds at least one key line.
    bool sectionExists(std::string_view section) const;
    // Section names in file order, spelled as first stored.
    std::vector<std::string> sectionNames() const;
    std::size_t sectionCount() const { return sections_.size(); }

    std::string toText() const;
    // Writes the text beside the file, then renames it over the file: the old file stays
    // whole when anything fails. Throws FileError("Cannot create file " + path).
    void save() const;
    const std::filesystem::path& path() const { return path_; }

  private:
    struct Line {
        std::string key;   // empty with isKey false: a line without "=", kept verbatim in text
        std::string value; // or the verbatim text of such a line
        bool isKey = false;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
        std::unordered_map<std::string, std::size_t> keyIndex; // folded key -> line
        std::size_t keyCount = 0;
    };

    void parse(std::string_view text);
    Section* findSection(std::string_view name);
    const Section* findSection(std::string_view name) const;
    Section& sectionFor(std::string_view name);
    static void setKey(Section& section, std::string_view key, std::string_view value);

    std::filesystem::path path_;
    bool byteOrderMark_ = false;
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_; // folded name -> section
};

} // namespace tapeloom
