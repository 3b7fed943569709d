#include "core_doubles.h"
#include "errors.h"
#include "files.h"
#include "image_writer.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

using test::Bytes;
using test::CountingProgress;
using test::fakeImage;
using test::patternBytes;
using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kKempston = "[Control_Kempston]\nButton A=JOY FIRE\nButton B=SPACE\n"
                              "Select=ENTER\nStart=0\nDPad Right=JOY RIGHT\nDPad Left=JOY LEFT\n"
                              "DPad Up=JOY UP\nDPad Down=JOY DOWN\nBack Right=SYM SHIFT\n"
                              "Back Left=SHIFT\n";
const KeyBlock kKempstonBlock = {45, 5, 10, 20, 41, 42, 44, 43, 4, 40};

CatalogueEntry entryIn(const TempDir& dir, std::string name, std::string fileName) {
    return {std::move(name), "", std::move(fileName), dir.str() + "/"};
}

Bytes slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

std::uint32_t dataOffsetAt(const Bytes& image, std::size_t record) {
    std::size_t at = fakeImage().size() + 32 * record + 16;
    return image[at] | image[at + 1] << 8 | image[at + 2] << 16 |
           static_cast<std::uint32_t>(image[at + 3]) << 24;
}

TEST(CatalogueImage, OneEntryIsRecordEndRecordAndSnapshot) {
    TempDir dir;
    auto snapshot = patternBytes(27, 1);
    writeFile(dir.path() / "manic.sna", snapshot);
    auto settings = SettingsFile::fromText(kKempston + "[manic]\nControl=Kempston\n");
    std::vector<CatalogueEntry> rows = {entryIn(dir, "Manics", "manic.sna")};
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", rows, settings, fakeImage(), progress);

    Bytes expected = fakeImage();
    for (char c : std::string("Manics         "))
        expected.push_back(static_cast<std::uint8_t>(c));
    expected.insert(expected.end(), {0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00});
    expected.insert(expected.end(), kKempstonBlock.begin(), kKempstonBlock.end());
    expected.resize(expected.size() + 32, 0);
    expected.insert(expected.end(), snapshot.begin(), snapshot.end());
    EXPECT_EQ(readFile(dir.path() / "tpl.gba"), expected);
    EXPECT_EQ(progress.steps, 2);
}

TEST(CatalogueImage, OffsetsCountFromTheTableAndSkipEmptyFiles) {
    TempDir dir;
    const std::array<std::size_t, 3> sizes = {49179, 0, 1000};
    std::vector<CatalogueEntry> rows;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::string file = "s" + std::to_string(i) + ".z80";
        writeFile(dir.path() / file, patternBytes(sizes[i], static_cast<std::uint8_t>(i)));
        rows.push_back(entryIn(dir, "S" + std::to_string(i), file));
    }
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", rows, SettingsFile(), fakeImage(), progress);
    auto image = readFile(dir.path() / "tpl.gba");
    const std::size_t table = fakeImage().size();
    ASSERT_EQ(image.size(), table + 128 + 50179);
    EXPECT_EQ(dataOffsetAt(image, 0), 128U);
    EXPECT_EQ(dataOffsetAt(image, 1), 49307U);
    EXPECT_EQ(dataOffsetAt(image, 2), 49307U);
    EXPECT_EQ(slice(image, table + 96, 32), Bytes(32, 0));
    EXPECT_EQ(slice(image, table + 128, 49179), patternBytes(49179, 0));
    EXPECT_EQ(slice(image, table + 49307, 1000), patternBytes(1000, 2));
    EXPECT_EQ(progress.steps, 6);
}

TEST(CatalogueImage, TheSameFileTwiceIsStoredTwice) {
    TempDir dir;
    writeFile(dir.path() / "a.sna", patternBytes(10, 3));
    std::vector<CatalogueEntry> rows = {entryIn(dir, "a", "a.sna"), entryIn(dir, "a", "a.sna")};
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", rows, SettingsFile(), fakeImage(), progress);
    auto image = readFile(dir.path() / "tpl.gba");
    EXPECT_EQ(dataOffsetAt(image, 0), 96U);
    EXPECT_EQ(dataOffsetAt(image, 1), 106U);
    EXPECT_EQ(image.size(), fakeImage().size() + 96 + 20);
}

TEST(CatalogueImage, NameFieldIsFifteenBytesThenZero) {
    TempDir dir;
    writeFile(dir.path() / "a.sna", {});
    std::vector<CatalogueEntry> rows = {entryIn(dir, "Exactly 15 char", "a.sna"),
                                        entryIn(dir, "Sixteen letters!", "a.sna"),
                                        entryIn(dir, "", "a.sna")};
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", rows, SettingsFile(), fakeImage(), progress);
    auto image = readFile(dir.path() / "tpl.gba");
    auto name = [&](std::size_t record) {
        auto bytes = slice(image, fakeImage().size() + 32 * record, 16);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(name(0), std::string("Exactly 15 char") + '\0');
    EXPECT_EQ(name(1), std::string("Sixteen letters") + '\0');
    EXPECT_EQ(name(2), std::string(15, ' ') + '\0');
}

TEST(KindByte, IsZeroOnlyForTheSnaExtension) {
    for (auto name : {"a.SNA", "a.sna", "a.Sna", "b.z80.sna"})
        EXPECT_EQ(snapshotKind(name), 0) << name;
    for (auto name : {"a.z80", "a.Z80", "noext", "a.sna.bak", "sna", "a.snap", ".sn"})
        EXPECT_EQ(snapshotKind(name), 1) << name;
}

TEST(ResolveKeys, PresetSectionOrTheSnapshotsOwnForExactlyCustom) {
    auto settings = SettingsFile::fromText(
        kKempston + "[own]\nControl=Custom\nButton A=SYM SHIFT\nBack Left=a\n"
                    "[lower]\nControl=custom\nButton A=A\n[Control_custom]\nButton A=B\n"
                    "[kemp]\nControl=Kempston\n[nopreset]\nControl=Cursor\n"
                    "[empty]\nControl=\n[none]\nFilename=x\n[bare]\nControl=Custom\n");
    EXPECT_EQ(resolveKeys(settings, "KEMP"), kKempstonBlock);
    EXPECT_EQ(resolveKeys(settings, "own"), (KeyBlock{4, 0, 0, 0, 0, 0, 0, 0, 0, 35}));
    EXPECT_EQ(resolveKeys(settings, "lower"), (KeyBlock{1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    for (auto section : {"nopreset", "empty", "none", "bare", "missing"})
        EXPECT_EQ(resolveKeys(settings, section), KeyBlock{}) << section;
}

TEST(CatalogueImage, UsesTheSchemeInTheSettingsNotTheRow) {
    TempDir dir;
    writeFile(dir.path() / "g.sna", {});
    auto settings = SettingsFile::fromText(kKempston + "[g]\nControl=Kempston\n");
    CatalogueEntry row = entryIn(dir, "g", "g.sna");
    row.scheme = "Custom";
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", std::span(&row, 1), settings, fakeImage(),
                        progress);
    auto image = readFile(dir.path() / "tpl.gba");
    EXPECT_EQ(slice(image, fakeImage().size() + 22, 10),
              Bytes(kKempstonBlock.begin(), kKempstonBlock.end()));
}

TEST(CatalogueImage, FindsASnapshotWhoseNameHasCapitals) {
    TempDir dir;
    writeFile(dir.path() / "Manic.SNA", patternBytes(5, 9));
    std::vector<CatalogueEntry> rows = {entryIn(dir, "m", "manic.sna")};
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", rows, SettingsFile(), fakeImage(), progress);
    auto image = readFile(dir.path() / "tpl.gba");
    EXPECT_EQ(slice(image, image.size() - 5, 5), patternBytes(5, 9));
}

TEST(CatalogueImage, AnEntryKeepsTheFileThatWasPicked) {
    TempDir dir;
    writeFile(dir.path() / "Game.sna", patternBytes(6, 1));
    writeFile(dir.path() / "game.sna", patternBytes(6, 2));
    CatalogueEntry picked = entryIn(dir, "g", "game.sna");
    picked.diskName = "Game.sna";
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", std::span(&picked, 1), SettingsFile(), fakeImage(),
                        progress);
    auto image = readFile(dir.path() / "tpl.gba");
    EXPECT_EQ(slice(image, image.size() - 6, 6), patternBytes(6, 1));
}

// The image is written beside and renamed over the old one only when complete: a snapshot
// that cannot be opened (gone, a folder, a pipe that must not be waited for) leaves whatever
// stood at the output as it was, and nothing beside it.
TEST(CatalogueImage, ASnapshotThatCannotBeReadLeavesTheOutputAsItWas) {
    TempDir dir;
    writeFile(dir.path() / "a.sna", patternBytes(5, 1));
    std::filesystem::create_directory(dir.path() / "folder.sna");
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.sna").c_str(), 0600), 0);
    const auto out = dir.path() / "out" / "tpl.gba";
    std::filesystem::create_directory(dir.path() / "out");
    for (bool oldImage : {false, true}) {
        if (oldImage)
            writeFile(out, patternBytes(70, 7));
        for (std::string missing : {"gone.z80", "folder.sna", "pipe.sna"}) {
            std::vector<CatalogueEntry> rows = {entryIn(dir, "a", "a.sna"),
                                                entryIn(dir, "b", missing)};
            CountingProgress progress;
            try {
                writeCatalogueImage(out, rows, SettingsFile(), fakeImage(), progress);
                FAIL() << "wrote with " << missing;
            } catch (const FileError& error) {
                EXPECT_EQ(std::string(error.what()),
                          "Cannot open file " + dir.str() + "/" + missing);
            }
            if (oldImage) {
                EXPECT_EQ(readFile(out), patternBytes(70, 7));
            }
            EXPECT_EQ(std::filesystem::exists(out), oldImage);
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.parent_path()), {}),
                      oldImage ? 1 : 0);
        }
    }
}

// The cartridge reads a record's name up to a byte below 0x20: a TAB typed into TPL.INI by
// hand would hide that entry and every later one.
TEST(ImageWriters, ControlBytesInNamesAreWrittenAsSpaces) {
    EXPECT_EQ(recordName("A\tB\x01"
                         "C\x7F\xC3\xA9",
                         15),
              "A B C\x7F\xC3\xA9       ");
    EXPECT_EQ(recordName("\r\n", 4), "    ");
    TempDir dir;
    writeFile(dir.path() / "a.sna", {});
    std::vector<CatalogueEntry> rows = {entryIn(dir, "Tab\there", "a.sna")};
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "tpl.gba", rows, SettingsFile(), fakeImage(), progress);
    auto image = readFile(dir.path() / "tpl.gba");
    auto name = slice(image, fakeImage().size(), 16);
    EXPECT_EQ(std::string(name.begin(), name.end()), std::string("Tab here       ") + '\0');

    writePluginImage(dir.path() / "plugin.gba",
                     SettingsFile::fromText("[Bell\x07Game]\nControl=Kempston\n"), fakeImage(),
                     progress);
    image = readFile(dir.path() / "plugin.gba");
    name = slice(image, fakeImage().size() + 42, 9);
    EXPECT_EQ(std::string(name.begin(), name.end()), "bell game");
}

TEST(ImageWriters, OutputThatCannotBeCreatedThrowsItsPath) {
    TempDir dir;
    auto out = dir.path() / "missing" / "tpl.gba";
    CountingProgress progress;
    try {
        writePluginImage(out, SettingsFile(), fakeImage(), progress);
        FAIL();
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + out.string());
    }
    EXPECT_THROW(writeCatalogueImage(out, {}, SettingsFile(), fakeImage(), progress), FileError);
}

TEST(PluginImage, WithoutSnapshotSectionsIsHeadRecordAndEndByte) {
    TempDir dir;
    auto settings = SettingsFile::fromText("[TPL]\nVersion=1.0.1.0\n[Settings]\nLastDir=/a/\n");
    CountingProgress progress;
    writePluginImage(dir.path() / "tpl.gba", settings, fakeImage(), progress);
    Bytes expected = fakeImage();
    for (char c : std::string("<POGOSHELL>") + std::string(20, ' '))
        expected.push_back(static_cast<std::uint8_t>(c));
    expected.resize(expected.size() + 1 + 10 + 1, 0);
    EXPECT_EQ(readFile(dir.path() / "tpl.gba"), expected);
    EXPECT_EQ(progress.maximum, 2);
    EXPECT_EQ(progress.steps, 2);
}

TEST(PluginImage, ListsEverySectionWithAControlValueInLowerCase) {
    TempDir dir;
    const std::string longName = "A Section Name Of Forty Characters Long!";
    ASSERT_EQ(longName.size(), 40U);
    auto settings = SettingsFile::fromText("[Control Defaults]\nDefault0=Kempston\n" + kKempston +
                                           "[Jet Set WILLY]\n" + "Control=Custom\nButton A=Q\n[" +
                                           longName + "]\nControl=Kempston\n[nokeys]\n" +
                                           "Control=\nFilename=x\n[Empty]\n");
    CountingProgress progress;
    writePluginImage(dir.path() / "tpl.gba", settings, fakeImage(), progress);
    auto image = readFile(dir.path() / "tpl.gba");
    const std::size_t table = fakeImage().size();
    ASSERT_EQ(image.size(), table + 42 * 3 + 1);
    EXPECT_EQ(slice(image, table + 32, 10), Bytes(kKempstonBlock.begin(), kKempstonBlock.end()));
    auto record = slice(image, table + 42, 42);
    EXPECT_EQ(std::string(record.begin(), record.begin() + 32),
              "jet set willy" + std::string(18, ' ') + '\0');
    EXPECT_EQ(slice(record, 32, 10), (Bytes{30, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    record = slice(image, table + 84, 42);
    EXPECT_EQ(std::string(record.begin(), record.begin() + 32),
              "a section name of forty charact" + std::string(1, '\0'));
    EXPECT_EQ(slice(record, 32, 10), Bytes(kKempstonBlock.begin(), kKempstonBlock.end()));
    EXPECT_EQ(image.back(), 0);
    EXPECT_EQ(progress.maximum, 6);
    EXPECT_EQ(progress.steps, 6);
}

// A write that fails (a file grown past what the system allows; a full file system where the
// machine lets us make a small one) is a "Stream write error" naming the image and the reason,
// and the old image stays whole.
TEST(ImageWriters, AFailedWriteNamesTheImageAndKeepsTheOldOne) {
    TempDir dir;
    writeFile(dir.path() / "big.sna", patternBytes(3 << 20, 1));
    std::vector<CatalogueEntry> rows = {entryIn(dir, "big", "big.sna")};
    const auto out = dir.path() / "tpl.gba";
    writeFile(out, patternBytes(1000, 3));
    CountingProgress progress;
    {
        const test::FileSizeLimit limit(1 << 20);
        try {
            writeCatalogueImage(out, rows, SettingsFile(), fakeImage(), progress);
            FAIL() << "wrote past the limit";
        } catch (const FileError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Stream write error\r" + out.string() + ": File too large");
        }
    }
    EXPECT_EQ(readFile(out), patternBytes(1000, 3));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    const auto small = dir.path() / "small";
    std::filesystem::create_directory(small);
    const auto result = test::inSmallFileSystem(small, 512 << 10, [&] {
        writeFile(small / "tpl.gba", patternBytes(1000, 3));
        int failures = 0;
        try {
            writeCatalogueImage(small / "tpl.gba", rows, SettingsFile(), fakeImage(), progress);
            failures |= 1;
        } catch (const FileError& error) {
            if (std::string(error.what()) !=
                "Stream write error\r" + (small / "tpl.gba").string() + ": No space left on device")
                failures |= 2;
        }
        if (readFile(small / "tpl.gba") != patternBytes(1000, 3))
            failures |= 4;
        if (std::distance(std::filesystem::directory_iterator(small), {}) != 1)
            failures |= 8;
        return failures;
    });
    if (!result)
        GTEST_SKIP() << "no small file system here (needs a mount namespace)";
    EXPECT_EQ(*result, 0);
}

} // namespace
} // namespace tapeloom
