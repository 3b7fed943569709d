// Prints the tone table: the tone program on the cartridge in mGBA, its sound captured from
// mGBA's mixer and compared with the reference machine, sound by sound. With --synthesis, the
// reference machine's exact edges through the cartridge's synthesis instead (what the sound
// loses with exact edges and no dropouts), at the cartridge's samples a frame or SAMPLES.
//   tone_table [--markdown] [--synthesis [SAMPLES]]
#include "tone_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

using namespace speed;

int main(int argc, char** argv) {
    bool markdown = false, synthesis = false;
    int samples = kCartridgeSamplesPerFrame;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--markdown"))
            markdown = true;
        else if (!std::strcmp(argv[i], "--synthesis")) {
            synthesis = true;
            if (i + 1 < argc && std::atoi(argv[i + 1]) > 0)
                samples = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: tone_table [--markdown] [--synthesis [SAMPLES]]\n");
            return 2;
        }
    }
    ToneRun run;
    try {
        run = synthesis ? synthesiseTones(samples) : runTones();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tones: %s\n", e.what());
        return 1;
    }
    if (markdown) {
        std::printf("| sound | Hz | pitch (cents) | duration | dropouts | holds | jitter rms | "
                    "jitter max | edges lost |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    } else {
        std::printf("%-20s %8s %7s %9s %8s %5s %10s %10s %12s\n", "sound", "Hz", "cents",
                    "duration", "dropouts", "holds", "jitter rms", "jitter max", "edges lost");
    }
    for (const HeardTone& t : run.tones) {
        const ToneFigures& f = t.figures;
        if (markdown)
            std::printf(
                "| %s | %.2f | %+.1f | %+.2f %% | %d | %d | %.1f %% | %.1f %% | %d of %d |\n",
                t.name.c_str(), f.hz, f.cents, f.durationError, f.dropouts, f.holds, f.jitterRms,
                f.jitterMax, f.lostEdges, f.referenceEdges);
        else
            std::printf("%-20s %8.2f %+7.1f %+8.2f%% %8d %5d %9.1f%% %9.1f%% %5d of %4d\n",
                        t.name.c_str(), f.hz, f.cents, f.durationError, f.dropouts, f.holds,
                        f.jitterRms, f.jitterMax, f.lostEdges, f.referenceEdges);
    }
    std::printf("%d sounds played, %d heard; %u sound buffer underruns while the program ran\n",
                run.referenceSounds, run.heardSounds, run.underruns);
    return run.referenceSounds == run.heardSounds ? 0 : 1;
}
