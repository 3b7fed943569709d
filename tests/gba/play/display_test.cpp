// The picture's timing on the cartridge: every LCD frame shows one whole Spectrum frame (no
// tear), and a picture left for a later frame changes nothing the Spectrum computes and is
// caught up. The flip program (play/programs/flip.asm) changes every attribute every frame.
#include "cartridge.h"
#include "snapshot_files.h"
#include "spectrum/machine.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

using namespace spectest;
using gbatest::Gba;

namespace {

constexpr std::uint16_t kFrameCount = 0x9000, kDone = 0x9002;
constexpr std::uint32_t kFlipFrames = 300;

std::filesystem::path flipSnapshot() {
    MachineImage m;
    auto code = readBytes(SPECTRUM_FLIP_BIN);
    std::copy(code.begin(), code.end(), m.ram.begin() + 0x4000);
    m.regs.pc = 0x8000, m.regs.sp = 0xFF00, m.regs.iy = 0x5C3A, m.regs.im = 1, m.regs.i = 0x3F;
    m.border = 7;
    auto file = tempDir() / "flip.sna";
    writeBytes(file, makeSna(m));
    return file;
}

// The colours of the flip program as mGBA shows them (26 of 31 for normal colours).
constexpr std::uint32_t kLevel = (26u << 3) | (26u >> 2);
constexpr std::uint32_t kRed = kLevel << 16, kBlue = kLevel, kYellow = kLevel << 16 | kLevel << 8,
                        kCyan = kLevel << 8 | kLevel;

// The phase character row cy shows in the scaled view at column cx: 0 red on blue, 1 yellow on
// cyan, -1 anything else.
int rowPhase(Gba& gba, int cy, int cx) {
    int y = (cy * 8 + 4) * 160 / 192;
    std::uint32_t ink = gba.pixel((cx * 8 + 2) * 240 / 256, y);
    std::uint32_t paper = gba.pixel((cx * 8 + 6) * 240 / 256, y);
    if (ink == kRed && paper == kBlue)
        return 0;
    if (ink == kYellow && paper == kCyan)
        return 1;
    return -1;
}

// Rows whose phase differs from row 0's (or that show neither), checked at two columns.
int rowsOutOfStep(Gba& gba) {
    int first = rowPhase(gba, 0, 3), wrong = first < 0;
    for (int cy = 0; cy < 24; ++cy)
        for (int cx : {3, 28})
            if (rowPhase(gba, cy, cx) != first) {
                ++wrong;
                break;
            }
    return wrong;
}

std::vector<SpectrumFrameCost> lastCosts(Gba& gba) {
    std::vector<SpectrumFrameCost> costs(SPECTRUM_COST_FRAMES);
    gba.read(state(gba).frame_costs, costs.data(), costs.size() * sizeof costs[0]);
    return costs;
}

TEST(SpectrumDisplay, EveryLcdFrameShowsOneWholeSpectrumFrame) {
    Gba gba(catalogueImage({{"Flip", flipSnapshot(), {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 10);
    int torn = 0, phases[2] = {0, 0};
    for (int i = 0; i < 150 && peek(gba, kDone) == 0; ++i) {
        gba.runFrames(1);
        if (rowsOutOfStep(gba) && ++torn <= 3)
            ADD_FAILURE() << "the LCD shows two Spectrum frames at Spectrum frame "
                          << state(gba).frames;
        int phase = rowPhase(gba, 0, 3);
        if (phase >= 0)
            ++phases[phase];
    }
    EXPECT_EQ(torn, 0);
    EXPECT_GT(phases[0], 30); // both pictures shown, each in whole frames
    EXPECT_GT(phases[1], 30);
}

// The flip program on the host machine, exact, until it stops: its memory.
std::vector<std::uint8_t> referenceMemory() {
    auto rom = readBytes(TAPELOOM_OPENSE_ROM);
    auto sna = readBytes(flipSnapshot());
    std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    std::vector<std::int32_t> edges(BEEPER_MAX_EDGES);
    auto machine = std::make_unique<Spectrum>();
    spectrum_init(machine.get(), rom.data(), ram.data(), edges.data());
    EXPECT_EQ(spectrum_load(machine.get(), sna.data(), static_cast<std::uint32_t>(sna.size()),
                            SNAPSHOT_SNA),
              SNAPSHOT_OK);
    for (std::uint32_t f = 0; f < kFlipFrames + 20 && ram[kDone - 0x4000] == 0; ++f)
        spectrum_run_frame(machine.get());
    return ram;
}

TEST(SpectrumDisplay, PicturesLeftForLaterChangeNothingComputedAndCatchUp) {
    auto reference = referenceMemory();
    ASSERT_EQ(reference[kDone - 0x4000], 1);
    for (std::uint32_t every : {1u, 4u}) {
        SCOPED_TRACE(every);
        Gba gba(catalogueImage({{"Flip", flipSnapshot(), {}}}));
        ASSERT_TRUE(startEntry(gba, 0));
        gba.write32(SPECTRUM_STATE_ADDRESS + offsetof(SpectrumState, display_every), every);
        ASSERT_GE(gba.runUntil([](Gba& g) { return peek(g, kDone) == 1; }, 600), 0);
        EXPECT_EQ(peek16(gba, kFrameCount), kFlipFrames);
        // The frames while it ran: every fourth picture drawn, or each one.
        int skipped = 0;
        for (const SpectrumFrameCost& c : lastCosts(gba))
            skipped += (c.flags & SPECTRUM_FRAME_SKIPPED) != 0;
        if (every == 1)
            EXPECT_EQ(skipped, 0);
        else
            EXPECT_GE(skipped, 40);
        runSpectrumFrames(gba, 5);
        // Stopped at the same frame as the exact machine, with the same memory.
        std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
        gba.read(state(gba).ram, ram.data(), ram.size());
        std::size_t differ = 0;
        for (std::size_t i = 0; i < ram.size(); ++i)
            differ += ram[i] != reference[i];
        EXPECT_EQ(differ, 0u);
        // The last picture is on the LCD in full.
        gba.runFrames(2);
        EXPECT_EQ(rowsOutOfStep(gba), 0);
        EXPECT_EQ(rowPhase(gba, 23, 28), 0);
    }
}

} // namespace
