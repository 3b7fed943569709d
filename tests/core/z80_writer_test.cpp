// The .z80 writer: runs packed as the format has them (lone 0xED, runs across the 255 limit),
// and files that our reader, libspectrum and snapconv all read back as written.
#include "z80_writer.h"

#include "files.h"
#include "snapshots.h"

#include "spectrum/snapshot.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tapeloom;
using tapeloom::test::Bytes;

namespace {

Bytes packed(const Bytes& data) {
    return compressZ80Block(data);
}

// Memory with every case of the packing: short and long runs, runs of 0xED, a lone 0xED before
// a run, 0xED at the end of a page.
Bytes awkwardMemory() {
    Bytes ram = test::randomishMemory(5);
    std::fill_n(ram.begin() + 0x100, 4, 0x11);
    std::fill_n(ram.begin() + 0x200, 300, 0x22);
    std::fill_n(ram.begin() + 0x400, 2, 0xED);
    ram[0x500] = 0xED;
    std::fill_n(ram.begin() + 0x501, 9, 0x00);
    ram[0x3FFF] = 0xED;
    ram[0x4000] = 0xED;
    std::fill_n(ram.begin() + 0x8000, 0x4000, 0xED);
    return ram;
}

MachineState someState() {
    MachineState state;
    Z80Regs& r = state.regs;
    r.af = 0x1234, r.bc = 0x2345, r.de = 0x3456, r.hl = 0x4567;
    r.af_ = 0x5678, r.bc_ = 0x6789, r.de_ = 0x789A, r.hl_ = 0x89AB;
    r.ix = 0x9ABC, r.iy = 0xABCD, r.sp = 0xBCDE, r.pc = 0xCDEF;
    r.i = 0x3F, r.r = 0xC5, r.iff1 = 1, r.iff2 = 1, r.im = 2;
    state.border = 5;
    state.frameTState = 40000;
    return state;
}

} // namespace

TEST(Z80Writer, PacksRunsAsTheFormatHasThem) {
    EXPECT_EQ(packed({1, 1, 1, 1}), (Bytes{1, 1, 1, 1}));
    EXPECT_EQ(packed({1, 1, 1, 1, 1}), (Bytes{0xED, 0xED, 5, 1}));
    EXPECT_EQ(packed({0xED, 0xED}), (Bytes{0xED, 0xED, 2, 0xED}));
    // The byte after a lone ED goes out as it is, even where a run begins.
    EXPECT_EQ(packed({0xED, 0, 0, 0, 0, 0, 0}), (Bytes{0xED, 0, 0xED, 0xED, 5, 0}));
    EXPECT_EQ(packed({7, 0xED}), (Bytes{7, 0xED}));
    Bytes long_(300, 9);
    EXPECT_EQ(packed(long_), (Bytes{0xED, 0xED, 255, 9, 0xED, 0xED, 45, 9}));
}

TEST(Z80Writer, OurReaderLibspectrumAndSnapconvReadWhatWasWritten) {
    const Bytes ram = awkwardMemory();
    const MachineState state = someState();
    const Bytes z80 =
        writeZ80Snapshot(state, std::span<const std::uint8_t, 0xC000>(ram.data(), 0xC000));
    ASSERT_EQ(z80[30], 54); // version 3
    EXPECT_LT(z80.size(), 30000u);

    Bytes ours(SPECTRUM_RAM_SIZE);
    SnapshotState read{};
    ASSERT_EQ(snapshot_load(z80.data(), z80.size(), SNAPSHOT_Z80, nullptr, ours.data(), &read),
              SNAPSHOT_OK);
    EXPECT_EQ(ours, ram);
    EXPECT_EQ(read.regs.pc, 0xCDEF);
    EXPECT_EQ(read.regs.r, 0xC5);
    EXPECT_EQ(read.regs.af_, 0x5678);
    EXPECT_EQ(read.regs.im, 2);
    EXPECT_EQ(read.border, 5);

    auto peer = test::libspectrumSnapshot(z80);
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->ram, ram);
    EXPECT_EQ(peer->af, 0x1234);
    EXPECT_EQ(peer->bc_, 0x6789);
    EXPECT_EQ(peer->hl_, 0x89AB);
    EXPECT_EQ(peer->ix, 0x9ABC);
    EXPECT_EQ(peer->iy, 0xABCD);
    EXPECT_EQ(peer->sp, 0xBCDE);
    EXPECT_EQ(peer->pc, 0xCDEF);
    EXPECT_EQ(peer->i, 0x3F);
    EXPECT_EQ(peer->r, 0xC5);
    EXPECT_EQ(peer->iff1, 1);
    EXPECT_EQ(peer->im, 2);
    EXPECT_EQ(peer->border, 5);
    EXPECT_EQ(peer->tstates, 40000u);

    // snapconv turns it into a .SNA: the memory and the registers of the header carry over.
    test::TempDir dir;
    test::writeFile(dir.path() / "state.z80", z80);
    ASSERT_EQ(std::system(("snapconv '" + (dir.path() / "state.z80").string() + "' '" +
                           (dir.path() / "state.sna").string() + "' 2>/dev/null")
                              .c_str()),
              0);
    Bytes sna = test::readFile(dir.path() / "state.sna");
    ASSERT_EQ(sna.size(), 27u + SPECTRUM_RAM_SIZE);
    Bytes snaRam(sna.begin() + 27, sna.end());
    // A .SNA keeps the program counter on the stack, two bytes below SP.
    snaRam[0xBCDE - 2 - 0x4000] = ram[0xBCDE - 2 - 0x4000];
    snaRam[0xBCDE - 1 - 0x4000] = ram[0xBCDE - 1 - 0x4000];
    EXPECT_EQ(snaRam, ram);
    EXPECT_EQ(sna[0], 0x3F); // I
    EXPECT_EQ(sna[26], 5);   // border
    EXPECT_EQ(sna[25], 2);   // IM
}
