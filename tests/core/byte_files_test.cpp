// The one whole-file reader: the settings file, INJECT.INI and the preview read through it.
#include "byte_files.h"
#include "errors.h"
#include "files.h"
#include "inject_ini.h"
#include "screen_decoder.h"
#include "settings_file.h"

#include <sys/stat.h>

#include <functional>

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

using test::Bytes;
using test::patternBytes;
using test::TempDir;
using test::writeFile;

std::string openError(const std::function<void()>& read) {
    try {
        read();
    } catch (const FileError& error) {
        return error.what();
    }
    return "(read)";
}

TEST(ReadWholeFile, EveryByteOfEmptySmallAndManyChunkFiles) {
    TempDir dir;
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 300001u}) {
        const Bytes bytes = patternBytes(size, static_cast<std::uint8_t>(size));
        writeFile(dir.path() / "f", bytes);
        EXPECT_EQ(readWholeFile(dir.path() / "f"), bytes) << size;
    }
}

// A folder, a device or a named pipe is not a file to read whole; a named pipe without a writer
// would otherwise hold the window (or the command) forever at opening.
TEST(ReadWholeFile, OnlyARegularFileIsOpened) {
    TempDir dir;
    const auto pipe = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.path() / "folder");
    for (const std::filesystem::path& path :
         {dir.path() / "missing", dir.path() / "folder", pipe, std::filesystem::path("/dev/null")})
        EXPECT_EQ(openError([&] { readWholeFile(path); }), "Cannot open file " + path.string());

    // Through each reader: the settings file, an import, a preview.
    const auto ini = dir.path() / "TPL.INI";
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
    EXPECT_EQ(openError([&] { SettingsFile::open(ini); }), "Cannot open file " + ini.string());
    SettingsFile settings;
    EXPECT_EQ(openError([&] {
                  importInjectIni(pipe, settings, {true, true});
              }),
              "Cannot open file " + pipe.string());
    EXPECT_EQ(openError([&] { decodeSnapshotScreen(pipe); }), "Cannot open file " + pipe.string());
}

TEST(ReadWholeFile, AReadThatFailsPartWayIsAStreamReadError) {
    // A regular file by its type whose first byte cannot be read: the process's own memory
    // from address 0.
    const std::filesystem::path unreadable = "/proc/self/mem";
    if (!std::filesystem::exists(unreadable))
        GTEST_SKIP() << "no " << unreadable;
    EXPECT_EQ(openError([&] { readWholeFile(unreadable); }),
              "Stream read error\r" + unreadable.string());
}

// A file far larger than its kind can be (picked by mistake, or a sparse file) costs no more
// than what is needed of it: the preview reads the start, whole-file readers refuse it.
TEST(ReadWholeFile, AHugeFileIsNeverReadWhole) {
    TempDir dir;
    const auto huge = dir.path() / "huge.sna";
    writeFile(huge, patternBytes(100, 1));
    std::filesystem::resize_file(huge, 64ull << 30); // sparse: 64 GiB of nothing on disk
    const auto start = readFileStart(huge, 1000);
    EXPECT_EQ(start.size(), 1000U);
    EXPECT_EQ(Bytes(start.begin(), start.begin() + 100), patternBytes(100, 1));
    EXPECT_EQ(readFileStart(huge, 0).size(), 0U);
    (void)decodeSnapshotScreen(huge);
    EXPECT_EQ(openError([&] { readWholeFile(huge, 4096); }),
              "Cannot open file " + huge.string() +
                  "\rThe file is larger than the 4096 bytes it can hold at most");
    std::filesystem::rename(huge, dir.path() / "TPL.INI");
    EXPECT_EQ(openError([&] {
                  SettingsFile::open(dir.path() / "TPL.INI");
              }).rfind("Cannot open file " + (dir.path() / "TPL.INI").string() + "\r", 0),
              0U);
    // A device that never ends is not a regular file at all.
    std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.sna");
    EXPECT_EQ(openError([&] { decodeSnapshotScreen(dir.path() / "zero.sna"); }),
              "Cannot open file " + (dir.path() / "zero.sna").string());
}

} // namespace
} // namespace tapeloom
