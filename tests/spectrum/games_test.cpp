// The two real games from the shared folder, packed by the core's writer and run in mGBA.
#include "cartridge.h"

#include <gtest/gtest.h>

using namespace spectest;
using gbatest::Gba;

namespace {

std::filesystem::path game(const char* name) {
    return std::filesystem::path(TAPELOOM_SHARED_DIR) / "games" / name;
}

// Distinct colours in the frame.
int colourCount(Gba& gba) {
    auto frame = gba.frameRgb();
    std::sort(frame.begin(), frame.end());
    return static_cast<int>(std::unique(frame.begin(), frame.end()) - frame.begin());
}

TEST(SpectrumGames, ZnakeShowsItsTitle) {
    Entry e{"Znake", game("znake.sna"), {"K", "ENTER", "", "", "P", "O", "Q", "A", "", ""}};
    Gba gba(catalogueImage({e}));
    ASSERT_TRUE(startEntry(gba, 0));
    runSpectrumFrames(gba, 300);
    EXPECT_GT(colourCount(gba), 1);
    auto st = state(gba);
    int nz = 0;
    for (int a = 0x4000; a < 0x5800; ++a)
        nz += peek(gba, static_cast<std::uint16_t>(a)) != 0;
    printf("nonzero %d rows %u\n", nz, state(gba).rows_drawn);
    printf("frames %u ints %u pc %04x busy %u load %u\n", st.frames, st.interrupts, st.pc,
           st.busy_cycles, st.load_result);
    gba.writePng(tempDir() / "znake.png");
}

} // namespace
