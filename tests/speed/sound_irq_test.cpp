// The FIFO's top-ups in mGBA: timer 1 (16 samples played) falling due while the sound's
// interrupt handler passes another interrupt (the LCD's vertical blank) on to the general one
// must still get its 16 samples. Which instruction of the handler the overflow meets depends on
// the phase between the LCD and the sound's timer, so every one of the first instructions is
// tried: the overflow is raised by hand there.
#include <mgba/flags.h> // first: fixes the layout of mGBA's structures

#include "cartridge.h"
#include "speed_run.h"

#include <mgba/core/core.h>
#include <mgba/internal/gba/gba.h>

#include <gtest/gtest.h>

using namespace speed;

namespace {

constexpr std::uint32_t kBiosIrqHandler = 0x03007FFC;
constexpr std::uint32_t kIe = 0x04000200, kIf = 0x04000202;
constexpr std::uint32_t kTm0Count = 0x04000100, kTm1Count = 0x04000104;
constexpr std::uint16_t kIrqVblank = 0x0001;

// The instruction mGBA executes next (its PC register runs two instructions ahead).
std::uint32_t nextInstruction(GBA* gba) {
    bool thumb = gba->cpu->executionMode == MODE_THUMB;
    return static_cast<std::uint32_t>(gba->cpu->gprs[ARM_PC]) - (thumb ? 4 : 8);
}

// GBA cycles until timer 1's next overflow: timer 0 counts the cycles of a sample, timer 1
// (cascaded) the samples up to 16.
std::uint32_t cyclesToTopUp(gbatest::Gba& gba) {
    std::uint32_t samplesLeft = 0x10000u - gba.read16(kTm1Count);
    std::uint32_t cyclesLeft = 0x10000u - gba.read16(kTm0Count);
    return (samplesLeft - 1) * 512 + cyclesLeft;
}

// Words pushed into FIFO A so far (mGBA's write index, modulo its 8 words).
int fifoWrites(GBA* gba) {
    return gba->audio.chA.fifoWrite;
}

TEST(SoundInterrupt, ATopUpFallingDueWhileAnotherInterruptIsPassedOnIsServed) {
    Workload w;
    w.name = "tones";
    w.file = programSnapshot(std::filesystem::path(SPEED_PROGRAMS_DIR) / "tones.bin");
    WorkloadRun run(w);
    gbatest::Gba& gba = run.gba();
    gba.runFrames(5);
    GBA* board = static_cast<GBA*>(gba.core()->board);
    std::uint32_t handler = gba.read32(kBiosIrqHandler);
    ASSERT_GE(handler, 0x03000000u) << "the sound's handler is not installed";

    for (int into = 0; into < 12; ++into) {
        SCOPED_TRACE("timer 1 raised " + std::to_string(into) + " instructions into the handler");
        // The handler entered for the vertical blank alone, timer 1's overflow far ahead.
        bool found = false;
        for (std::uint64_t end = gba.cycles() + 20 * gbatest::kCyclesPerFrame;
             !found && gba.cycles() < end;) {
            gba.step(1);
            if (nextInstruction(board) != handler)
                continue;
            std::uint16_t pending = gba.read16(kIe) & gba.read16(kIf);
            found = pending == kIrqVblank && cyclesToTopUp(gba) > 4096;
        }
        ASSERT_TRUE(found) << "no vertical blank entered the handler far from a top-up";
        gba.step(into);
        int writes = fifoWrites(board);
        GBARaiseIRQ(board, GBA_IRQ_TIMER1, 0);
        for (std::uint64_t end = gba.cycles() + 2048; gba.cycles() < end;)
            gba.step(1);
        EXPECT_EQ((fifoWrites(board) - writes + 8) % 8, 4) << "the top-up was not pushed";
    }
    EXPECT_EQ(gba.gameErrors(), 0);
}

} // namespace
