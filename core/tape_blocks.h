#pragma once
// Reading tape blocks: a bounded cursor over the file whose faults name the block, and the
// helpers the .tap and .tzx readers share. Internal to the tape reader.
#include "tape_file.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tapeloom::tape_blocks {

// "game.tzx: block 4 (ID 0x19) at offset 1234: " + what (blocks counted from 1).
std::string blockErrorText(std::string_view fileName, bool tzx, std::size_t index, std::uint8_t id,
                           std::size_t offset, std::string_view what);

// Reads one block's fields; every read is checked against `limit` (the end of the file, or of
// the block's declared body) and a fault throws TapeError naming the block.
class BlockCursor {
  public:
    BlockCursor(std::span<const std::uint8_t> file, std::string_view fileName, bool tzx,
                std::size_t index, std::size_t start)
        : file_(file), name_(fileName), tzx_(tzx), index_(index), start_(start), pos_(start),
          limit_(file.size()) {}

    [[noreturn]] void fail(std::string_view what) const;
    void setId(std::uint8_t id) { id_ = id; }
    // Checks that n more bytes can be read.
    void need(std::uint64_t n) const;
    // Reads and checks a body length, then keeps later reads inside that body.
    void enterBody(std::uint64_t length);
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u24();
    std::uint32_t u32();
    void skip(std::uint64_t n);
    std::size_t pos() const { return pos_; }
    std::size_t limit() const { return limit_; }
    std::size_t start() const { return start_; }
    std::span<const std::uint8_t> file() const { return file_; }

  private:
    std::span<const std::uint8_t> file_;
    std::string_view name_;
    bool tzx_;
    std::size_t index_;
    std::size_t start_;
    std::size_t pos_;
    std::size_t limit_;
    bool inBody_ = false;
    std::uint8_t id_ = 0x10;
};

// The timing of data blocks saved by the ROM.
inline constexpr std::uint16_t kRomPilot = 2168, kRomSync1 = 667, kRomSync2 = 735, kRomZero = 855,
                               kRomOne = 1710;
inline constexpr std::uint16_t kRomHeaderPilots = 8063, kRomDataPilots = 3223;
inline constexpr std::uint16_t kTapPauseMs = 1000;

// Fills a data block's description, info, flags, duration and zero-time level change from its
// timing fields and data (standard, turbo and pure data blocks).
void finishDataBlock(TapeBlock& block, std::span<const std::uint8_t> data);
// Printable text of a tape's bytes: other bytes as '?', carriage returns as line breaks.
std::string tapeText(std::span<const std::uint8_t> bytes);

} // namespace tapeloom::tape_blocks
