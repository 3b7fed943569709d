#include "build_command.h"
#include "core_doubles.h"
#include "data_items.h"
#include "files.h"
#include "pogoshell.h"

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

using test::Bytes;
using test::fakeImage;
using test::readFile;
using test::ScriptedHost;
using test::shown;
using test::TempDir;
using test::writeText;

Bytes item(std::string_view name) {
    auto bytes = findDataItem(name);
    return bytes ? Bytes(bytes->begin(), bytes->end()) : Bytes{};
}

// An empty catalogue builds into a Pogoshell folder P with root/ and root/.shell/.
class PogoshellRoad : public ::testing::Test {
  protected:
    TempDir dir;
    ScriptedHost host;
    std::filesystem::path pogo = dir.path() / "pogo";
    std::filesystem::path plugins = pogo / "root" / ".plugins";
    std::filesystem::path shell = pogo / "root" / ".shell";

    void SetUp() override {
        std::filesystem::create_directories(shell);
        host.current = dir.path();
    }
    SettingsFile settingsWith(const std::string& extra) {
        return SettingsFile::fromText("[Settings]\nPogoshell=" + pogo.string() + "\n" + extra +
                                      "[game]\nControl=Kempston\n");
    }
    BuildOutcome build(const SettingsFile& settings) {
        return createTpl({}, settings, host, fakeImage());
    }
};

TEST_F(PogoshellRoad, WritesThePluginIntoANewPluginsFolder) {
    EXPECT_EQ(build(settingsWith("")), BuildOutcome::Created);
    EXPECT_EQ(readFile(plugins / "tpl.gba").size(), fakeImage().size() + 42 * 2 + 1);
    EXPECT_EQ(host.messages, (std::vector{shown(kNoEntriesWarning), shown(kPluginCreated)}));
    EXPECT_EQ(host.rangeMax, 2); // the number of settings sections
    EXPECT_EQ(host.steps, 2);
    EXPECT_EQ(host.position, 0);
    EXPECT_TRUE(std::filesystem::is_empty(shell));
    EXPECT_TRUE(host.started.empty());
}

TEST_F(PogoshellRoad, ExistingPluginIsReplacedOnlyAfterYes) {
    std::filesystem::create_directory(plugins);
    writeText(plugins / "tpl.gba", "old");
    EXPECT_EQ(build(settingsWith("")), BuildOutcome::Declined);
    EXPECT_EQ(readFile(plugins / "tpl.gba"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(host.messages.back(), shown(kReplacePluginQuestion));
    host.answers = {Answer::Yes};
    EXPECT_EQ(build(settingsWith("")), BuildOutcome::Created);
    EXPECT_EQ(readFile(plugins / "tpl.gba").size(), fakeImage().size() + 85);
}

TEST_F(PogoshellRoad, FolderWithoutRootGivesCannotCreate) {
    std::filesystem::remove_all(pogo / "root");
    EXPECT_EQ(build(settingsWith("")), BuildOutcome::Failed);
    EXPECT_EQ(host.messages, std::vector{shown(kNoEntriesWarning)});
    EXPECT_EQ(host.errors, std::vector<std::string>{"Cannot create file " + pogo.string() +
                                                    "/root/.plugins/tpl.gba"});
    EXPECT_FALSE(std::filesystem::exists(pogo / "root"));
}

TEST_F(PogoshellRoad, ThemeStepWritesOnlyTheChosenSet) {
    writeText(shell / "gui.cfg", std::string(50000, 'x')); // replaced whole
    EXPECT_EQ(build(settingsWith("Associations=Maintain\nTheme=Amiga\n")), BuildOutcome::Created);
    EXPECT_EQ(readFile(shell / "filetypes"), item("amigafiletypes"));
    EXPECT_EQ(readFile(shell / "gui.cfg"), item("amigagui"));
    EXPECT_EQ(readFile(shell / "icons.bmp"), item("amigaicons"));
    EXPECT_FALSE(item("amigaicons").empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(shell), {}), 3);
}

TEST_F(PogoshellRoad, ThemeStepNeedsMaintainAndAnExactThemeName) {
    for (std::string extra : {"Associations=Maintain\nTheme=amiga\n", "Associations=Maintain\n",
                              "Associations=Maintain\nTheme=\n", "Theme=PogoXP\n",
                              "Associations=maintain\nTheme=PogoXP\n"}) {
        host.answers = {Answer::Yes};
        EXPECT_EQ(build(settingsWith(extra)), BuildOutcome::Created) << extra;
        EXPECT_TRUE(std::filesystem::is_empty(shell)) << extra;
        EXPECT_TRUE(host.errors.empty());
    }
}

TEST_F(PogoshellRoad, MissingShellFolderEndsTheBuildBeforeCompiling) {
    std::filesystem::remove(shell);
    EXPECT_EQ(build(settingsWith("Associations=Maintain\nTheme=XPSmall\nCompile=Yes\n")),
              BuildOutcome::Failed);
    EXPECT_EQ(host.errors, std::vector<std::string>{"Cannot create file " + plugins.string() +
                                                    "/../.shell/filetypes"});
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.messages, std::vector{shown(kNoEntriesWarning)});
    EXPECT_TRUE(std::filesystem::exists(plugins / "tpl.gba"));
}

TEST_F(PogoshellRoad, CompileStepStartsGoBatInThePogoshellFolder) {
    EXPECT_EQ(build(settingsWith("Compile=Yes\n")), BuildOutcome::Created);
    const auto folder = std::filesystem::canonical(pogo);
    ASSERT_EQ(host.started.size(), 1U);
    EXPECT_EQ(host.started[0].first, (folder / "GO.BAT").string());
    EXPECT_EQ(host.started[0].second, folder.string());
}

TEST_F(PogoshellRoad, CompileFailureIsReportedWithTheScriptAndTheBuildStillCompletes) {
    host.startResult = "No such file or directory";
    EXPECT_EQ(build(settingsWith("Compile=Yes\n")), BuildOutcome::Created);
    EXPECT_EQ(host.errors,
              std::vector<std::string>{"No such file or directory\r" +
                                       (std::filesystem::canonical(pogo) / "GO.BAT").string()});
    EXPECT_EQ(host.messages.back(), shown(kPluginCreated));
}

// A hand-edited relative folder: the script is started in the Pogoshell folder, so its name
// must not be relative to ours.
TEST_F(PogoshellRoad, ARelativePogoshellFolderStillNamesTheScript) {
    writeText(pogo / "GO.BAT", "echo");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const BuildOutcome outcome = build(SettingsFile::fromText(
        "[Settings]\nPogoshell=pogo\nCompile=Yes\n[game]\nControl=Kempston\n"));
    std::filesystem::current_path(previous);
    EXPECT_EQ(outcome, BuildOutcome::Created);
    ASSERT_EQ(host.started.size(), 1U);
    const std::filesystem::path script = host.started[0].first, folder = host.started[0].second;
    EXPECT_TRUE(script.is_absolute());
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_EQ(std::filesystem::canonical(script), std::filesystem::canonical(pogo / "GO.BAT"));
    EXPECT_EQ(std::filesystem::canonical(folder), std::filesystem::canonical(pogo));
}

TEST_F(PogoshellRoad, CompileNeedsExactlyYes) {
    EXPECT_EQ(build(settingsWith("Compile=yes\n")), BuildOutcome::Created);
    EXPECT_TRUE(host.started.empty());
}

TEST(ThemeItems, EveryThemeSetIsCarried) {
    for (const auto& set : kThemeSets)
        for (auto name : {set.filetypesItem, set.guiItem, set.iconsItem})
            EXPECT_TRUE(findDataItem(name).has_value()) << name;
}

} // namespace
} // namespace tapeloom
