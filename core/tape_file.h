#pragma once
// A Spectrum tape image (.tap or .tzx) read into its list of blocks. The whole file is checked
// when it is read: every length, table and compressed stream a block holds lies inside the file,
// so playing the tape (tape_pulses.h) never reads outside it and never fails halfway.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom {

// Every tape timing is given in T-states of the 48K Spectrum's 3.5 MHz clock.
inline constexpr std::uint32_t kTapeClockHz = 3500000;
inline constexpr std::uint32_t kTStatesPerMs = kTapeClockHz / 1000;

// A tape that cannot be read. The text names the file and, for a fault inside the tape, the
// block: "game.tzx: block 4 (ID 0x19) at offset 1234: ..." (blocks counted from 1).
struct TapeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class TapeBlockKind : std::uint8_t {
    StandardData,    // 0x10, and every block of a .tap file
    TurboData,       // 0x11
    PureTone,        // 0x12
    PulseSequence,   // 0x13
    PureData,        // 0x14
    DirectRecording, // 0x15
    Csw,             // 0x18
    GeneralizedData, // 0x19
    Pause,           // 0x20 with a length
    Stop,            // 0x20 of length 0: stop the tape
    GroupStart,      // 0x21
    GroupEnd,        // 0x22
    LoopStart,       // 0x24
    LoopEnd,         // 0x25
    StopIf48K,       // 0x2A
    SetLevel,        // 0x2B
    Information,     // 0x30-0x35: text, message, archive info, hardware type, emulation, custom
    Skipped,         // read past without effect: jumps, calls, selections, glue, unknown IDs
};

// How a level changes at an instant: what a zero-length stretch of signal (pulses of no length,
// a "set level" block) leaves behind. Values match the polarity bits of generalized data symbols.
enum class LevelChange : std::uint8_t { Flip = 0, Keep = 1, Low = 2, High = 3 };

constexpr bool applyChange(LevelChange change, bool level) {
    switch (change) {
    case LevelChange::Flip:
        return !level;
    case LevelChange::Keep:
        return level;
    case LevelChange::Low:
        return false;
    case LevelChange::High:
        return true;
    }
    return level;
}
// `first`, then `then`.
LevelChange composeChanges(LevelChange first, LevelChange then);
// `change` made `times` times in a row.
LevelChange repeatChange(LevelChange change, std::uint64_t times);

// Where a generalized data block (0x19) keeps its tables, as offsets into the file.
struct GeneralizedLayout {
    std::uint32_t pilotSymbols = 0;  // TOTP: entries of the pilot/sync stream
    std::uint32_t dataSymbols = 0;   // TOTD: symbols of the data stream
    std::uint16_t pilotAlphabet = 0; // ASP, 1..256
    std::uint16_t dataAlphabet = 0;  // ASD, 1..256
    std::uint8_t pilotMaxPulses = 0; // NPP
    std::uint8_t dataMaxPulses = 0;  // NPD
    std::uint8_t bitsPerSymbol = 0;  // NB = ceil(log2(ASD)), 0..8
    std::size_t pilotTable = 0;      // ASP definitions: a polarity byte, then NPP pulse words
    std::size_t pilotStream = 0;     // TOTP x (symbol byte, repetitions word)
    std::size_t dataTable = 0;       // ASD definitions: a polarity byte, then NPD pulse words
    std::size_t dataStream = 0;      // TOTD symbols of NB bits, first symbol in the top bits
};

struct TapeBlock {
    // flags
    static constexpr std::uint32_t kRomData =
        1; // flag byte, payload, checksum: what LD-BYTES loads
    static constexpr std::uint32_t kRomTiming = 2;  // played with the ROM saver's pulses
    static constexpr std::uint32_t kChecksumOk = 4; // the bytes XOR to zero
    static constexpr std::uint32_t kHeader = 8;     // a 19-byte block of flag 0: a ROM header

    TapeBlockKind kind = TapeBlockKind::Skipped;
    std::uint8_t id = 0;     // TZX block ID; .tap blocks are read as 0x10
    std::size_t offset = 0;  // the block's first byte in the file (ID, or .tap length word)
    std::size_t size = 0;    // bytes of the file the block takes
    std::string description; // what the block is: "Standard speed data", "Archive info", ...
    std::string info;        // what it says: the ROM header, a text, archive fields, ...
    std::uint32_t flags = 0;
    // The bytes the block carries, as an offset and length in the file: the data of data blocks
    // (for kRomData blocks exactly the bytes LD-BYTES reads), the samples of recordings, the
    // pulse words of a sequence, the payload of information blocks.
    std::size_t dataOffset = 0;
    std::size_t dataSize = 0;
    // T-states the block plays once, its pause included (0 for blocks without signal).
    std::uint64_t duration = 0;
    // The level left behind when the block plays in no time at all (all of its pulses of length
    // 0); Keep for blocks without signal.
    LevelChange zeroChange = LevelChange::Keep;

    // Signal parameters, as stored. Data blocks use all of the pulse lengths; a pure tone uses
    // pilotPulse x pilotCount; a recording uses samplePeriod (0x15) or sampleRate (0x18).
    std::uint16_t pilotPulse = 0, pilotCount = 0, sync1 = 0, sync2 = 0, zeroPulse = 0, onePulse = 0;
    std::uint8_t usedBits = 8;      // bits played from the last data byte (0..8)
    std::uint16_t pauseMs = 0;      // silence after the block; a pause block's length
    std::uint32_t pulseCount = 0;   // pure tone, pulse sequence, CSW pulses
    std::uint16_t samplePeriod = 0; // direct recording: T-states per sample
    std::uint32_t sampleRate = 0;   // CSW: samples per second
    bool compressed = false;        // CSW: Z-RLE (zlib) rather than RLE
    std::uint16_t repetitions = 0;  // loop start
    bool level = false;             // set level: the level of the next pulse
    GeneralizedLayout generalized;
};

// One step of playing the tape: the blocks that make signal, in play order, with blocks that
// play in no time folded into level changes. Built by TapeFile for the player.
struct TapeStep {
    enum Op : std::uint8_t { Play, Change, Stop, StopIf48K, LoopStart, LoopEnd };
    Op op = Play;
    LevelChange change = LevelChange::Keep; // Change
    std::uint32_t block = 0;                // the block the step comes from
    std::uint32_t count = 0;                // LoopStart: repetitions; LoopEnd: the LoopStart step
};

class TapeFile {
  public:
    // Reads a .tap or .tzx file: a file that begins with the TZX signature is a TZX tape, any
    // other a .tap, except that a name ending in .tzx (any case) must have the signature.
    // Throws FileError("Cannot open file " + path) when it cannot be read and TapeError when it
    // is not a tape.
    static TapeFile read(const std::filesystem::path& path);
    // The same for bytes in memory; `name` is the file name used in error texts.
    static TapeFile parse(std::vector<std::uint8_t> bytes, std::string_view name);

    bool isTzx() const { return tzx_; }
    const std::string& name() const { return name_; }
    const std::vector<TapeBlock>& blocks() const { return blocks_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    std::span<const std::uint8_t> dataOf(const TapeBlock& block) const {
        return std::span(bytes_).subspan(block.dataOffset, block.dataSize);
    }
    // T-states the whole tape plays, loops repeated; saturates at kTapeForever.
    std::uint64_t duration() const { return duration_; }
    const std::vector<TapeStep>& steps() const { return steps_; }

  private:
    TapeFile() = default;
    void readTap();
    void readTzx();
    void addBlock(TapeBlock block);
    void buildSteps();

    std::vector<std::uint8_t> bytes_;
    std::string name_;
    bool tzx_ = false;
    std::vector<TapeBlock> blocks_;
    std::vector<TapeStep> steps_;
    std::uint64_t duration_ = 0;
};

// Longer than any tape can play: durations and times saturate here.
inline constexpr std::uint64_t kTapeForever = std::uint64_t{1} << 62;

constexpr std::uint64_t addTime(std::uint64_t a, std::uint64_t b) {
    return a >= kTapeForever || b >= kTapeForever - a ? kTapeForever : a + b;
}
constexpr std::uint64_t mulTime(std::uint64_t a, std::uint64_t n) {
    return a != 0 && n > kTapeForever / a ? kTapeForever : a * n;
}

} // namespace tapeloom
