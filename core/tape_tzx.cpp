// The blocks of a TZX file: signal blocks, control blocks and information blocks.
#include "tape_blocks.h"
#include "tape_csw.h"
#include "tape_file.h"

#include <array>
#include <cstdio>

namespace tapeloom {

using namespace tape_blocks;

namespace {

std::string hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// A data block's bytes: length (16 or 24 bits), then the bytes.
void readData(BlockCursor& cursor, TapeBlock& block, std::uint32_t length) {
    block.dataOffset = cursor.pos();
    block.dataSize = length;
    cursor.skip(length);
}

void readUsedBits(BlockCursor& cursor, TapeBlock& block) {
    block.usedBits = cursor.u8();
    if (block.usedBits > 8)
        cursor.fail("the last byte cannot have " + std::to_string(block.usedBits) + " used bits");
}

std::string plural(std::uint64_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

void readCsw(BlockCursor& cursor, TapeBlock& block) {
    block.kind = TapeBlockKind::Csw;
    block.description = "CSW recording";
    cursor.enterBody(cursor.u32());
    block.pauseMs = cursor.u16();
    block.sampleRate = cursor.u24();
    std::uint8_t compression = cursor.u8();
    std::uint32_t storedPulses = cursor.u32();
    (void)storedPulses; // the data itself says how many pulses there are
    if (block.sampleRate == 0)
        cursor.fail("the sample rate is 0");
    if (compression != 1 && compression != 2)
        cursor.fail("compression " + std::to_string(compression) +
                    " is neither RLE (1) nor Z-RLE (2)");
    block.compressed = compression == 2;
    block.dataOffset = cursor.pos();
    block.dataSize = cursor.limit() - cursor.pos();
    cursor.skip(block.dataSize);

    CswPulses pulses(cursor.file().subspan(block.dataOffset, block.dataSize), block.compressed);
    std::uint64_t count = 0, samples = 0;
    std::uint32_t length = 0;
    CswPulses::Result result;
    while ((result = pulses.next(length)) == CswPulses::Result::Pulse) {
        ++count;
        samples += length;
    }
    if (result == CswPulses::Result::Damaged)
        cursor.fail("pulse " + std::to_string(count + 1) + ": " + pulses.error());
    block.pulseCount = count > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(count);
    std::uint64_t seconds = samples / block.sampleRate, rest = samples % block.sampleRate;
    block.duration = addTime(mulTime(seconds, kTapeClockHz),
                             (rest * kTapeClockHz + block.sampleRate / 2) / block.sampleRate);
    block.duration = addTime(block.duration, std::uint64_t{block.pauseMs} * kTStatesPerMs);
    block.zeroChange = repeatChange(LevelChange::Flip, count);
    block.info = plural(count, "pulse") + " at " + std::to_string(block.sampleRate) + " Hz, " +
                 (block.compressed ? "Z-RLE" : "RLE");
}

// Duration and zero-time level change of the symbols of one alphabet.
struct Alphabet {
    std::array<std::uint64_t, 256> duration{};
    std::array<LevelChange, 256> change{};
};

Alphabet readAlphabet(std::span<const std::uint8_t> file, std::size_t table, unsigned symbols,
                      unsigned maxPulses) {
    Alphabet alphabet;
    std::size_t size = 1 + 2 * std::size_t{maxPulses};
    for (unsigned s = 0; s < symbols; ++s) {
        std::size_t at = table + s * size;
        std::uint64_t total = 0;
        for (unsigned p = 0; p < maxPulses; ++p) {
            unsigned pulse = file[at + 1 + 2 * p] | file[at + 2 + 2 * p] << 8;
            if (pulse == 0 && p > 0)
                break;
            total += pulse;
        }
        alphabet.duration[s] = total;
        alphabet.change[s] =
            maxPulses == 0 ? LevelChange::Keep : static_cast<LevelChange>(file[at] & 3);
    }
    return alphabet;
}

void readGeneralized(BlockCursor& cursor, TapeBlock& block) {
    block.kind = TapeBlockKind::GeneralizedData;
    block.description = "Generalized data";
    cursor.enterBody(cursor.u32());
    GeneralizedLayout& g = block.generalized;
    block.pauseMs = cursor.u16();
    g.pilotSymbols = cursor.u32();
    g.pilotMaxPulses = cursor.u8();
    g.pilotAlphabet = cursor.u8();
    g.dataSymbols = cursor.u32();
    g.dataMaxPulses = cursor.u8();
    g.dataAlphabet = cursor.u8();
    if (g.pilotAlphabet == 0)
        g.pilotAlphabet = 256;
    if (g.dataAlphabet == 0)
        g.dataAlphabet = 256;
    while ((1u << g.bitsPerSymbol) < g.dataAlphabet)
        ++g.bitsPerSymbol;

    std::uint64_t duration = 0;
    LevelChange change = LevelChange::Keep;
    std::span<const std::uint8_t> file = cursor.file();
    if (g.pilotSymbols != 0) {
        g.pilotTable = cursor.pos();
        cursor.skip(std::uint64_t{g.pilotAlphabet} * (1 + 2 * std::uint64_t{g.pilotMaxPulses}));
        g.pilotStream = cursor.pos();
        cursor.skip(std::uint64_t{g.pilotSymbols} * 3);
        Alphabet alphabet = readAlphabet(file, g.pilotTable, g.pilotAlphabet, g.pilotMaxPulses);
        for (std::uint32_t i = 0; i < g.pilotSymbols; ++i) {
            std::size_t at = g.pilotStream + 3 * std::size_t{i};
            unsigned symbol = file[at];
            unsigned repeats = file[at + 1] | file[at + 2] << 8;
            if (symbol >= g.pilotAlphabet)
                cursor.fail("pilot symbol " + std::to_string(symbol) + " is not among the " +
                            std::to_string(g.pilotAlphabet) + " defined");
            duration = addTime(duration, alphabet.duration[symbol] * repeats);
            change = composeChanges(change, repeatChange(alphabet.change[symbol], repeats));
        }
    }
    if (g.dataSymbols != 0) {
        g.dataTable = cursor.pos();
        cursor.skip(std::uint64_t{g.dataAlphabet} * (1 + 2 * std::uint64_t{g.dataMaxPulses}));
        g.dataStream = cursor.pos();
        std::uint64_t streamBytes = (std::uint64_t{g.dataSymbols} * g.bitsPerSymbol + 7) / 8;
        cursor.skip(streamBytes);
        block.dataOffset = g.dataStream;
        block.dataSize = static_cast<std::size_t>(streamBytes);
        Alphabet alphabet = readAlphabet(file, g.dataTable, g.dataAlphabet, g.dataMaxPulses);
        if (g.bitsPerSymbol == 0) {
            duration = addTime(duration, mulTime(alphabet.duration[0], g.dataSymbols));
            change = composeChanges(change, repeatChange(alphabet.change[0], g.dataSymbols));
        } else {
            std::uint64_t bit = 0;
            for (std::uint32_t i = 0; i < g.dataSymbols; ++i, bit += g.bitsPerSymbol) {
                // A symbol's bits may straddle two bytes; a 16-bit window holds them all.
                std::size_t at = g.dataStream + static_cast<std::size_t>(bit / 8);
                unsigned window = file[at] << 8 | (at + 1 < cursor.limit() ? file[at + 1] : 0);
                unsigned symbol =
                    (window >> (16 - bit % 8 - g.bitsPerSymbol)) & ((1u << g.bitsPerSymbol) - 1);
                if (symbol >= g.dataAlphabet)
                    cursor.fail("data symbol " + std::to_string(symbol) + " (symbol " +
                                std::to_string(i + 1) + " of the stream) is not among the " +
                                std::to_string(g.dataAlphabet) + " defined");
                duration = addTime(duration, alphabet.duration[symbol]);
                change = composeChanges(change, alphabet.change[symbol]);
            }
        }
    }
    block.duration = addTime(duration, std::uint64_t{block.pauseMs} * kTStatesPerMs);
    block.zeroChange = change;
    block.info = plural(g.pilotSymbols, "pilot run") + ", " + plural(g.dataSymbols, "data symbol");
}

// Archive info: a count, then entries of an ID byte, a length byte and text.
std::string archiveInfo(std::span<const std::uint8_t> body) {
    static const char* const kFields[] = {"Title", "Publisher", "Author", "Year",  "Language",
                                          "Type",  "Price",     "Loader", "Origin"};
    if (body.empty())
        return {};
    std::string info;
    std::size_t at = 1;
    for (unsigned entry = 0; entry < body[0]; ++entry) {
        if (at + 2 > body.size() || at + 2 + body[at + 1] > body.size())
            return info + (info.empty() ? "" : "\n") + "(the rest is damaged)";
        std::uint8_t id = body[at];
        std::string field = id < std::size(kFields) ? kFields[id]
                            : id == 0xFF            ? "Comment"
                                                    : "Field " + hex2(id);
        if (!info.empty())
            info += '\n';
        info += field + ": " + tapeText(body.subspan(at + 2, body[at + 1]));
        at += 2 + body[at + 1];
    }
    return info;
}

} // namespace

void TapeFile::readTzx() {
    std::size_t pos = 10; // signature, major and minor version
    if (bytes_.size() < pos)
        throw TapeError(name_ + ": the TZX header is cut short");
    while (pos < bytes_.size()) {
        BlockCursor cursor(bytes_, name_, true, blocks_.size(), pos);
        TapeBlock block;
        block.offset = pos;
        block.id = cursor.u8();
        cursor.setId(block.id);
        switch (block.id) {
        case 0x10:
            block.kind = TapeBlockKind::StandardData;
            block.pauseMs = cursor.u16();
            readData(cursor, block, cursor.u16());
            block.pilotPulse = kRomPilot;
            block.pilotCount = block.dataSize == 0 || bytes_[block.dataOffset] < 0x80
                                   ? kRomHeaderPilots
                                   : kRomDataPilots;
            block.sync1 = kRomSync1;
            block.sync2 = kRomSync2;
            block.zeroPulse = kRomZero;
            block.onePulse = kRomOne;
            finishDataBlock(block, dataOf(block));
            break;
        case 0x11:
            block.kind = TapeBlockKind::TurboData;
            block.pilotPulse = cursor.u16();
            block.sync1 = cursor.u16();
            block.sync2 = cursor.u16();
            block.zeroPulse = cursor.u16();
            block.onePulse = cursor.u16();
            block.pilotCount = cursor.u16();
            readUsedBits(cursor, block);
            block.pauseMs = cursor.u16();
            readData(cursor, block, cursor.u24());
            finishDataBlock(block, dataOf(block));
            break;
        case 0x12:
            block.kind = TapeBlockKind::PureTone;
            block.description = "Pure tone";
            block.pilotPulse = cursor.u16();
            block.pilotCount = cursor.u16();
            block.pulseCount = block.pilotCount;
            block.duration = std::uint64_t{block.pilotPulse} * block.pilotCount;
            block.zeroChange = repeatChange(LevelChange::Flip, block.pilotCount);
            block.info = plural(block.pilotCount, "pulse") + " of " +
                         std::to_string(block.pilotPulse) + " T-states";
            break;
        case 0x13: {
            block.kind = TapeBlockKind::PulseSequence;
            block.description = "Pulse sequence";
            block.pulseCount = cursor.u8();
            readData(cursor, block, 2 * block.pulseCount);
            for (std::uint32_t i = 0; i < block.pulseCount; ++i)
                block.duration +=
                    bytes_[block.dataOffset + 2 * i] | bytes_[block.dataOffset + 2 * i + 1] << 8;
            block.zeroChange = repeatChange(LevelChange::Flip, block.pulseCount);
            block.info = plural(block.pulseCount, "pulse");
            break;
        }
        case 0x14:
            block.kind = TapeBlockKind::PureData;
            block.zeroPulse = cursor.u16();
            block.onePulse = cursor.u16();
            readUsedBits(cursor, block);
            block.pauseMs = cursor.u16();
            readData(cursor, block, cursor.u24());
            finishDataBlock(block, dataOf(block));
            break;
        case 0x15: {
            block.kind = TapeBlockKind::DirectRecording;
            block.description = "Direct recording";
            block.samplePeriod = cursor.u16();
            block.pauseMs = cursor.u16();
            readUsedBits(cursor, block);
            readData(cursor, block, cursor.u24());
            std::uint64_t samples =
                block.dataSize == 0 ? 0 : (block.dataSize - 1) * std::uint64_t{8} + block.usedBits;
            block.duration =
                samples * block.samplePeriod + std::uint64_t{block.pauseMs} * kTStatesPerMs;
            if (samples != 0) {
                // Samples are levels: the last one is what stays.
                std::uint64_t lastBit = samples - 1;
                unsigned byte = bytes_[block.dataOffset + static_cast<std::size_t>(lastBit / 8)];
                bool high = (byte >> (7 - lastBit % 8)) & 1;
                block.zeroChange = high ? LevelChange::High : LevelChange::Low;
            }
            block.info = plural(samples, "sample") + " of " + std::to_string(block.samplePeriod) +
                         " T-states";
            break;
        }
        case 0x18:
            readCsw(cursor, block);
            break;
        case 0x19:
            readGeneralized(cursor, block);
            break;
        case 0x20:
            block.pauseMs = cursor.u16();
            block.kind = block.pauseMs == 0 ? TapeBlockKind::Stop : TapeBlockKind::Pause;
            block.description = block.pauseMs == 0 ? "Stop the tape" : "Pause";
            block.duration = std::uint64_t{block.pauseMs} * kTStatesPerMs;
            if (block.pauseMs != 0)
                block.info = std::to_string(block.pauseMs) + " ms";
            break;
        case 0x21:
            block.kind = TapeBlockKind::GroupStart;
            block.description = "Group start";
            readData(cursor, block, cursor.u8());
            block.info = tapeText(dataOf(block));
            break;
        case 0x22:
            block.kind = TapeBlockKind::GroupEnd;
            block.description = "Group end";
            break;
        case 0x23:
            block.description = "Jump to block (not followed)";
            cursor.skip(2);
            break;
        case 0x24:
            block.kind = TapeBlockKind::LoopStart;
            block.description = "Loop start";
            block.repetitions = cursor.u16();
            block.info = plural(block.repetitions, "repetition");
            break;
        case 0x25:
            block.kind = TapeBlockKind::LoopEnd;
            block.description = "Loop end";
            break;
        case 0x26:
            block.description = "Call sequence (not followed)";
            cursor.skip(2 * std::uint64_t{cursor.u16()});
            break;
        case 0x27:
            block.description = "Return from sequence (not followed)";
            break;
        case 0x28:
            block.description = "Select block";
            readData(cursor, block, cursor.u16());
            break;
        case 0x2A:
            block.kind = TapeBlockKind::StopIf48K;
            block.description = "Stop the tape if in 48K mode";
            cursor.skip(cursor.u32());
            break;
        case 0x2B: {
            block.kind = TapeBlockKind::SetLevel;
            block.description = "Set signal level";
            std::uint32_t length = cursor.u32();
            cursor.enterBody(length);
            block.level = cursor.u8() != 0;
            cursor.skip(length - 1);
            block.info = block.level ? "high" : "low";
            break;
        }
        case 0x30:
            block.kind = TapeBlockKind::Information;
            block.description = "Text description";
            readData(cursor, block, cursor.u8());
            block.info = tapeText(dataOf(block));
            break;
        case 0x31: {
            block.kind = TapeBlockKind::Information;
            block.description = "Message";
            unsigned seconds = cursor.u8();
            readData(cursor, block, cursor.u8());
            block.info = tapeText(dataOf(block)) + " (" + std::to_string(seconds) + " s)";
            break;
        }
        case 0x32:
            block.kind = TapeBlockKind::Information;
            block.description = "Archive info";
            readData(cursor, block, cursor.u16());
            block.info = archiveInfo(dataOf(block));
            break;
        case 0x33:
            block.kind = TapeBlockKind::Information;
            block.description = "Hardware type";
            readData(cursor, block, 3 * std::uint32_t{cursor.u8()});
            block.info =
                std::to_string(block.dataSize / 3) + (block.dataSize == 3 ? " entry" : " entries");
            break;
        case 0x34:
            block.kind = TapeBlockKind::Information;
            block.description = "Emulation info";
            readData(cursor, block, 8);
            break;
        case 0x35: {
            block.kind = TapeBlockKind::Information;
            block.description = "Custom info";
            std::size_t idAt = cursor.pos();
            cursor.skip(16);
            readData(cursor, block, cursor.u32());
            std::string id = tapeText(std::span(bytes_).subspan(idAt, 16));
            id.erase(id.find_last_not_of(' ') + 1);
            block.info = id + ", " + plural(block.dataSize, "byte");
            break;
        }
        case 0x40:
            block.description = "Snapshot";
            cursor.skip(1);
            cursor.skip(cursor.u24());
            break;
        case 0x5A:
            block.description = "Glue";
            cursor.skip(9);
            break;
        case 0x16:
        case 0x17:
        default:
            // Blocks not known here carry their length after the ID.
            block.description = "Unknown block " + hex2(block.id);
            cursor.skip(cursor.u32());
            break;
        }
        pos = cursor.pos();
        if (block.kind == TapeBlockKind::Csw || block.kind == TapeBlockKind::GeneralizedData ||
            block.kind == TapeBlockKind::SetLevel)
            pos = cursor.limit(); // the declared length decides where the next block begins
        block.size = pos - block.offset;
        addBlock(std::move(block));
    }
}

} // namespace tapeloom
