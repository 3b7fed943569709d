#include "tape_snapshots.h"

#include "byte_files.h"
#include "errors.h"
#include "text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

namespace tapeloom {

namespace {

// The file's bytes, when it is a regular file of exactly that size that can be read.
bool holdsExactly(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) != bytes.size() || error)
        return false;
    try {
        std::vector<std::uint8_t> content = readWholeFile(path);
        return std::equal(content.begin(), content.end(), bytes.begin(), bytes.end());
    } catch (const FileError&) {
        return false;
    }
}

// A new file in `folder` holding the bytes, under a name of its own.
std::filesystem::path writeTemporary(const std::filesystem::path& folder,
                                     std::span<const std::uint8_t> bytes) {
    std::string pattern = (folder / ".tapeloom-XXXXXX").string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw FileError::cannotCreate((folder / "").string());
    ::close(fd);
    try {
        writeWholeFile(pattern, bytes);
    } catch (...) {
        ::unlink(pattern.c_str());
        throw;
    }
    return pattern;
}

} // namespace

bool isTapeFile(const std::filesystem::path& path) {
    std::string extension = asciiLower(path.extension().string());
    return extension == ".tap" || extension == ".tzx";
}

std::filesystem::path tapeSnapshotFolder(const std::filesystem::path& startDirectory) {
    return startDirectory / kTapeSnapshotFolder;
}

std::filesystem::path storeTapeSnapshot(const std::filesystem::path& folder,
                                        const std::filesystem::path& tapePath,
                                        std::span<const std::uint8_t> snapshot) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder))
        throw FileError::cannotCreate(folder.string());
    const std::string stem = asciiLower(tapePath.stem().string());
    std::filesystem::path temporary;
    for (unsigned number = 1;; ++number) {
        std::filesystem::path candidate =
            folder / (number == 1 ? stem + ".z80" : stem + "-" + std::to_string(number) + ".z80");
        if (holdsExactly(candidate, snapshot)) {
            if (!temporary.empty())
                ::unlink(temporary.c_str());
            return candidate;
        }
        if (std::filesystem::exists(std::filesystem::symlink_status(candidate)))
            continue;
        if (temporary.empty())
            temporary = writeTemporary(folder, snapshot);
        // A hard link is made only where no file is: a file that appeared meanwhile stays.
        if (::link(temporary.c_str(), candidate.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return candidate;
        }
        if (errno != EEXIST) {
            ::unlink(temporary.c_str());
            throw FileError::cannotCreate(candidate.string());
        }
    }
}

void writeNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                  bool replace) {
    std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::filesystem::path temporary = writeTemporary(folder, bytes);
    int done = replace ? ::rename(temporary.c_str(), path.c_str())
                       : ::link(temporary.c_str(), path.c_str());
    int failure = errno;
    if (!replace || done != 0)
        ::unlink(temporary.c_str());
    if (done != 0)
        throw FileError(failure == EEXIST ? path.string() + ": File exists"
                                          : FileError::cannotCreate(path.string()).what());
}

ByteView tapeRom() {
    auto rom = findDataItem("rom48");
    if (!rom)
        throw TapeLoadError("The 48K ROM is missing from this build");
    return *rom;
}

std::filesystem::path convertTape(const std::filesystem::path& tapePath,
                                  const std::filesystem::path& folder,
                                  const TapeLoadOptions& options) {
    TapeFile tape = TapeFile::read(tapePath);
    LoadedTape loaded = loadTape(tape, tapeRom(), options);
    return storeTapeSnapshot(folder, tapePath, loaded.snapshot);
}

} // namespace tapeloom
