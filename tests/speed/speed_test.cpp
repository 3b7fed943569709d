// The speed suite runs: a short workload yields consecutive frame costs, and the tone program
// is heard sound by sound. Figures are printed, not judged; only what holds today is checked,
// loosely.
#include "cartridge.h"
#include "speed_run.h"
#include "tone_reference.h"
#include "tone_run.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace speed;

namespace {

TEST(SpeedSuite, AShortWorkloadGivesTheCostsOfEveryFrame) {
    auto all = workloads();
    const Workload* game = findWorkload(all, "c-game");
    ASSERT_NE(game, nullptr);
    Workload w = *game;
    w.warmup = 10;
    w.frames = 60;
    WorkloadRun run(w);
    run.runUntilFrame(w.warmup + w.frames);
    auto costs = run.costs(w.warmup, w.warmup + w.frames);
    SpeedFigures f = summarise(costs);
    std::printf("c-game, 60 frames: slowest %.1f %%, Z80 %.0f, display %.0f, sound %.0f cycles\n",
                f.slowestWindow, f.z80, f.display, f.sound);
    EXPECT_EQ(f.frames, 60);
    EXPECT_GT(f.z80, 10000.0);
    EXPECT_GT(f.display, 0.0); // the game draws every frame
    EXPECT_GT(f.rows, 1.0);
    EXPECT_GT(f.sound, 0.0);
    EXPECT_LE(f.worstFrame, f.slowestWindow);
    EXPECT_EQ(run.gba().gameErrors(), 0);
}

// The square tones' half-periods, as tones.asm times them: 83 + 26 n + 4 k T-states.
const int kHalfPeriods[] = {15909, 7955, 3977, 1989, 1325, 995, 663, 497};

TEST(SpeedSuite, TheToneProgramPlaysExactPeriodsOnTheReferenceMachine) {
    Workload w;
    auto sna = spectest::readBytes(
        programSnapshot(std::filesystem::path(SPEED_PROGRAMS_DIR) / "tones.bin"));
    StopAt finished{0x9000, 8}; // the square tones
    auto sounds = splitSounds(referenceEdges(sna, 800, &finished));
    ASSERT_EQ(sounds.size(), 8u);
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        SCOPED_TRACE(i);
        for (std::size_t e = 1; e < sounds[i].size(); ++e)
            ASSERT_NEAR((sounds[i][e] - sounds[i][e - 1]) * 3500000.0, kHalfPeriods[i], 1e-6);
        EXPECT_EQ(sounds[i].size() % 2, 0u); // every tone ends low
    }
}

TEST(SpeedSuite, TheToneProgramIsHeardSoundBySound) {
    ToneRun run = runTones();
    ASSERT_EQ(run.heardSounds, run.referenceSounds);
    ASSERT_EQ(run.tones.size(), 13u);
    for (const HeardTone& t : run.tones) {
        SCOPED_TRACE(t.name + " " + std::to_string(t.figures.hz));
        EXPECT_LT(t.figures.lostEdges, t.figures.referenceEdges / 2);
        if (t.name == "square" && t.figures.hz < 1000) { // in tune today up to 880 Hz
            EXPECT_LT(std::fabs(t.figures.cents), 10.0);
            EXPECT_LT(std::fabs(t.figures.durationError), 3.0);
            EXPECT_EQ(t.figures.dropouts, 0);
        }
    }
}

} // namespace
