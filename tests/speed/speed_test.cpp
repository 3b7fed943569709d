// The speed suite runs: a short workload yields consecutive frame costs, and the tone program
// is heard sound by sound. Figures are printed, not judged; only what holds today is checked,
// loosely.
#include "arm_profile.h"
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

// A program that redraws most of the screen every frame: while the emulation is behind, the
// pictures give way (the sound must not run dry for them), three frames in a row at most.
TEST(SpeedSuite, BehindRealTimePicturesAreLeftForLaterThreeInARowAtMost) {
    auto all = workloads();
    Workload w = *findWorkload(all, "redraw");
    WorkloadRun run(w);
    run.runUntilFrame(160);
    int skipped = 0, run_length = 0, longest = 0, late = 0;
    std::uint32_t underruns = run.costs(60, 60)[0].underruns;
    for (const SpectrumFrameCost& c : run.costs(61, 160)) {
        bool skip = (c.flags & SPECTRUM_FRAME_SKIPPED) != 0;
        skipped += skip;
        run_length = skip ? run_length + 1 : 0;
        longest = std::max(longest, run_length);
        late += c.underruns != underruns;
        underruns = c.underruns;
        if (!skip) {
            EXPECT_GT(c.rows, 0); // a picture drawn catches up with all that changed
        }
    }
    std::printf("redraw, 100 frames: %d late, %d pictures left for later\n", late, skipped);
    EXPECT_LE(longest, 3);
    if (late > 10) {
        EXPECT_GT(skipped, 10);
    }
}

TEST(SpeedSuite, TheProfileAccountsForEveryCycleOfTheFramesItSteps) {
    auto all = workloads();
    Workload w = *findWorkload(all, "key-poll");
    w.warmup = 5;
    ArmProfile p = profile(w, 3);
    std::uint64_t sum = 0;
    for (const auto& [symbol, cycles] : p.bySymbol)
        sum += cycles;
    EXPECT_EQ(sum, p.cycles);
    // Three frames of a busy program: about 3 x 335,000 cycles at real time, more when slower.
    EXPECT_GT(p.cycles, 500000u);
    EXPECT_LT(p.bySymbol["?"], p.cycles / 100); // the emulator's symbols cover its code
    EXPECT_GT(p.bySymbol["spectrum_run_frame"] + p.bySymbol["z80_run"], 0u);
}

TEST(SpeedSuite, ScriptsHoldTheButtonsOfTheLatestStep) {
    std::vector<KeyStep> script = {{100, 1}, {104, 0}, {102, 2}, {102, 4}, {200, 8}};
    EXPECT_EQ(buttonsAt(script, 0), 0);
    EXPECT_EQ(buttonsAt(script, 100), 1);
    EXPECT_EQ(buttonsAt(script, 103), 4); // two steps at 102: the later one
    EXPECT_EQ(buttonsAt(script, 150), 0);
    EXPECT_EQ(buttonsAt(script, 1000), 8);
    // Every workload's file is there and its script starts after the snapshot does.
    for (const Workload& w : workloads()) {
        SCOPED_TRACE(w.name);
        EXPECT_TRUE(std::filesystem::exists(w.file));
        for (const KeyStep& step : w.script)
            EXPECT_GE(step.frame, 2u);
        EXPECT_GE(w.frames, static_cast<std::uint32_t>(kWindowFrames));
    }
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

// The synthesis alone, from exact edges: every tone in tune, as long as played, every edge
// heard, at its start and after a HALT too.
TEST(SpeedSuite, ExactEdgesAreSynthesisedIntoTheTonesPlayed) {
    ToneRun run = synthesiseTones(kCartridgeSamplesPerFrame);
    ASSERT_EQ(run.heardSounds, run.referenceSounds);
    ASSERT_EQ(run.tones.size(), 13u);
    for (const HeardTone& t : run.tones) {
        SCOPED_TRACE(t.name + " " + std::to_string(t.figures.hz));
        EXPECT_LT(std::fabs(t.figures.cents), 1.0);
        EXPECT_LT(std::fabs(t.figures.durationError), 0.1);
        EXPECT_EQ(t.figures.lostEdges, 0);
        EXPECT_EQ(t.figures.holds, 0);
        EXPECT_LT(t.figures.jitterRms, 2.0); // finding edges between samples, at 3.5 kHz
    }
}

// The cartridge heard from mGBA's mixer: every sound from 110 Hz to 3.5 kHz in tune, as long as
// played, without a dropout, and no edge lost at its start or after a HALT.
TEST(SpeedSuite, TheToneProgramIsHeardSoundBySound) {
    ToneRun run = runTones();
    ASSERT_EQ(run.heardSounds, run.referenceSounds);
    ASSERT_EQ(run.tones.size(), 13u);
    for (const HeardTone& t : run.tones) {
        const ToneFigures& f = t.figures;
        SCOPED_TRACE(t.name + " " + std::to_string(f.hz));
        EXPECT_LT(std::fabs(f.cents), 10.0);
        EXPECT_EQ(f.lostEdges, 0);
        EXPECT_EQ(f.dropouts, 0);
        EXPECT_LT(std::fabs(f.durationError), 2.0);
    }
}

} // namespace
