#pragma once
// Playing a tape: its signal as the EAR level over time, made as it is asked for (a long tape
// never sits in memory as pulses).
//
// The signal follows the usual emulator convention: the level starts low and every pulse
// begins with an edge, so a block's first pulse is high after a pause. Direct recordings give
// levels outright; generalized data symbols may begin without an edge or at a forced level; a
// "set signal level" block gives the level of the next pulse. By default a pause (or the pause
// after a block) first finishes the last pulse with an edge and 1 ms at the level it leads to,
// then goes low; a pause with no pulse before it is low throughout. The tape stops at a "stop
// the tape" block, at "stop if 48K" on a 48K machine, and ends after its last block; in each
// case the last pulse is finished the same way and the level then stays low.
#include "tape_file.h"

#include <cstdint>
#include <memory>

namespace tapeloom {

class CswPulses;

// What a pause does to the level.
enum class PauseLevels : std::uint8_t {
    // The last pulse ends with its edge and 1 ms at the level that edge leads to, then the
    // level is low (TZX 1.20); a stop or the end of the tape finishes the last pulse the same way.
    Finished,
    // A pause begins with an edge and holds that level throughout, stops flip the level at
    // once, and the level stays as it is at the end: how Fuse's libspectrum plays tapes.
    Held,
};

// A stretch of signal at one level. Stretches may have no length, and neighbours may share a
// level; the player joins them into edges.
struct TapeSpan {
    std::uint64_t duration = 0;
    bool level = false;
};

// The tape's signal as spans, pulled one at a time.
class TapeSignal {
  public:
    TapeSignal(const TapeFile& tape, bool machine48K, PauseLevels pauses);
    ~TapeSignal();
    TapeSignal(TapeSignal&&) noexcept;
    TapeSignal& operator=(const TapeSignal&) = delete;

    enum class Next : std::uint8_t { Span, Stop, End };
    // The next span, or Stop (pulling again continues after the stop) or End (for good).
    Next next(TapeSpan& span);
    // Ends the signal here: next() gives End from now on.
    void end() { phase_ = Phase::Ended; }
    // The work done so far, in steps of the signal (spans, blocks, symbols passed over).
    std::uint64_t steps() const { return steps_; }
    // The block that made the last span.
    std::uint32_t block() const { return block_; }
    // The level the signal is at: after Stop or End, the level that holds.
    bool level() const { return level_; }
    // Continues at the beginning of the first signal step from block `index` on, level low.
    void seekToBlock(std::size_t index);

  private:
    enum class Phase : std::uint8_t {
        Step,
        Pilot,
        Sync1,
        Sync2,
        Bits,
        Tone,
        Pulses,
        Direct,
        Csw,
        GeneralizedPilot,
        GeneralizedData,
        Pause,
        PauseLow,
        Closing,
        ClosingLow,
        Ended
    };
    Next pulse(TapeSpan& span, std::uint64_t length) {
        level_ = !level_;
        pulseOpen_ = pulseOpen_ || length != 0;
        span = {length, level_};
        return Next::Span;
    }
    // Pulses of no length only flip the level: a run of them is its parity, at once (a loop
    // of such tones would otherwise cost a step per pulse per turn without taking any time).
    void skipTimelessPulses(std::uint64_t length) {
        if (length == 0 && count_ != 0) {
            level_ = level_ != ((count_ & 1) != 0);
            count_ = 0;
        }
    }
    void playStep();
    void startBlock(const TapeBlock& block);
    bool bits(TapeSpan& span);
    bool direct(TapeSpan& span);
    bool csw(TapeSpan& span);
    bool pause(TapeSpan& span);
    bool generalized(TapeSpan& span);
    bool symbolPulse(TapeSpan& span);
    bool steadyRun(TapeSpan& span, const std::uint8_t* definition, std::uint64_t repeats);
    void startSymbol(std::size_t table, unsigned maxPulses, unsigned symbol);

    const TapeFile& tape_;
    const std::uint8_t* bytes_;
    bool machine48K_;
    PauseLevels pauses_;
    Phase phase_ = Phase::Step;
    bool level_ = false;
    bool pulseOpen_ = false; // a pulse has been played that no pause has finished yet
    Next closingEvent_ = Next::End;

    // Where in the steps: the next step, and the open loop.
    std::size_t step_ = 0;
    std::size_t loopStart_ = SIZE_MAX;
    std::uint32_t loopLeft_ = 0;
    const TapeBlock* current_ = nullptr;
    std::uint32_t block_ = 0;

    // The block being played.
    std::uint64_t steps_ = 0;
    std::uint32_t count_ = 0;
    const std::uint8_t* data_ = nullptr;
    std::uint64_t bitsLeft_ = 0;
    unsigned mask_ = 0;
    bool secondHalf_ = false;
    std::uint16_t bitPulse_ = 0;
    std::uint64_t pauseRest_ = 0;
    std::unique_ptr<CswPulses> csw_;
    std::uint64_t cswSeconds_ = 0, cswRest_ = 0, cswTime_ = 0;
    // Generalized data: the stream position and the symbol being played.
    std::uint64_t symbolsLeft_ = 0;
    std::uint64_t streamBit_ = 0;
    std::uint32_t repeatsLeft_ = 0;
    std::size_t symbolAt_ = 0;
    unsigned symbolPulse_ = 0, symbolPulses_ = 0, runSymbol_ = 0;
};

// Where a player is on the tape, for progress.
struct TapePosition {
    std::size_t block = 0;    // the block that made the signal now playing
    std::uint64_t played = 0; // T-states of tape played (time stopped not counted)
    // T-states the whole tape plays: its duration, and 1 ms to finish the last pulse before each
    // stop and the end when pauses finish pulses.
    std::uint64_t total = 0;
};

// The tape as a machine pulls it: the EAR level at a T-state of the machine's clock, or the
// edges one after another. The tape file must outlive the player and stay where it is.
class TapePlayer {
  public:
    // No edge is coming: the tape is stopped or has ended, or the level holds for ever.
    static constexpr std::uint64_t kNever = UINT64_MAX;

    struct Options {
        bool machine48K = true; // "stop the tape if in 48K mode" stops it
        PauseLevels pauses = PauseLevels::Finished;
        std::uint64_t start = 0; // the machine's T-state at which the tape starts playing
    };
    explicit TapePlayer(const TapeFile& tape) : TapePlayer(tape, Options{}) {}
    TapePlayer(const TapeFile& tape, Options options);

    // The level at machine T-state t. Times asked must not go backwards.
    bool levelAt(std::uint64_t t) {
        while (t >= runEnd_)
            advance();
        if (t > now_)
            now_ = t;
        return level_;
    }
    // The edge-by-edge view: the level now, the time of the next edge, and moving to it.
    bool level() const { return level_; }
    std::uint64_t nextEdge() const { return runEnd_; }
    void advance();

    enum class State : std::uint8_t { Playing, Stopped, Ended };
    // As of the latest time asked (levelAt) or reached (advance).
    State state() const;
    // When the tape stopped or ended (valid in those states).
    std::uint64_t stopTime() const { return eventTime_; }
    // Presses play at time t after the tape stopped; false when it was not stopped.
    bool play(std::uint64_t t);
    // Carries on at time t from the beginning of block `index` (the first block that makes
    // signal from there), the level low: for a loader that took a block's bytes itself.
    void seekToBlock(std::size_t index, std::uint64_t t);
    TapePosition position() const;

  private:
    void extend();

    TapeSignal signal_;
    std::uint64_t edges_ = 0;
    std::uint64_t start_;
    std::uint64_t total_ = 0;
    bool level_ = false;
    std::uint64_t runEnd_; // the current level holds until here
    std::uint64_t now_;    // the latest time asked or reached
    TapeSpan next_{};      // the first span of the next run
    std::uint32_t nextBlock_ = 0, runBlock_ = 0;
    bool restNext_ = false; // the next run is the level held after a stop or the end
    TapeSignal::Next event_ = TapeSignal::Next::Span; // a stop or end reached by the signal
    std::uint64_t eventTime_ = 0;
    std::uint64_t stoppedFor_ = 0;
};

} // namespace tapeloom
