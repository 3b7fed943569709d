// The two real games from the shared folder, packed by the core's writer and run in mGBA: a
// picture appears, the mapped keys and the joystick reach the game, and the speed is measured.
#include "cartridge.h"
#include "snapshot_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace spectest;
using gbatest::Gba;

namespace {

std::filesystem::path game(const char* name) {
    return std::filesystem::path(TAPELOOM_SHARED_DIR) / "games" / name;
}

// Pixels of the frame that are not the paper colour of the top-left corner.
int inkPixels(Gba& gba) {
    auto frame = gba.frameRgb();
    return static_cast<int>(
        std::count_if(frame.begin(), frame.end(), [&](std::uint32_t p) { return p != frame[0]; }));
}

std::vector<std::uint32_t> frameNow(Gba& gba) {
    return gba.frameRgb();
}

class Znake : public ::testing::TestWithParam<const char*> {};

TEST_P(Znake, TitleThenKeyboardMenuThenPlays) {
    // A = K (keyboard controls), Start = ENTER, the D-pad = O, P, Q, A.
    Entry e{"Znake", game(GetParam()), {"K", "", "", "ENTER", "P", "O", "Q", "A", "", ""}};
    Gba gba(catalogueImage({e}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 50);
    int title = inkPixels(gba);
    EXPECT_GT(title, 200); // "ZNAKE", "K - Keyboard", "J - Kempston"
    auto before = frameNow(gba);
    gba.press(gbatest::KeyA, 4, 4); // K: the difficulty menu replaces the title
    runSpectrumFrames(gba, 30);
    EXPECT_NE(frameNow(gba), before);
    // ENTER: a level starts (and, with nobody steering, ends at a wall a few seconds later).
    auto menu = frameNow(gba);
    gba.setKeys(gbatest::KeyStart);
    int changed = gba.runUntil([&menu](Gba& g) { return g.frameRgb() != menu; }, 60);
    gba.setKeys(0);
    EXPECT_GE(changed, 0);
    runSpectrumFrames(gba, 8);
    if (std::string(GetParam()) == "znake.sna")
        saveScreenshot(gba, "cartridge-znake");
    EXPECT_EQ(state(gba).interrupts, state(gba).frames); // IM 2 with I = FEh, every frame
}

INSTANTIATE_TEST_SUITE_P(Files, Znake, ::testing::Values("znake.sna", "znake.z80"));

class SnakeAsm : public ::testing::TestWithParam<const char*> {};

TEST_P(SnakeAsm, RunsAndSteers) {
    Entry e{"Snake", game(GetParam()), {"", "", "", "", "P", "O", "Q", "A", "", ""}};
    Gba gba(catalogueImage({e}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 20);
    EXPECT_GT(inkPixels(gba), 50);
    // Steering changes the course: the picture after a turn differs from going straight.
    Gba straight(catalogueImage({e}));
    ASSERT_TRUE(startEntry(straight, 0));
    runSpectrumFrames(straight, 20);
    gba.setKeys(gbatest::KeyUp);
    straight.setKeys(gbatest::KeyDown);
    runSpectrumFrames(gba, 30);
    runSpectrumFrames(straight, 30);
    EXPECT_NE(frameNow(gba), frameNow(straight));
}

INSTANTIATE_TEST_SUITE_P(Files, SnakeAsm, ::testing::Values("snake-asm.sna", "snake-asm.z80"));

// Percentage of a real Spectrum's speed over `frames` frames (emulation only, waits excluded).
double speedPercent(Gba& gba, std::uint32_t frames) {
    auto s0 = state(gba);
    runSpectrumFrames(gba, frames);
    auto s1 = state(gba);
    double spectrumSeconds = (s1.frames - s0.frames) * 69888.0 / 3500000.0;
    double gbaSeconds = (s1.busy_cycles - s0.busy_cycles) / 16777216.0;
    return spectrumSeconds / gbaSeconds * 100.0;
}

TEST(SpectrumSpeed, GamesAndABusyProgram) {
    {
        // Our benchmark: never halts, rewrites a third of the screen and 256 attributes per pass.
        MachineImage m;
        auto code = readBytes(SPECTRUM_BUSY_BIN);
        std::copy(code.begin(), code.end(), m.ram.begin() + 0x4000);
        m.regs.pc = 0x8000, m.regs.sp = 0xFF00, m.regs.iy = 0x5C3A, m.regs.im = 1;
        auto file = tempDir() / "busy.sna";
        writeBytes(file, makeSna(m));
        Gba gba(catalogueImage({{"Busy", file, {}}}));
        ASSERT_TRUE(startEntry(gba, 0));
        runSpectrumFrames(gba, 20);
        std::uint32_t rows0 = state(gba).rows_drawn, frames0 = state(gba).frames;
        double speed = speedPercent(gba, 200);
        double rowsPerFrame = double(state(gba).rows_drawn - rows0) / (state(gba).frames - frames0);
        std::printf("speed %-14s %6.1f %% of a Spectrum (%.1f character rows redrawn per frame)\n",
                    "busy.asm", speed, rowsPerFrame);
        EXPECT_GT(rowsPerFrame, 8.0); // the display really changes every frame
        EXPECT_GT(speed, 10.0);
    }
    {
        // The beeper sounding: an edge every 1,060 T-states or so.
        MachineImage m;
        auto code = readBytes(SPECTRUM_BEEPER_BIN);
        std::copy(code.begin(), code.end(), m.ram.begin() + 0x4000);
        m.regs.pc = 0x8000, m.regs.sp = 0xFF00, m.regs.iy = 0x5C3A, m.regs.im = 1;
        auto file = tempDir() / "beeper.sna";
        writeBytes(file, makeSna(m));
        Gba gba(catalogueImage({{"Beeper", file, {}}}));
        ASSERT_TRUE(startEntry(gba, 0));
        runSpectrumFrames(gba, 20);
        std::printf("speed %-14s %6.1f %% of a Spectrum\n", "beeper.asm", speedPercent(gba, 100));
    }
    {
        // Fixed cost per frame: a program that only halts (interrupt, sound, input).
        MachineImage m;
        m.ram[0x4000] = 0xFB, m.ram[0x4001] = 0x76, m.ram[0x4002] = 0x18, m.ram[0x4003] = 0xFD;
        m.regs.pc = 0x8000, m.regs.sp = 0xFF00, m.regs.iy = 0x5C3A, m.regs.im = 1;
        auto file = tempDir() / "halt.sna";
        writeBytes(file, makeSna(m));
        Gba gba(catalogueImage({{"Halt", file, {}}}));
        ASSERT_TRUE(startEntry(gba, 0));
        runSpectrumFrames(gba, 20);
        auto s0 = state(gba);
        runSpectrumFrames(gba, 100);
        auto s1 = state(gba);
        std::printf("idle frame: %u GBA cycles of the 335,008 a Spectrum frame lasts\n",
                    (s1.busy_cycles - s0.busy_cycles) / (s1.frames - s0.frames));
    }
    for (const char* name : {"znake.sna", "snake-asm.sna"}) {
        Gba gba(catalogueImage({{"Game", game(name), {}}}));
        ASSERT_TRUE(startEntry(gba, 0));
        runSpectrumFrames(gba, 20);
        double speed = speedPercent(gba, 200);
        std::printf("speed %-14s %6.1f %% of a Spectrum\n", name, speed);
        EXPECT_GT(speed, 10.0);
    }
}

} // namespace
