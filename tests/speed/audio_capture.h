// mGBA's sound output, captured while the cartridge runs: the left channel as mGBA mixes it
// (before any resampling), one value per mixing step of the emulated sound hardware.
#pragma once

#include <cstdint>
#include <vector>

struct mAVStream;

namespace gbatest {
class Gba;
}

namespace speed {

class AudioCapture {
  public:
    // Starts capturing from `gba`'s sound output (until destroyed).
    explicit AudioCapture(gbatest::Gba& gba);
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // Samples so far (left channel) and their rate in Hz.
    const std::vector<std::int16_t>& samples() const { return samples_; }
    double rate() const;

  private:
    struct Stream;
    // mGBA calls this once per mixing step with the mixed sample (before blip_buf resamples).
    static void onSample(mAVStream* stream, std::int16_t left, std::int16_t right);

    gbatest::Gba& gba_;
    Stream* stream_;
    std::vector<std::int16_t> samples_;
    std::uint64_t start_ = 0;
};

} // namespace speed
