#include "screen_decoder.h"

#include "errors.h"
#include "screen_decoder_png.h"
#include "snapshots.h"
#include "z80_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace tapeloom;
using namespace tapeloom::test;

namespace {

constexpr std::uint32_t kBrightWhite = 0xFFFFFF;
constexpr std::uint32_t kWhite = 0xC0C0C0;
constexpr std::uint32_t kBlack = 0x000000;

ScreenPage z80Page(const Bytes& file) {
    return readScreenPage(SnapshotKind::Z80, file);
}

Bytes v1WithData(const Bytes& data) {
    Bytes file(30 + data.size(), 0);
    file[7] = 0x80; // program counter non-zero: version 1
    std::copy(data.begin(), data.end(), file.begin() + 30);
    return file;
}

} // namespace

TEST(PreviewTables, OffsetsFollowTheDisplayFileLayout) {
    const auto& t = previewTables();
    EXPECT_EQ(t.screenOffsets[0][0], 0);
    EXPECT_EQ(t.screenOffsets[1][0], 256);
    EXPECT_EQ(t.screenOffsets[8][0], 32);
    EXPECT_EQ(t.screenOffsets[64][0], 2048);
    EXPECT_EQ(t.screenOffsets[191][31], 6143);
    for (int y = 0; y < 192; ++y)
        for (int col = 0; col < 32; ++col)
            ASSERT_EQ(t.screenOffsets[y][col],
                      (y / 64) * 2048 + (y % 8) * 256 + ((y / 8) % 8) * 32 + col);
    EXPECT_EQ(t.normalPalette[2], 0xC00000u);
    EXPECT_EQ(t.brightPalette[5], 0x00FFFFu);
    EXPECT_EQ(t.normalPalette[0], t.brightPalette[0]);
}

TEST(ScreenDecoder, SnaBrightWhiteCellKeepsEachLinesOwnBitmap) {
    Bytes memory(48 * 1024, 0);
    memory[0] = 0xFF;    // line 0 of cell (0, 0)
    memory[256] = 0x81;  // line 1 of the same cell
    memory[6144] = 0x47; // BRIGHT, paper 0, ink 7
    const SpectrumScreen screen = decodeScreenBytes("game.sna", makeSna(memory));
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(screen.pixel(x, 0), kBrightWhite) << x;
    EXPECT_EQ(screen.pixel(0, 1), kBrightWhite);
    EXPECT_EQ(screen.pixel(1, 1), kBlack);
    EXPECT_EQ(screen.pixel(7, 1), kBrightWhite);
    EXPECT_EQ(screen.pixel(8, 0), kBlack);
}

TEST(ScreenDecoder, AttributesFlashIsDrawnStillAndNormalWhiteIs192) {
    ScreenPage page{};
    page[0] = 0xF0;
    page[1] = 0xF0;
    page[2] = 0xF0;
    page[6144] = 0xF8; // FLASH, BRIGHT, paper 7, ink 0
    page[6145] = 0x78;
    page[6146] = 0x07;
    const SpectrumScreen screen = drawScreen(page);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(screen.pixel(x, 0), screen.pixel(x + 8, 0));
        EXPECT_EQ(screen.pixel(x, 0), x < 4 ? kBlack : kBrightWhite);
        EXPECT_EQ(screen.pixel(x + 16, 0), x < 4 ? kWhite : kBlack);
    }
}

TEST(ScreenDecoder, RunLengthForms) {
    // ED ED 05 AA: five 0xAA, then the next byte.
    ScreenPage page = z80Page(v1WithData({0xED, 0xED, 0x05, 0xAA, 0x11}));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(page[i], 0xAA);
    EXPECT_EQ(page[5], 0x11);
    // ED 12: both bytes as they are.
    page = z80Page(v1WithData({0xED, 0x12, 0x34}));
    EXPECT_EQ(page[0], 0xED);
    EXPECT_EQ(page[1], 0x12);
    EXPECT_EQ(page[2], 0x34);
    // ED ED 00 33: nothing written.
    page = z80Page(v1WithData({0xED, 0xED, 0x00, 0x33, 0x07}));
    EXPECT_EQ(page[0], 0x07);
    EXPECT_EQ(page[1], 0x00);
    // A run right after an ED pair.
    page = z80Page(v1WithData({0xED, 0x01, 0xED, 0xED, 0x02, 0x09}));
    EXPECT_EQ(page[0], 0xED);
    EXPECT_EQ(page[1], 0x01);
    EXPECT_EQ(page[2], 0x09);
    EXPECT_EQ(page[3], 0x09);
}

TEST(ScreenDecoder, FinalRunStaysInsideTheWorkBuffer) {
    Bytes data(16382, 0x01);
    data.insert(data.end(), {0xED, 0xED, 0xFF, 0x55, 0x66});
    const ScreenPage page = z80Page(v1WithData(data));
    EXPECT_EQ(page[16381], 0x01);
    EXPECT_EQ(page[16382 + 254], 0x55);
    EXPECT_EQ(page[16382 + 255], 0x00); // decoding stopped after the run
}

TEST(ScreenDecoder, TruncatedFilesShowWhatTheyHold) {
    Bytes memory(48 * 1024, 0x3C);
    Bytes sna = makeSna(memory);
    sna.resize(27 + 100);
    ScreenPage page = readScreenPage(SnapshotKind::Sna, sna);
    EXPECT_EQ(page[99], 0x3C);
    EXPECT_EQ(page[100], 0x00);
    EXPECT_EQ(readScreenPage(SnapshotKind::Sna, Bytes(10, 0xFF))[0], 0x00);

    page = z80Page(v1WithData({0x22, 0xED}));
    EXPECT_EQ(page[0], 0x22);
    EXPECT_EQ(page[1], 0xED);
    page = z80Page(v1WithData({0x22, 0xED, 0xED, 0x05}));
    EXPECT_EQ(page[0], 0x22);
    EXPECT_EQ(page[1], 0x00);

    // Shorter than any header: an all-black screen, no error.
    for (std::size_t size : {0u, 5u, 8u, 30u, 31u, 34u}) {
        Bytes file(size, 0);
        const SpectrumScreen screen = decodeScreenBytes("x.z80", file);
        EXPECT_EQ(screen.pixel(0, 0), kBlack) << size;
    }
}

TEST(ScreenDecoder, Version3BlockWalkSkipsOtherPages) {
    Bytes file = z80Header(3);
    appendBlock(file, 4, Bytes(100, 0xED)); // stated length 100, contents never decoded
    appendBlock(file, 5, {0x01, 0x02});
    appendBlock(file, 8, {0xED, 0xED, 0x03, 0x5A, 0x77});
    const ScreenPage page = z80Page(file);
    EXPECT_EQ(page[0], 0x5A);
    EXPECT_EQ(page[2], 0x5A);
    EXPECT_EQ(page[3], 0x77);
}

// A 128K snapshot shows bank 5 (page 8 of a .z80, the first bank of a .SNA), also when it was
// taken with the shadow screen in bank 7 shown.
TEST(ScreenDecoder, A128KSnapshotShowsBankFive) {
    Bytes ram(0x20000, 0);
    ram[0] = 0xAA;          // bank 5 (first in the emulator library's order)
    ram[7 * 0x4000] = 0x55; // bank 7 (last)
    MachineState state;
    state.port7ffd = 0x18; // bank 7's screen shown, ROM 1
    Bytes z80 =
        writeZ80Snapshot128(state, std::span<const std::uint8_t, 0x20000>(ram.data(), 0x20000));
    EXPECT_EQ(z80Page(z80)[0], 0xAA);

    Bytes sna(131103, 0);
    sna[27] = 0xAA;                        // bank 5 at 0x4000
    sna[27 + 0xC000 + 2] = 0x18;           // the paging byte after the program counter
    sna[27 + 0xC000 + 4 + 0x10000] = 0x55; // bank 7: the last of the banks that follow
    EXPECT_EQ(readScreenPage(SnapshotKind::Sna, sna)[0], 0xAA);
}

TEST(ScreenDecoder, UncompressedBlocksAreCopiedAndSkippedWhole) {
    Bytes screenPage(16384);
    for (std::size_t i = 0; i < screenPage.size(); ++i)
        screenPage[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    screenPage[10] = 0xED; // would be read as a run if the block were decoded
    screenPage[11] = 0xED;
    Bytes file = z80Header(3);
    appendBlock(file, 4, Bytes(16384, 0x08), true);
    appendBlock(file, 8, screenPage, true);
    const ScreenPage page = z80Page(file);
    EXPECT_TRUE(std::equal(screenPage.begin(), screenPage.end(), page.begin()));
}

TEST(ScreenDecoder, NoScreenBlockEndsWithABlackScreen) {
    Bytes file = z80Header(2);
    appendBlock(file, 4, Bytes(50, 0x11));
    appendBlock(file, 5, Bytes(50, 0x22));
    const SpectrumScreen screen = decodeScreenBytes("x.z80", file);
    for (std::uint32_t pixel : screen.pixels)
        ASSERT_EQ(pixel, kBlack);
    // A block length pointing past the end of the file.
    Bytes cut = z80Header(3);
    cut.insert(cut.end(), {0xF0, 0xFF, 4, 1, 2});
    EXPECT_EQ(z80Page(cut)[0], 0);
}

TEST(ScreenDecoder, KindFollowsTheExtensionInAnyCase) {
    EXPECT_EQ(snapshotKindOf("game.sna"), SnapshotKind::Sna);
    EXPECT_EQ(snapshotKindOf("GAME.SNA"), SnapshotKind::Sna);
    EXPECT_EQ(snapshotKindOf("Game.Sna"), SnapshotKind::Sna);
    EXPECT_EQ(snapshotKindOf("game.sna.z80"), SnapshotKind::Z80);
    EXPECT_EQ(snapshotKindOf("game.snap"), SnapshotKind::Z80);
    EXPECT_EQ(snapshotKindOf("sna"), SnapshotKind::Z80);

    Bytes memory(48 * 1024, 0);
    memory[6144] = 0x47;
    memory[0] = 0xFF;
    TempDir dir;
    writeFile(dir.path() / "Mixed.Sna", makeSna(memory));
    EXPECT_EQ(decodeSnapshotScreen(dir.path() / "Mixed.Sna").pixel(0, 0), kBrightWhite);
}

TEST(ScreenDecoder, MissingFileIsCannotOpen) {
    TempDir dir;
    const auto missing = dir.path() / "gone.z80";
    try {
        decodeSnapshotScreen(missing);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing.string());
    }
    EXPECT_THROW(decodeSnapshotScreen(dir.path()), FileError);
}

// The same screen through snapconv (libspectrum's writer: version 3, compressed, plain and mixed
// blocks) and through libspectrum's reader for version 1 and 2 files built here.
class IndependentReader : public ::testing::Test {
  protected:
    void SetUp() override {
        memory_ = randomishMemory(1234);
        sna_ = makeSna(memory_);
        expected_ = drawScreen(pageOf(memory_));
    }
    static ScreenPage pageOf(const Bytes& memory) {
        ScreenPage page{};
        std::copy_n(memory.begin(), 16384, page.begin());
        return page;
    }
    void expectSameScreen(const std::string& name, const Bytes& file) {
        const SpectrumScreen screen = decodeScreenBytes(name, file);
        EXPECT_TRUE(screen.pixels == expected_.pixels) << name;
    }
    Bytes memory_;
    Bytes sna_;
    SpectrumScreen expected_;
};

TEST_F(IndependentReader, SnapconvVersion3Files) {
    if (std::system("snapconv --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "snapconv (fuse-emulator-utils) not installed";
    TempDir dir;
    writeFile(dir.path() / "in.sna", sna_);
    for (const char* option : {"", "-c", "-n"}) {
        const auto out = dir.path() / (std::string("out") + option + ".z80");
        const std::string command = std::string("snapconv ") + option + " '" +
                                    (dir.path() / "in.sna").string() + "' '" + out.string() +
                                    "' 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const Bytes z80 = readFile(out);
        ASSERT_GT(z80.size(), 34u);
        EXPECT_EQ(z80[30], 54) << "expected a version-3 file";
        expectSameScreen("out.z80", z80);
        if (std::string(option) == "-n") {
            EXPECT_TRUE(hasPlainBlock(z80)) << "no 0xFFFF block in the uncompressed file";
        }
    }
    // And back through libspectrum's .sna writer.
    const auto back = dir.path() / "back.sna";
    const std::string command =
        "snapconv '" + (dir.path() / "out.z80").string() + "' '" + back.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    expectSameScreen("BACK.SNA", readFile(back));
}

TEST_F(IndependentReader, LibspectrumReadsTheVersion1And2FilesAlike) {
    for (int version : {1, 2, 3}) {
        const Bytes z80 = makeZ80(memory_, version);
        ASSERT_TRUE(libspectrumScreen(z80).has_value())
            << "libspectrum rejected version " << version;
        const Bytes theirs = *libspectrumScreen(z80);
        ScreenPage page{};
        std::copy(theirs.begin(), theirs.end(), page.begin());
        EXPECT_TRUE(drawScreen(page).pixels == expected_.pixels)
            << "libspectrum, version " << version;
        expectSameScreen("v" + std::to_string(version) + ".z80", z80);
    }
}

TEST(ScreenPng, EncodesTheScreenLosslessly) {
    Bytes memory = randomishMemory(99);
    const SpectrumScreen screen = decodeScreenBytes("a.sna", makeSna(memory));
    TempDir dir;
    writePng(dir.path() / "s.png", screen);
    const auto decoded = readPngRgb(dir.path() / "s.png");
    ASSERT_EQ(decoded.size(), screen.pixels.size());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), screen.pixels.begin()));
    EXPECT_THROW(writePng(dir.path() / "no" / "such" / "x.png", screen), FileError);
}

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
