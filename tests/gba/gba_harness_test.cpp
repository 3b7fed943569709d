// The harness the GBA tests stand on: memory access, timing, keys and error reporting.
#include "gba/state_blocks.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;
using gbatest::Gba;

namespace {

std::vector<std::uint8_t> headerOnly() {
    auto image = gbatest::readFile(fs::path(TAPELOOM_GBA_IMAGE_DIR) / "tpl_menu.gba");
    image.resize(0xC0); // the branch at 0 goes to 0xC0
    return image;
}

void appendArm(std::vector<std::uint8_t>& rom, std::uint32_t instruction) {
    for (int i = 0; i < 4; ++i)
        rom.push_back(static_cast<std::uint8_t>(instruction >> (8 * i)));
}

TEST(GbaHarness, MemoryViewsAgreeAndSurviveOnlyAfterReset) {
    auto rom = headerOnly();
    appendArm(rom, 0xEAFFFFFE); // b .
    Gba gba(rom);
    gba.write32(0x02000010, 0x11223344);
    std::size_t size = 0;
    std::uint8_t* ewram = gba.memory(0x02000010, &size);
    ASSERT_NE(ewram, nullptr);
    EXPECT_EQ(size, 0x40000u - 0x10);
    EXPECT_EQ(ewram[0], 0x44);
    EXPECT_EQ(gba.read16(0x02000012), 0x1122);
    EXPECT_EQ(gba.readStruct<std::uint32_t>(0x02000010), 0x11223344u);
    gba.reset();
    EXPECT_EQ(gba.read32(0x02000010), 0u); // reset clears RAM: plant after it
}

TEST(GbaHarness, FramesHaveTheirFixedLength) {
    auto rom = headerOnly();
    appendArm(rom, 0xEAFFFFFE);
    Gba gba(rom);
    gba.runFrames(2);
    std::uint64_t start = gba.cycles();
    gba.runFrames(10);
    EXPECT_EQ(gba.cycles() - start, 10u * gbatest::kCyclesPerFrame);
    std::uint64_t before = gba.cycles();
    gba.step(5);
    EXPECT_GT(gba.cycles(), before);
    auto frame = gba.frameRgb();
    EXPECT_EQ(frame.size(), 240u * 160u);
}

TEST(GbaHarness, ReportsBadMemoryAccessesAsGameErrors) {
    auto rom = headerOnly();
    appendArm(rom, 0xE3A01201); // mov r1, #0x10000000
    appendArm(rom, 0xE5910000); // ldr r0, [r1]: nothing is mapped there
    appendArm(rom, 0xEAFFFFFE); // b .
    {
        Gba gba(rom);
        gba.runFrames(2);
        EXPECT_GE(gba.gameErrors(), 1);
    }
    {
        Gba gba(rom);
        gba.failOnGameError(true);
        EXPECT_THROW(gba.runFrames(2), std::runtime_error);
    }
    EXPECT_EQ(gbatest::Gba(headerOnly()).gameErrors(), 0);
}

TEST(GbaHarness, RunUntilIsBounded) {
    auto rom = headerOnly();
    appendArm(rom, 0xEAFFFFFE);
    Gba gba(rom);
    EXPECT_EQ(gba.runUntil32(0x02000000, 0xDEADBEEF, 5), -1);
    gba.write32(0x02000000, 0xDEADBEEF);
    EXPECT_EQ(gba.runUntil32(0x02000000, 0xDEADBEEF, 5), 0);
}

// The menu image paints its stack at start-up: its depth reads as some bytes within the
// stack, and a run after which the stack's bottom word is no longer painted (a call chain
// deeper than the stack) fails; an image that paints nothing is never failed for it.
TEST(GbaHarness, StackDepthIsReadAndAnOverrunFailsTheRun) {
    Gba gba(gbatest::readFile(fs::path(TAPELOOM_GBA_IMAGE_DIR) / "tpl_menu.gba"));
    gba.runFrames(10);
    std::uint32_t depth = gba.stackDepth();
    EXPECT_GT(depth, 0u);
    EXPECT_LT(depth, static_cast<std::uint32_t>(SYS_STACK_SIZE));
    gba.write32(SYS_STACK_TOP - SYS_STACK_SIZE, 0);
    EXPECT_THROW(gba.runFrames(1), std::runtime_error);
    EXPECT_GE(gba.stackDepth(), static_cast<std::uint32_t>(SYS_STACK_SIZE));

    auto rom = headerOnly();
    appendArm(rom, 0xEAFFFFFE);
    Gba bare(rom);
    bare.write32(SYS_STACK_TOP - SYS_STACK_SIZE, 0);
    EXPECT_NO_THROW(bare.runFrames(2));
    EXPECT_EQ(bare.stackDepth(), 0u);
}

} // namespace
