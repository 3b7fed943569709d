// The 128K machine on the host: our test programs check their own paging and AY from inside;
// the ports as a 128K decodes them, its frame and interrupt, the screen shown and watched, the
// machine chosen by the snapshot, and the 48K's timing kept.
#include "snapshot_files.h"
#include "spectrum/beeper.h"
#include "spectrum/machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace spectest;

namespace {

// Samples the cartridge makes of a 128K frame: 70,908 T-states at 3.5469 MHz, at 32,768 Hz.
constexpr int kSamplesPerFrame = 655;

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct Machine128 {
    std::vector<std::uint8_t> rom0 = readFile(ZX_ROM0_IMAGE);
    std::vector<std::uint8_t> rom1 = readFile(TAPELOOM_OPENSE_ROM);
    std::vector<std::uint8_t> ram = std::vector<std::uint8_t>(SPECTRUM_128_RAM_SIZE, 0);
    std::array<std::int32_t, BEEPER_MAX_EDGES> edges{};
    AyChip ay{};
    Spectrum s{};
    Machine128() {
        EXPECT_EQ(rom0.size(), 0x4000u);
        EXPECT_EQ(rom1.size(), 0x4000u);
        spectrum_init_128(&s, rom0.data(), rom1.data(), ram.data(), &ay, edges.data());
    }
    // A program at 8000h in bank 2, its stack there too, ROM 1 and bank 0 paged.
    Machine128Image image(const std::vector<std::uint8_t>& program) const {
        Machine128Image m;
        std::copy(program.begin(), program.end(), m.banks[2].begin());
        m.regs.pc = 0x8000;
        m.regs.sp = 0xBF00;
        m.regs.iy = 0x5C3A;
        m.regs.im = 1;
        m.regs.i = 0x3F;
        m.port7ffd = 0x10;
        return m;
    }
    void load(const std::vector<std::uint8_t>& file, SnapshotKind kind) {
        ASSERT_EQ(spectrum_load(&s, file.data(), std::uint32_t(file.size()), kind), SNAPSHOT_OK);
    }
    void start(const std::vector<std::uint8_t>& program) {
        load(makeSna128(image(program)), SNAPSHOT_SNA);
    }
    // Memory as the CPU sees it now.
    std::uint8_t at(unsigned address) const {
        unsigned bank = address < 0x8000 ? 5 : address < 0xC000 ? 2 : (s.paging & 7u);
        return spectrum_bank(&s, bank)[address & 0x3FFF];
    }
    std::uint16_t word(unsigned address) const {
        return std::uint16_t(at(address) | at(address + 1) << 8);
    }
    // One frame with its AY samples rendered as the cartridge renders them.
    std::vector<std::int8_t> frame() {
        spectrum_run_frame(&s);
        std::vector<std::int8_t> out(kSamplesPerFrame, 0);
        ay_render(&ay, s.frame_tstates, out.data(), int(out.size()));
        return out;
    }
};

std::vector<std::uint8_t> program(const char* path) {
    return readFile(path);
}

TEST(Spectrum128Paging, TheProgramSeesEveryBankBothRomsAndTheLock) {
    Machine128 m;
    m.start(program(SPECTRUM128_PAGING_BIN));
    int frames = 0;
    while (m.at(0x901B) != 0x77 && frames++ < 400)
        m.frame();
    ASSERT_EQ(m.at(0x901B), 0x77) << "the program did not finish";
    for (unsigned bank = 0; bank < 8; ++bank) {
        EXPECT_EQ(m.at(0x9000 + bank), 0xB0 + bank) << "bank " << bank << " at C000h";
        EXPECT_EQ(m.at(0x9008 + bank), 0x40 + bank) << "bank " << bank << " at FFFFh";
    }
    EXPECT_EQ(m.at(0x9010), 0x5A) << "bank 5 at C000h is the memory at 4000h";
    EXPECT_EQ(m.at(0x9011), 0xA5) << "bank 2 at C000h is the memory at 8000h";
    EXPECT_EQ(m.at(0x9012), m.rom0[0]);
    EXPECT_EQ(m.at(0x9013), m.rom1[0]);
    EXPECT_NE(m.rom0[0], m.rom1[0]);
    // 35 T-states a pass; the interrupt and its handler take 84.
    int passes = m.word(0x9014);
    EXPECT_NEAR(passes * 35, SPECTRUM_128_FRAME_TSTATES - 84, 35) << passes << " passes";
    EXPECT_EQ(m.word(0x9016), 10) << "ROM 0's IM 1 handler counts FRAMES";
    EXPECT_EQ(m.at(0x9019), 0xB3) << "locked at bank 3";
    EXPECT_EQ(m.at(0x901A), m.rom0[0]) << "locked at ROM 0";
    EXPECT_EQ(m.s.paging, 0x23);
    // Until reset: power-on unlocks and starts in ROM 0, which hands over to ROM 1.
    ASSERT_TRUE(spectrum_power_on(&m.s, SPECTRUM_128K));
    EXPECT_EQ(m.s.paging, 0);
    m.frame();
    EXPECT_EQ(m.s.paging, 0x10);
}

TEST(Spectrum128Paging, TheScreenShownIsWatchedWhereverItIsPaged) {
    Machine128 m;
    m.start(program(SPECTRUM128_PAGING_BIN));
    // Per phase: the bank shown, its paper, whether a frame of it redraws every row.
    struct Seen {
        unsigned bank = 0;
        std::uint8_t attribute = 0;
        std::uint32_t rows = 0;
    };
    std::map<int, Seen> seen;
    std::map<int, std::uint32_t> rowsInPhase;
    for (int f = 0; f < 400 && m.at(0x9018) != 5; ++f) {
        m.frame();
        int phase = m.at(0x9018);
        std::uint32_t rows = spectrum_take_changed_rows(&m.s);
        rowsInPhase[phase] |= rows;
        Seen& s = seen[phase];
        s.bank = m.s.screen_bank;
        s.attribute = spectrum_screen(&m.s)[0x1800 + 32 * 12 + 16];
        s.rows = rows; // the phase's last frame
    }
    EXPECT_EQ(seen[1].bank, 5u);
    EXPECT_EQ(seen[1].attribute, 0x08);
    EXPECT_EQ(seen[2].bank, 7u);
    EXPECT_EQ(seen[2].attribute, 0x10);
    EXPECT_EQ(seen[2].rows, 0u) << "nothing written while it stays";
    EXPECT_EQ(rowsInPhase[2], 0xFFFFFFu) << "a screen switch redraws every row";
    EXPECT_EQ(seen[3].bank, 7u);
    EXPECT_EQ(seen[3].attribute, 0x20);
    EXPECT_EQ(rowsInPhase[3], 0xFFFFFFu) << "bank 7 written at C000h while shown";
    EXPECT_EQ(seen[4].bank, 5u);
    EXPECT_EQ(seen[4].attribute, 0x18);
    EXPECT_EQ(seen[4].rows, 0xFFFFFFu) << "bank 5 at C000h is unwatched: every frame redraws";
    m.frame();
    (void)spectrum_take_changed_rows(&m.s);
    m.frame();
    EXPECT_EQ(spectrum_take_changed_rows(&m.s), 0u) << "locked on bank 3: quiet again";
    EXPECT_EQ(m.s.screen_bank, 5u) << "the lock keeps the shadow screen off";
}

TEST(Spectrum128Ports, DecodedByTheirAddressLinesAsOnA128) {
    Machine128 m;
    ASSERT_TRUE(spectrum_power_on(&m.s, SPECTRUM_128K));
    // Paging: A15 and A1 low, whatever else.
    for (std::uint16_t port : {std::uint16_t(0x7FFD), std::uint16_t(0x3FFD), std::uint16_t(0x00FD),
                               std::uint16_t(0x7FF9)}) {
        spectrum_128_port_out(&m.s, port, 0x13);
        EXPECT_EQ(m.s.paging, 0x13) << std::hex << port;
        spectrum_128_port_out(&m.s, port, 0x10);
    }
    for (std::uint16_t port :
         {std::uint16_t(0xFFFD), std::uint16_t(0x7FFF), std::uint16_t(0xBFFD)}) {
        spectrum_128_port_out(&m.s, port, 0x14);
        EXPECT_EQ(m.s.paging, 0x10) << std::hex << port;
    }
    // Port 7FFCh is the ULA's and the paging port's at once.
    spectrum_128_port_out(&m.s, 0x7FFC, 0x15);
    EXPECT_EQ(m.s.paging, 0x15);
    EXPECT_EQ(m.s.border, 5);
    // The AY: A15 high, A1 low; A14 high selects (and reads), low writes.
    spectrum_128_port_out(&m.s, 0xC0FD, 8);
    spectrum_128_port_out(&m.s, 0x8001, 0x0C);
    EXPECT_EQ(spectrum_128_port_in(&m.s, 0xFFFD), 0x0C);
    EXPECT_EQ(spectrum_128_port_in(&m.s, 0xC001), 0x0C);
    spectrum_128_port_out(&m.s, 0xBFFF, 0x03); // A1 high: nothing
    spectrum_128_port_out(&m.s, 0x3FFD, 0x10); // A15 low: paging, not the AY
    EXPECT_EQ(spectrum_128_port_in(&m.s, 0xFFFD), 0x0C);
    // The 48K's ports stay: keyboard, Kempston, nothing at 0xFFFF.
    m.s.input.kempston = 0x11;
    EXPECT_EQ(spectrum_128_port_in(&m.s, 0x001F), 0x11);
    EXPECT_EQ(spectrum_128_port_in(&m.s, 0xFEFE) & 0x1F, 0x1F);
    EXPECT_EQ(spectrum_128_port_in(&m.s, 0xFFFF), 0xFF);
}

// Inside a run the CPU's output latch takes the ULA's writes; the ports that also reach the
// paging port or the AY (A1 low) must still reach them, even with the value the latch holds, and
// every write is dated at its OUT's I/O cycle.
TEST(Spectrum128Ports, WritesInsideARunReachTheLatchThePagingPortAndTheAy) {
    // DI; LD A,13h; OUT (FEh),A (I/O at 18); LD BC,7FFCh; OUT (C),A (at 40: the latch's value,
    // bank 3 paged); LD A,03h; OUT (C),A (at 59: beeper low, ROM 0); LD BC,FFFDh; LD A,07h;
    // OUT (C),A (select the mixer); LD B,BFh; LD A,3Fh; OUT (C),A (at 114); HALT.
    std::vector<std::uint8_t> code = {0xF3, 0x3E, 0x13, 0xD3, 0xFE, 0x01, 0xFC, 0x7F, 0xED, 0x79,
                                      0x3E, 0x03, 0xED, 0x79, 0x01, 0xFD, 0xFF, 0x3E, 0x07, 0xED,
                                      0x79, 0x06, 0xBF, 0x3E, 0x3F, 0xED, 0x79, 0x76};
    Machine128 m;
    Machine128Image image = m.image(code);
    image.regs.iff1 = image.regs.iff2 = 0;
    m.load(makeSna128(image), SNAPSHOT_SNA);
    spectrum_run(&m.s, 50);
    EXPECT_EQ(m.s.paging, 0x13) << "a write of the latch's own value to 7FFCh pages";
    EXPECT_EQ(m.at(0xC000), spectrum_bank(&m.s, 3)[0]);
    spectrum_run_frame(&m.s);
    EXPECT_EQ(m.s.paging, 0x03);
    EXPECT_EQ(m.s.border, 3);
    EXPECT_EQ(m.s.frame_level, 0);
    ASSERT_EQ(m.s.edge_count, 2u);
    EXPECT_EQ(m.s.edges[0], 18) << "OUT (FEh),A through the latch";
    EXPECT_EQ(m.s.edges[1], 59) << "OUT (C),A to 7FFCh through the handler";
    EXPECT_EQ(ay_read(&m.ay), 0x3F);
    ASSERT_EQ(m.ay.queued, 1u);
    EXPECT_EQ(m.ay.queue[0], std::uint32_t(114) << 12 | 7u << 8 | 0x3F);
}

TEST(Spectrum128Frame, LongerFrameAndInterrupt) {
    // Interrupts off at the frame's start; EI ends at T-state 28, a NOP at 32: the 48K's
    // interrupt has ended by then, the 128K's (36 T-states) is still there.
    std::vector<std::uint8_t> code = {0, 0, 0, 0, 0, 0, 0xFB, 0, 0x76};
    Machine128 m;
    Machine128Image image = m.image(code);
    image.regs.iff1 = image.regs.iff2 = 0;
    m.load(makeSna128(image), SNAPSHOT_SNA);
    EXPECT_EQ(m.s.frame_tstates, 70908);
    spectrum_run_frame(&m.s);
    EXPECT_EQ(m.s.interrupts, 1u);

    MachineImage m48;
    std::copy(code.begin(), code.end(), m48.ram.begin() + 0x4000);
    m48.regs.pc = 0x8000, m48.regs.sp = 0xBF00, m48.regs.im = 1;
    auto sna = makeSna(m48);
    Machine128 on48; // a 48K snapshot on the machine that can be either
    on48.load(sna, SNAPSHOT_SNA);
    EXPECT_EQ(on48.s.model, SPECTRUM_48K);
    EXPECT_EQ(on48.s.frame_tstates, SPECTRUM_FRAME_TSTATES);
    spectrum_run_frame(&on48.s);
    EXPECT_EQ(on48.s.interrupts, 0u);
    // HALTed frames: the counter comes back to where it was, a frame later.
    for (Machine128* machine : {&m, &on48}) {
        std::int32_t before = spectrum_frame_tstate(&machine->s);
        spectrum_run_frame(&machine->s);
        EXPECT_NEAR(spectrum_frame_tstate(&machine->s), before, 4);
    }
}

TEST(Spectrum128Load, TheSnapshotPicksMachinePagingAndAy) {
    // Bank 7 paged and shown, ROM 0, the AY mid-tune: a program reads C000h into 9000h.
    Machine128 m;
    Machine128Image image = m.image({0x3A, 0x00, 0xC0, 0x32, 0x00, 0x90, 0x76});
    image.port7ffd = 0x0F;
    image.banks[7][0] = 0x77;
    image.aySelected = 8;
    for (std::size_t i = 0; i < 16; ++i)
        image.ayRegs[i] = std::uint8_t(i + 1);
    for (bool z80 : {false, true}) {
        SCOPED_TRACE(z80 ? ".z80" : ".sna");
        m.load(z80 ? makeZ80Paged128(image, 3, false) : makeSna128(image),
               z80 ? SNAPSHOT_Z80 : SNAPSHOT_SNA);
        EXPECT_EQ(m.s.model, SPECTRUM_128K);
        EXPECT_EQ(m.s.paging, 0x0F);
        EXPECT_EQ(spectrum_screen(&m.s), spectrum_bank(&m.s, 7));
        EXPECT_EQ(spectrum_take_changed_rows(&m.s), 0xFFFFFFu);
        spectrum_run_frame(&m.s);
        EXPECT_EQ(m.at(0x9000), 0x77);
        EXPECT_EQ(m.s.ay->selected, z80 ? 8 : 0);
        EXPECT_EQ(m.s.ay->regs[7], z80 ? 8 : 0) << "a .SNA keeps no AY";
    }
    // A 48K-only machine refuses it as before.
    std::vector<std::uint8_t> ram(SPECTRUM_RAM_SIZE);
    Spectrum only48;
    spectrum_init(&only48, m.rom1.data(), ram.data(), m.edges.data());
    auto sna = makeSna128(image);
    EXPECT_EQ(spectrum_load(&only48, sna.data(), std::uint32_t(sna.size()), SNAPSHOT_SNA),
              SNAPSHOT_128K);
    EXPECT_FALSE(spectrum_power_on(&only48, SPECTRUM_128K));
}

TEST(Spectrum128Ay, TheProgramReadsBackWhatTheChipKeeps) {
    Machine128 m;
    m.start(program(SPECTRUM128_AY_BIN));
    // Each envelope shape's samples, sampled over the frames it plays.
    // Each shape is written a few dozen T-states into a frame: its samples from that frame on.
    std::map<int, std::vector<std::int8_t>> shapes;
    for (int f = 0; f < 400 && m.at(0x9031) != 0x77; ++f) {
        auto samples = m.frame();
        int shape = m.at(0x9030);
        if (shape < 16)
            shapes[shape].insert(shapes[shape].end(), samples.begin(), samples.end());
    }
    ASSERT_EQ(m.at(0x9031), 0x77);
    const std::uint8_t keptBits[16] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                       0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xBF, 0xFF};
    for (unsigned r = 0; r < 16; ++r) {
        EXPECT_EQ(m.at(0x9000 + r), keptBits[r]) << "register " << r << " after FFh";
        EXPECT_EQ(m.at(0x9010 + r), r == 14 ? 0xBF : r == 15 ? 0xFF : 0) << "register " << r;
    }
    EXPECT_EQ(m.at(0x9020), 0xBF) << "port A as an input: the idle lines";
    EXPECT_EQ(m.at(0x9021), 0xFF);
    EXPECT_EQ(m.at(0x9022), 0x00) << "BFFFh is not the AY";
    EXPECT_EQ(m.at(0x9023), 0x0C) << "BEFDh is its data port";
    EXPECT_EQ(m.at(0x9024), 0x0B) << "C0FDh selects";
    EXPECT_EQ(m.at(0x9025), 0xFF) << "no register selected";

    // Steps of 8,192 T-states (about 39 samples): the levels each shape walks through.
    const double tstatesPerSample = double(SPECTRUM_128_FRAME_TSTATES) / double(kSamplesPerFrame);
    for (int shape = 0; shape < 16; ++shape) {
        // Nine frames from the write's on (shape 0 finds the variable at 0 a frame earlier).
        ASSERT_GE(shapes[shape].size(), 9u * kSamplesPerFrame) << "shape " << shape;
        std::vector<std::int8_t> out(shapes[shape].end() - 9 * kSamplesPerFrame,
                                     shapes[shape].end());
        std::vector<int> plateaus;
        for (int step = 0; step < 72; ++step) {
            // The middle of a step: the median of a few samples there.
            auto middle = std::ptrdiff_t((8192.0 * step + 4096.0) / tstatesPerSample);
            std::vector<int> window(out.begin() + middle - 4, out.begin() + middle + 5);
            std::nth_element(window.begin(), window.begin() + 4, window.end());
            plateaus.push_back(window[4]);
        }
        int top = *std::max_element(plateaus.begin(), plateaus.end());
        EXPECT_EQ(top, AY_DEFAULT_PEAK) << "shape " << shape << " reaches level 15";
        bool attack = shape & 4, cont = shape & 8, alternate = shape & 2, hold = shape & 1;
        // After the first 16 steps: repeating, or held high or low.
        int last = plateaus.back();
        int ends = !cont ? 0 : hold ? ((attack != alternate) ? AY_DEFAULT_PEAK : 0) : -1;
        if (ends >= 0) {
            EXPECT_EQ(last, ends) << "shape " << shape << " holds";
        }
        // Rising or falling from the start, as the attack bit says (the first sample of the
        // window lies a little after the write).
        EXPECT_EQ(plateaus[1] < plateaus[10], attack) << "shape " << shape;
        if (ends < 0) { // a repeating shape comes back to both ends again and again
            int extremes = 0;
            for (std::size_t k = 1; k + 1 < plateaus.size(); ++k)
                extremes += plateaus[k] == top || plateaus[k] == 0;
            EXPECT_GE(extremes, 4) << "shape " << shape;
        }
    }
}

} // namespace
