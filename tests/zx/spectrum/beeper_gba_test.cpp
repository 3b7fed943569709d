// The beeper's renderer on the GBA (ARM code) against the host's (C): the image beeper_cases.gba
// renders every case of beeper_cases.c in mGBA; each buffer, guard bytes included, must hash as
// the host's does. It also reports the cost of a frame of music and of a quiet frame.
#include "beeper_cases.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(BeeperOnGba, EveryCaseRendersTheHostsSamplesAndReportsItsCost) {
    gbatest::Gba gba(gbatest::readFile(std::string(ZX_GBA_IMAGES_DIR) + "/beeper_cases.gba"));
    gba.failOnGameError(true);
    const BeeperCasesMailbox* box = nullptr;
    int frames = gba.runUntil(
        [&](gbatest::Gba& g) {
            std::size_t size = 0;
            const uint8_t* ewram = g.memory(0x02000000, &size);
            for (std::size_t off = 0; ewram && off + sizeof(BeeperCasesMailbox) <= size; off += 4)
                if (std::memcmp(ewram + off, BEEPER_CASES_MAGIC, 8) == 0) {
                    box = reinterpret_cast<const BeeperCasesMailbox*>(ewram + off);
                    return box->done == 1;
                }
            return false;
        },
        600);
    ASSERT_GE(frames, 0) << "the image did not finish";
    ASSERT_NE(box, nullptr);

    std::vector<int32_t> edges(BEEPER_CASE_MAX_EDGES);
    std::vector<int8_t> buffer(BEEPER_CASE_MAX_SAMPLES + 3 * BEEPER_CASE_GUARD);
    for (int k = 0; k < BEEPER_CASES; ++k)
        EXPECT_EQ(box->hash[k], beeper_case_hash(k, edges.data(), buffer.data())) << "case " << k;
    std::printf("Beeper on the GBA: a frame of %u edges renders in %u GBA cycles (%.1f an edge), a "
                "quiet one in %u\n",
                box->music_edges, box->music_cycles, double(box->music_cycles) / box->music_edges,
                box->quiet_cycles);
}

} // namespace
