// tapeloom-cli create, help and arguments, as a user runs them.
#include "cli_run.h"
#include "core_doubles.h"
#include "data_items.h"
#include "files.h"
#include "image_writer.h"
#include "snapshots.h"

#include <gtest/gtest.h>

namespace tapeloom {
namespace {

using test::Bytes;
using test::CliRun;
using test::CountingProgress;
using test::patternBytes;
using test::readFile;
using test::readText;
using test::runCli;
using test::TempDir;
using test::writeFile;
using test::writeText;

Bytes emulatorImage() {
    auto image = findDataItem("tpl");
    return image ? Bytes(image->begin(), image->end()) : Bytes{};
}

const std::string kKeyedSettings = "[Control_Kempston]\r\nButton A=JOY FIRE\r\n\r\n";

class Cli : public ::testing::Test {
  protected:
    TempDir dir;
    std::filesystem::path snaps = dir.path() / "snaps";
    void SetUp() override { std::filesystem::create_directory(snaps); }
    // A real snapshot under snaps/.
    Bytes snapshot(const std::string& name, unsigned seed) {
        Bytes bytes = test::snapshotFor(name, seed);
        writeFile(snaps / name, bytes);
        return bytes;
    }
};

TEST_F(Cli, CreatePacksSortedSnapshotsAndSavesTheSettings) {
    snapshot("Zynaps.SNA", 1);
    snapshot("Atic Atac.z80", 2);
    writeText(dir.path() / "TPL.INI",
              "; mine\r\n[zynaps]\r\nFilename=Zynaps!\r\n" + kKeyedSettings);
    CliRun run =
        runCli(dir.path(), {"create", "snaps/Zynaps.SNA", snaps.string() + "/Atic Atac.z80"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "TPL: TPL binary created. Have fun!\n");

    // The very bytes the core writes for the rows sorted in the C locale.
    SettingsFile settings = SettingsFile::open(dir.path() / "TPL.INI");
    std::vector<CatalogueEntry> rows = {
        {"Zynaps!", "Kempston", "zynaps.sna", snaps.string() + "/"},
        {"atic atac", "Kempston", "atic atac.z80", snaps.string() + "/"}};
    CountingProgress progress;
    writeCatalogueImage(dir.path() / "expected.gba", rows, settings, emulatorImage(), progress);
    EXPECT_EQ(readFile(dir.path() / "tpl.gba"), readFile(dir.path() / "expected.gba"));

    EXPECT_EQ(readText(dir.path() / "TPL.INI"),
              "[zynaps]\r\nFilename=Zynaps!\r\nControl=Kempston\r\n\r\n" + kKeyedSettings +
                  "[TPL]\r\nVersion=1.0.1.0\r\n\r\n[Settings]\r\nLastDir=" + snaps.string() +
                  "/\r\n\r\n[atic atac]\r\nFilename=atic atac\r\n"
                  "Control=Kempston\r\n\r\n");
}

TEST_F(Cli, ReplaceIsDeclinedWithoutATerminalAndAnsweredByFlags) {
    const Bytes a = snapshot("a.sna", 1);
    writeText(dir.path() / "TPL.INI", kKeyedSettings);
    writeText(dir.path() / "tpl.gba", "keep me");
    CliRun run = runCli(dir.path(), {"create", "snaps/a.sna"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("Warning: TPL binary already exists.\nReplace?"), std::string::npos)
        << run.err;
    EXPECT_EQ(readText(dir.path() / "tpl.gba"), "keep me");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "TPL.INI")); // closing saves anyway

    EXPECT_EQ(runCli(dir.path(), {"create", "--no", "snaps/a.sna"}).status, 3);
    EXPECT_EQ(readText(dir.path() / "tpl.gba"), "keep me");
    EXPECT_EQ(runCli(dir.path(), {"create", "--yes", "snaps/a.sna"}).status, 0);
    EXPECT_EQ(readFile(dir.path() / "tpl.gba").size(), emulatorImage().size() + 64 + a.size());
}

// The warning before writing an image that will not work: refused unless --force, which --yes
// (the answer to the replace question) does not give.
TEST_F(Cli, TheWarningRefusesUnlessForced) {
    snapshot("keyless.sna", 1);
    writeText(dir.path() / "tpl.gba", "keep me");
    CliRun run = runCli(dir.path(), {"create", "--yes", "snaps/keyless.sna"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("Warning: Some entries will not work on the cartridge as they are.\n\n"
                           "No keys: "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("    keyless (keyless.sna)\n\nCreate the image all the same? no "
                           "(nothing was written; use --force to write it all the same)\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readText(dir.path() / "tpl.gba"), "keep me");

    run = runCli(dir.path(), {"create", "--yes", "--force", "snaps/keyless.sna"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("all the same? yes (--force)\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "TPL: TPL binary created. Have fun!\n");
    EXPECT_NE(readText(dir.path() / "tpl.gba"), "keep me");
}

TEST_F(Cli, NamesTplIniCannotKeepAreRefused) {
    snapshot("fine.sna", 1);
    snapshot("new\nline.sna", 2);
    CliRun run = runCli(dir.path(), {"create", "snaps/fine.sna", "snaps/new\nline.sna"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("These files were not added"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(snaps.string() + "/new?line.sna.\n"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "TPL.INI"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tpl.gba"));
}

TEST_F(Cli, EmptyCatalogueWithoutPogoshellPrintsBothMessagesAndFails) {
    CliRun run = runCli(dir.path(), {"create"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Warning: No ROMS selected!\nThis will create a PogoShell resource.\n");
    EXPECT_EQ(run.err, "ERROR!: You have not setup a path for this binary!\n"
                       "Please check the Options-->Settings menu option.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tpl.gba"));
}

TEST_F(Cli, PogoshellRoadWritesThePluginAndTheme) {
    auto pogo = dir.path() / "pogo";
    std::filesystem::create_directories(pogo / "root" / ".shell");
    writeText(dir.path() / "TPL.INI", "[Settings]\r\nPogoshell=" + pogo.string() +
                                          "\r\nAssociations=Maintain\r\nTheme=Original\r\n");
    CliRun run = runCli(dir.path(), {"create"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("TPL: TPL4POGO binary created. Have fun!\n"), std::string::npos);
    EXPECT_EQ(readFile(pogo / "root" / ".plugins" / "tpl.gba").size(), emulatorImage().size() + 43);
    EXPECT_TRUE(std::filesystem::exists(pogo / "root" / ".shell" / "icons.bmp"));
}

// GO.BAT is started through the desktop's opener in the Pogoshell folder: with a hand-edited
// relative folder the opener must still be given a name that leads to the script, and an opener
// that gives up is reported (the completion message follows all the same).
TEST_F(Cli, GoBatIsFoundFromARelativeFolderAndAFailedStartIsReported) {
    const auto pogo = dir.path() / "pogo";
    std::filesystem::create_directories(pogo / "root");
    writeText(pogo / "GO.BAT", "echo");
    writeText(dir.path() / "TPL.INI", "[Settings]\r\nPogoshell=pogo\r\nCompile=Yes\r\n");
    const auto bin = dir.path() / "bin";
    std::filesystem::create_directory(bin);
    auto opener = [&](const std::string& exit) {
        writeText(bin / "xdg-open", "#!/bin/sh\n{ pwd; echo \"$1\"; [ -f \"$1\" ] && echo found; } "
                                    "> \"" +
                                        dir.str() + "/opened\"\nexit " + exit + "\n");
        std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    };
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin.string() + ":" + path).c_str(), 1);

    opener("0");
    CliRun run = runCli(dir.path(), {"create"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string canonical = std::filesystem::canonical(pogo).string();
    std::string opened = readText(dir.path() / "opened");
    EXPECT_EQ(opened.substr(0, opened.find('\n')), canonical);
    EXPECT_EQ(opened, canonical + "\n" + canonical + "/GO.BAT\nfound\n");
    EXPECT_EQ(run.err, "");

    opener("3");
    run = runCli(dir.path(), {"create", "--yes"});
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(run.status, 0);
    const std::string failure = "Tapeloom-cli: The desktop could not open the file (xdg-open: no "
                                "program is set up to open this kind of file)\n" +
                                canonical + "/GO.BAT.\n";
    EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), failure.size())), failure);
    EXPECT_NE(run.out.find("TPL: TPL4POGO binary created. Have fun!\n"), std::string::npos);
}

TEST_F(Cli, MissingSnapshotFailsBeforeAnythingIsWritten) {
    CliRun run = runCli(dir.path(), {"create", "snaps/none.sna"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Tapeloom-cli: Cannot open file " + snaps.string() + "/none.sna.\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "snaps"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "TPL.INI"));
}

TEST_F(Cli, OutputFolderThatCannotBeMadeFailsWithItsPath) {
    snapshot("a.sna", 1);
    auto target = dir.path() / "no" / "such";
    writeText(dir.path() / "TPL.INI",
              kKeyedSettings + "[Settings]\r\nTPLBinary=" + target.string() + "\r\n");
    CliRun run = runCli(dir.path(), {"create", "snaps/a.sna"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Tapeloom-cli: Cannot create file " + target.string() + "/tpl.gba.\n");
    EXPECT_NE(readText(dir.path() / "TPL.INI").find("[a]\r\n"), std::string::npos);
}

TEST_F(Cli, UnusableSettingsFileIsReportedAndLeftAlone) {
    snapshot("a.sna", 1);
    std::filesystem::create_directory(dir.path() / "TPL.INI");
    CliRun run = runCli(dir.path(), {"create", "snaps/a.sna"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Tapeloom-cli: Cannot open file " + dir.str() + "/TPL.INI.\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "TPL.INI"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tpl.gba"));

    // A UTF-16 file says why, and stays as it was.
    std::filesystem::remove(dir.path() / "TPL.INI");
    const std::string utf16("\xFF\xFE[\0S\0]\0\r\0\n\0", 12);
    writeText(dir.path() / "TPL.INI", utf16);
    run = runCli(dir.path(), {"create", "snaps/a.sna"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Tapeloom-cli: Cannot open file " + dir.str() +
                           "/TPL.INI\nIt is UTF-16 "
                           "text, which Tapeloom cannot keep: it reads and writes TPL.INI as "
                           "single-byte or UTF-8 text. Save the file as UTF-8 in your editor and "
                           "start Tapeloom again.\n");
    EXPECT_EQ(readText(dir.path() / "TPL.INI"), utf16);
}

// TPL.INI links into a place where no file can be made: the image is built, the save fails.
TEST_F(Cli, SettingsThatCannotBeSavedGiveAnErrorStatus) {
    snapshot("a.sna", 1);
    writeText(dir.path() / "plain", "x");
    std::filesystem::create_symlink(dir.path() / "plain" / "TPL.INI", dir.path() / "TPL.INI");
    CliRun run = runCli(dir.path(), {"create", "--force", "snaps/a.sna"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "TPL: TPL binary created. Have fun!\n");
    const std::string error = "Tapeloom-cli: Cannot create file " + dir.str() + "/TPL.INI.\n";
    EXPECT_EQ(run.err.substr(run.err.size() - error.size()), error);
    EXPECT_EQ(readText(dir.path() / "plain"), "x");
}

TEST_F(Cli, HelpVersionAndWrongArguments) {
    CliRun help = runCli(dir.path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("create"), std::string::npos);
    CliRun createHelp = runCli(dir.path(), {"create", "--help"});
    EXPECT_EQ(createHelp.status, 0);
    EXPECT_NE(createHelp.out.find("--yes"), std::string::npos);
    CliRun version = runCli(dir.path(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("1.0.1.0"), std::string::npos);
    EXPECT_EQ(runCli(dir.path(), {}).status, 2);
    EXPECT_EQ(runCli(dir.path(), {"pack"}).status, 2);
    EXPECT_EQ(runCli(dir.path(), {"create", "--forced"}).status, 2);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "snaps"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace tapeloom
