#pragma once
// The two forms of tpl.gba: the catalogue image (emulator image, 32-byte entry records, an end
// record, the snapshot files) and the plug-in image (emulator image, 42-byte key records, an
// end byte), as tpl_format.h defines them for the packer and the cartridge alike. Both throw
// FileError with the texts the user sees.
#include "byte_files.h"
#include "catalogue.h"
#include "data_items.h"
#include "keys.h"
#include "settings_file.h"
#include "tpl_format.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace tapeloom {

class WriteProgress {
  public:
    virtual ~WriteProgress();
    virtual void setMaximum(int maximum) = 0;
    virtual void step() = 0;
    // Asked often while a build reads and writes (after every file and every chunk of a large
    // one): false stops the build with BuildCancelled. A window answers its events here.
    virtual bool keepGoing() { return true; }
};

// A build stopped by the user; the old image stays as it was.
struct BuildCancelled : std::exception {
    const char* what() const noexcept override { return "The build was cancelled"; }
};

// Where the writer finds a snapshot, and the version of it a check before the build saw: the
// writer stops with an error naming the file when it finds another one.
struct SnapshotSource {
    std::filesystem::path path;
    std::optional<FileStamp> seen;
};

inline constexpr std::size_t kEntryRecordSize = TPL_ENTRY_SIZE;
inline constexpr std::size_t kKeyRecordSize = TPL_KEY_RECORD_SIZE;
inline constexpr std::size_t kKeyRecordNameLength = TPL_KEY_RECORD_NAME_LENGTH;
inline constexpr std::string_view kPluginHeadName = TPL_PLUGIN_HEAD_NAME;
inline constexpr std::string_view kPluginHeadSection = "Control_Kempston";

// The key block of a section: its own slot keys when Control is exactly "Custom", else those of
// "Control_" + Control. Missing keys and unknown names give 0.
KeyBlock resolveKeys(const SettingsFile& settings, std::string_view section);

// Kind byte of a file name: 0 for the extension ".SNA" in any case, else 1.
std::uint8_t snapshotKind(std::string_view fileName);

// A record's name field: the text cut to width bytes (never inside a UTF-8 character), control
// bytes written as spaces (the cartridge stops reading its table at one), filled with spaces.
std::string recordName(std::string_view text, std::size_t width);

// Writes beside `out` and replaces it only when every byte is written and synced (OutputFile):
// whatever fails, `out` is either the old file or the whole new image. Each snapshot is read
// once, its size counted from the bytes copied; one that changes while it is read (or since
// `sources` saw it) stops the build with an error naming it.
void writeCatalogueImage(const std::filesystem::path& out, std::span<const CatalogueEntry> rows,
                         std::span<const SnapshotSource> sources, const SettingsFile& settings,
                         ByteView emulatorImage, WriteProgress& progress);
// The same, finding each row's file as SnapshotLocator does.
void writeCatalogueImage(const std::filesystem::path& out, std::span<const CatalogueEntry> rows,
                         const SettingsFile& settings, ByteView emulatorImage,
                         WriteProgress& progress);
void writePluginImage(const std::filesystem::path& out, const SettingsFile& settings,
                      ByteView emulatorImage, WriteProgress& progress);

} // namespace tapeloom
