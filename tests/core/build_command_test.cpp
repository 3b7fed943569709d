#include "build_command.h"
#include "core_doubles.h"
#include "files.h"

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

using test::Bytes;
using test::fakeImage;
using test::patternBytes;
using test::readFile;
using test::ScriptedHost;
using test::shown;
using test::TempDir;
using test::writeFile;

class BuildCommand : public ::testing::Test {
  protected:
    TempDir dir;
    ScriptedHost host;
    std::vector<CatalogueEntry> rows;

    void SetUp() override {
        host.current = dir.path() / "cwd";
        std::filesystem::create_directory(host.current);
    }

    void addSnapshot(const std::string& fileName, std::size_t size) {
        writeFile(dir.path() / fileName, patternBytes(size, static_cast<std::uint8_t>(size)));
        rows.push_back({sectionKeyOf(fileName), "Kempston", fileName, dir.str() + "/"});
    }
    BuildOutcome build(const SettingsFile& settings) {
        return createTpl(rows, settings, host, fakeImage());
    }
    std::filesystem::path output() const { return host.current / "tpl.gba"; }
};

TEST_F(BuildCommand, CatalogueGoesToTheCurrentDirectoryWithProgressAndMessage) {
    addSnapshot("a.sna", 10);
    addSnapshot("b.z80", 20);
    EXPECT_EQ(build(SettingsFile()), BuildOutcome::Created);
    EXPECT_EQ(readFile(output()).size(), fakeImage().size() + 96 + 30);
    EXPECT_EQ(host.messages, std::vector{shown(kCatalogueCreated)});
    EXPECT_EQ(host.rangeMin, 0);
    EXPECT_EQ(host.rangeMax, 4);
    EXPECT_EQ(host.stepSize, 1);
    EXPECT_EQ(host.steps, 4);
    EXPECT_EQ(host.position, 0);
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(BuildCommand, TplBinaryFolderIsUsedAsWrittenAndMadeOneLevelDeep) {
    addSnapshot("a.sna", 1);
    auto target = dir.path() / "out";
    auto settings = SettingsFile::fromText("[Settings]\nTPLBinary=" + target.string() + "\n");
    EXPECT_EQ(build(settings), BuildOutcome::Created);
    EXPECT_TRUE(std::filesystem::exists(target / "tpl.gba"));
    EXPECT_FALSE(std::filesystem::exists(output()));

    auto deep = dir.path() / "no" / "such";
    settings.write("Settings", "TPLBinary", deep.string());
    EXPECT_EQ(build(settings), BuildOutcome::Failed);
    EXPECT_EQ(host.errors,
              std::vector<std::string>{"Cannot create file " + deep.string() + "/tpl.gba"});
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no"));
}

TEST_F(BuildCommand, DeclinedReplaceLeavesTheFileAsItWas) {
    addSnapshot("a.sna", 3);
    writeFile(output(), patternBytes(4000, 42));
    host.answers = {Answer::No};
    EXPECT_EQ(build(SettingsFile()), BuildOutcome::Declined);
    EXPECT_EQ(readFile(output()), patternBytes(4000, 42));
    EXPECT_EQ(host.messages, std::vector{shown(kReplaceCatalogueQuestion)});
    EXPECT_EQ(host.rangeMax, -1); // the bar was not touched
}

TEST_F(BuildCommand, AcceptedReplaceWritesTheWholeFileAndRepeatsByteForByte) {
    addSnapshot("a.sna", 3);
    addSnapshot("b.sna", 7);
    ASSERT_EQ(build(SettingsFile()), BuildOutcome::Created);
    Bytes first = readFile(output());
    writeFile(output(), patternBytes(100000, 1)); // a longer old file must leave no tail
    host.answers = {Answer::Yes};
    EXPECT_EQ(build(SettingsFile()), BuildOutcome::Created);
    EXPECT_EQ(readFile(output()), first);
    host.answers = {Answer::Yes};
    EXPECT_EQ(build(SettingsFile()), BuildOutcome::Created);
    EXPECT_EQ(readFile(output()), first);
}

TEST_F(BuildCommand, VanishedSnapshotEndsTheBuildWithItsPath) {
    addSnapshot("a.sna", 3);
    addSnapshot("b.sna", 3);
    std::filesystem::remove(dir.path() / "b.sna");
    EXPECT_EQ(build(SettingsFile()), BuildOutcome::Failed);
    EXPECT_EQ(host.errors, std::vector<std::string>{"Cannot open file " + dir.str() + "/b.sna"});
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.position, -1);
    EXPECT_EQ(readFile(output()).size(), fakeImage().size() + 64);
}

TEST_F(BuildCommand, CatalogueRoadNeverInstallsIntoPogoshell) {
    addSnapshot("a.sna", 3);
    auto pogo = dir.path() / "pogo";
    std::filesystem::create_directories(pogo / "root" / ".shell");
    auto settings = SettingsFile::fromText("[Settings]\nPogoshell=" + pogo.string() +
                                           "\nAssociations=Maintain\nTheme=Amiga\nCompile=Yes\n");
    EXPECT_EQ(build(settings), BuildOutcome::Created);
    EXPECT_TRUE(std::filesystem::is_empty(pogo / "root" / ".shell"));
    EXPECT_FALSE(std::filesystem::exists(pogo / "root" / ".plugins"));
    EXPECT_TRUE(host.started.empty());
}

TEST_F(BuildCommand, TplBinaryOfExactlyThePluginSubfolderIsTheMissingFolderError) {
    addSnapshot("a.sna", 3);
    auto settings = SettingsFile::fromText("[Settings]\nTPLBinary=/root/.plugins\n");
    EXPECT_EQ(build(settings), BuildOutcome::MissingFolder);
    EXPECT_EQ(host.messages, std::vector{shown(kMissingFolderError)});
}

TEST_F(BuildCommand, EmptyCatalogueWithoutPogoshellShowsTwoMessagesAndWritesNothing) {
    for (std::string settingsText : {"", "[Settings]\nPogoshell=\n"}) {
        host.messages.clear();
        EXPECT_EQ(build(SettingsFile::fromText(settingsText)), BuildOutcome::MissingFolder);
        EXPECT_EQ(host.messages,
                  (std::vector{shown(kNoEntriesWarning), shown(kMissingFolderError)}));
        EXPECT_EQ(host.rangeMax, -1);
    }
    EXPECT_TRUE(std::filesystem::is_empty(host.current));
}

TEST_F(BuildCommand, MessagesHaveTheirExactTexts) {
    EXPECT_EQ(kNoEntriesWarning.text, "No ROMS selected!\rThis will create a PogoShell resource.");
    EXPECT_EQ(kMissingFolderError.text, "You have not setup a path for this binary!\rPlease "
                                        "check the Options-->Settings menu option.");
    EXPECT_EQ(kReplaceCatalogueQuestion.text, "TPL binary already exists.\rReplace?");
    EXPECT_EQ(kReplacePluginQuestion.text, "TPL Pogoshell binary already exists.\rReplace?");
    EXPECT_EQ(kCatalogueCreated.text, "TPL binary created. Have fun!");
    EXPECT_EQ(kPluginCreated.text, "TPL4POGO binary created. Have fun!");
}

} // namespace
} // namespace tapeloom
