// tapeloom-cli preview and import, run for real in temporary folders.
#include "cli_run.h"
#include "files.h"
#include "inject_records.h"
#include "screen_decoder.h"
#include "settings_file.h"
#include "snapshots.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

using namespace tapeloom;
using namespace tapeloom::test;

TEST(CliPreview, WritesThePngOrReportsTheError) {
    TempDir dir;
    Bytes memory = randomishMemory(5);
    writeFile(dir.path() / "g.SNA", makeSna(memory));
    CliRun r = runCli(dir.path(), {"preview", "g.SNA", "--png", "out.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto pixels = readPngRgb(dir.path() / "out.png");
    const SpectrumScreen expected = decodeScreenBytes("g.sna", makeSna(memory));
    ASSERT_EQ(pixels.size(), expected.pixels.size());
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), expected.pixels.begin()));

    r = runCli(dir.path(), {"preview", "missing.z80", "--png", "x.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Tapeloom-cli: Cannot open file missing.z80.\n");
    EXPECT_EQ(runCli(dir.path(), {"preview", "g.SNA"}).status, 2);
}

// Neither a named pipe nor an endless device holds the command, and a huge file costs no more
// than its start.
TEST(CliPreview, NeverWaitsOnAPipeNorReadsWithoutEnd) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.sna").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.z80");
    for (const char* name : {"pipe.sna", "zero.z80"}) {
        CliRun r = runCli(dir.path(), {"preview", name, "--png", "out.png"});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, "Tapeloom-cli: Cannot open file " + std::string(name) + ".\n");
    }
    writeFile(dir.path() / "huge.sna", makeSna(randomishMemory(2)));
    std::filesystem::resize_file(dir.path() / "huge.sna", 64ull << 30);
    CliRun r = runCli(dir.path(), {"preview", "huge.sna", "--png", "out.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readPngRgb(dir.path() / "out.png").size(), 256U * 192U);
}

TEST(CliImport, ChecksAsFlagsAndTheReport) {
    TempDir dir;
    writeFile(dir.path() / "INJECT.INI", joined({injectRecord("C:\\GAMES\\ONE.Z80", "One"),
                                                 injectRecord("C:\\GAMES\\TWO.Z80", "Two")}));
    writeText(dir.path() / "TPL.INI", "[one]\nX=1\n");

    CliRun r = runCli(dir.path(), {"import", "INJECT.INI"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Tarn INI Import: Import complete!\n1 entries added.\n");
    EXPECT_EQ(r.err, "");
    r = runCli(dir.path(), {"import", "INJECT.INI", "--update", "--no-add"});
    EXPECT_EQ(r.out, "Tarn INI Import: Import complete!\n2 entries updated.\n");
    const SettingsFile saved = SettingsFile::open(dir.path() / "TPL.INI");
    EXPECT_EQ(saved.read("one", "Filename", ""), "One");
    EXPECT_EQ(saved.read("TPL", "Version", ""), "1.0.1.0");

    r = runCli(dir.path(), {"import", "nothing/INJECT.INI"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Tapeloom-cli: Cannot open file nothing/INJECT.INI.\n");
    EXPECT_EQ(runCli(dir.path(), {"import"}).status, 2);
    EXPECT_EQ(runCli(dir.path(), {"import", "INJECT.INI", "--no-add"}).status, 2);
}
