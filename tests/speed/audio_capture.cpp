#include <mgba/flags.h> // first: fixes the layout of mGBA's structures

#include "audio_capture.h"

#include "harness.h"

#include <mgba/core/core.h>
#include <mgba/core/interface.h>

#include <cmath>

namespace speed {

struct AudioCapture::Stream {
    mAVStream stream{};
    AudioCapture* owner = nullptr;
};

void AudioCapture::onSample(mAVStream* stream, std::int16_t left, std::int16_t) {
    reinterpret_cast<Stream*>(stream)->owner->samples_.push_back(
        left); // stream is the first member
}

AudioCapture::AudioCapture(gbatest::Gba& gba) : gba_(gba), stream_(new Stream) {
    stream_->owner = this;
    stream_->stream.postAudioFrame = onSample;
    mCore* core = gba_.core();
    core->setAVStream(core, &stream_->stream);
    start_ = gba_.cycles();
}

double AudioCapture::rate() const {
    // One sample per mixing step, a whole number of CPU cycles (512 at the GBA's default).
    std::uint64_t cycles = gba_.cycles() - start_;
    if (samples_.empty() || cycles == 0)
        return 0;
    double step = std::round(static_cast<double>(cycles) / static_cast<double>(samples_.size()));
    return 16777216.0 / step;
}

AudioCapture::~AudioCapture() {
    mCore* core = gba_.core();
    core->setAVStream(core, nullptr);
    delete stream_;
}

} // namespace speed
