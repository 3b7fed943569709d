#include "tape_file.h"

#include "byte_files.h"
#include "errors.h"
#include "tape_blocks.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace tapeloom {

using namespace tape_blocks;

LevelChange composeChanges(LevelChange first, LevelChange then) {
    switch (then) {
    case LevelChange::Keep:
        return first;
    case LevelChange::Low:
    case LevelChange::High:
        return then;
    case LevelChange::Flip:
        break;
    }
    switch (first) {
    case LevelChange::Keep:
        return LevelChange::Flip;
    case LevelChange::Flip:
        return LevelChange::Keep;
    case LevelChange::Low:
        return LevelChange::High;
    case LevelChange::High:
        return LevelChange::Low;
    }
    return then;
}

LevelChange repeatChange(LevelChange change, std::uint64_t times) {
    if (times == 0)
        return LevelChange::Keep;
    if (change == LevelChange::Flip && times % 2 == 0)
        return LevelChange::Keep;
    return change;
}

namespace tape_blocks {

std::string blockErrorText(std::string_view fileName, bool tzx, std::size_t index, std::uint8_t id,
                           std::size_t offset, std::string_view what) {
    char where[96];
    if (tzx)
        std::snprintf(where, sizeof where, ": block %zu (ID 0x%02X) at offset %zu: ", index + 1, id,
                      offset);
    else
        std::snprintf(where, sizeof where, ": block %zu at offset %zu: ", index + 1, offset);
    return std::string(fileName) + where + std::string(what);
}

void BlockCursor::fail(std::string_view what) const {
    throw TapeError(blockErrorText(name_, tzx_, index_, id_, start_, what));
}

void BlockCursor::need(std::uint64_t n) const {
    if (n <= limit_ - pos_)
        return;
    fail("cut short: needs " + std::to_string(n) + (n == 1 ? " byte" : " bytes") + " at offset " +
         std::to_string(pos_) +
         (inBody_ ? ", the block's declared length ends at " : ", the file ends at ") +
         std::to_string(limit_));
}

void BlockCursor::enterBody(std::uint64_t length) {
    need(length);
    limit_ = pos_ + static_cast<std::size_t>(length);
    inBody_ = true;
}

std::uint8_t BlockCursor::u8() {
    need(1);
    return file_[pos_++];
}

std::uint16_t BlockCursor::u16() {
    need(2);
    auto value = static_cast<std::uint16_t>(file_[pos_] | file_[pos_ + 1] << 8);
    pos_ += 2;
    return value;
}

std::uint32_t BlockCursor::u24() {
    need(3);
    std::uint32_t value = file_[pos_] | file_[pos_ + 1] << 8 | file_[pos_ + 2] << 16;
    pos_ += 3;
    return value;
}

std::uint32_t BlockCursor::u32() {
    need(4);
    std::uint32_t value = file_[pos_] | file_[pos_ + 1] << 8 | file_[pos_ + 2] << 16 |
                          static_cast<std::uint32_t>(file_[pos_ + 3]) << 24;
    pos_ += 4;
    return value;
}

void BlockCursor::skip(std::uint64_t n) {
    need(n);
    pos_ += static_cast<std::size_t>(n);
}

std::string tapeText(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::uint8_t byte : bytes) {
        if (byte == '\r')
            text += '\n';
        else
            text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
    }
    return text;
}

namespace {

unsigned word(std::span<const std::uint8_t> data, std::size_t at) {
    return data[at] | data[at + 1] << 8;
}

// What a ROM-format block says: the header's file, or the data block's size.
std::string romBlockInfo(std::span<const std::uint8_t> data, std::uint32_t& flags) {
    if (data.empty())
        return "no data";
    std::uint8_t sum = 0;
    for (std::uint8_t byte : data)
        sum ^= byte;
    if (sum == 0 && data.size() >= 2)
        flags |= TapeBlock::kChecksumOk;
    std::string info;
    if (data.size() == 19 && data[0] == 0x00) {
        flags |= TapeBlock::kHeader;
        std::string name = "\"" + tapeText(data.subspan(2, 10)) + "\"";
        unsigned length = word(data, 12), param1 = word(data, 14);
        switch (data[1]) {
        case 0:
            info = "Program: " + name;
            if (param1 < 32768)
                info += " LINE " + std::to_string(param1);
            break;
        case 1:
            info = "Number array: " + name;
            break;
        case 2:
            info = "Character array: " + name;
            break;
        case 3:
            info =
                "Bytes: " + name + " CODE " + std::to_string(param1) + "," + std::to_string(length);
            break;
        default:
            info = "Header of type " + std::to_string(data[1]) + ": " + name;
        }
    } else {
        char flag[8];
        std::snprintf(flag, sizeof flag, "0x%02X", data[0]);
        info = (data[0] == 0xFF ? std::string("Data") : "Data with flag " + std::string(flag)) +
               ": " + std::to_string(data.size() >= 2 ? data.size() - 2 : 0) + " bytes";
    }
    if ((flags & TapeBlock::kChecksumOk) == 0)
        info += " (checksum wrong)";
    return info;
}

} // namespace

void finishDataBlock(TapeBlock& block, std::span<const std::uint8_t> data) {
    std::uint64_t bits = 0, ones = 0;
    if (!data.empty()) {
        for (std::size_t i = 0; i + 1 < data.size(); ++i)
            ones += static_cast<unsigned>(std::popcount(data[i]));
        unsigned lastMask = (0xFF00u >> block.usedBits) & 0xFF;
        ones += static_cast<unsigned>(std::popcount(data.back() & lastMask));
        bits = (data.size() - 1) * 8 + block.usedBits;
    }
    bool pilot = block.kind != TapeBlockKind::PureData;
    std::uint64_t duration = 2 * (ones * block.onePulse + (bits - ones) * block.zeroPulse);
    if (pilot)
        duration += std::uint64_t{block.pilotPulse} * block.pilotCount + block.sync1 + block.sync2;
    block.duration = duration + std::uint64_t{block.pauseMs} * kTStatesPerMs;
    // Pilot pulses, two sync pulses and two pulses a bit: only the pilot count's parity shows.
    block.zeroChange =
        pilot ? repeatChange(LevelChange::Flip, block.pilotCount) : LevelChange::Keep;

    bool romTiming = block.pilotPulse == kRomPilot && block.sync1 == kRomSync1 &&
                     block.sync2 == kRomSync2 && block.zeroPulse == kRomZero &&
                     block.onePulse == kRomOne && block.usedBits == 8 && pilot;
    switch (block.kind) {
    case TapeBlockKind::StandardData:
        block.description = "Standard speed data";
        break;
    case TapeBlockKind::TurboData:
        block.description = "Turbo speed data";
        break;
    default:
        block.description = "Pure data";
    }
    if (romTiming) {
        block.flags |= TapeBlock::kRomTiming | TapeBlock::kRomData;
        block.info = romBlockInfo(data, block.flags);
    } else {
        block.info = std::to_string(data.size()) + " bytes";
    }
}

} // namespace tape_blocks

namespace {

constexpr char kTzxSignature[] = "ZXTape!\x1A";
// Far beyond any real tape (an hour of direct recording is about 20 MB; tapes have hundreds of
// blocks, not hundreds of thousands).
constexpr std::uint64_t kLargestTape = std::uint64_t{64} << 20;
constexpr std::size_t kMostBlocks = std::size_t{1} << 18;

bool endsWithTzx(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".tzx";
}

bool hasTzxSignature(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kTzxSignature, 8) == 0;
}

// The whole file through the file layer (regular files only, never waiting on a pipe), refused
// before it is read when it is too large to be a tape.
std::vector<std::uint8_t> readTapeFile(const std::filesystem::path& path) {
    auto tooLarge = [&](std::uint64_t size) {
        return TapeError(path.filename().string() + ": " + std::to_string(size) +
                         " bytes is too large for a tape");
    };
    std::error_code error;
    std::uint64_t size = std::filesystem::file_size(path, error);
    if (!error && size > kLargestTape)
        throw tooLarge(size);
    std::vector<std::uint8_t> bytes = readWholeFile(path);
    if (bytes.size() > kLargestTape) // it grew while it was read
        throw tooLarge(bytes.size());
    return bytes;
}

} // namespace

TapeFile TapeFile::read(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes = readTapeFile(path);
    const std::string name = path.filename().string();
    if (endsWithTzx(path) && !bytes.empty() && !hasTzxSignature(bytes))
        throw TapeError(name + ": not a TZX file (it does not begin with \"ZXTape!\")");
    return parse(std::move(bytes), name);
}

TapeFile TapeFile::parse(std::vector<std::uint8_t> bytes, std::string_view name) {
    TapeFile tape;
    tape.bytes_ = std::move(bytes);
    tape.name_ = name;
    if (tape.bytes_.empty())
        throw TapeError(tape.name_ + ": the file is empty");
    tape.tzx_ = hasTzxSignature(tape.bytes_);
    if (tape.tzx_)
        tape.readTzx();
    else
        tape.readTap();
    if (tape.blocks_.empty())
        throw TapeError(tape.name_ + ": the tape holds no blocks");
    tape.buildSteps();
    return tape;
}

void TapeFile::readTap() {
    std::size_t pos = 0;
    while (pos < bytes_.size()) {
        BlockCursor cursor(bytes_, name_, false, blocks_.size(), pos);
        std::uint16_t length = cursor.u16();
        TapeBlock block;
        block.kind = TapeBlockKind::StandardData;
        block.id = 0x10;
        block.offset = pos;
        block.dataOffset = cursor.pos();
        block.dataSize = length;
        cursor.skip(length);
        block.size = cursor.pos() - pos;
        auto data = dataOf(block);
        block.pilotPulse = kRomPilot;
        block.pilotCount = data.empty() || data[0] < 0x80 ? kRomHeaderPilots : kRomDataPilots;
        block.sync1 = kRomSync1;
        block.sync2 = kRomSync2;
        block.zeroPulse = kRomZero;
        block.onePulse = kRomOne;
        block.pauseMs = kTapPauseMs;
        finishDataBlock(block, data);
        addBlock(std::move(block));
        pos = cursor.pos();
    }
}

void TapeFile::addBlock(TapeBlock block) {
    if (blocks_.size() == kMostBlocks)
        throw TapeError(
            blockErrorText(name_, tzx_, blocks_.size(), block.id, block.offset,
                           "a tape has at most " + std::to_string(kMostBlocks) + " blocks"));
    blocks_.push_back(std::move(block));
}

void TapeFile::buildSteps() {
    auto fail = [&](std::size_t index, std::string_view what) {
        const TapeBlock& block = blocks_[index];
        throw TapeError(blockErrorText(name_, tzx_, index, block.id, block.offset, what));
    };
    std::size_t loopStep = SIZE_MAX; // the open loop's LoopStart step
    // Level changes in a row become one; one that changes nothing is no step at all.
    auto addChange = [&](LevelChange change, std::uint32_t index) {
        if (!steps_.empty() && steps_.back().op == TapeStep::Change) {
            steps_.back().change = composeChanges(steps_.back().change, change);
            if (steps_.back().change == LevelChange::Keep)
                steps_.pop_back();
        } else if (change != LevelChange::Keep) {
            steps_.push_back({TapeStep::Change, change, index, 0});
        }
    };
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const TapeBlock& block = blocks_[i];
        auto index = static_cast<std::uint32_t>(i);
        switch (block.kind) {
        case TapeBlockKind::StandardData:
        case TapeBlockKind::TurboData:
        case TapeBlockKind::PureTone:
        case TapeBlockKind::PulseSequence:
        case TapeBlockKind::PureData:
        case TapeBlockKind::DirectRecording:
        case TapeBlockKind::Csw:
        case TapeBlockKind::GeneralizedData:
        case TapeBlockKind::Pause:
            // A block that plays in no time only leaves a level behind.
            if (block.duration != 0)
                steps_.push_back({TapeStep::Play, LevelChange::Keep, index, 0});
            else
                addChange(block.zeroChange, index);
            break;
        case TapeBlockKind::SetLevel:
            // The level given is that of the next pulse, which begins with an edge.
            addChange(block.level ? LevelChange::Low : LevelChange::High, index);
            break;
        case TapeBlockKind::Stop:
            steps_.push_back({TapeStep::Stop, LevelChange::Keep, index, 0});
            break;
        case TapeBlockKind::StopIf48K:
            steps_.push_back({TapeStep::StopIf48K, LevelChange::Keep, index, 0});
            break;
        case TapeBlockKind::LoopStart:
            if (loopStep != SIZE_MAX)
                fail(i, "a loop starts inside another loop");
            loopStep = steps_.size();
            // Fewer than two repetitions is not a loop; such a body plays once.
            steps_.push_back({TapeStep::LoopStart, LevelChange::Keep, index,
                              std::max<std::uint32_t>(block.repetitions, 1)});
            break;
        case TapeBlockKind::LoopEnd: {
            if (loopStep == SIZE_MAX)
                fail(i, "a loop ends that never started");
            std::uint32_t repetitions = steps_[loopStep].count;
            bool timeless = std::all_of(steps_.begin() + static_cast<std::ptrdiff_t>(loopStep) + 1,
                                        steps_.end(),
                                        [](const TapeStep& s) { return s.op == TapeStep::Change; });
            if (timeless) {
                // A body that plays in no time repeats as one level change, not as
                // 65535 turns of nothing.
                LevelChange body = LevelChange::Keep;
                for (std::size_t s = loopStep + 1; s < steps_.size(); ++s)
                    body = composeChanges(body, steps_[s].change);
                std::uint32_t startBlock = steps_[loopStep].block;
                steps_.resize(loopStep);
                loopStep = SIZE_MAX;
                addChange(repeatChange(body, repetitions), startBlock);
            } else {
                steps_.push_back({TapeStep::LoopEnd, LevelChange::Keep, index,
                                  static_cast<std::uint32_t>(loopStep)});
                loopStep = SIZE_MAX;
            }
            break;
        }
        default:
            break;
        }
    }
    if (loopStep != SIZE_MAX)
        fail(steps_[loopStep].block, "the loop has no end");

    std::uint64_t total = 0, body = 0;
    bool inLoop = false;
    for (const TapeStep& step : steps_) {
        if (step.op == TapeStep::LoopStart) {
            inLoop = true;
            body = 0;
        } else if (step.op == TapeStep::LoopEnd) {
            inLoop = false;
            total = addTime(total, mulTime(body, steps_[step.count].count));
        } else if (step.op == TapeStep::Play) {
            std::uint64_t d = blocks_[step.block].duration;
            if (inLoop)
                body = addTime(body, d);
            else
                total = addTime(total, d);
        }
    }
    duration_ = total;
}

} // namespace tapeloom
