// The .SNA and .Z80 loaders: every format gives the same machine, and files they must refuse
// are refused with the right reason.
#include "snapshot_files.h"
#include "spectrum/snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

using namespace spectest;

namespace {

MachineImage sample() {
    MachineImage m;
    for (std::size_t i = 0; i < m.ram.size(); ++i)
        m.ram[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9));
    // Runs, lone and doubled 0xED, and a run longer than one code can hold.
    std::fill(m.ram.begin() + 0x100, m.ram.begin() + 0x400, 0x00);
    m.ram[0x500] = 0xED;
    m.ram[0x501] = 0x00;
    m.ram[0x600] = 0xED;
    m.ram[0x601] = 0xED;
    m.ram[0x3FFF] = 0xED; // last byte of a page
    Z80Regs& r = m.regs;
    r.af = 0x1234, r.bc = 0x2345, r.de = 0x3456, r.hl = 0x4567;
    r.af_ = 0x5678, r.bc_ = 0x6789, r.de_ = 0x789A, r.hl_ = 0x89AB;
    r.ix = 0x9ABC, r.iy = 0x5C3A, r.sp = 0xFF00, r.pc = 0x8123;
    r.i = 0x3F, r.r = 0xC5, r.iff1 = 1, r.iff2 = 1, r.im = 2;
    m.border = 5;
    return m;
}

struct Loaded {
    SnapshotResult result;
    SnapshotState state{};
    std::vector<std::uint8_t> ram = std::vector<std::uint8_t>(SPECTRUM_RAM_SIZE, 0xAA);
};

Loaded load(const std::vector<std::uint8_t>& file, SnapshotKind kind,
            const std::uint8_t* rom = nullptr) {
    Loaded l;
    l.result = snapshot_load(file.data(), file.size(), kind, rom, l.ram.data(), &l.state);
    return l;
}

void expectSameMachine(const MachineImage& m, const Loaded& l) {
    ASSERT_EQ(l.result, SNAPSHOT_OK);
    const Z80Regs& a = m.regs;
    const Z80Regs& b = l.state.regs;
    EXPECT_EQ(a.af, b.af);
    EXPECT_EQ(a.bc, b.bc);
    EXPECT_EQ(a.de, b.de);
    EXPECT_EQ(a.hl, b.hl);
    EXPECT_EQ(a.af_, b.af_);
    EXPECT_EQ(a.bc_, b.bc_);
    EXPECT_EQ(a.de_, b.de_);
    EXPECT_EQ(a.hl_, b.hl_);
    EXPECT_EQ(a.ix, b.ix);
    EXPECT_EQ(a.iy, b.iy);
    EXPECT_EQ(a.sp, b.sp);
    EXPECT_EQ(a.pc, b.pc);
    EXPECT_EQ(a.i, b.i);
    EXPECT_EQ(a.r, b.r); // bit 7 included
    EXPECT_EQ(a.iff1, b.iff1);
    EXPECT_EQ(a.iff2, b.iff2);
    EXPECT_EQ(a.im, b.im);
    EXPECT_EQ(m.border, l.state.border);
}

TEST(SnapshotLoad, EveryFormatGivesTheSameMachine) {
    MachineImage m = sample();
    {
        auto l = load(makeSna(m), SNAPSHOT_SNA);
        expectSameMachine(m, l);
        // The pushed PC stays in RAM below the stack, as after a real RETN.
        auto expected = m.ram;
        expected[0xFEFE - 0x4000] = 0x23;
        expected[0xFEFF - 0x4000] = 0x81;
        EXPECT_EQ(l.ram, expected);
    }
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "v1 compressed" : "v1 plain");
        auto l = load(makeZ80v1(m, compressed), SNAPSHOT_Z80);
        expectSameMachine(m, l);
        EXPECT_EQ(l.ram, m.ram);
    }
    for (int version : {2, 3}) {
        for (bool raw : {false, true}) {
            SCOPED_TRACE("v" + std::to_string(version) + (raw ? " raw" : " compressed"));
            auto l = load(makeZ80Paged(m, version, raw), SNAPSHOT_Z80);
            expectSameMachine(m, l);
            EXPECT_EQ(l.ram, m.ram);
        }
    }
}

TEST(SnapshotLoad, SnaTakesIff2AndPopsAcrossTheTopOfMemory) {
    MachineImage m = sample();
    auto file = makeSna(m);
    file[19] = 0x00; // IFF2 off: both flip-flops off
    auto l = load(file, SNAPSHOT_SNA);
    ASSERT_EQ(l.result, SNAPSHOT_OK);
    EXPECT_EQ(l.state.regs.iff1, 0);
    EXPECT_EQ(l.state.regs.iff2, 0);

    // SP = 0xFFFF: the high byte of PC comes from 0x0000, in the ROM.
    file[23] = 0xFF, file[24] = 0xFF;
    file[27 + 0xBFFF] = 0x34;
    std::array<std::uint8_t, 0x4000> rom{};
    rom[0] = 0x12;
    l = load(file, SNAPSHOT_SNA, rom.data());
    ASSERT_EQ(l.result, SNAPSHOT_OK);
    EXPECT_EQ(l.state.regs.pc, 0x1234);
    EXPECT_EQ(l.state.regs.sp, 0x0001);
    l = load(file, SNAPSHOT_SNA, nullptr); // no ROM given: reads as 0xFF
    EXPECT_EQ(l.state.regs.pc, 0xFF34);
}

TEST(SnapshotLoad, SnaOfTheWrongSizeOrMachineIsRefused) {
    auto file = makeSna(sample());
    EXPECT_EQ(load(std::vector<std::uint8_t>(file.begin(), file.end() - 1), SNAPSHOT_SNA).result,
              SNAPSHOT_NOT_A_SNAPSHOT);
    file.push_back(0);
    EXPECT_EQ(load(file, SNAPSHOT_SNA).result, SNAPSHOT_NOT_A_SNAPSHOT);
    EXPECT_EQ(load({}, SNAPSHOT_SNA).result, SNAPSHOT_NOT_A_SNAPSHOT);
    for (std::size_t size : {131103u, 147487u})
        EXPECT_EQ(load(std::vector<std::uint8_t>(size, 0), SNAPSHOT_SNA).result, SNAPSHOT_128K);
    file.pop_back();
    file[25] = 3; // no interrupt mode 3
    EXPECT_EQ(load(file, SNAPSHOT_SNA).result, SNAPSHOT_NOT_A_SNAPSHOT);
}

TEST(SnapshotLoad, Z80Version1Details) {
    MachineImage m = sample();
    auto file = makeZ80v1(m, true);
    // Without the end marker the data still fills the memory.
    auto unmarked = std::vector<std::uint8_t>(file.begin(), file.end() - 4);
    EXPECT_EQ(load(unmarked, SNAPSHOT_Z80).ram, m.ram);
    // Cut short: the memory is not filled.
    auto cut = std::vector<std::uint8_t>(file.begin(), file.begin() + 2000);
    EXPECT_EQ(load(cut, SNAPSHOT_Z80).result, SNAPSHOT_CORRUPT);
    auto plain = makeZ80v1(m, false);
    plain.pop_back();
    EXPECT_EQ(load(plain, SNAPSHOT_Z80).result, SNAPSHOT_CORRUPT);
    // Flag byte 255 counts as 1: R bit 7 set, border 0, not compressed.
    plain = makeZ80v1(m, false);
    plain[12] = 0xFF;
    auto l = load(plain, SNAPSHOT_Z80);
    ASSERT_EQ(l.result, SNAPSHOT_OK);
    EXPECT_EQ(l.state.regs.r, 0xC5);
    EXPECT_EQ(l.state.border, 0);
    EXPECT_EQ(load(std::vector<std::uint8_t>(file.begin(), file.begin() + 29), SNAPSHOT_Z80).result,
              SNAPSHOT_NOT_A_SNAPSHOT);
}

TEST(SnapshotLoad, Z80PagedMachinesAndDamage) {
    MachineImage m = sample();
    struct Case {
        int version;
        std::uint8_t hardware;
        SnapshotResult expected;
    };
    const Case cases[] = {
        {2, 0, SNAPSHOT_OK},
        {2, 1, SNAPSHOT_OK},
        {2, 3, SNAPSHOT_128K},
        {2, 4, SNAPSHOT_128K},
        {2, 2, SNAPSHOT_OTHER_MACHINE},
        {3, 3, SNAPSHOT_OK},
        {3, 4, SNAPSHOT_128K},
        {3, 9, SNAPSHOT_128K}, // Pentagon 128: the 128K's paging
        {3, 12, SNAPSHOT_128K},
        {2, 7, SNAPSHOT_PLUS3},
        {3, 8, SNAPSHOT_PLUS3},
        {3, 13, SNAPSHOT_PLUS3},
        {3, 10, SNAPSHOT_OTHER_MACHINE}, // Scorpion 256
        {3, 14, SNAPSHOT_OTHER_MACHINE},
        {3, 128, SNAPSHOT_OTHER_MACHINE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("v" + std::to_string(c.version) + " hardware " + std::to_string(c.hardware));
        EXPECT_EQ(load(makeZ80Paged(m, c.version, false, c.hardware), SNAPSHOT_Z80).result,
                  c.expected);
    }

    auto file = makeZ80Paged(m, 3, false);
    auto badHeader = file;
    badHeader[30] = 30; // no such extra header length
    EXPECT_EQ(load(badHeader, SNAPSHOT_Z80).result, SNAPSHOT_NOT_A_SNAPSHOT);
    auto im3 = file;
    im3[29] = 3;
    EXPECT_EQ(load(im3, SNAPSHOT_Z80).result, SNAPSHOT_NOT_A_SNAPSHOT);

    // The last page cut: its block length runs past the end of the file.
    EXPECT_EQ(load(std::vector<std::uint8_t>(file.begin(), file.end() - 1), SNAPSHOT_Z80).result,
              SNAPSHOT_CORRUPT);
    // A page missing altogether.
    auto raw = makeZ80Paged(m, 3, true);
    std::size_t pages = 30 + 2 + 54;
    EXPECT_EQ(
        load(std::vector<std::uint8_t>(raw.begin(), raw.begin() + pages + 2 * 0x4003), SNAPSHOT_Z80)
            .result,
        SNAPSHOT_CORRUPT);
    // A compressed block that expands to less than 16 KiB.
    auto shortBlock = raw;
    shortBlock[pages] = 0x10, shortBlock[pages + 1] = 0x00; // 16 bytes, then garbage follows
    EXPECT_NE(load(shortBlock, SNAPSHOT_Z80).result, SNAPSHOT_OK);
}

TEST(SnapshotLoad, Z80PagedSkipsOtherPagesAndLoadsSixteenK) {
    MachineImage m = sample();
    auto file = makeZ80Paged(m, 3, true);
    // A page of Interface 1 ROM (page 0) in front of the others is skipped.
    std::vector<std::uint8_t> extraPage = {0x04, 0x00, 0x00, 1, 2, 3, 4};
    auto withExtra = file;
    withExtra.insert(withExtra.begin() + 30 + 2 + 54, extraPage.begin(), extraPage.end());
    EXPECT_EQ(load(withExtra, SNAPSHOT_Z80).ram, m.ram);

    // 16K machine (bit 7 of byte 37): page 8 alone is enough.
    auto sixteen = makeZ80Paged(m, 3, true);
    sixteen[37] = 0x80;
    std::size_t pageEight = 30 + 2 + 54 + 2 * 0x4003;
    std::vector<std::uint8_t> only(sixteen.begin(), sixteen.begin() + 30 + 2 + 54);
    only.insert(only.end(), sixteen.begin() + static_cast<std::ptrdiff_t>(pageEight),
                sixteen.end());
    auto l = load(only, SNAPSHOT_Z80);
    ASSERT_EQ(l.result, SNAPSHOT_OK);
    EXPECT_TRUE(std::equal(m.ram.begin(), m.ram.begin() + 0x4000, l.ram.begin()));
}

// A caller that does not know where the file ends (the cartridge's last entry) passes up to the
// end of the cartridge: the loader reads no more than a snapshot can hold, and walks no more
// pages than the format numbers, whatever the bytes after the file.
TEST(SnapshotLoad, NoMoreIsReadThanASnapshotCanHold) {
    MachineImage m = sample();
    for (auto file :
         {makeZ80Paged(m, 3, false), makeZ80Paged(m, 3, true), makeZ80v1(m, true), makeSna(m)}) {
        const bool sna = file.size() == 27 + 49152;
        std::vector<std::uint8_t> cartridge = file;
        cartridge.resize(4u << 20, 0xA5); // what follows in the cartridge
        // A .SNA's size is all it has to show it is one: the cartridge gives the 48K size.
        Loaded l = load(sna ? file : cartridge, sna ? SNAPSHOT_SNA : SNAPSHOT_Z80);
        expectSameMachine(m, l);
    }

    // A header, then blocks of no length (or nothing a snapshot holds): the walk ends after as
    // many blocks as there are pages, long before the end of what the caller passed.
    auto header = makeZ80Paged(m, 3, false);
    header.resize(30 + 2 + 54);
    std::vector<std::uint8_t> walk = header;
    walk.resize(32u << 20, 0x00);
    EXPECT_EQ(load(walk, SNAPSHOT_Z80).result, SNAPSHOT_CORRUPT);
    std::vector<std::uint8_t> exactly(header);
    for (int page = 0; page < SNAPSHOT_MOST_PAGES; ++page) // pages the 48K machine skips
        exactly.insert(exactly.end(), {0x01, 0x00, 0x00, 0xAB});
    auto loadable = makeZ80Paged(m, 3, true);
    exactly.insert(exactly.end(), loadable.begin() + 30 + 2 + 54, loadable.end());
    EXPECT_EQ(load(exactly, SNAPSHOT_Z80).result, SNAPSHOT_CORRUPT) << "more blocks than pages";
    exactly.erase(exactly.begin() + 30 + 2 + 54, exactly.begin() + 30 + 2 + 54 + 4 * 3);
    EXPECT_EQ(load(exactly, SNAPSHOT_Z80).result, SNAPSHOT_OK) << "every page numbered";
    EXPECT_GE(static_cast<std::size_t>(SNAPSHOT_LARGEST), exactly.size());
}

TEST(SnapshotLoad, EveryRefusalHasAText) {
    for (auto r : {SNAPSHOT_NOT_A_SNAPSHOT, SNAPSHOT_128K, SNAPSHOT_OTHER_MACHINE, SNAPSHOT_CORRUPT,
                   SNAPSHOT_PLUS3, SNAPSHOT_TRDOS}) {
        std::string text = snapshot_result_text(r);
        EXPECT_FALSE(text.empty());
        std::size_t start = 0;
        while (start <= text.size()) { // fits the 28 columns of the message screen
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            EXPECT_LE(end - start, 28u) << text;
            start = end + 1;
        }
    }
}

// The 128K: eight banks told apart by their contents, every register set.
Machine128Image sample128(std::uint8_t port7ffd) {
    Machine128Image m;
    for (unsigned bank = 0; bank < 8; ++bank)
        for (std::size_t i = 0; i < 0x4000; ++i)
            m.banks[bank][i] =
                static_cast<std::uint8_t>(((i * (bank + 3)) ^ (i >> 7) ^ (bank << 5)) & 0xFF);
    m.banks[3][0x3FFF] = 0xED;
    std::fill(m.banks[6].begin() + 0x200, m.banks[6].begin() + 0x1200, 0x00);
    MachineImage base = sample();
    m.regs = base.regs;
    m.border = 3;
    m.port7ffd = port7ffd;
    m.aySelected = 7;
    for (std::size_t i = 0; i < 16; ++i)
        m.ayRegs[i] = static_cast<std::uint8_t>((0x11 * i) & 0xFF);
    return m;
}

struct Loaded128 {
    SnapshotResult result;
    SnapshotState state{};
    std::vector<std::uint8_t> ram = std::vector<std::uint8_t>(SPECTRUM_128_RAM_SIZE, 0xAA);
    const std::uint8_t* bank(unsigned b) const { return ram.data() + spectrum_bank_offset(b); }
};

Loaded128 load128(const std::vector<std::uint8_t>& file, SnapshotKind kind) {
    Loaded128 l;
    l.result = snapshot_load_128(file.data(), file.size(), kind, nullptr, l.ram.data(), &l.state);
    return l;
}

// Same banks, registers, paging and (when the format keeps them) AY registers.
void expectSame128(const Machine128Image& m, const Loaded128& l, bool withAy) {
    ASSERT_EQ(l.result, SNAPSHOT_OK);
    MachineImage regs;
    regs.regs = m.regs;
    regs.border = m.border;
    Loaded asLoaded{l.result, l.state, {}};
    expectSameMachine(regs, asLoaded);
    EXPECT_EQ(l.state.model, SPECTRUM_128K);
    EXPECT_EQ(l.state.port_7ffd, m.port7ffd);
    for (unsigned b = 0; b < 8; ++b)
        EXPECT_TRUE(std::equal(m.banks[b].begin(), m.banks[b].end(), l.bank(b))) << "bank " << b;
    if (withAy) {
        EXPECT_EQ(l.state.ay_selected, m.aySelected);
        for (std::size_t i = 0; i < 16; ++i)
            EXPECT_EQ(l.state.ay_regs[i], m.ayRegs[i]) << "AY register " << i;
    }
}

TEST(Snapshot128Load, BanksInTheirPlacesTheFirstThreeAsThe48KSeesThem) {
    // Banks 5, 2, 0, then 1, 3, 4, 6, 7: distinct, inside 128 KiB, 48 KiB mapped as on a 48K.
    std::vector<std::uint32_t> offsets;
    for (unsigned b = 0; b < 8; ++b)
        offsets.push_back(spectrum_bank_offset(b));
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0x8000, 0xC000, 0x4000, 0x10000, 0x14000, 0x0000,
                                                   0x18000, 0x1C000}));
}

TEST(Snapshot128Load, EveryFormatGivesTheSameMachine) {
    // Bank 2 or 5 at 0xC000 makes the long .SNA (the 48K part holds it twice).
    for (int port : {0x00, 0x11, 0x0F, 0x1A, 0x3D, 0x07}) {
        SCOPED_TRACE("port 7FFD " + std::to_string(port));
        Machine128Image m = sample128(static_cast<std::uint8_t>(port));
        auto sna = makeSna128(m);
        unsigned paged = port & 7u;
        EXPECT_EQ(sna.size(), paged == 2 || paged == 5 ? 147487u : 131103u);
        expectSame128(m, load128(sna, SNAPSHOT_SNA), false);
        for (int version : {2, 3})
            for (bool raw : {false, true}) {
                SCOPED_TRACE("v" + std::to_string(version) + (raw ? " raw" : " compressed"));
                expectSame128(m, load128(makeZ80Paged128(m, version, raw), SNAPSHOT_Z80), true);
            }
    }
}

TEST(Snapshot128Load, TheFortyEightKLoaderRefusesThemAndTheOtherTakes48KFiles) {
    Machine128Image m = sample128(0x13);
    SnapshotState state;
    std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    auto sna = makeSna128(m);
    EXPECT_EQ(snapshot_load(sna.data(), sna.size(), SNAPSHOT_SNA, nullptr, ram.data(), &state),
              SNAPSHOT_128K);
    auto z80 = makeZ80Paged128(m, 3, false);
    EXPECT_EQ(snapshot_load(z80.data(), z80.size(), SNAPSHOT_Z80, nullptr, ram.data(), &state),
              SNAPSHOT_128K);

    // A 48K snapshot fills banks 5, 2 and 0 and leaves the others alone.
    MachineImage m48 = sample();
    for (const auto& [file, kind] : {std::pair{makeSna(m48), SNAPSHOT_SNA},
                                     std::pair{makeZ80Paged(m48, 3, false), SNAPSHOT_Z80}}) {
        auto l = load128(file, kind);
        ASSERT_EQ(l.result, SNAPSHOT_OK);
        EXPECT_EQ(l.state.model, SPECTRUM_48K);
        EXPECT_EQ(l.state.regs.pc, m48.regs.pc);
        auto expected = m48.ram;
        if (kind == SNAPSHOT_SNA) // the pushed PC below the stack
            expected[0xFEFE - 0x4000] = 0x23, expected[0xFEFF - 0x4000] = 0x81;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), l.ram.begin()));
        EXPECT_TRUE(std::all_of(l.ram.begin() + 0xC000, l.ram.end(),
                                [](std::uint8_t b) { return b == 0xAA; }));
    }
}

TEST(Snapshot128Load, DamagedAndForeignFilesAreRefused) {
    Machine128Image m = sample128(0x05);
    auto sna = makeSna128(m);
    // Bank 5 paged needs six more banks: the short size lacks one.
    auto shortSna = std::vector<std::uint8_t>(sna.begin(), sna.begin() + 131103);
    EXPECT_EQ(load128(shortSna, SNAPSHOT_SNA).result, SNAPSHOT_CORRUPT);
    // Another bank paged in a long file: the spare bank is ignored.
    Machine128Image other = sample128(0x01);
    auto padded = makeSna128(other);
    padded.resize(147487, 0x55);
    expectSame128(other, load128(padded, SNAPSHOT_SNA), false);
    // Taken inside the TR-DOS ROM.
    auto trdos = sna;
    trdos[49182] = 1;
    EXPECT_EQ(load128(trdos, SNAPSHOT_SNA).result, SNAPSHOT_TRDOS);
    auto im3 = sna;
    im3[25] = 3;
    EXPECT_EQ(load128(im3, SNAPSHOT_SNA).result, SNAPSHOT_NOT_A_SNAPSHOT);

    // A .Z80 without one of its eight pages, or cut inside the last.
    auto z80 = makeZ80Paged128(m, 3, true);
    EXPECT_EQ(
        load128(std::vector<std::uint8_t>(z80.begin(), z80.end() - 0x4003), SNAPSHOT_Z80).result,
        SNAPSHOT_CORRUPT);
    EXPECT_EQ(load128(std::vector<std::uint8_t>(z80.begin(), z80.end() - 1), SNAPSHOT_Z80).result,
              SNAPSHOT_CORRUPT);
    // Bytes after the last page are not read (the cartridge may not know where a file ends).
    auto trailing = z80;
    trailing.insert(trailing.end(), {0x12, 0x34, 0x56});
    expectSame128(m, load128(trailing, SNAPSHOT_Z80), true);
    // +3 hardware, and the +2A by version 3's "modified hardware" bit on a +3.
    auto plus3 = z80;
    plus3[34] = 7;
    EXPECT_EQ(load128(plus3, SNAPSHOT_Z80).result, SNAPSHOT_PLUS3);
    plus3[37] |= 0x80;
    EXPECT_EQ(load128(plus3, SNAPSHOT_Z80).result, SNAPSHOT_PLUS3);
    // The "modified hardware" bit on a 128K means a +2: it runs.
    auto plus2 = z80;
    plus2[37] |= 0x80;
    expectSame128(m, load128(plus2, SNAPSHOT_Z80), true);
}

// Fuse's converter writes and reads both formats the way other tools do.
struct ScratchFiles {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tapeloom-snap128-" + std::to_string(::getpid()));
    ScratchFiles() { std::filesystem::create_directories(dir); }
    ~ScratchFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::vector<std::uint8_t> convert(const std::vector<std::uint8_t>& in, const char* from,
                                      const char* to) {
        auto source = dir / (std::string("in.") + from), target = dir / (std::string("out.") + to);
        std::filesystem::remove(target);
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(in.data()), std::streamsize(in.size()));
        std::string command =
            "snapconv " + source.string() + " " + target.string() + " 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            return {};
        std::ifstream file(target, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
};

TEST(Snapshot128Load, FilesConvertedBySnapconvLoadTheSame) {
    ScratchFiles scratch;
    for (int port : {0x10, 0x0E, 0x02}) {
        SCOPED_TRACE("port 7FFD " + std::to_string(port));
        Machine128Image m = sample128(static_cast<std::uint8_t>(port));
        // .SNA to .Z80: snapconv takes a 128K .SNA for a Pentagon 128 (hardware 9).
        auto z80 = scratch.convert(makeSna128(m), "sna", "z80");
        ASSERT_FALSE(z80.empty());
        EXPECT_EQ(z80[34], 9);
        expectSame128(m, load128(z80, SNAPSHOT_Z80), false);
        // .Z80 to .SNA, and to its own .Z80 (AY registers kept).
        auto sna = scratch.convert(makeZ80Paged128(m, 3, false), "z80", "sna");
        ASSERT_FALSE(sna.empty());
        expectSame128(m, load128(sna, SNAPSHOT_SNA), false);
        auto again = scratch.convert(makeZ80Paged128(m, 2, true), "z80", "z80");
        ASSERT_FALSE(again.empty());
        expectSame128(m, load128(again, SNAPSHOT_Z80), true);
    }
}

// The menu's preview reads only the screen: the same 6912 bytes the whole load gives, from every
// format and machine; a file cut short gives no screen and reads nothing past its end.
TEST(SnapshotScreen, IsTheLoadedScreenInEveryFormat) {
    MachineImage m = sample();
    const std::vector<std::uint8_t> screen(m.ram.begin(), m.ram.begin() + SNAPSHOT_SCREEN_SIZE);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        SnapshotKind kind;
    };
    std::vector<Case> cases = {
        {"sna", makeSna(m), SNAPSHOT_SNA},
        {"v1 plain", makeZ80v1(m, false), SNAPSHOT_Z80},
        {"v1 compressed", makeZ80v1(m, true), SNAPSHOT_Z80},
        {"v2", makeZ80Paged(m, 2, false), SNAPSHOT_Z80},
        {"v3 raw", makeZ80Paged(m, 3, true), SNAPSHOT_Z80},
        {"v3 of a 128K", makeZ80Paged(m, 3, false, 4), SNAPSHOT_Z80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<std::uint8_t, SNAPSHOT_SCREEN_SIZE> read{};
        ASSERT_EQ(snapshot_read_screen(c.file.data(), c.file.size(), c.kind, read.data()),
                  SNAPSHOT_OK);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), screen.begin()));
        // Cut inside the screen's data (or before it): refused, never read past the end (the
        // copy is exactly as long as the cut, for AddressSanitizer).
        for (std::size_t cut : {std::size_t{10}, std::size_t{40}, c.file.size() / 20}) {
            std::vector<std::uint8_t> part(c.file.begin(),
                                           c.file.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_NE(snapshot_read_screen(part.data(), part.size(), c.kind, read.data()),
                      SNAPSHOT_OK)
                << cut;
        }
    }
}

// Files whose screen cannot be found: no page 8, an extra header that runs past the file, a .SNA
// cut before its screen ends, a page list longer than the format's. Each is refused with a black
// screen, whatever the buffer held.
TEST(SnapshotScreen, NoScreenInTheFileGivesABlackOneAndAReason) {
    MachineImage m = sample();
    std::array<std::uint8_t, SNAPSHOT_SCREEN_SIZE> read{};
    auto refused = [&](const std::vector<std::uint8_t>& file, SnapshotKind kind) {
        read.fill(0x55);
        SnapshotResult r = snapshot_read_screen(file.data(), file.size(), kind, read.data());
        EXPECT_TRUE(std::all_of(read.begin(), read.end(), [](std::uint8_t b) { return b == 0; }));
        return r;
    };

    // Page 8 dropped: pages 4 and 5 alone (48K: 0x8000 and 0xC000) hold no screen.
    auto raw = makeZ80Paged(m, 3, true);
    const std::size_t pages = 30 + 2 + 54, block = 3 + 0x4000;
    std::vector<std::uint8_t> noScreen(raw.begin(), raw.begin() + pages);
    for (std::size_t at = pages; at < raw.size(); at += block)
        if (raw[at + 2] != 8)
            noScreen.insert(noScreen.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                            raw.begin() + static_cast<std::ptrdiff_t>(at + block));
    ASSERT_EQ(noScreen.size(), pages + 2 * block);
    EXPECT_EQ(refused(noScreen, SNAPSHOT_Z80), SNAPSHOT_CORRUPT);

    auto longHeader = raw;
    longHeader[30] = 0xFF, longHeader[31] = 0xFF;
    EXPECT_EQ(refused(longHeader, SNAPSHOT_Z80), SNAPSHOT_CORRUPT);

    auto sna = makeSna(m);
    EXPECT_EQ(
        refused(std::vector<std::uint8_t>(sna.begin(), sna.begin() + 27 + 6911), SNAPSHOT_SNA),
        SNAPSHOT_NOT_A_SNAPSHOT);
    EXPECT_EQ(refused({}, SNAPSHOT_Z80), SNAPSHOT_NOT_A_SNAPSHOT);

    // More blocks than the format has pages before page 8: not a snapshot's page list.
    std::vector<std::uint8_t> manyBlocks(raw.begin(), raw.begin() + pages);
    for (int i = 0; i < SNAPSHOT_MOST_PAGES; ++i)
        manyBlocks.insert(manyBlocks.end(), {0x00, 0x00, 0x00});
    std::size_t eighth = pages + 2 * block; // page 8 is the third block
    manyBlocks.insert(manyBlocks.end(), raw.begin() + static_cast<std::ptrdiff_t>(eighth),
                      raw.begin() + static_cast<std::ptrdiff_t>(eighth + block));
    EXPECT_EQ(refused(manyBlocks, SNAPSHOT_Z80), SNAPSHOT_CORRUPT);

    // The cartridge's last entry, whose size nobody knows: blocks that skip far ahead end the
    // walk at the largest snapshot's size (the buffer is exactly that long, for the sanitizer).
    std::vector<std::uint8_t> lastEntry(SNAPSHOT_LARGEST, 0);
    std::copy(raw.begin(), raw.begin() + pages, lastEntry.begin());
    for (std::size_t at = pages; at + 3 <= lastEntry.size(); at += 3 + 0xFFFE)
        lastEntry[at] = 0xFE, lastEntry[at + 1] = 0xFF, lastEntry[at + 2] = 4;
    read.fill(0x55);
    EXPECT_EQ(snapshot_read_screen(lastEntry.data(), SIZE_MAX / 2, SNAPSHOT_Z80, read.data()),
              SNAPSHOT_CORRUPT);

    // A .SNA that stops right after the screen still has it.
    read.fill(0x55);
    EXPECT_EQ(
        snapshot_read_screen(sna.data(), 27 + SNAPSHOT_SCREEN_SIZE, SNAPSHOT_SNA, read.data()),
        SNAPSHOT_OK);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), m.ram.begin()));
}

// The shared games, as real tools wrote them: the screen read alone is the one the whole load
// gives.
TEST(SnapshotScreen, SharedGamesShowTheScreenTheyLoad) {
    int files = 0;
    for (const auto& e :
         std::filesystem::directory_iterator(std::string(TAPELOOM_SHARED_DIR) + "/games")) {
        std::string ext = e.path().extension().string();
        if (ext != ".sna" && ext != ".z80")
            continue;
        SCOPED_TRACE(e.path().filename().string());
        std::ifstream in(e.path(), std::ios::binary);
        std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
        SnapshotKind kind = ext == ".sna" ? SNAPSHOT_SNA : SNAPSHOT_Z80;
        Loaded l = load(file, kind);
        ASSERT_EQ(l.result, SNAPSHOT_OK);
        std::array<std::uint8_t, SNAPSHOT_SCREEN_SIZE> read{};
        ASSERT_EQ(snapshot_read_screen(file.data(), file.size(), kind, read.data()), SNAPSHOT_OK);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), l.ram.begin()));
        ++files;
    }
    EXPECT_GE(files, 10);
}

} // namespace
