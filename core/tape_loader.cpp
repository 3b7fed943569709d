#include "tape_loader.h"

#include "tape_pulses.h"
#include "tape_rom_loader.h"
#include "tpl_format.h"

#include "spectrum/machine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <initializer_list>
#include <optional>

namespace tapeloom {

namespace {

constexpr std::uint64_t kSecond = kTapeClockHz;

// Switched on, the ROM clears and checks the memory and waits for a key well within 2 seconds.
constexpr int kBootFrames = 100;
// A key is held for five frames and released for five: the ROM's keyboard scan (one per frame)
// takes it as one press.
constexpr int kKeyFrames = 5;
// A loader reads the tape port a thousand times a frame or more; a program reading the keyboard
// does so a few dozen times.
constexpr std::uint32_t kListeningReads = 256;
// The deck stops when the program has not read the tape for this long ...
constexpr std::uint64_t kDeckPatience = kSecond / 2;
// ... and ENTER is pressed when it still has not, with blocks left to play ...
constexpr std::uint64_t kKeyPatience = 2 * kSecond;
// ... and when it does not read the tape within this time after the key, loading is over.
constexpr std::uint64_t kKeyAnswer = 3 * kSecond;
// After the tape's end the program runs this long before the snapshot.
constexpr std::uint64_t kSettle = 2 * kSecond;
// The time limit unless one is given: the tape's length and three minutes, at most an hour.
constexpr std::uint64_t kExtraTime = 180 * kSecond;
constexpr std::uint64_t kLongest = 3600 * kSecond;
// The ROM's loader needs about 950 leader pulses after it starts to look (a quarter second of
// settling, then 256 pairs): a block is handed over only while that many are still to come.
constexpr std::uint32_t kLeaderPulsesNeeded = 1100;

// ERR_NR, the report code less one: R Tape loading error is 0x1A; OpenSE BASIC sets bit 7 once
// the report is on the screen.
constexpr std::uint16_t kErrNr = 0x5C3A;
constexpr std::uint8_t kTapeLoadingError = 0x1A;

bool carriesData(const TapeBlock& block) {
    switch (block.kind) {
    case TapeBlockKind::StandardData:
    case TapeBlockKind::TurboData:
    case TapeBlockKind::PureData:
    case TapeBlockKind::DirectRecording:
    case TapeBlockKind::Csw:
    case TapeBlockKind::GeneralizedData:
        return block.dataSize != 0;
    default:
        return false;
    }
}

struct Snapshot {
    MachineState state;
    std::vector<std::uint8_t> ram;
};

class TapeRun {
  public:
    // A 128K when rom0 is given: ROM 0 is rom0, ROM 1 rom.
    TapeRun(const TapeFile& tape, std::span<const std::uint8_t> rom,
            std::span<const std::uint8_t> rom0, const TapeLoadOptions& options)
        : tape_(tape), options_(options), is128K_(!rom0.empty()),
          ram_(is128K_ ? kSnapshot128RamSize : kSnapshotRamSize),
          player_(tape, TapePlayer::Options{.machine48K = !is128K_}),
          fast_(options.fastRomBlocks && rom_loader::romHasLoader(rom)) {
        std::copy(rom.begin(), rom.end(), rom_.begin());
        rom_loader::restoreReturnAt0052(rom_);
        if (is128K_) {
            std::copy(rom0.begin(), rom0.end(), rom0_.begin());
            ay_init(&ay_);
            spectrum_init_128(&machine_, rom0_.data(), rom_.data(), ram_.data(), &ay_, edges_);
            spectrum_power_on(&machine_, SPECTRUM_128K);
        } else {
            spectrum_init(&machine_, rom_.data(), ram_.data(), edges_);
        }
        frame_ = machine_.frame_tstates;
        const auto& blocks = tape.blocks();
        for (std::size_t i = 0; i < blocks.size(); ++i)
            if (carriesData(blocks[i]))
                lastData_ = i;
    }

    LoadedTape run();

  private:
    void runUntil(std::uint64_t until);
    void runFrames(int count) { runUntil(now_ + static_cast<std::uint64_t>(count) * frame_); }
    // `pc` is in the ROM's tape loader (on a 128K, with ROM 1 paged in by `paging`).
    bool inRomLoader(std::uint16_t pc, unsigned paging) const {
        return rom_loader::inLoader(pc) && (!is128K_ || (paging & SPECTRUM_PAGING_ROM1));
    }
    bool inRomLoader() const { return inRomLoader(z80_pc(&machine_.cpu), machine_.paging); }
    void type(std::initializer_list<std::uint8_t> keys);
    void holdKeys(std::initializer_list<std::uint8_t> keys);
    void afterEdge();
    void afterFrame();
    void followProgram(bool listening);
    Snapshot capture() const;
    // A block after `block` (SIZE_MAX: before the first) makes data signal.
    bool dataAfter(std::size_t block) const {
        return lastData_ != SIZE_MAX && (block == SIZE_MAX || lastData_ > block);
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw TapeLoadError(tape_.name() + ": " + what);
    }

    const TapeFile& tape_;
    const TapeLoadOptions& options_;
    const bool is128K_;
    std::array<std::uint8_t, SPECTRUM_ROM_SIZE> rom_{}, rom0_{};
    std::vector<std::uint8_t> ram_;
    AyChip ay_{};
    std::int32_t frame_ = SPECTRUM_FRAME_TSTATES; // T-states of the machine's frame
    std::int32_t edges_[BEEPER_MAX_EDGES]{};
    Spectrum machine_{};
    TapePlayer player_;
    const bool fast_;
    std::size_t lastData_ = SIZE_MAX; // the last block that carries data

    std::uint64_t now_ = 0;    // machine T-states since power-on
    std::uint64_t played_ = 0; // tape T-states played (the deck's own clock)
    std::uint64_t tapeStart_ = 0, limit_ = 0;
    bool playing_ = false; // the tape is in the deck and the program has been told to load
    bool deckOn_ = false;
    bool ear_ = false;
    std::size_t block_ = SIZE_MAX;
    std::uint64_t blockStart_ = 0;
    std::uint32_t frames_ = 0, reads_ = 0;
    std::uint64_t lastListened_ = 0;
    int keyFramesLeft_ = 0;
    std::optional<Snapshot> beforeKey_;
    std::uint64_t keyPressedAt_ = 0;
    std::optional<std::uint64_t> endedAt_;
    std::optional<Snapshot> result_;
    unsigned fastBlocks_ = 0, keyPresses_ = 0;
};

void TapeRun::holdKeys(std::initializer_list<std::uint8_t> keys) {
    std::uint8_t block[KEY_BLOCK_SIZE] = {};
    unsigned pressed = 0;
    for (std::uint8_t key : keys) {
        block[std::popcount(pressed)] = key;
        pressed = pressed << 1 | 1;
    }
    keyboard_from_buttons(block, pressed, &machine_.input);
}

void TapeRun::type(std::initializer_list<std::uint8_t> keys) {
    holdKeys(keys);
    runFrames(kKeyFrames);
    holdKeys({});
    runFrames(kKeyFrames);
}

Snapshot TapeRun::capture() const {
    Snapshot snapshot;
    z80_get_regs(&machine_.cpu, &snapshot.state.regs);
    snapshot.state.border = machine_.border;
    snapshot.state.frameTState = std::clamp(spectrum_frame_tstate(&machine_), 0, frame_ - 1);
    if (is128K_) {
        snapshot.state.port7ffd = machine_.paging;
        snapshot.state.aySelected = ay_.selected;
        std::copy(std::begin(ay_.regs), std::end(ay_.regs), snapshot.state.ayRegisters.begin());
    }
    snapshot.ram = ram_;
    return snapshot;
}

// Runs the machine to `until` at least, the tape playing into EAR while the deck is on: the
// machine runs to each edge of the signal, so reading the port costs a loader nothing extra.
void TapeRun::runUntil(std::uint64_t until) {
    while (now_ < until && !result_) {
        std::uint64_t target = until;
        const bool edgeDue = deckOn_ && player_.nextEdge() != TapePlayer::kNever;
        if (edgeDue)
            target = std::min(target, now_ + (player_.nextEdge() - played_));
        // Runs end at the frame's end at the latest, so that the deck is minded (and a snapshot
        // taken) between frames, where the next interrupt is still to come.
        const auto frameLeft = static_cast<std::uint64_t>(
            frame_ - std::clamp(spectrum_frame_tstate(&machine_), 0, frame_ - 1));
        auto chunk =
            static_cast<std::int32_t>(std::clamp<std::uint64_t>(target - now_, 1, frameLeft));
        auto ran = static_cast<std::uint64_t>(spectrum_run(&machine_, chunk));
        now_ += ran;
        if (deckOn_) {
            played_ += ran;
            if (player_.levelAt(played_) != ear_) {
                ear_ = !ear_;
                spectrum_set_ear(&machine_, ear_ ? SPECTRUM_EAR_HIGH : SPECTRUM_EAR_LOW);
            }
            if (edgeDue)
                afterEdge();
        }
        if (machine_.frames != frames_)
            afterFrame();
    }
}

// The block now playing; a ROM-format block whose leader has just begun goes straight to the
// ROM's loader when it waits for one.
void TapeRun::afterEdge() {
    TapePosition position = player_.position();
    if (position.block != block_) {
        block_ = position.block;
        blockStart_ = played_;
    }
    if (!fast_ || block_ >= tape_.blocks().size() || !inRomLoader())
        return;
    const TapeBlock& block = tape_.blocks()[block_];
    if ((block.flags & TapeBlock::kRomData) == 0 || block.pilotCount <= kLeaderPulsesNeeded ||
        played_ - blockStart_ >=
            std::uint64_t{block.pilotPulse} * (block.pilotCount - kLeaderPulsesNeeded))
        return;
    if (rom_loader::handOver(machine_, tape_.dataOf(block)) == rom_loader::HandOver::Declined)
        return;
    ++fastBlocks_;
    player_.seekToBlock(block_ + 1, played_);
    if (player_.levelAt(played_) != ear_) {
        ear_ = !ear_;
        spectrum_set_ear(&machine_, ear_ ? SPECTRUM_EAR_HIGH : SPECTRUM_EAR_LOW);
    }
}

void TapeRun::afterFrame() {
    frames_ = machine_.frames;
    if (is128K_)
        ay_render(&ay_, frame_, nullptr, 0); // the frame's writes leave the queue; nobody listens
    std::uint32_t reads = machine_.ear_reads - reads_;
    reads_ = machine_.ear_reads;
    if (keyFramesLeft_ > 0 && --keyFramesLeft_ == 0)
        holdKeys({});
    if (!playing_)
        return;
    const bool listening = reads >= kListeningReads || inRomLoader();
    followProgram(listening);
    if (options_.progress) {
        TapePosition position = player_.position();
        TapeLoadProgress progress{position.played, position.total, position.block, now_};
        if (!options_.progress(progress))
            throw TapeLoadCancelled(tape_.name() + ": loading cancelled");
    }
    if (!result_ && now_ - tapeStart_ > limit_)
        fail("still loading after " + std::to_string(limit_ / kSecond) +
             " seconds of Spectrum time");
}

// The deck as a user minds it: play while the program reads the tape, stop when it leaves the
// tape alone, press ENTER when it seems to wait for a key with blocks still to load.
void TapeRun::followProgram(bool listening) {
    const TapePlayer::State state = player_.state();
    if (state == TapePlayer::State::Ended && !endedAt_)
        endedAt_ = now_;
    if (endedAt_) {
        if (now_ - *endedAt_ >= kSettle)
            result_ = capture();
        return;
    }
    if (listening) {
        lastListened_ = now_;
        deckOn_ = true;
        if (state == TapePlayer::State::Stopped)
            player_.play(played_);
        beforeKey_.reset();
        return;
    }
    const std::uint64_t quiet = now_ - lastListened_;
    if (deckOn_ && quiet >= kDeckPatience)
        deckOn_ = false;
    if (deckOn_ && state != TapePlayer::State::Stopped)
        return;
    if (!dataAfter(block_)) {
        endedAt_ = now_; // only silence and information left: the program has all it loads
        return;
    }
    if (beforeKey_) {
        if (now_ - keyPressedAt_ >= kKeyAnswer)
            result_ = std::move(beforeKey_); // the key was not what it waited for
        return;
    }
    if (quiet >= kKeyPatience) {
        beforeKey_ = capture();
        keyPressedAt_ = now_;
        ++keyPresses_;
        holdKeys({TPL_KEY_ENTER});
        keyFramesLeft_ = kKeyFrames;
    }
}

LoadedTape TapeRun::run() {
    runFrames(kBootFrames);
    for (std::uint8_t key : {TPL_KEY_L, TPL_KEY_O, TPL_KEY_A, TPL_KEY_D})
        type({key});
    type({TPL_KEY_SYM_SHIFT, TPL_KEY_P});
    type({TPL_KEY_SYM_SHIFT, TPL_KEY_P});
    holdKeys({TPL_KEY_ENTER});
    keyFramesLeft_ = kKeyFrames;
    for (int frame = 0; frame < 25 && !inRomLoader(); ++frame)
        runFrames(1);
    if (!inRomLoader())
        fail("the Spectrum did not start loading after LOAD \"\"");

    spectrum_set_ear(&machine_, SPECTRUM_EAR_LOW);
    tapeStart_ = lastListened_ = now_;
    const std::uint64_t length = player_.position().total;
    limit_ = options_.timeLimit != 0 ? options_.timeLimit
                                     : std::min(kLongest, addTime(length, kExtraTime));
    playing_ = deckOn_ = true;
    while (!result_)
        runFrames(1);

    const Z80Regs& regs = result_->state.regs;
    if (regs.pc < 0x4000 && (result_->ram[kErrNr - 0x4000] & 0x7F) == kTapeLoadingError)
        fail("the Spectrum reported \"R Tape loading error\"");
    if (inRomLoader(regs.pc, result_->state.port7ffd))
        fail("the tape ended while the Spectrum was still waiting for a block");

    LoadedTape loaded;
    loaded.state = result_->state;
    loaded.ram = std::move(result_->ram);
    loaded.machine = is128K_ ? TapeMachine::Spectrum128K : TapeMachine::Spectrum48K;
    loaded.snapshot =
        is128K_
            ? writeZ80Snapshot128(loaded.state, std::span<const std::uint8_t, kSnapshot128RamSize>(
                                                    loaded.ram.data(), kSnapshot128RamSize))
            : writeZ80Snapshot(loaded.state, std::span<const std::uint8_t, kSnapshotRamSize>(
                                                 loaded.ram.data(), kSnapshotRamSize));
    loaded.machineTime = now_;
    loaded.fastBlocks = fastBlocks_;
    loaded.keyPresses = keyPresses_;
    return loaded;
}

} // namespace

TapeMachine machineForTape(const TapeFile& tape) {
    // Hardware type 0 (computers): 0 16K, 1 48K/Plus, 2 48K issue 1, 3-6 the 128K models.
    // Information: 0 runs, 1 uses its hardware, 2 runs without using it, 3 does not run.
    bool runsOn48K = false, refuses48K = false, needs128K = false;
    for (const TapeBlock& block : tape.blocks()) {
        if (block.id != 0x33)
            continue;
        auto entries = tape.dataOf(block);
        for (std::size_t at = 0; at + 3 <= entries.size(); at += 3) {
            std::uint8_t type = entries[at], id = entries[at + 1], info = entries[at + 2];
            if (type != 0)
                continue;
            if (id <= 2) {
                runsOn48K = runsOn48K || info != 3;
                refuses48K = refuses48K || info == 3;
            } else if (id <= 6 && info == 1) {
                needs128K = true;
            }
        }
    }
    return refuses48K || (needs128K && !runsOn48K) ? TapeMachine::Spectrum128K
                                                   : TapeMachine::Spectrum48K;
}

LoadedTape loadTape(const TapeFile& tape, std::span<const std::uint8_t> rom,
                    const TapeLoadOptions& options, std::span<const std::uint8_t> rom0) {
    if (rom.size() != SPECTRUM_ROM_SIZE)
        throw TapeLoadError("The 48K ROM is " + std::to_string(rom.size()) + " bytes, not 16384");
    const bool needs128K = machineForTape(tape) == TapeMachine::Spectrum128K;
    if (needs128K && rom0.size() != SPECTRUM_ROM_SIZE)
        throw TapeLoadError(tape.name() + ": the tape is for the Spectrum 128K, and ROM 0 of the "
                                          "128K is missing from this build");
    TapeRun run(tape, rom, needs128K ? rom0 : std::span<const std::uint8_t>{}, options);
    return run.run();
}

} // namespace tapeloom
