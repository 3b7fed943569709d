#include "tape_pulses.h"

#include "tape_csw.h"

#include <algorithm>

namespace tapeloom {

namespace {

unsigned word(const std::uint8_t* at) {
    return at[0] | at[1] << 8;
}

// A generalized data symbol whose pulses all have no length leaves only its level change.
bool timelessSymbol(const std::uint8_t* definition, unsigned maxPulses) {
    if (maxPulses == 0)
        return true;
    return word(definition + 1) == 0 && (maxPulses < 2 || word(definition + 3) == 0);
}

LevelChange symbolChange(const std::uint8_t* definition, unsigned maxPulses) {
    return maxPulses == 0 ? LevelChange::Keep : static_cast<LevelChange>(definition[0] & 3);
}

// A symbol of one pulse that does not flip the level: repeated, it only lengthens one span, so
// a run of them is played as that span at once (a long run would otherwise cost a step per
// symbol without giving a single edge).
bool steadySymbol(const std::uint8_t* definition, unsigned maxPulses) {
    return maxPulses != 0 && symbolChange(definition, maxPulses) != LevelChange::Flip &&
           word(definition + 1) != 0 && (maxPulses < 2 || word(definition + 3) == 0);
}

} // namespace

TapeSignal::TapeSignal(const TapeFile& tape, bool machine48K, PauseLevels pauses)
    : tape_(tape), bytes_(tape.bytes().data()), machine48K_(machine48K), pauses_(pauses) {}

TapeSignal::~TapeSignal() = default;
TapeSignal::TapeSignal(TapeSignal&&) noexcept = default;

TapeSignal::Next TapeSignal::next(TapeSpan& span) {
    for (;; ++steps_) {
        switch (phase_) {
        case Phase::Step:
            playStep();
            break;
        case Phase::Pilot:
            skipTimelessPulses(current_->pilotPulse);
            if (count_ != 0) {
                --count_;
                return pulse(span, current_->pilotPulse);
            }
            phase_ = Phase::Sync1;
            break;
        case Phase::Sync1:
            phase_ = Phase::Sync2;
            return pulse(span, current_->sync1);
        case Phase::Sync2:
            startBlock(*current_); // the data, as for pure data
            return pulse(span, current_->sync2);
        case Phase::Bits:
            if (bits(span))
                return Next::Span;
            break;
        case Phase::Tone:
            skipTimelessPulses(current_->pilotPulse);
            if (count_ != 0) {
                --count_;
                return pulse(span, current_->pilotPulse);
            }
            phase_ = Phase::Step;
            break;
        case Phase::Pulses:
            if (count_ != 0) {
                --count_;
                unsigned length = word(data_);
                data_ += 2;
                return pulse(span, length);
            }
            phase_ = Phase::Step;
            break;
        case Phase::Direct:
            if (direct(span))
                return Next::Span;
            break;
        case Phase::Csw:
            if (csw(span))
                return Next::Span;
            break;
        case Phase::GeneralizedPilot:
        case Phase::GeneralizedData:
            if (generalized(span))
                return Next::Span;
            break;
        case Phase::Pause:
            if (pause(span))
                return Next::Span;
            break;
        case Phase::PauseLow:
            phase_ = Phase::Step;
            span = {pauseRest_, false};
            return Next::Span;
        case Phase::Closing:
            // Before the tape stops, the last pulse ends with its edge like before a pause.
            if (pauses_ == PauseLevels::Held) {
                if (closingEvent_ == Next::Stop)
                    level_ = !level_;
                phase_ = closingEvent_ == Next::End ? Phase::Ended : Phase::Step;
                return closingEvent_;
            }
            phase_ = Phase::ClosingLow;
            if (pulseOpen_) {
                pulseOpen_ = false;
                level_ = !level_;
                span = {kTStatesPerMs, level_};
                return Next::Span;
            }
            break;
        case Phase::ClosingLow:
            level_ = false;
            phase_ = closingEvent_ == Next::End ? Phase::Ended : Phase::Step;
            return closingEvent_;
        case Phase::Ended:
            return Next::End;
        }
    }
}

// Takes the next step: sets up its block to play, changes the level, or stops.
void TapeSignal::playStep() {
    const auto& steps = tape_.steps();
    if (step_ >= steps.size()) {
        closingEvent_ = Next::End;
        phase_ = Phase::Closing;
        return;
    }
    const TapeStep& step = steps[step_++];
    block_ = step.block;
    switch (step.op) {
    case TapeStep::Play:
        current_ = &tape_.blocks()[step.block];
        startBlock(*current_);
        break;
    case TapeStep::Change:
        level_ = applyChange(step.change, level_);
        break;
    case TapeStep::StopIf48K:
        if (!machine48K_) {
            if (pauses_ == PauseLevels::Held)
                level_ = !level_; // libspectrum makes an edge of it all the same
            break;
        }
        [[fallthrough]];
    case TapeStep::Stop:
        closingEvent_ = Next::Stop;
        phase_ = Phase::Closing;
        break;
    case TapeStep::LoopStart:
        loopStart_ = step_ - 1;
        loopLeft_ = step.count;
        break;
    case TapeStep::LoopEnd:
        if (loopLeft_ > 1) {
            --loopLeft_;
            step_ = step.count + 1;
        } else {
            loopLeft_ = 0;
            loopStart_ = SIZE_MAX;
        }
        break;
    }
}

// Sets up the block's signal. A standard or turbo block comes back here after its sync
// pulses, in phase Sync2, to set up its data bits.
void TapeSignal::startBlock(const TapeBlock& block) {
    switch (block.kind) {
    case TapeBlockKind::StandardData:
    case TapeBlockKind::TurboData:
        if (phase_ != Phase::Sync2) {
            count_ = block.pilotCount;
            phase_ = Phase::Pilot;
            return;
        }
        [[fallthrough]];
    case TapeBlockKind::PureData:
        data_ = bytes_ + block.dataOffset;
        bitsLeft_ =
            block.dataSize == 0 ? 0 : (block.dataSize - 1) * std::uint64_t{8} + block.usedBits;
        mask_ = 0x80;
        secondHalf_ = false;
        phase_ = Phase::Bits;
        return;
    case TapeBlockKind::PureTone:
        count_ = block.pilotCount;
        phase_ = Phase::Tone;
        return;
    case TapeBlockKind::PulseSequence:
        count_ = block.pulseCount;
        data_ = bytes_ + block.dataOffset;
        phase_ = Phase::Pulses;
        return;
    case TapeBlockKind::DirectRecording:
        data_ = bytes_ + block.dataOffset;
        bitsLeft_ =
            block.dataSize == 0 ? 0 : (block.dataSize - 1) * std::uint64_t{8} + block.usedBits;
        mask_ = 0x80;
        phase_ = Phase::Direct;
        return;
    case TapeBlockKind::Csw:
        csw_ = std::make_unique<CswPulses>(tape_.dataOf(block), block.compressed);
        cswSeconds_ = cswRest_ = cswTime_ = 0;
        phase_ = Phase::Csw;
        return;
    case TapeBlockKind::GeneralizedData:
        count_ = 0;
        repeatsLeft_ = 0;
        symbolPulse_ = symbolPulses_ = 0;
        phase_ = Phase::GeneralizedPilot;
        return;
    case TapeBlockKind::Pause:
        phase_ = Phase::Pause;
        return;
    default:
        phase_ = Phase::Step;
        return;
    }
}

bool TapeSignal::bits(TapeSpan& span) {
    if (secondHalf_) {
        secondHalf_ = false;
        pulse(span, bitPulse_);
        return true;
    }
    // Two pulses a bit: bits whose pulses have no length leave the level as it was.
    if (bitsLeft_ == 0 || (current_->zeroPulse == 0 && current_->onePulse == 0)) {
        phase_ = Phase::Pause;
        return false;
    }
    --bitsLeft_;
    bitPulse_ = (*data_ & mask_) != 0 ? current_->onePulse : current_->zeroPulse;
    mask_ >>= 1;
    if (mask_ == 0) {
        mask_ = 0x80;
        ++data_;
    }
    secondHalf_ = true;
    pulse(span, bitPulse_);
    return true;
}

// Samples are levels: a run of equal samples is one span.
bool TapeSignal::direct(TapeSpan& span) {
    if (bitsLeft_ == 0) {
        phase_ = Phase::Pause;
        return false;
    }
    bool level = (*data_ & mask_) != 0;
    std::uint64_t samples = 0;
    do {
        ++samples;
        --bitsLeft_;
        mask_ >>= 1;
        if (mask_ == 0) {
            mask_ = 0x80;
            ++data_;
        }
    } while (bitsLeft_ != 0 && ((*data_ & mask_) != 0) == level);
    level_ = level;
    std::uint64_t length = samples * current_->samplePeriod;
    pulseOpen_ = pulseOpen_ || length != 0;
    span = {length, level};
    return true;
}

// Pulse ends fall on the nearest T-state to their exact time, so lengths never drift.
bool TapeSignal::csw(TapeSpan& span) {
    std::uint32_t samples = 0;
    if (csw_->next(samples) != CswPulses::Result::Pulse) {
        csw_.reset();
        phase_ = Phase::Pause;
        return false;
    }
    const std::uint32_t rate = current_->sampleRate;
    cswRest_ += samples;
    cswSeconds_ += cswRest_ / rate;
    cswRest_ %= rate;
    std::uint64_t end =
        addTime(mulTime(cswSeconds_, kTapeClockHz), (cswRest_ * kTapeClockHz + rate / 2) / rate);
    std::uint64_t length = end - cswTime_;
    cswTime_ = end;
    pulse(span, length);
    return true;
}

bool TapeSignal::pause(TapeSpan& span) {
    std::uint64_t total = std::uint64_t{current_->pauseMs} * kTStatesPerMs;
    phase_ = Phase::Step;
    if (total == 0)
        return false;
    if (pauses_ == PauseLevels::Held) {
        level_ = !level_;
        span = {total, level_};
        return true;
    }
    if (!pulseOpen_) {
        level_ = false;
        span = {total, false};
        return true;
    }
    // The edge that ends the last pulse, 1 ms at the level it leads to, then low.
    pulseOpen_ = false;
    bool finishing = !level_;
    level_ = false;
    if (finishing && total > kTStatesPerMs) {
        pauseRest_ = total - kTStatesPerMs;
        phase_ = Phase::PauseLow;
        span = {kTStatesPerMs, true};
        return true;
    }
    span = {total, finishing};
    return true;
}

void TapeSignal::startSymbol(std::size_t table, unsigned maxPulses, unsigned symbol) {
    symbolAt_ = table + symbol * (1 + 2 * std::size_t{maxPulses});
    symbolPulses_ = maxPulses;
    symbolPulse_ = 0;
}

// The symbol's next pulse: the first begins as its polarity bits say, later ones with an edge;
// a later pulse of no length ends the symbol.
bool TapeSignal::symbolPulse(TapeSpan& span) {
    if (symbolPulse_ >= symbolPulses_)
        return false;
    const std::uint8_t* definition = bytes_ + symbolAt_;
    unsigned length = word(definition + 1 + 2 * symbolPulse_);
    if (symbolPulse_ != 0 && length == 0) {
        symbolPulse_ = symbolPulses_;
        return false;
    }
    level_ = symbolPulse_ == 0 ? applyChange(static_cast<LevelChange>(definition[0] & 3), level_)
                               : !level_;
    ++symbolPulse_;
    pulseOpen_ = pulseOpen_ || length != 0;
    span = {length, level_};
    return true;
}

bool TapeSignal::generalized(TapeSpan& span) {
    const GeneralizedLayout& g = current_->generalized;
    for (;; ++steps_) {
        if (symbolPulse(span))
            return true;
        if (phase_ == Phase::GeneralizedPilot) {
            if (repeatsLeft_ != 0) {
                --repeatsLeft_;
                startSymbol(g.pilotTable, g.pilotMaxPulses, runSymbol_);
                continue;
            }
            if (count_ < g.pilotSymbols) {
                const std::uint8_t* entry = bytes_ + g.pilotStream + 3 * std::size_t{count_++};
                runSymbol_ = entry[0];
                unsigned repeats = word(entry + 1);
                const std::uint8_t* definition =
                    bytes_ + g.pilotTable + runSymbol_ * (1 + 2 * std::size_t{g.pilotMaxPulses});
                if (repeats == 0)
                    continue;
                if (timelessSymbol(definition, g.pilotMaxPulses)) {
                    LevelChange change = symbolChange(definition, g.pilotMaxPulses);
                    level_ = applyChange(repeatChange(change, repeats), level_);
                    continue;
                }
                if (steadySymbol(definition, g.pilotMaxPulses))
                    return steadyRun(span, definition, repeats);
                repeatsLeft_ = repeats - 1;
                startSymbol(g.pilotTable, g.pilotMaxPulses, runSymbol_);
                continue;
            }
            phase_ = Phase::GeneralizedData;
            symbolsLeft_ = g.dataSymbols;
            streamBit_ = 0;
            const std::uint8_t* first = bytes_ + g.dataTable;
            if (g.bitsPerSymbol == 0 && symbolsLeft_ != 0 &&
                timelessSymbol(first, g.dataMaxPulses)) {
                // One symbol repeated: its level change repeated, at once.
                LevelChange change = symbolChange(first, g.dataMaxPulses);
                level_ = applyChange(repeatChange(change, symbolsLeft_), level_);
                symbolsLeft_ = 0;
            } else if (g.bitsPerSymbol == 0 && symbolsLeft_ != 0 &&
                       steadySymbol(first, g.dataMaxPulses)) {
                std::uint64_t repeats = symbolsLeft_;
                symbolsLeft_ = 0;
                return steadyRun(span, first, repeats);
            }
            continue;
        }
        if (symbolsLeft_ == 0) {
            phase_ = Phase::Pause;
            return false;
        }
        --symbolsLeft_;
        unsigned symbol = 0;
        if (g.bitsPerSymbol != 0) {
            const std::uint8_t* at = bytes_ + g.dataStream + streamBit_ / 8;
            unsigned shift = static_cast<unsigned>(streamBit_ % 8);
            unsigned window = at[0] << 8 | (shift + g.bitsPerSymbol > 8 ? at[1] : 0);
            symbol = (window >> (16 - shift - g.bitsPerSymbol)) & ((1u << g.bitsPerSymbol) - 1);
            streamBit_ += g.bitsPerSymbol;
        }
        const std::uint8_t* definition =
            bytes_ + g.dataTable + symbol * (1 + 2 * std::size_t{g.dataMaxPulses});
        if (timelessSymbol(definition, g.dataMaxPulses)) {
            level_ = applyChange(symbolChange(definition, g.dataMaxPulses), level_);
            continue;
        }
        startSymbol(g.dataTable, g.dataMaxPulses, symbol);
    }
}

bool TapeSignal::steadyRun(TapeSpan& span, const std::uint8_t* definition, std::uint64_t repeats) {
    level_ = applyChange(symbolChange(definition, 1), level_);
    pulseOpen_ = true;
    span = {mulTime(word(definition + 1), repeats), level_};
    return true;
}

void TapeSignal::seekToBlock(std::size_t index) {
    const auto& steps = tape_.steps();
    std::size_t at = 0;
    while (at < steps.size() && steps[at].block < index)
        ++at;
    std::size_t open = SIZE_MAX; // the loop whose body holds the step, if any
    for (std::size_t s = 0; s < at; ++s) {
        if (steps[s].op == TapeStep::LoopStart)
            open = s;
        else if (steps[s].op == TapeStep::LoopEnd)
            open = SIZE_MAX;
    }
    if (open == SIZE_MAX) {
        loopStart_ = SIZE_MAX;
        loopLeft_ = 0;
    } else if (open != loopStart_) {
        loopStart_ = open;
        loopLeft_ = steps[open].count;
    }
    step_ = at;
    phase_ = Phase::Step;
    level_ = false;
    pulseOpen_ = false;
    csw_.reset();
    block_ = at < steps.size() ? steps[at].block : static_cast<std::uint32_t>(index);
}

TapePlayer::TapePlayer(const TapeFile& tape, Options options)
    : signal_(tape, options.machine48K, options.pauses), start_(options.start),
      runEnd_(options.start), now_(options.start) {
    runBlock_ = tape.steps().empty() ? 0 : tape.steps().front().block;
    std::uint64_t closings = 0;
    if (options.pauses == PauseLevels::Finished) {
        closings = 1;
        for (const TapeStep& step : tape.steps())
            closings +=
                step.op == TapeStep::Stop || (step.op == TapeStep::StopIf48K && options.machine48K);
    }
    total_ = addTime(tape.duration(), closings * kTStatesPerMs);
    extend();
}

// Joins spans at the current level into the current run; the first span at the other level is
// kept as the start of the next run.
//
// A recording takes a step or two of the signal for each edge; a damaged tape can take millions
// (loops of symbols whose pulses cancel out, of symbols without length). Past a million steps
// and 64 a given edge, the tape is taken as ended there, at the level it holds, rather than
// walked for minutes.
void TapePlayer::extend() {
    constexpr std::uint64_t kFreeSteps = 1u << 20, kStepsPerEdge = 64;
    for (;;) {
        if (signal_.steps() > kFreeSteps + kStepsPerEdge * edges_) {
            signal_.end();
            event_ = TapeSignal::Next::End;
            eventTime_ = runEnd_;
            runEnd_ = kNever;
            return;
        }
        TapeSpan span;
        TapeSignal::Next next = signal_.next(span);
        if (next != TapeSignal::Next::Span) {
            event_ = next;
            eventTime_ = runEnd_;
            if (signal_.level() != level_)
                restNext_ = true;
            else
                runEnd_ = kNever;
            return;
        }
        if (span.duration == 0)
            continue;
        if (span.level == level_) {
            runEnd_ = addTime(runEnd_, span.duration);
            continue;
        }
        next_ = span;
        nextBlock_ = signal_.block();
        return;
    }
}

void TapePlayer::advance() {
    if (runEnd_ == kNever)
        return;
    level_ = !level_;
    ++edges_;
    now_ = std::max(now_, runEnd_);
    if (restNext_) {
        restNext_ = false;
        runEnd_ = kNever;
        return;
    }
    runEnd_ = addTime(runEnd_, next_.duration);
    runBlock_ = nextBlock_;
    extend();
}

TapePlayer::State TapePlayer::state() const {
    if (event_ == TapeSignal::Next::Span || now_ < eventTime_)
        return State::Playing;
    return event_ == TapeSignal::Next::Stop ? State::Stopped : State::Ended;
}

bool TapePlayer::play(std::uint64_t t) {
    if (event_ != TapeSignal::Next::Stop)
        return false;
    levelAt(t);
    if (t < eventTime_)
        return false;
    // Here the level is the one held since the stop.
    stoppedFor_ += t - eventTime_;
    event_ = TapeSignal::Next::Span;
    runEnd_ = t;
    extend();
    return true;
}

void TapePlayer::seekToBlock(std::size_t index, std::uint64_t t) {
    levelAt(t);
    if (event_ != TapeSignal::Next::Span && t >= eventTime_)
        stoppedFor_ += t - eventTime_;
    signal_.seekToBlock(index);
    event_ = TapeSignal::Next::Span;
    restNext_ = false;
    level_ = false;
    runEnd_ = t;
    runBlock_ = signal_.block();
    extend();
}

TapePosition TapePlayer::position() const {
    TapePosition position;
    position.block = runBlock_;
    position.total = total_;
    std::uint64_t t = now_;
    if (event_ != TapeSignal::Next::Span && t > eventTime_)
        t = eventTime_;
    std::uint64_t moving = t > start_ + stoppedFor_ ? t - start_ - stoppedFor_ : 0;
    position.played = std::min(moving, position.total);
    return position;
}

} // namespace tapeloom
