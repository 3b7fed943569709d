#include "errors.h"
#include "files.h"
#include "settings_dialog.h"

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;

class SettingsDialogRules : public ::testing::Test {
  protected:
    TempDir dir_;

    std::filesystem::path ini() const { return dir_.path() / "TPL.INI"; }
    SettingsFile open(std::string_view text) {
        writeText(ini(), text);
        return SettingsFile::open(ini());
    }
    // A folder below the temporary one holding the given sub-folders.
    std::string folderWith(const std::string& name, std::initializer_list<const char*> parts) {
        const auto folder = dir_.path() / name;
        std::filesystem::create_directories(folder);
        for (const char* part : parts)
            std::filesystem::create_directories(folder / part);
        return folder.string();
    }
};

TEST_F(SettingsDialogRules, DriveOfTheCurrentDirectoryIsTheRoot) {
    EXPECT_EQ(driveOf("/home/user/games"), "/");
    EXPECT_EQ(driveOf("/"), "/");
    EXPECT_EQ(driveOf(""), "/");
}

TEST_F(SettingsDialogRules, PogoshellFolderTestNeedsAllThreeFoldersAsFolders) {
    const std::string good = folderWith("good", {"plugins", "theme", "root"});
    EXPECT_EQ(testPogoshellFolder(good), good);
    EXPECT_EQ(testPogoshellFolder(good + "/"), good + "/"); // the text comes back unchanged
    EXPECT_EQ(testPogoshellFolder(folderWith("noroot", {"plugins", "theme"})), "");
    EXPECT_EQ(testPogoshellFolder((dir_.path() / "missing").string()), "");
    EXPECT_EQ(testPogoshellFolder(""), "");
    // A file where a folder should be does not count.
    const std::string fileRoot = folderWith("fileroot", {"plugins", "theme"});
    writeText(fileRoot + "/root", "not a folder");
    EXPECT_EQ(testPogoshellFolder(fileRoot), "");
}

TEST_F(SettingsDialogRules, NewFolderWarningNamesTheFirstMissingFolderInCheckOrder) {
    const std::string prefix = "This folder does not appear to contain Pogoshell!\r"
                               "Can't find folder \\";
    EXPECT_EQ(pogoshellSubfolderProblem(folderWith("none", {})), prefix + "plugins");
    // theme is tested before root at opening, but after it here.
    EXPECT_EQ(pogoshellSubfolderProblem(folderWith("a", {"plugins"})), prefix + "root");
    EXPECT_EQ(pogoshellSubfolderProblem(folderWith("b", {"plugins", "theme"})), prefix + "root");
    EXPECT_EQ(pogoshellSubfolderProblem(folderWith("c", {"plugins", "root"})), prefix + "theme");
    EXPECT_EQ(pogoshellSubfolderProblem(folderWith("d", {"plugins", "root", "theme"})),
              std::nullopt);
    EXPECT_EQ(kPogoshellWarning.caption, "Tapeloom warning");
}

TEST_F(SettingsDialogRules, OpeningWithoutSettingsOffersTheDriveAndWritesNothing) {
    SettingsFile settings = open("[game]\r\nFilename=Game\r\n");
    const SettingsOpening opening = openSettings(settings, dir_.path());
    EXPECT_EQ(opening.choices.imageFolder, "/");
    EXPECT_EQ(opening.choices.pogoshellFolder, ""); // the root holds no Pogoshell
    EXPECT_FALSE(opening.choices.associations);
    EXPECT_EQ(opening.choices.theme, "Original");
    EXPECT_FALSE(opening.choices.compile);
    EXPECT_EQ(readText(ini()), "[game]\r\nFilename=Game\r\n");
}

// A card not inserted while the dialog opens: nothing is lost on disk or in memory, so Cancel
// (or closing the window) keeps every Pogoshell choice. Only OK writes what the dialog shows.
TEST_F(SettingsDialogRules, VanishedFolderLosesNothingUntilOk) {
    const std::string text =
        "[Settings]\r\nTPLBinary=/out\r\nCompile=Yes\r\nPogoshell=" +
        (dir_.path() / "gone").string() +
        "\r\nLastDir=/x/\r\nTheme=pogoxp\r\nAssociations=Maintain\r\n[game]\r\nA=1\r\n";
    SettingsFile settings = open(text);
    const std::string inMemory = settings.toText();
    const SettingsOpening opening = openSettings(settings, dir_.path());
    EXPECT_EQ(opening.choices.imageFolder, "/out");
    EXPECT_EQ(opening.choices.pogoshellFolder, "");
    EXPECT_TRUE(opening.choices.associations);
    EXPECT_EQ(opening.choices.theme, "PogoXP");
    EXPECT_TRUE(opening.choices.compile);
    EXPECT_EQ(readText(ini()), text);
    EXPECT_EQ(settings.toText(), inMemory);

    // OK with the dialog as it opened: the folder it showed as none goes, the boxes stay.
    applySettings(settings, opening.choices);
    EXPECT_EQ(readText(ini()),
              "[Settings]\r\nTPLBinary=/out\r\nCompile=Yes\r\nLastDir=/x/\r\n"
              "Theme=PogoXP\r\nAssociations=Maintain\r\n\r\n[game]\r\nA=1\r\n\r\n");
}

TEST_F(SettingsDialogRules, ValidFolderOpensWithoutWritingOrSaving) {
    const std::string pogo = folderWith("pogo", {"plugins", "theme", "root"});
    const std::string text = "[Settings]\r\nPogoshell=" + pogo +
                             "\r\nAssociations=maintain\r\n"
                             "Theme=Blue\r\nCompile=yes\r\n";
    SettingsFile settings = open(text);
    writeText(ini(), "changed on disk"); // a save would overwrite this
    const SettingsOpening opening = openSettings(settings, dir_.path());
    EXPECT_EQ(opening.choices.pogoshellFolder, pogo);
    EXPECT_FALSE(opening.choices.associations); // the two words count with their case
    EXPECT_FALSE(opening.choices.compile);
    EXPECT_EQ(opening.choices.theme, ""); // no entry matches
    EXPECT_EQ(opening.choices.imageFolder, "/");
    EXPECT_EQ(readText(ini()), "changed on disk");
    EXPECT_EQ(settings.toText(), SettingsFile::fromText(text).toText());
}

TEST_F(SettingsDialogRules, ThemeMatchesIgnoringAsciiCaseAndAnEmptyValueIsNotTheDefault) {
    EXPECT_EQ(themeChoice("xpsmall"), "XPSmall");
    EXPECT_EQ(themeChoice("AMIGA"), "Amiga");
    EXPECT_EQ(themeChoice("PogoXP "), "");
    EXPECT_EQ(themeChoice(""), "");
    SettingsFile settings = open("[Settings]\r\nTheme=\r\n");
    EXPECT_EQ(openSettings(settings, dir_.path()).choices.theme, "");
}

TEST_F(SettingsDialogRules, OkWritesInOrderAndSaves) {
    SettingsFile settings = open("");
    SettingsChoices choices{"/out", "/pogo", true, "Amiga", true};
    applySettings(settings, choices);
    EXPECT_EQ(readText(ini()), "[Settings]\r\nTPLBinary=/out\r\nPogoshell=/pogo\r\n"
                               "Associations=Maintain\r\nTheme=Amiga\r\nCompile=Yes\r\n\r\n");

    // Cleared choices delete their keys; an empty image folder and theme are still written.
    applySettings(settings, {"", "", false, "XPSmall", false});
    EXPECT_EQ(readText(ini()), "[Settings]\r\nTPLBinary=\r\n\r\n");
    applySettings(settings, {"/out", "", true, "", false});
    EXPECT_EQ(readText(ini()), "[Settings]\r\nTPLBinary=/out\r\nAssociations=Maintain\r\n"
                               "Theme=\r\n\r\n");
}

TEST_F(SettingsDialogRules, ThemePickWritesBothKeysAndSavesAtOnce) {
    SettingsFile settings = open("[Settings]\r\nTheme=Original\r\n");
    recordThemePick(settings, "PogoXP");
    EXPECT_EQ(readText(ini()), "[Settings]\r\nTheme=PogoXP\r\nAssociations=Maintain\r\n\r\n");
}

TEST_F(SettingsDialogRules, FailedSavesThrowAfterTheWrites) {
    SettingsFile settings = SettingsFile::open(dir_.path() / "no such folder" / "TPL.INI");
    EXPECT_THROW(applySettings(settings, {"/out", "", false, "", true}), FileError);
    EXPECT_EQ(settings.read("Settings", "Compile", ""), "Yes");
    EXPECT_THROW(recordThemePick(settings, "Amiga"), FileError);
    EXPECT_EQ(settings.read("Settings", "Theme", ""), "Amiga");
}

} // namespace
} // namespace tapeloom
