// The AY on the GBA: the benchmark image (tests/zx/gba) renders the test tunes in mGBA; its
// samples must equal the host build's, and it reports the GBA cycles per Spectrum frame.
#include "ay.h"
#include "ay_bench.h"
#include "ay_tune.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t hostChecksum(AyTuneKind kind) {
    AyChip ay;
    ay_init(&ay);
    uint32_t hash = 2166136261u;
    std::vector<AyTuneWrite> writes(AY_TUNE_MAX_WRITES);
    std::vector<int8_t> samples(AY_TUNE_SAMPLES);
    for (uint32_t frame = 0; frame < AY_BENCH_FRAMES; ++frame) {
        int n = ay_tune_frame(kind, frame, writes.data());
        for (int i = 0; i < n; ++i)
            ay_write(&ay, writes[size_t(i)].t, writes[size_t(i)].reg, writes[size_t(i)].value);
        std::fill(samples.begin(), samples.end(), int8_t(0));
        ay_render(&ay, AY_TUNE_FRAME_TSTATES, samples.data(), AY_TUNE_SAMPLES);
        for (int8_t s : samples)
            hash = (hash ^ uint8_t(s)) * 16777619u;
    }
    return hash;
}

// The cartridge's frames (655 samples over the beeper's, full and half rate in turn) on the host.
uint32_t hostCartridgeChecksum() {
    AyChip ay;
    ay_init(&ay);
    ay_set_peak(&ay, AY_BENCH_CART_PEAK);
    ay_set_offset(&ay, AY_BENCH_CART_OFFSET);
    uint32_t hash = 2166136261u;
    std::vector<AyTuneWrite> writes(AY_TUNE_MAX_WRITES);
    std::vector<int8_t> samples(AY_BENCH_CART_SAMPLES), scratch((AY_BENCH_CART_SAMPLES + 1) / 2);
    for (uint32_t frame = 0; frame < AY_BENCH_FRAMES; ++frame) {
        int n = ay_tune_frame(AY_TUNE_DIGI, frame, writes.data());
        for (int i = 0; i < n; ++i)
            ay_write(&ay, writes[size_t(i)].t, writes[size_t(i)].reg, writes[size_t(i)].value);
        for (int i = 0; i < AY_BENCH_CART_SAMPLES; ++i)
            samples[size_t(i)] = int8_t(ay_bench_beeper(frame, uint32_t(i)));
        if (frame & 1)
            ay_render_half(&ay, AY_TUNE_FRAME_TSTATES, samples.data(), AY_BENCH_CART_SAMPLES,
                           scratch.data());
        else
            ay_render(&ay, AY_TUNE_FRAME_TSTATES, samples.data(), AY_BENCH_CART_SAMPLES);
        for (int8_t s : samples)
            hash = (hash ^ uint8_t(s)) * 16777619u;
    }
    return hash;
}

TEST(AyOnGba, BenchmarkRendersAsTheHostDoesAndReportsItsCost) {
    gbatest::Gba gba(gbatest::readFile(std::string(ZX_GBA_IMAGES_DIR) + "/ay_bench.gba"));
    gba.failOnGameError(true);
    const AyBenchMailbox* box = nullptr;
    int frames = gba.runUntil(
        [&](gbatest::Gba& g) {
            std::size_t size = 0;
            const uint8_t* ewram = g.memory(0x02000000, &size);
            for (std::size_t off = 0; ewram && off + sizeof(AyBenchMailbox) <= size; off += 4)
                if (std::memcmp(ewram + off, AY_BENCH_MAGIC, 8) == 0) {
                    box = reinterpret_cast<const AyBenchMailbox*>(ewram + off);
                    return box->done == 1;
                }
            return false;
        },
        600);
    ASSERT_GE(frames, 0) << "the benchmark did not finish";
    ASSERT_NE(box, nullptr);

    const char* names[AY_BENCH_KINDS] = {"silent", "music", "music + sampled drum"};
    for (int kind = 0; kind < AY_BENCH_KINDS; ++kind) {
        EXPECT_EQ(box->checksum[kind], hostChecksum(AyTuneKind(kind))) << names[kind];
        double writeCost = double(box->write_cycles[kind]) / box->frames;
        double renderCost = double(box->render_cycles[kind]) / box->frames;
        std::printf("AY on the GBA, %s: %.0f writes per frame cost %.0f GBA cycles, rendering 336 "
                    "samples %.0f cycles per Spectrum frame (%.1f %% of the 335,000 budget)\n",
                    names[kind], double(box->writes[kind]) / box->frames, writeCost, renderCost,
                    100.0 * (writeCost + renderCost) / 335000.0);
        RecordProperty(std::string("ay_cycles_") + std::to_string(kind),
                       std::to_string(writeCost + renderCost));
    }
    std::printf("AY on the GBA, music at half the sample rate (168 samples): rendering %.0f cycles "
                "per Spectrum frame\n",
                double(box->half_rate_cycles) / box->frames);
    std::printf("AY through the GBA's own channels (sketch), music: %.0f GBA cycles per frame\n",
                double(box->psg_cycles) / box->frames);
    EXPECT_EQ(box->cart_checksum, hostCartridgeChecksum()) << "the cartridge's frames";
    std::printf("AY on the GBA, music + sampled drum in the cartridge's frames (655 samples): "
                "%.0f cycles a frame at the full rate, %.0f at half the rate\n",
                double(box->cart_full_cycles) / (box->frames / 2),
                double(box->cart_half_cycles) / (box->frames / 2));
}

} // namespace
