#include "build_command.h"
#include "core_doubles.h"
#include "files.h"
#include "snapshots.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <thread>

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
    // Each snapshot added gets the scheme Kempston, which has a key: a build with nothing to
    // warn about.
    SettingsFile settings = SettingsFile::fromText("[Control_Kempston]\nButton A=JOY FIRE\n");

    void SetUp() override {
        host.current = dir.path() / "cwd";
        std::filesystem::create_directory(host.current);
    }

    Bytes addSnapshot(const std::string& fileName, unsigned seed) {
        Bytes bytes = test::snapshotFor(fileName, seed);
        writeFile(dir.path() / fileName, bytes);
        rows.push_back({sectionKeyOf(fileName), "Kempston", fileName, dir.str() + "/"});
        settings.write(sectionKeyOf(fileName), "Control", "Kempston");
        return bytes;
    }
    BuildOutcome build() { return createTpl(rows, settings, host, fakeImage()); }
    std::filesystem::path output() const { return host.current / "tpl.gba"; }
    // Everything in the output's folder: a half-written image must never be left there.
    std::vector<std::string> folderContent() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(host.current))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(BuildCommand, CatalogueGoesToTheCurrentDirectoryWithProgressAndMessage) {
    const Bytes a = addSnapshot("a.sna", 1);
    const Bytes b = addSnapshot("b.z80", 2);
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_EQ(readFile(output()).size(), fakeImage().size() + 96 + a.size() + b.size());
    EXPECT_EQ(host.messages, std::vector{shown(kCatalogueCreated)});
    EXPECT_EQ(host.rangeMin, 0);
    EXPECT_EQ(host.rangeMax, 4);
    EXPECT_EQ(host.stepSize, 1);
    EXPECT_EQ(host.steps, 2 + 4); // the check's, then the writing's
    EXPECT_EQ(host.ranges, (std::vector<int>{4, 2, 4}));
    EXPECT_EQ(host.position, 0);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(folderContent(), std::vector<std::string>{"tpl.gba"});
}

TEST_F(BuildCommand, TplBinaryFolderIsUsedAsWrittenAndMadeOneLevelDeep) {
    addSnapshot("a.sna", 1);
    auto target = dir.path() / "out";
    settings.write("Settings", "TPLBinary", target.string());
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_TRUE(std::filesystem::exists(target / "tpl.gba"));
    EXPECT_FALSE(std::filesystem::exists(output()));

    auto deep = dir.path() / "no" / "such";
    settings.write("Settings", "TPLBinary", deep.string());
    EXPECT_EQ(build(), BuildOutcome::Failed);
    EXPECT_EQ(host.errors,
              std::vector<std::string>{"Cannot create file " + deep.string() + "/tpl.gba"});
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no"));
}

TEST_F(BuildCommand, DeclinedReplaceLeavesTheFileAsItWas) {
    addSnapshot("a.sna", 3);
    writeFile(output(), patternBytes(4000, 42));
    host.answers = {Answer::No};
    EXPECT_EQ(build(), BuildOutcome::Declined);
    EXPECT_EQ(readFile(output()), patternBytes(4000, 42));
    EXPECT_EQ(host.messages, std::vector{shown(kReplaceCatalogueQuestion)});
    EXPECT_EQ(host.rangeMax, -1); // the bar was not touched
}

TEST_F(BuildCommand, AcceptedReplaceWritesTheWholeFileAndRepeatsByteForByte) {
    addSnapshot("a.sna", 3);
    addSnapshot("b.sna", 7);
    ASSERT_EQ(build(), BuildOutcome::Created);
    Bytes first = readFile(output());
    writeFile(output(), patternBytes(200000, 1)); // a longer old file must leave no tail
    host.answers = {Answer::Yes};
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_EQ(readFile(output()), first);
    host.answers = {Answer::Yes};
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_EQ(readFile(output()), first);
    EXPECT_EQ(folderContent(), std::vector<std::string>{"tpl.gba"});
}

// Whatever ends a build early, the image that was there before is there after, byte for byte,
// and nothing half-written is left beside it.
TEST_F(BuildCommand, AFailedBuildLeavesTheOldImageWhole) {
    addSnapshot("a.sna", 1);
    addSnapshot("b.z80", 2);
    const Bytes old = patternBytes(5000, 9);
    auto expectOldImage = [&](BuildOutcome outcome, const std::string& error) {
        writeFile(output(), old);
        host.errors.clear();
        host.answers = {Answer::Yes};
        EXPECT_EQ(build(), outcome);
        EXPECT_EQ(readFile(output()), old);
        EXPECT_EQ(folderContent(), std::vector<std::string>{"tpl.gba"});
        if (!error.empty()) {
            EXPECT_EQ(host.errors, std::vector<std::string>{error});
        }
    };

    // Gone, unreadable by type (a named pipe, a device), or not readable at all.
    const auto b = dir.path() / "b.z80";
    std::filesystem::remove(b);
    expectOldImage(BuildOutcome::Failed, "Cannot open file " + b.string());
    ASSERT_EQ(::mkfifo(b.c_str(), 0600), 0);
    expectOldImage(BuildOutcome::Failed, "Cannot open file " + b.string());
    std::filesystem::remove(b);
    std::filesystem::create_symlink("/dev/zero", b);
    expectOldImage(BuildOutcome::Failed, "Cannot open file " + b.string());
    std::filesystem::remove(b);
    std::filesystem::create_directory(b);
    expectOldImage(BuildOutcome::Failed, "Cannot open file " + b.string());
    std::filesystem::remove(b);
    writeFile(b, test::snapshotFor("b.z80", 2));

    // Cancelled while writing: no message, the bar back at 0.
    host.keepGoingCalls = 0;
    host.keepGoingAnswer = [&] { return host.keepGoingCalls < 3; };
    expectOldImage(BuildOutcome::Cancelled, "");
    EXPECT_EQ(host.position, 0);
    EXPECT_EQ(host.messages.back(), shown(kReplaceCatalogueQuestion));
}

// The table's sizes and the copied bytes come from one reading of each file: a snapshot that
// changes after the check, or while it is copied, stops the build with its name.
TEST_F(BuildCommand, ASnapshotThatChangesStopsTheBuildNamingIt) {
    addSnapshot("a.sna", 1);
    const auto b = dir.path() / "b.z80";
    const Bytes original = addSnapshot("b.z80", 2);
    const Bytes old = patternBytes(3000, 5);
    const std::string changed =
        "Stream read error\rThe file changed while the image was being written: " + b.string();

    // Changed between the check and the writing, while the warning about its missing keys
    // waited for an answer.
    settings.write("b", "Control", "Nothing");
    host.answers = {Answer::Yes};
    host.beforeAnswer = [&] {
        Bytes grown = original;
        grown.push_back(0);
        writeFile(b, grown);
    };
    EXPECT_EQ(build(), BuildOutcome::Failed);
    EXPECT_EQ(host.errors, std::vector<std::string>{changed});
    EXPECT_FALSE(std::filesystem::exists(output()));

    // Growing while it is copied: asked after the check of each file (calls 1, 2) and after
    // each chunk copied, the fourth call comes after b.z80's first chunk.
    settings.write("b", "Control", "Kempston");
    writeFile(output(), old);
    writeFile(b, original);
    host.errors.clear();
    host.beforeAnswer = nullptr;
    host.answers = {Answer::Yes};
    host.keepGoingCalls = 0;
    host.keepGoingAnswer = [&] {
        if (host.keepGoingCalls == 4)
            std::ofstream(b, std::ios::app) << "more";
        return true;
    };
    EXPECT_EQ(build(), BuildOutcome::Failed);
    EXPECT_EQ(host.errors, std::vector<std::string>{changed});
    EXPECT_EQ(readFile(output()), old);
    EXPECT_EQ(folderContent(), std::vector<std::string>{"tpl.gba"});
}

// Two builds into one folder at once: the image is one of the two whole images, never a mix,
// and neither leaves a file behind.
TEST_F(BuildCommand, TwoBuildsAtOnceLeaveOneWholeImage) {
    for (int i = 0; i < 40; ++i)
        addSnapshot("s" + std::to_string(i) + ".sna", static_cast<unsigned>(i));
    std::vector<CatalogueEntry> reversed(rows.rbegin(), rows.rend());
    std::array<Bytes, 2> expected;
    for (std::size_t i = 0; i < 2; ++i) {
        ScriptedHost alone;
        alone.current = dir.path();
        ASSERT_EQ(createTpl(i == 0 ? rows : reversed, settings, alone, fakeImage()),
                  BuildOutcome::Created);
        expected[i] = readFile(dir.path() / "tpl.gba");
        std::filesystem::remove(dir.path() / "tpl.gba");
    }
    ASSERT_NE(expected[0], expected[1]);
    for (int round = 0; round < 5; ++round) {
        std::array<ScriptedHost, 2> hosts;
        std::array<BuildOutcome, 2> outcomes{};
        std::vector<std::thread> builds;
        for (std::size_t i = 0; i < 2; ++i) {
            hosts[i].current = host.current;
            hosts[i].answers = {Answer::Yes};
            builds.emplace_back([&, i] {
                outcomes[i] = createTpl(i == 0 ? rows : reversed, settings, hosts[i], fakeImage());
            });
        }
        for (auto& build : builds)
            build.join();
        EXPECT_EQ(outcomes[0], BuildOutcome::Created);
        EXPECT_EQ(outcomes[1], BuildOutcome::Created);
        const Bytes image = readFile(output());
        EXPECT_TRUE(image == expected[0] || image == expected[1]) << "round " << round;
        EXPECT_EQ(folderContent(), std::vector<std::string>{"tpl.gba"});
    }
}

TEST_F(BuildCommand, CatalogueRoadNeverInstallsIntoPogoshell) {
    addSnapshot("a.sna", 3);
    auto pogo = dir.path() / "pogo";
    std::filesystem::create_directories(pogo / "root" / ".shell");
    settings.write("Settings", "Pogoshell", pogo.string());
    settings.write("Settings", "Associations", "Maintain");
    settings.write("Settings", "Theme", "Amiga");
    settings.write("Settings", "Compile", "Yes");
    EXPECT_EQ(build(), BuildOutcome::Created);
    EXPECT_TRUE(std::filesystem::is_empty(pogo / "root" / ".shell"));
    EXPECT_FALSE(std::filesystem::exists(pogo / "root" / ".plugins"));
    EXPECT_TRUE(host.started.empty());
}

TEST_F(BuildCommand, TplBinaryOfExactlyThePluginSubfolderIsTheMissingFolderError) {
    addSnapshot("a.sna", 3);
    settings.write("Settings", "TPLBinary", "/root/.plugins");
    EXPECT_EQ(build(), BuildOutcome::MissingFolder);
    EXPECT_EQ(host.messages, std::vector{shown(kMissingFolderError)});
}

TEST_F(BuildCommand, EmptyCatalogueWithoutPogoshellShowsTwoMessagesAndWritesNothing) {
    for (std::string settingsText : {"", "[Settings]\nPogoshell=\n"}) {
        host.messages.clear();
        EXPECT_EQ(createTpl(rows, SettingsFile::fromText(settingsText), host, fakeImage()),
                  BuildOutcome::MissingFolder);
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
