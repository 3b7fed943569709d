#pragma once
// Reading regular files and replacing files whole, with the error texts of the file layer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom {

// One version of a file as the file system tells it: the same stamp at two openings means the
// file was neither replaced nor written in between.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// A file opened for reading; "Cannot open file " + pathText when it is missing, unreadable or
// not a regular file (a folder, a device, a named pipe: opening one never waits for a writer).
class InputFile {
  public:
    explicit InputFile(const std::string& pathText);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Size and stamp as they were when the file was opened.
    std::uint64_t size() const { return stamp_.size; }
    const FileStamp& stamp() const { return stamp_; }
    // Up to `bytes.size()` bytes from the current position; fewer only at the end of the file.
    // "Stream read error" + the path when reading fails.
    std::size_t read(std::span<std::uint8_t> bytes);

  private:
    std::string pathText_;
    std::FILE* file_ = nullptr;
    FileStamp stamp_;
};

// A file that replaces the one at pathText only when it is complete: the bytes go to a new file
// beside it, and commit() syncs that file and renames it over the old one. Until then the old
// file stays whole; a file that is not committed (an error, a cancelled build) is removed. Of two
// writers replacing one file at once, the later commit wins whole. A link is followed, so the
// link stays and its target is replaced.
class OutputFile {
  public:
    // "Cannot create file " + pathText when the folder takes no new file, or when what stands
    // at pathText is not a regular file or is marked read-only.
    explicit OutputFile(const std::string& pathText);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Each throws "Stream write error" with the path and the system's reason when it fails.
    void write(std::span<const std::uint8_t> bytes);
    void write(std::string_view bytes);
    void writeByte(std::uint8_t byte);
    // Copies the input from its current position to its end; returns the number of bytes.
    std::uint64_t copyFrom(InputFile& input);
    // Moves the write position (to fill in a table once what follows it is known).
    void seek(std::uint64_t offset);
    void commit();

  private:
    [[noreturn]] void failWrite(int error);
    void discard();

    std::string pathText_;  // as the user gave it, for the messages
    std::string target_;    // the file that is replaced (a link's target)
    std::string temporary_; // the new file beside it
    std::FILE* file_ = nullptr;
};

// Replaces the file at pathText with bytes, as OutputFile does.
void writeWholeFile(const std::string& pathText, std::span<const std::uint8_t> bytes);

// The whole content of a regular file: "Cannot open file " + path as InputFile says, also when
// it holds more than maxBytes (a hand-picked file that is far too large for what it should be);
// "Stream read error" when reading fails part way.
std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path,
                                        std::uint64_t maxBytes = UINT64_MAX);
// The first maxBytes bytes of a regular file (all of a smaller one).
std::vector<std::uint8_t> readFileStart(const std::filesystem::path& path, std::size_t maxBytes);

} // namespace tapeloom
