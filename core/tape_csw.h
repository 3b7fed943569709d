#pragma once
// The pulses of a CSW recording (TZX block 0x18): run-length bytes, kept as they are (RLE) or
// deflated with zlib (Z-RLE). A byte gives a pulse's length in samples; a zero byte is followed
// by the length as a 32-bit little-endian word.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include <zlib.h>

namespace tapeloom {

class CswPulses {
  public:
    CswPulses(std::span<const std::uint8_t> data, bool compressed);
    ~CswPulses();
    // zlib's stream state points back at its owner: the reader stays where it was made.
    CswPulses(const CswPulses&) = delete;
    CswPulses& operator=(const CswPulses&) = delete;

    enum class Result : std::uint8_t { Pulse, End, Damaged };
    // The next pulse's length in samples. Damaged when the data ends inside a long pulse or
    // the compressed stream is broken; error() says how.
    Result next(std::uint32_t& samples) {
        if (cursor_ != end_ && *cursor_ != 0) {
            samples = *cursor_++;
            return Result::Pulse;
        }
        return nextSlow(samples);
    }
    const std::string& error() const { return error_; }

  private:
    Result nextSlow(std::uint32_t& samples);
    bool refill();
    int nextByte() {
        if (cursor_ == end_ && !refill())
            return -1;
        return *cursor_++;
    }

    const std::uint8_t* cursor_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    bool compressed_ = false;
    bool streamEnded_ = false;
    z_stream stream_{};
    std::array<std::uint8_t, 8192> buffer_{};
    std::string error_;
};

} // namespace tapeloom
