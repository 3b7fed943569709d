#include "catalogue.h"
#include "errors.h"
#include "files.h"
#include "settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tapeloom {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;

TEST(SettingsText, TrimsControlCharactersAndSpacesEverywhere) {
    auto settings = SettingsFile::fromText("\t[  Control_Kempston \x01]  \r\n"
                                           "  Button A  \t=   SYM SHIFT  \r\n"
                                           "DPad Up=\x1f Q \x7f\r\n");
    EXPECT_EQ(settings.read("Control_Kempston", "Button A", "?"), "SYM SHIFT");
    // 127 is above 32, so it stays.
    EXPECT_EQ(settings.read("Control_Kempston", "DPad Up", "?"), "Q \x7f");
    EXPECT_EQ(settings.sectionNames(), std::vector<std::string>{"Control_Kempston"});
}

TEST(SettingsText, KeepsBytesAboveTheAsciiRange) {
    auto settings = SettingsFile::fromText("[caf\xE9]\nFilename=\xC3\xA9t\xC3\xA9\xA0\n");
    EXPECT_EQ(settings.read("CAF\xE9", "filename", ""), "\xC3\xA9t\xC3\xA9\xA0");
}

TEST(SettingsText, SectionsAndKeysIgnoreAsciiCase) {
    auto settings = SettingsFile::fromText("[Settings]\nLastDir=/a/\n");
    EXPECT_EQ(settings.read("settings", "lastdir", ""), "/a/");
    settings.write("SETTINGS", "LASTDIR", "/b/");
    EXPECT_EQ(settings.toText(), "[Settings]\r\nLastDir=/b/\r\n\r\n");
}

TEST(SettingsText, DropsCommentsAndLinesBeforeTheFirstSectionKeepsOtherLines) {
    auto settings = SettingsFile::fromText("orphan=1\n; note\n[A]\n;x=1\njust text\n\n"
                                           "[B\n k = v = w \n");
    EXPECT_EQ(settings.toText(), "[A]\r\njust text\r\n[B\r\nk=v = w\r\n\r\n");
    EXPECT_FALSE(settings.keyExists("A", "orphan"));
}

TEST(SettingsText, AcceptsLfCrAndCrLfLineEnds) {
    auto settings = SettingsFile::fromText("[A]\rx=1\ny=2\r\nz=3");
    EXPECT_EQ(settings.read("A", "x", ""), "1");
    EXPECT_EQ(settings.read("A", "y", ""), "2");
    EXPECT_EQ(settings.read("A", "z", ""), "3");
}

TEST(SettingsText, DefaultOnlyForAMissingKey) {
    auto settings = SettingsFile::fromText("[Settings]\nTPLBinary=\n");
    EXPECT_EQ(settings.read("Settings", "TPLBinary", "/cwd"), "");
    EXPECT_EQ(settings.read("Settings", "Pogoshell", "/cwd"), "/cwd");
    EXPECT_EQ(settings.read("Nowhere", "TPLBinary", "d"), "d");
}

TEST(SettingsText, EmptySectionsAreAbsentButWritten) {
    auto settings = SettingsFile::fromText("[Empty]\n[Text only]\nno equals sign\n[game]\n"
                                           "Filename=game\nButton A=A\n");
    EXPECT_FALSE(settings.sectionExists("Empty"));
    EXPECT_FALSE(settings.sectionExists("text only"));
    EXPECT_TRUE(settings.sectionExists("GAME"));
    settings.remove("game", "Filename");
    settings.remove("game", "Button A");
    EXPECT_FALSE(settings.sectionExists("game"));
    EXPECT_EQ(settings.toText(), "[Empty]\r\n\r\n[Text only]\r\nno equals sign\r\n\r\n"
                                 "[game]\r\n\r\n");
}

TEST(SettingsText, WritesSectionsAndKeysInTheOrderFirstMet) {
    SettingsFile settings;
    settings.write("TPL", "Version", "1.0.1.0");
    settings.write("game", "Filename", "Game");
    settings.write("game", "Control", "Custom");
    settings.write("Settings", "LastDir", "/snaps/");
    settings.write("game", "Filename", "Renamed");
    EXPECT_EQ(settings.toText(), "[TPL]\r\nVersion=1.0.1.0\r\n\r\n"
                                 "[game]\r\nFilename=Renamed\r\nControl=Custom\r\n\r\n"
                                 "[Settings]\r\nLastDir=/snaps/\r\n\r\n");
}

// Deleting shifts the later keys; the hash index must follow them.
TEST(SettingsText, DeletingAKeyKeepsTheOthersFindable) {
    SettingsFile settings;
    for (auto key : {"a", "b", "c", "d"})
        settings.write("S", key, std::string(key) + "!");
    settings.remove("s", "B");
    settings.remove("S", "missing");
    settings.remove("Missing", "a");
    EXPECT_EQ(settings.read("S", "c", ""), "c!");
    EXPECT_EQ(settings.read("S", "d", ""), "d!");
    settings.write("S", "c", "C");
    settings.write("S", "b", "again");
    EXPECT_EQ(settings.toText(), "[S]\r\na=a!\r\nc=C\r\nd=d!\r\nb=again\r\n\r\n");
}

// A hand-edited file may repeat sections and keys: the first place is kept, the later value
// wins, so nothing is written twice and nothing read is lost.
TEST(SettingsText, RepeatedSectionsMergeAndRepeatedKeysTakeTheLaterValue) {
    auto settings = SettingsFile::fromText("[game]\nFilename=One\nControl=Kempston\n[Other]\nx=1\n"
                                           "[GAME]\nfilename=Two\nButton A=A\n");
    EXPECT_EQ(settings.read("game", "Filename", ""), "Two");
    EXPECT_EQ(settings.sectionNames(), (std::vector<std::string>{"game", "Other"}));
    EXPECT_EQ(settings.toText(), "[game]\r\nFilename=Two\r\nControl=Kempston\r\nButton A=A\r\n"
                                 "\r\n[Other]\r\nx=1\r\n\r\n");
}

TEST(SettingsText, RoundTripKeepsOrderAndContent) {
    const std::string text = "[TPL]\r\nVersion=1.0.1.0\r\n\r\n[Control Defaults]\r\n"
                             "Default0=Kempston\r\nDefault0n=Kempston\r\n\r\n[Control_Kempston]"
                             "\r\nButton A=JOY FIRE\r\nDPad Up=JOY UP\r\n\r\n[Empty]\r\n\r\n"
                             "[jet set willy]\r\nFilename=jet set willy\r\nControl=Custom\r\n"
                             "Button A=SYM SHIFT\r\n\r\n";
    EXPECT_EQ(SettingsFile::fromText(text).toText(), text);
}

TEST(SettingsFileOnDisk, MissingFileIsEmptyAndSaveCreatesIt) {
    TempDir dir;
    auto settings = SettingsFile::open(dir.path() / "TPL.INI");
    EXPECT_TRUE(settings.sectionNames().empty());
    settings.write("TPL", "Version", "1.0.1.0");
    settings.save();
    EXPECT_EQ(readText(dir.path() / "TPL.INI"), "[TPL]\r\nVersion=1.0.1.0\r\n\r\n");
    EXPECT_EQ(SettingsFile::open(dir.path() / "TPL.INI").toText(), settings.toText());
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(SettingsFileOnDisk, SaveReplacesTheFileAndKeepsItsPermissions) {
    TempDir dir;
    auto path = dir.path() / "TPL.INI";
    writeText(path, std::string(5000, 'x'));
    ::chmod(path.c_str(), 0640);
    auto settings = SettingsFile::open(path);
    settings.write("A", "b", "c");
    settings.save();
    EXPECT_EQ(readText(path), "[A]\r\nb=c\r\n\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640U);
}

TEST(SettingsFileOnDisk, SaveThroughALinkReplacesTheTargetAndKeepsTheLink) {
    TempDir dir;
    writeText(dir.path() / "real.ini", "[A]\r\nx=1\r\n\r\n");
    std::filesystem::create_symlink("real.ini", dir.path() / "TPL.INI");
    auto settings = SettingsFile::open(dir.path() / "TPL.INI");
    settings.write("A", "x", "2");
    settings.save();
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "TPL.INI"));
    EXPECT_EQ(readText(dir.path() / "real.ini"), "[A]\r\nx=2\r\n\r\n");
}

TEST(SettingsFileOnDisk, FailedSaveThrowsAndLeavesWhatWasThere) {
    TempDir dir;
    writeText(dir.path() / "plain", "not a folder");
    auto underAFile = SettingsFile::open(dir.path() / "plain" / "TPL.INI");
    underAFile.write("A", "b", "c");
    try {
        underAFile.save();
        FAIL() << "save under a regular file succeeded";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot create file " + (dir.path() / "plain" / "TPL.INI").string());
    }
    EXPECT_EQ(readText(dir.path() / "plain"), "not a folder");

    // A folder standing where the file should be is neither replaced nor filled.
    auto inPlace = dir.path() / "TPL.INI";
    auto settings = SettingsFile::open(inPlace);
    settings.write("A", "b", "c");
    std::filesystem::create_directory(inPlace);
    writeText(inPlace / "keep", "k");
    EXPECT_THROW(settings.save(), FileError);
    EXPECT_TRUE(std::filesystem::is_directory(inPlace));
    EXPECT_EQ(readText(inPlace / "keep"), "k");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// An editor's byte-order mark must not hide the first section (typed from the README's starter,
// it is [Control Defaults]); the saved file keeps the mark.
TEST(SettingsFileOnDisk, AUtf8MarkIsReadThroughAndKept) {
    TempDir dir;
    const std::string text = "\xEF\xBB\xBF[Control Defaults]\r\nDefault0=Kempston\r\n\r\n"
                             "[Control_Kempston]\r\nButton A=JOY FIRE\r\n\r\n";
    writeText(dir.path() / "TPL.INI", text);
    auto settings = SettingsFile::open(dir.path() / "TPL.INI");
    EXPECT_EQ(settings.read("Control Defaults", "Default0", ""), "Kempston");
    EXPECT_EQ(settings.sectionNames().front(), "Control Defaults");
    settings.save();
    EXPECT_EQ(readText(dir.path() / "TPL.INI"), text);
    EXPECT_EQ(SettingsFile::fromText("[A]\r\nb=c\r\n\r\n").toText().substr(0, 1), "[");
}

// Read as single bytes, UTF-16 would be saved as a mix of encodings: it is refused with the
// reason, and nothing that follows can overwrite it.
TEST(SettingsFileOnDisk, Utf16IsRefusedAndLeftAlone) {
    TempDir dir;
    const auto path = dir.path() / "TPL.INI";
    auto utf16 = [](std::string_view text, bool littleEndian, bool mark) {
        std::string bytes = mark ? (littleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
        for (char c : text) {
            bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
        }
        return bytes;
    };
    for (bool littleEndian : {true, false}) {
        for (bool mark : {true, false}) {
            const std::string bytes = utf16("[Settings]\r\nTPLBinary=/out\r\n", littleEndian, mark);
            writeText(path, bytes);
            try {
                SettingsFile::open(path);
                FAIL() << "read UTF-16 " << littleEndian << mark;
            } catch (const FileError& error) {
                EXPECT_EQ(std::string(error.what()),
                          "Cannot open file " + path.string() + "\r" + std::string(kUtf16Refusal));
            }
            EXPECT_THROW(openSession(dir.path()), FileError);
            EXPECT_EQ(readText(path), bytes);
        }
    }
}

TEST(SettingsFileOnDisk, AFileThatCannotBeReadIsNotTakenForAnEmptyOne) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "TPL.INI");
    try {
        SettingsFile::open(dir.path() / "TPL.INI");
        FAIL() << "opened a folder";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file " + (dir.path() / "TPL.INI").string());
    }
}

} // namespace
} // namespace tapeloom
