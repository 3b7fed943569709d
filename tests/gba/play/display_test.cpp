// The picture's timing on the cartridge: every LCD frame shows one whole Spectrum frame (no
// tear), and a picture left for a later frame changes nothing the Spectrum computes and is
// caught up. The flip program (play/programs/flip.asm) changes every attribute every frame.
#include "cartridge.h"
#include "snapshot_files.h"
#include "spectrum/machine.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <random>

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

// A screen of random bytes and attributes (FLASH and BRIGHT among them; in every other row each
// aligned four of cells shares one), drawn whole, then
// changed cell by cell in every pattern of a four-cell group (one to four of its cells, groups
// side by side): the sprite tiles must show the screen exactly, pixel by pixel, FLASH cells
// swapped in one phase all alike.
TEST(SpectrumDisplay, TilesShowEveryCellExactlyAfterPartialChanges) {
    MachineImage m;
    std::mt19937 random(12345);
    for (std::size_t i = 0; i < 6912; ++i)
        m.ram[i] = static_cast<std::uint8_t>(random());
    for (std::size_t i = 0x1800; i < 6912; i += 64) // every other row: fours of one attribute
        for (std::size_t j = 0; j < 32; ++j)
            m.ram[i + j] = m.ram[i + (j & ~std::size_t{3})];
    // EI; LD B,20; wait: HALT; DJNZ wait; then the writes at 9000h (address, value; ends at
    // address high byte 0): LD HL,9000h; next: LD E,(HL); INC HL; LD D,(HL); INC HL; LD A,D;
    // OR A; JR Z,end; LD A,(HL); INC HL; LD (DE),A; JR next; end: HALT; JR end.
    const std::uint8_t code[] = {0xFB, 0x06, 0x14, 0x76, 0x10, 0xFD, 0x21, 0x00, 0x90,
                                 0x5E, 0x23, 0x56, 0x23, 0x7A, 0xB7, 0x28, 0x05, 0x7E,
                                 0x23, 0x12, 0x18, 0xF3, 0x76, 0x18, 0xFD};
    std::copy(std::begin(code), std::end(code), m.ram.begin() + 0x4000);
    std::vector<std::uint8_t> screen(m.ram.begin(), m.ram.begin() + 6912);
    std::size_t w = 0x5000;
    auto change = [&](std::uint16_t address, std::uint8_t value) {
        m.ram[w++] = static_cast<std::uint8_t>(address);
        m.ram[w++] = static_cast<std::uint8_t>(address >> 8);
        m.ram[w++] = value;
        screen[address - 0x4000] = value;
    };
    // Row r's cells in column pattern r (a mask over columns 0-15 and again over 16-31): a
    // pixel line of each changed cell, or its attribute, or both.
    for (int row = 0; row < 24; ++row) {
        std::uint32_t pattern = static_cast<std::uint32_t>(row * 0x2B5 + 0x19) & 0xFFFF;
        for (int column = 0; column < 32; ++column) {
            if (!(pattern >> (column & 15) & 1))
                continue;
            int line = (row + column) & 7;
            std::uint16_t bitmap = static_cast<std::uint16_t>(
                0x4000 + ((row & 0x18) << 8) + (line << 8) + ((row & 7) << 5) + column);
            std::uint16_t attr = static_cast<std::uint16_t>(0x5800 + row * 32 + column);
            if (column % 3 != 1)
                change(bitmap, static_cast<std::uint8_t>(~screen[bitmap - 0x4000]));
            if (column % 3 != 0)
                change(attr, static_cast<std::uint8_t>(screen[attr - 0x4000] ^ 0x95));
        }
    }
    m.ram[w++] = 0, m.ram[w++] = 0;
    m.regs.pc = 0x8000, m.regs.sp = 0xFF00, m.regs.iy = 0x5C3A, m.regs.im = 1, m.regs.i = 0x3F;
    m.border = 7;
    auto file = tempDir() / "cells.sna";
    writeBytes(file, makeSna(m));

    Gba gba(catalogueImage({{"Cells", file, {}}}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 30);
    ASSERT_EQ(peek(gba, 0x8000 + sizeof code - 2), 0x18) << "the program is in place";
    std::vector<std::uint32_t> tiles(24 * 256);
    gba.read(0x06010000, tiles.data(), tiles.size() * 4);
    auto index = [](int c, bool bright) {
        return c == 0 ? 8u : static_cast<std::uint32_t>(c + (bright ? 8 : 0));
    };
    int wrong[2] = {0, 0};
    for (int flashPhase = 0; flashPhase < 2; ++flashPhase)
        for (int row = 0; row < 24; ++row)
            for (int column = 0; column < 32; ++column) {
                std::uint8_t a = screen[0x1800 + row * 32 + column];
                std::uint32_t ink = index(a & 7, a & 0x40), paper = index(a >> 3 & 7, a & 0x40);
                if (flashPhase && (a & 0x80))
                    std::swap(ink, paper);
                for (int line = 0; line < 8; ++line) {
                    std::uint8_t b =
                        screen[((row & 0x18) << 8) + (line << 8) + ((row & 7) << 5) + column];
                    std::uint32_t want = 0;
                    for (int x = 0; x < 8; ++x)
                        want |= (b & (0x80 >> x) ? ink : paper) << (4 * x);
                    wrong[flashPhase] += tiles[row * 256 + column * 8 + line] != want;
                }
            }
    EXPECT_EQ(std::min(wrong[0], wrong[1]), 0)
        << "pixel lines wrong: " << wrong[0] << " (FLASH off), " << wrong[1] << " (on)";
}

} // namespace
