#include "tone_run.h"

#include "audio_capture.h"
#include "cartridge.h"
#include "speed_run.h"
#include "tone_reference.h"

#include "spectrum/machine.h"

#include <stdexcept>

namespace speed {
namespace {

// The sounds of tones.asm, in order; 9000h counts those finished.
const char* const kSoundNames[] = {"square",   "square",   "square",   "square",
                                   "square",   "square",   "square",   "square",
                                   "ROM BEEP", "ROM BEEP", "ROM BEEP", "ROM BEEP after HALT",
                                   "ROM BEEP"};
constexpr std::uint8_t kSounds = sizeof kSoundNames / sizeof kSoundNames[0];
constexpr std::uint16_t kSoundsDone = 0x9000;
constexpr std::uint32_t kMaxFrames = 800; // the program lasts about 450 frames

std::vector<std::uint8_t> toneSnapshot() {
    return spectest::readBytes(
        programSnapshot(std::filesystem::path(SPEED_PROGRAMS_DIR) / "tones.bin"));
}

// Sounds heard against sounds played, in order; a few stray edges (a click) are not a sound.
void compareSounds(ToneRun& result, const std::vector<std::vector<double>>& reference,
                   std::vector<std::vector<double>> heard) {
    std::erase_if(heard, [](const std::vector<double>& s) { return s.size() < 3; });
    result.referenceSounds = static_cast<int>(reference.size());
    result.heardSounds = static_cast<int>(heard.size());
    for (std::size_t i = 0; i < reference.size(); ++i) {
        HeardTone tone;
        tone.name = i < kSounds ? kSoundNames[i] : "?";
        tone.figures =
            compareTone(reference[i], i < heard.size() ? heard[i] : std::vector<double>{});
        result.tones.push_back(tone);
    }
}

} // namespace

ToneRun synthesiseTones(int samplesPerFrame) {
    StopAt finished{kSoundsDone, kSounds};
    auto sna = toneSnapshot();
    auto reference = splitSounds(referenceEdges(sna, kMaxFrames, &finished));
    auto samples = referenceSamples(sna, kMaxFrames + 30, samplesPerFrame);
    double rate = samplesPerFrame * 3500000.0 / double(SPECTRUM_FRAME_TSTATES);
    ToneRun result;
    compareSounds(result, reference, splitSounds(audioEdges(samples, rate)));
    return result;
}

ToneRun runTones() {
    Workload w;
    w.name = "tones";
    w.file = programSnapshot(std::filesystem::path(SPEED_PROGRAMS_DIR) / "tones.bin");
    ToneRun result;

    StopAt finished{kSoundsDone, kSounds};
    auto sna = toneSnapshot();
    auto reference = splitSounds(referenceEdges(sna, kMaxFrames, &finished));

    WorkloadRun run(w);
    AudioCapture capture(run.gba());
    std::uint32_t underruns0 = spectest::state(run.gba()).underruns;
    for (std::uint32_t i = 0; spectest::peek(run.gba(), kSoundsDone) != kSounds; ++i) {
        if (i == kMaxFrames * 2)
            throw std::runtime_error("the tone program did not finish");
        run.gba().runFrames(1);
        run.collect();
    }
    run.gba().runFrames(30); // the last sound still queued
    run.collect();
    result.underruns = spectest::state(run.gba()).underruns - underruns0;
    const auto& costs = run.costs();
    // Underruns while the emulator made Spectrum frames first..last (the frame that starts the
    // tone excluded: what ran dry before it was silence).
    auto underrunsDuring = [&costs](double firstSecond, double lastSecond) {
        auto frameOf = [](double second) {
            return static_cast<std::uint32_t>(second * 3500000.0 / 69888.0) + 1;
        };
        std::uint32_t first = frameOf(firstSecond), last = frameOf(lastSecond);
        int count = 0;
        for (std::size_t i = 1; i < costs.size(); ++i)
            if (costs[i].frame > first && costs[i].frame <= last)
                count += static_cast<int>(costs[i].underruns - costs[i - 1].underruns);
        return count;
    };

    compareSounds(result, reference, splitSounds(audioEdges(capture.samples(), capture.rate())));
    for (std::size_t i = 0; i < reference.size(); ++i)
        result.tones[i].figures.dropouts =
            underrunsDuring(reference[i].front(), reference[i].back());
    return result;
}

} // namespace speed
