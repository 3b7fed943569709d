// tapeloom-cli preview and import, run for real in temporary folders, and the two shared games.
#include "screen_decoder.h"
#include "snapshot_builder.h"

#include "settings_file.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>

#include <cstdio>
#include <string>

using namespace tapeloom;
using namespace tapeloom::testing;

namespace {

struct Result {
    int status;
    std::string output;
};

Result runCli(const std::filesystem::path& folder, const std::string& args) {
    const std::string command =
        "cd '" + folder.string() + "' && '" TAPELOOM_CLI_PATH "' " + args + " 2>&1";
    Result result{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Bytes injectRecord(const std::string& path, const std::string& name) {
    Bytes r(3 + path.size() + 88, 0);
    r[1] = static_cast<std::uint8_t>(path.size());
    std::copy(path.begin(), path.end(), r.begin() + 3);
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 8),
                r.begin() + 3 + 8 + static_cast<std::ptrdiff_t>(path.size()));
    return r;
}

} // namespace

TEST(SharedGames, SnaAndZ80OfTheSameGameShowTheSameScreen) {
    const std::filesystem::path games = std::filesystem::path(TAPELOOM_SHARED_DIR) / "games";
    for (const char* game : {"znake", "snake-asm"}) {
        const auto sna = decodeSnapshotScreen(games / (std::string(game) + ".sna"));
        const auto z80 = decodeSnapshotScreen(games / (std::string(game) + ".z80"));
        EXPECT_TRUE(sna.pixels == z80.pixels) << game;
        // The loader left text on a white-paper screen: both colours appear.
        EXPECT_NE(std::count(sna.pixels.begin(), sna.pixels.end(), 0xC0C0C0u), 0) << game;
        EXPECT_NE(std::count(sna.pixels.begin(), sna.pixels.end(), 0x000000u), 0) << game;
    }
}

TEST(CliPreview, WritesThePngOrReportsTheError) {
    TempDir dir;
    Bytes memory = randomishMemory(5);
    writeFile(dir.path() / "g.SNA", makeSna(memory));
    Result r = runCli(dir.path(), "preview g.SNA --png out.png");
    EXPECT_EQ(r.status, 0) << r.output;
    const auto pixels = readPngRgb(dir.path() / "out.png");
    const SpectrumScreen expected = decodeScreenBytes("g.sna", makeSna(memory));
    ASSERT_EQ(pixels.size(), expected.pixels.size());
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), expected.pixels.begin()));

    r = runCli(dir.path(), "preview missing.z80 --png x.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Tapeloom-cli: Cannot open file missing.z80.\n");
    EXPECT_EQ(runCli(dir.path(), "preview g.SNA").status, 2);
}

TEST(CliImport, ChecksAsFlagsAndTheReport) {
    TempDir dir;
    Bytes ini = injectRecord("C:\\GAMES\\ONE.Z80", "One");
    const Bytes two = injectRecord("C:\\GAMES\\TWO.Z80", "Two");
    ini.insert(ini.end(), two.begin(), two.end());
    writeFile(dir.path() / "INJECT.INI", ini);
    writeFile(dir.path() / "TPL.INI", {'[', 'o', 'n', 'e', ']', '\n', 'X', '=', '1', '\n'});

    Result r = runCli(dir.path(), "import INJECT.INI");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "Tarn INI Import: Import complete!\n1 entries added.\n");
    r = runCli(dir.path(), "import INJECT.INI --update --no-add");
    EXPECT_EQ(r.output, "Tarn INI Import: Import complete!\n2 entries updated.\n");
    const SettingsFile saved = SettingsFile::open(dir.path() / "TPL.INI");
    EXPECT_EQ(saved.read("one", "Filename", ""), "One");
    EXPECT_EQ(saved.read("TPL", "Version", ""), "1.0.1.0");

    r = runCli(dir.path(), "import nothing/INJECT.INI");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "Tapeloom-cli: Cannot open file nothing/INJECT.INI.\n");
    EXPECT_EQ(runCli(dir.path(), "import").status, 2);
    EXPECT_EQ(runCli(dir.path(), "import INJECT.INI --no-add").status, 2);
}
