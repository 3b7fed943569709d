// The signal a tape plays: equal to the Fuse utilities' for tapes the tests make with pasmo,
// tapeconv and snap2tzx, for the shared games' tapes and for every block kind written by hand;
// the pause and stop levels; time, progress and seeking.
#include "tape_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace tapeloom;
using namespace tapeloom::tapetest;

namespace {

const std::filesystem::path kSharedTapes =
    std::filesystem::path(TAPELOOM_SHARED_DIR) / "games/tapes";

constexpr const char* kProgram = R"(        org 32768
start:  ld hl, 16384
        ld de, 16385
        ld bc, 6143
        ld (hl), 0x55
        ldir
        ret
        defb "TAPELOOM", 1, 2, 3, 255
end start
)";

// A 48K .SNA with memory that differs everywhere, for snap2tzx.
Bytes testSnapshot() {
    Bytes sna(27 + 49152);
    sna[0] = 0x3F;
    sna[23] = 0xFE; // SP
    sna[24] = 0xFF;
    sna[25] = 1; // IM 1
    sna[26] = 7; // border
    std::mt19937 random(7);
    for (std::size_t i = 27; i < sna.size(); ++i)
        sna[i] = static_cast<std::uint8_t>(random());
    return sna;
}

// Every signal block kind: turbo, pure tone, pulses with one of no length, pure data with 3 bits in
// its last byte, a direct recording, generalized data whose symbols begin with an edge, low
// or high, a loop, a set level and a stop for 48K machines.
Bytes everyKind() {
    Tzx tzx;
    tzx.text(0x30, "every kind")
        .turbo({1000, 300, 400, 500, 900, 101}, 8, 20, romBlock(0xFF, {1, 2, 3, 0x80}))
        .tone(700, 3)
        .pulses({100, 0, 200, 300, 250})
        .pureData(600, 1200, 3, 5, {0xA5, 0xE0})
        .direct(79, 3, 5, {0xF0, 0x0F, 0xFF, 0x00, 0x80})
        .generalized(2, {{0, {500}}, {2, {100, 200}}, {3, {50, 60}}}, {{0, 5}, {1, 2}, {2, 1}},
                     {{0, {300, 300}}, {0, {600, 600}}, {0, {700}}}, 6, {0b00011000, 0b10000000})
        .loopStart(3)
        .tone(900, 1)
        .pulses({400, 410})
        .loopEnd()
        .setLevel(true)
        .tone(800, 3)
        .stopIf48K()
        .standard(30, romBlock(0x00, {1, 2, 3}))
        .text(0x21, "group")
        .raw({0x22})
        .pause(7);
    return tzx.bytes();
}

} // namespace

// Programs saved by pasmo, the same through tapeconv, a snapshot through snap2tzx's turbo
// loader and the shared games' tapes: the signal equals tape2pulses'.
TEST(TapeSignal, EqualsTape2pulsesOnMadeAndSharedTapes) {
    TempDir dir;
    writeFile(dir / "prog.asm", Bytes(kProgram, kProgram + std::strlen(kProgram)));
    writeFile(dir / "snap.sna", testSnapshot());
    ASSERT_TRUE(run("cd '" + (dir / "").string() +
                    "' && pasmo --tapbas prog.asm prog.tap && pasmo --tap prog.asm code.tap && "
                    "tapeconv prog.tap prog.tzx && snap2tzx -o snap.tzx snap.sna >/dev/null"));
    std::vector<std::filesystem::path> tapes{dir / "prog.tap", dir / "code.tap", dir / "prog.tzx",
                                             dir / "snap.tzx"};
    for (const auto& entry : std::filesystem::directory_iterator(kSharedTapes))
        tapes.push_back(entry.path());
    ASSERT_GE(tapes.size(), 10u);
    for (const auto& path : tapes) {
        SCOPED_TRACE(path.filename().string());
        TapeFile tape = TapeFile::read(path);
        std::vector<LevelRun> peer = tape2pulsesRuns(path);
        ASSERT_GT(peer.size(), 1000u);
        EXPECT_EQ(playRuns(tape, PauseLevels::Held), peer);
        // Blocks saved by the ROM end on a high pulse: the pause levels cannot differ.
        if (path.filename() != "snap.tzx") {
            EXPECT_EQ(playRuns(tape, PauseLevels::Finished), peer);
        }
    }
}

TEST(TapeSignal, EqualsTape2pulsesOnEveryBlockKind) {
    TempDir dir;
    writeFile(dir / "kinds.tzx", everyKind());
    TapeFile tape = TapeFile::read(dir / "kinds.tzx");
    std::vector<LevelRun> peer = tape2pulsesRuns(dir / "kinds.tzx");
    EXPECT_EQ(playRuns(tape, PauseLevels::Held), peer);
}

// Symbols that begin without an edge: libspectrum's own edges (tape2pulses shifts the time of
// such a pulse onto the next one when it prints).
TEST(TapeSignal, GeneralizedSymbolsWithoutEdgeEqualLibspectrum) {
    TempDir dir;
    Tzx tzx;
    tzx.tone(1000, 2)
        .generalized(0, {{1, {500, 200}}, {3, {300}}}, {{0, 2}, {1, 1}, {0, 1}},
                     {{1, {100, 100}}, {2, {200, 300}}, {0, {0, 400}}}, 4, {0b01100100})
        .tone(300, 1);
    writeFile(dir / "same.tzx", tzx.bytes());
    TapeFile tape = TapeFile::read(dir / "same.tzx");
    EXPECT_EQ(playRuns(tape, PauseLevels::Held), libspectrumRuns(dir / "same.tzx"));
}

// The same recording as a TZX CSW block (ours) and as a .csw file (tape2pulses), at a rate of
// a whole 80 T-states a sample; RLE with long pulses, and Z-RLE.
TEST(TapeSignal, CswBlocksEqualTape2pulsesOnCswFiles) {
    TempDir dir;
    std::vector<std::uint32_t> samples{27, 27,  27,    9, 8, 11,  11, 22,
                                       22, 300, 70000, 5, 1, 255, 256};
    for (std::uint8_t compression : {std::uint8_t{1}, std::uint8_t{2}}) {
        SCOPED_TRACE(compression);
        Bytes data = cswRle(samples);
        if (compression == 2)
            data = deflate(data);
        writeFile(dir / "rec.csw", cswFile(43750, compression, data));
        Tzx tzx;
        tzx.csw(0, 43750, compression, data);
        TapeFile tape = TapeFile::parse(tzx.bytes(), "rec.tzx");
        EXPECT_EQ(playRuns(tape, PauseLevels::Held), tape2pulsesRuns(dir / "rec.csw"));
    }
}

// At 44.1 kHz a sample is 79.37 T-states: each edge falls on the T-state nearest its exact time,
// so a long recording does not drift.
TEST(TapeSignal, CswEdgesStayOnTheExactTime) {
    std::vector<std::uint32_t> samples(20000, 27);
    samples.push_back(1);
    Tzx tzx;
    tzx.csw(0, 44100, 2, deflate(cswRle(samples)));
    TapeFile tape = TapeFile::parse(tzx.bytes(), "rec.tzx");
    TapePlayer player(tape);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        player.levelAt(player.nextEdge());
        total += samples[i];
        std::uint64_t exact = (total * kTapeClockHz + 22050) / 44100;
        ASSERT_EQ(player.nextEdge(), exact) << "edge " << i;
    }
    EXPECT_EQ(tape.duration(), (total * kTapeClockHz + 22050) / 44100);
}

// Pauses finish the last pulse (1 ms at the level its edge leads to), then stay low; a pause
// with no pulse before it is low; stops and the end of the tape finish the pulse the same way.
TEST(TapeSignal, PausesAndStopsFinishTheLastPulseThenGoLow) {
    Tzx tzx;
    tzx.pause(2).tone(1000, 4).pause(10).tone(1000, 3).pause(1).tone(1000, 2).raw({0x20, 0, 0});
    tzx.tone(500, 1).stopIf48K().tone(600, 2);
    TapeFile tape = TapeFile::parse(tzx.bytes(), "levels.tzx");
    // Each stop is pressed on at once: the low rest has no length there.
    EXPECT_EQ(playRuns(tape, PauseLevels::Finished, true),
              (std::vector<LevelRun>{{7000, false},
                                     {1000, true},
                                     {1000, false},
                                     {1000, true},
                                     {1000, false},
                                     {3500, true},
                                     {31500, false},
                                     {1000, true},
                                     {1000, false},
                                     {1000, true},
                                     {3500, false},
                                     {1000, true},
                                     {1000, false},
                                     {3500 + 500, true},
                                     {3500, false},
                                     {600, true},
                                     {600, false},
                                     {3500, true}}));
    // A 128K machine does not stop: the tone after "stop if 48K" follows its pulse at once.
    std::vector<LevelRun> on128 = playRuns(tape, PauseLevels::Finished, false);
    EXPECT_EQ(
        std::vector<LevelRun>(on128.end() - 4, on128.end()),
        (std::vector<LevelRun>{{3500 + 500, true}, {600, false}, {600, true}, {3500, false}}));
}

// A stopped tape waits for play: no edges, the state says so, and the time stopped counts
// neither in the signal nor in the progress.
TEST(TapeSignal, StopWaitsForPlay) {
    Tzx tzx;
    tzx.tone(1000, 3).raw({0x20, 0, 0}).tone(2000, 1);
    TapeFile tape = TapeFile::parse(tzx.bytes(), "stop.tzx");
    TapePlayer player(tape, {.machine48K = true, .pauses = PauseLevels::Finished, .start = 100});
    EXPECT_FALSE(player.levelAt(99));
    EXPECT_TRUE(player.levelAt(100));
    EXPECT_FALSE(player.play(500)); // pressing play while it plays does nothing
    EXPECT_EQ(player.state(), TapePlayer::State::Playing);
    EXPECT_FALSE(player.levelAt(3100 + 3500)); // 1 ms low after the last pulse, then it stops
    EXPECT_EQ(player.state(), TapePlayer::State::Stopped);
    EXPECT_EQ(player.stopTime(), 3100u + 3500u);
    EXPECT_FALSE(player.levelAt(1'000'000));
    EXPECT_EQ(player.position().played, 6500u);
    EXPECT_EQ(player.position().total, 5000u + 2 * 3500);
    EXPECT_TRUE(player.play(2'000'000));
    EXPECT_EQ(player.state(), TapePlayer::State::Playing);
    EXPECT_TRUE(player.levelAt(2'000'000));
    EXPECT_EQ(player.nextEdge(), 2'002'000u);
    EXPECT_FALSE(player.levelAt(2'002'000));
    EXPECT_FALSE(player.levelAt(3'000'000));
    EXPECT_EQ(player.state(), TapePlayer::State::Ended);
    EXPECT_FALSE(player.play(3'000'001));
    EXPECT_EQ(player.position().played, player.position().total);
}

// Content that plays in no time costs no time to play: 65535 turns of a loop of pulses of no
// length, a tone of 65535 empty pulses, 4 billion empty generalized symbols, empty pilots and
// bits in a loop. Only the level they leave behind shows.
TEST(TapeSignal, TimelessContentLeavesOnlyItsLevel) {
    Tzx tzx;
    tzx.tone(1000, 1)
        .loopStart(65535)
        .pulses({0, 0, 0})
        .raw({0x22})
        .loopEnd()
        .tone(0, 65535)
        .generalized(0, {}, {}, {{0, {0}}}, 0xFFFFFFFF, {})
        .tone(500, 1);
    TapeFile tape = TapeFile::parse(tzx.bytes(), "empty.tzx");
    EXPECT_EQ(tape.duration(), 1500u);
    // Flips: 65535 x 3 (odd) + 65535 (odd) + 2^32-1 (odd) = odd, then the tone's own edge.
    EXPECT_EQ(playRuns(tape, PauseLevels::Finished),
              (std::vector<LevelRun>{{1500, true}, {3500, false}}));

    Tzx ticks;
    ticks.loopStart(65535).pulses({1, 0, 0}).loopEnd();
    TapeFile tiny = TapeFile::parse(ticks.bytes(), "ticks.tzx");
    EXPECT_EQ(tiny.duration(), 65535u);
    EXPECT_EQ(playRuns(tiny, PauseLevels::Finished).size(), 65535u + 1);

    // In a loop that takes time (so not collapsed as a whole): a turbo block whose pilot,
    // syncs and bits have no length. Per turn 65535 + 2 flips, then the tone's own.
    Tzx turns;
    turns.tone(1000, 1)
        .loopStart(3000)
        .turbo({0, 0, 0, 0, 0, 65535}, 8, 0, Bytes(4096, 0x5A))
        .tone(10, 1)
        .loopEnd();
    TapeFile turning = TapeFile::parse(turns.bytes(), "turns.tzx");
    EXPECT_EQ(turning.duration(), 31000u);
    EXPECT_EQ(playRuns(turning, PauseLevels::Finished),
              (std::vector<LevelRun>{{31000, true}, {3500, false}}));
}

// Symbols of one pulse that keep or force the level lengthen one span: a short run of them plays
// as libspectrum plays it, and 65535 pilot repeats with 4 billion data symbols (hours of tape)
// play as two spans instead of a step per symbol.
TEST(TapeSignal, SteadySymbolRunsPlayAsOneSpan) {
    auto steady = [](std::uint32_t dataCount) {
        Tzx tzx;
        tzx.tone(1000, 1)
            .generalized(0, {{1, {100}}, {3, {40}}}, {{0, 65535}, {1, 3}}, {{2, {7}}}, dataCount,
                         {})
            .tone(500, 1);
        return tzx.bytes();
    };
    TempDir dir;
    writeFile(dir / "steady.tzx", steady(1000));
    EXPECT_EQ(playRuns(TapeFile::read(dir / "steady.tzx"), PauseLevels::Held),
              libspectrumRuns(dir / "steady.tzx"));

    TapeFile hours = TapeFile::parse(steady(0xFFFFFFFF), "hours.tzx");
    const std::uint64_t lowRun = 7 * std::uint64_t{0xFFFFFFFF};
    EXPECT_EQ(hours.duration(), 1000 + 100 * 65535 + 40 * 3 + lowRun + 500);
    std::vector<LevelRun> runs = playRuns(hours, PauseLevels::Held);
    ASSERT_GE(runs.size(), 3u);
    EXPECT_EQ(runs[0], (LevelRun{1000 + 100 * 65535 + 40 * 3, true}));
    EXPECT_EQ(runs[1], (LevelRun{lowRun, false}));
}

// A damaged tape whose symbols cancel out (a pulse of no length at one level, then one at the
// other), looped: hours of spans at one level with no edge. The player ends the tape there,
// at the level it holds, instead of walking billions of spans.
TEST(TapeSignal, EndlessSpansWithoutAnEdgeEndTheTape) {
    Tzx tzx;
    tzx.tone(1000, 1)
        .loopStart(65535)
        .generalized(0, {{2, {0, 512}}}, {{0, 65535}}, {}, 0, {})
        .loopEnd();
    TapeFile tape = TapeFile::parse(tzx.bytes(), "cancelling.tzx");
    TapePlayer player(tape);
    EXPECT_EQ(player.nextEdge(), 0u);
    player.advance();
    EXPECT_TRUE(player.level());
    EXPECT_EQ(player.nextEdge(), TapePlayer::kNever);
    EXPECT_TRUE(player.levelAt(player.stopTime()));
    EXPECT_EQ(player.state(), TapePlayer::State::Ended);
    EXPECT_FALSE(player.play(player.stopTime() + 1));
}

// levelAt at any time agrees with the edges; progress moves block by block to the end.
TEST(TapeSignal, LevelAtAgreesWithEdgesAndProgressAdvances) {
    TapeFile tape = TapeFile::read(kSharedTapes / "gameoflife.tzx");
    std::vector<LevelRun> runs = playRuns(tape, PauseLevels::Finished);
    TapePlayer player(tape);
    std::mt19937_64 random(3);
    std::uint64_t t = 0, runStart = 0;
    std::size_t run = 0, lastBlock = 0;
    while (run < runs.size()) {
        t += random() % 3000;
        while (run < runs.size() && t >= runStart + runs[run].duration)
            runStart += runs[run++].duration;
        if (run == runs.size())
            break;
        ASSERT_EQ(player.levelAt(t), runs[run].level) << "at " << t;
        TapePosition position = player.position();
        ASSERT_GE(position.block, lastBlock);
        ASSERT_EQ(position.played, t);
        lastBlock = position.block;
    }
    EXPECT_EQ(lastBlock, tape.blocks().size() - 1);
}

// A loader that read a block's bytes itself carries on at the next block: from its start, with
// the loop around it still counting.
TEST(TapeSignal, SeekToBlockCarriesOnFromThere) {
    Tzx tzx;
    tzx.standard(1000, romBlock(0xFF, {1, 2, 3})).loopStart(2).tone(700, 1).tone(800, 3).loopEnd();
    TapeFile tape = TapeFile::parse(tzx.bytes(), "seek.tzx");
    TapePlayer player(tape);
    player.levelAt(10'000);
    EXPECT_EQ(player.position().block, 0u);
    player.seekToBlock(2, 20'000);
    EXPECT_TRUE(player.levelAt(20'000));
    EXPECT_EQ(player.nextEdge(), 20'700u);
    EXPECT_EQ(player.position().block, 2u);
    player.levelAt(21'000); // in the second block of the loop's first turn
    player.seekToBlock(2, 40'000);
    std::uint64_t edges = 0;
    while (player.nextEdge() != TapePlayer::kNever) {
        player.advance();
        ++edges;
    }
    // The edge at the seek, both turns of the loop, and the end of the last pulse.
    EXPECT_EQ(edges, 1u + 2 * 4 + 1);
}
