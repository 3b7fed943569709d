// tapeloom-cli load and create with tapes, run for real in temporary folders.
#include "cli_run.h"
#include "files.h"
#include "settings_file.h"
#include "snapshots.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tapeloom;
using namespace tapeloom::test;

namespace {
const std::filesystem::path kSharedTapes =
    std::filesystem::path(TAPELOOM_SHARED_DIR) / "games/tapes";
}

TEST(CliLoad, WritesTheSnapshotAndKeepsAnExistingFile) {
    TempDir dir;
    std::filesystem::copy_file(kSharedTapes / "gameoflife.tzx", dir.path() / "Life.TZX");
    CliRun r = runCli(dir.path(), {"load", "Life.TZX", "--out", "life.z80"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const Bytes snapshot = readFile(dir.path() / "life.z80");
    auto peer = libspectrumSnapshot(snapshot);
    ASSERT_TRUE(peer);
    EXPECT_GE(peer->pc, 60000); // in the game's code (CODE 60000,1134)

    writeText(dir.path() / "mine.z80", "mine");
    r = runCli(dir.path(), {"load", "Life.TZX", "--out", "mine.z80"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Tapeloom-cli: mine.z80: File exists.\n");
    EXPECT_EQ(readText(dir.path() / "mine.z80"), "mine");
    r = runCli(dir.path(), {"load", "Life.TZX", "--out", "mine.z80", "--force"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir.path() / "mine.z80"), snapshot);

    writeText(dir.path() / "empty.tap", "");
    r = runCli(dir.path(), {"load", "empty.tap", "--out", "e.z80"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Tapeloom-cli: empty.tap: the file is empty.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "e.z80"));
    EXPECT_EQ(runCli(dir.path(), {"load", "Life.TZX"}).status, 2);
    EXPECT_EQ(runCli(dir.path(), {"load", "--out", "x.z80"}).status, 2);
}

TEST(CliCreate, AddsTheSnapshotsOfTapesInAnyCase) {
    TempDir dir;
    std::filesystem::copy_file(kSharedTapes / "tmsim.tap", dir.path() / "TMSim.TAP");
    // A fresh folder has no keys for its snapshots: --force goes on past that warning.
    CliRun r = runCli(dir.path(), {"create", "--yes", "--force", "TMSim.TAP"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "tape-snapshots/tmsim.z80"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "tpl.gba"));
    const SettingsFile saved = SettingsFile::open(dir.path() / "TPL.INI");
    EXPECT_EQ(saved.read("tmsim", "Filename", ""), "tmsim");
    EXPECT_EQ(saved.read("Settings", "LastDir", ""), dir.str() + "/");
}

// A tape whose hardware block asks for a 128K loads on one: the snapshot is a 128K .z80.
TEST(CliLoad, ATapeFor128KGivesA128KSnapshot) {
    TempDir dir;
    Bytes tape = readFile(kSharedTapes / "gameoflife.tzx");
    ASSERT_GT(tape.size(), 10u) << "the shared tapes are missing";
    const Bytes hardware = {0x33, 1, 0, 3, 1}; // a Spectrum 128, its hardware used
    tape.insert(tape.begin() + 10, hardware.begin(), hardware.end()); // after the TZX header
    writeFile(dir.path() / "life128.tzx", tape);
    CliRun r = runCli(dir.path(), {"load", "life128.tzx", "--out", "life128.z80"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes snapshot = readFile(dir.path() / "life128.z80");
    ASSERT_GT(snapshot.size(), 35u);
    EXPECT_EQ(snapshot[34], 4);                         // version 3's 128K
    EXPECT_GE(snapshot[32] | snapshot[33] << 8, 60000); // in the game's code
}
