#pragma once
// Tapes made by the tests (TZX blocks written by hand, programs through pasmo and the Fuse
// utilities) and the signal of a tape as runs, ours and the peers'.
#include "tape_pulses.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom::tapetest {

using Bytes = std::vector<std::uint8_t>;

// A level held for a time; a signal is a list of runs, neighbours at different levels.
struct LevelRun {
    std::uint64_t duration;
    bool level;
    bool operator==(const LevelRun&) const = default;
};
std::ostream& operator<<(std::ostream& out, const LevelRun& run);

// A TZX file written block by block.
class Tzx {
  public:
    Tzx();
    Tzx& standard(std::uint16_t pauseMs, const Bytes& data);
    Tzx& turbo(std::initializer_list<std::uint16_t> pilotSync1Sync2ZeroOneCount,
               std::uint8_t usedBits, std::uint16_t pauseMs, const Bytes& data);
    Tzx& tone(std::uint16_t length, std::uint16_t count);
    Tzx& pulses(std::initializer_list<std::uint16_t> lengths);
    Tzx& pureData(std::uint16_t zero, std::uint16_t one, std::uint8_t usedBits,
                  std::uint16_t pauseMs, const Bytes& data);
    Tzx& direct(std::uint16_t period, std::uint16_t pauseMs, std::uint8_t usedBits,
                const Bytes& samples);
    Tzx& csw(std::uint16_t pauseMs, std::uint32_t rate, std::uint8_t compression,
             const Bytes& data);
    // A symbol: polarity bits, then its pulses (padded with zeros to the table's width).
    struct Symbol {
        std::uint8_t polarity;
        std::vector<std::uint16_t> pulses;
    };
    Tzx& generalized(std::uint16_t pauseMs, const std::vector<Symbol>& pilotSymbols,
                     const std::vector<std::pair<std::uint8_t, std::uint16_t>>& pilotStream,
                     const std::vector<Symbol>& dataSymbols, std::uint32_t dataCount,
                     const Bytes& dataStream);
    Tzx& pause(std::uint16_t ms);
    Tzx& loopStart(std::uint16_t repetitions);
    Tzx& loopEnd();
    Tzx& stopIf48K();
    Tzx& setLevel(bool high);
    Tzx& text(std::uint8_t id, std::string_view text); // 0x21 group start, 0x30 text
    Tzx& raw(const Bytes& block);
    const Bytes& bytes() const { return bytes_; }

  private:
    Tzx& id(std::uint8_t id);
    Tzx& u16(unsigned value);
    Tzx& u24(std::uint32_t value);
    Tzx& u32(std::uint32_t value);
    Tzx& append(const Bytes& data);
    Bytes bytes_;
};

// flag, payload, checksum: a block as the ROM saves it.
Bytes romBlock(std::uint8_t flag, const Bytes& payload);
// The run-length bytes of a CSW recording for pulses of these sample counts.
Bytes cswRle(const std::vector<std::uint32_t>& samples);
Bytes deflate(const Bytes& data);
// A .csw file (version 2) holding the same recording.
Bytes cswFile(std::uint32_t rate, std::uint8_t compression, const Bytes& data);

// Our signal: edges until the end of the tape, play pressed again at once after every stop;
// the last run lasts until the tape ends.
std::vector<LevelRun> playRuns(const TapeFile& tape, PauseLevels pauses, bool machine48K = true);
// tape2pulses' signal: its lines "length : level" joined into runs.
std::vector<LevelRun> tape2pulsesRuns(const std::filesystem::path& path);
// The signal libspectrum gives, played by Fuse's rules (tape2pulses puts the time of a pulse
// without an edge on the pulse after it).
std::vector<LevelRun> libspectrumRuns(const std::filesystem::path& path);

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);
// Runs a shell command; true when it exits with status 0.
bool run(const std::string& command);

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

} // namespace tapeloom::tapetest
