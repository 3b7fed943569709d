// The machine on the host: key codes to half-rows, the ports, the frame's interrupt, the screen
// rows written, running inside a frame and the beeper's edges.
#include "snapshot_files.h"
#include "spectrum/keyboard.h"
#include "spectrum/machine.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

using namespace spectest;

namespace {

// The key layout by half-row, inner key first, as the key codes number them.
const char* const kHalfRows[8][5] = {
    {"B", "N", "M", "SYM SHIFT", "SPACE"},
    {"H", "J", "K", "L", "ENTER"},
    {"Y", "U", "I", "O", "P"},
    {"6", "7", "8", "9", "0"},
    {"5", "4", "3", "2", "1"},
    {"T", "R", "E", "W", "Q"},
    {"G", "F", "D", "S", "A"},
    {"V", "C", "X", "Z", "SHIFT"},
};
const std::uint8_t kRowPort[8] = {0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE};

SpectrumInput inputFor(std::array<std::uint8_t, 10> block, unsigned pressed) {
    SpectrumInput in;
    keyboard_from_buttons(block.data(), pressed, &in);
    return in;
}

TEST(SpectrumKeyboard, EachKeyCodeLightsItsKeyAlone) {
    for (int code = 1; code <= 40; ++code) {
        int row = (code - 1) / 5, inner = (code - 1) % 5;
        SCOPED_TRACE(std::string("code ") + std::to_string(code) + " " + kHalfRows[row][inner]);
        // Inner key (B, H, Y, 6, 5, T, G, V) is bit 4, the outer one bit 0.
        std::uint8_t bit = static_cast<std::uint8_t>(1u << (4 - inner));
        auto in = inputFor({static_cast<std::uint8_t>(code)}, 1u); // button A
        for (int r = 0; r < 8; ++r) {
            std::uint8_t expected = r == row ? static_cast<std::uint8_t>(0xFF & ~bit) : 0xFF;
            EXPECT_EQ(keyboard_read(&in, kRowPort[r]), expected) << "half-row " << r;
        }
        EXPECT_EQ(in.kempston, 0);
    }
}

TEST(SpectrumKeyboard, ButtonsCombineAndOnlyHeldOnesCount) {
    // A = Q, B = W (same half-row), Select = Q again, Start = P, R = joystick fire, L = 0/none,
    // the D-pad = Kempston right, left, up, down.
    std::array<std::uint8_t, 10> block = {30, 29, 30, 15, 41, 42, 44, 43, 45, 0};
    auto in = inputFor(block, 0x3FF);
    EXPECT_EQ(keyboard_read(&in, 0xFB), 0xFF & ~0x03); // Q and W
    EXPECT_EQ(keyboard_read(&in, 0xDF), 0xFF & ~0x01); // P
    EXPECT_EQ(keyboard_read(&in, 0x00), 0xFF & ~0x03); // every half-row at once: ANDed
    EXPECT_EQ(keyboard_read(&in, 0xDB), 0xFF & ~0x03);
    EXPECT_EQ(in.kempston, 0x1F);
    in = inputFor(block, 1u << 5 | 1u << 7); // left, down
    EXPECT_EQ(in.kempston, 0x06);
    EXPECT_EQ(keyboard_read(&in, 0x00), 0xFF);
    in = inputFor({46, 255, 0}, 0x7); // codes beyond 45 press nothing
    EXPECT_EQ(keyboard_read(&in, 0x00), 0xFF);
    EXPECT_EQ(in.kempston, 0);
}

struct Machine {
    std::array<std::uint8_t, 0x4000> rom{};
    std::vector<std::uint8_t> ram = std::vector<std::uint8_t>(SPECTRUM_RAM_SIZE, 0);
    std::array<std::int32_t, BEEPER_MAX_EDGES> edges{};
    Spectrum s{};
    Machine() {
        rom.fill(0xFF);   // RST 38h everywhere...
        rom[0x38] = 0xFB; // ...and an IM 1 handler of EI; RET
        rom[0x39] = 0xC9;
        spectrum_init(&s, rom.data(), ram.data(), edges.data());
    }
    // Loads `program` at 0x8000 through a .SNA and runs from there.
    void start(const std::vector<std::uint8_t>& program, std::uint8_t im, std::uint8_t i = 0) {
        MachineImage m;
        std::copy(program.begin(), program.end(), m.ram.begin() + 0x4000);
        m.regs.pc = 0x8000, m.regs.sp = 0xFF00, m.regs.im = im, m.regs.i = i;
        auto file = makeSna(m);
        ASSERT_EQ(
            spectrum_load(&s, file.data(), static_cast<std::uint32_t>(file.size()), SNAPSHOT_SNA),
            SNAPSHOT_OK);
    }
    std::uint8_t at(unsigned address) const { return ram[address - 0x4000]; }
};

TEST(SpectrumMachine, PortsReadAsTheHardwareDoes) {
    Machine m;
    // Before any button is reported no key is down: every half-row reads its five bits high.
    EXPECT_EQ(spectrum_port_in(&m.s, 0x00FE), 0xBF);
    const std::uint8_t shiftOnA[10] = {40};
    keyboard_from_buttons(shiftOnA, 1u, &m.s.input);
    m.s.input.kempston = 0x15;
    EXPECT_EQ(spectrum_port_in(&m.s, 0xFEFE), 0xBE); // bits 5 and 7 high, EAR low
    EXPECT_EQ(spectrum_port_in(&m.s, 0x7FFE), 0xBF);
    spectrum_port_out(&m.s, 0x00FE, 0x10); // EAR output high: bit 6 follows (issue 3)
    EXPECT_EQ(spectrum_port_in(&m.s, 0xFEFE), 0xFE);
    EXPECT_EQ(m.s.border, 0);
    spectrum_port_out(&m.s, 0x12FE, 0x06);
    EXPECT_EQ(m.s.border, 6);
    EXPECT_EQ(spectrum_port_in(&m.s, 0x001F), 0x15);
    EXPECT_EQ(spectrum_port_in(&m.s, 0xFF1F), 0x15);
    for (std::uint16_t port :
         std::initializer_list<std::uint16_t>{0x00FF, 0x003F, 0xFFFD, 0x7FFD, 0x00DF})
        EXPECT_EQ(spectrum_port_in(&m.s, port), 0xFF) << std::hex << port;
}

TEST(SpectrumMachine, EarInputOverridesTheOutputUntilUnplugged) {
    // OUT (FEh) with the EAR output low, read port 7FFEh into 9000h; the same output high, into
    // 9001h; then halt.
    const std::vector<std::uint8_t> program = {
        0xAF, 0xD3, 0xFE, 0x3E, 0x7F, 0xDB, 0xFE, 0x32, 0x00, 0x90,       // low
        0x3E, 0x10, 0xD3, 0xFE, 0x3E, 0x7F, 0xDB, 0xFE, 0x32, 0x01, 0x90, // high
        0xF3, 0x76};
    auto bit6 = [&](int ear) {
        Machine m;
        m.start(program, 1);
        spectrum_set_ear(&m.s, ear);
        spectrum_run_frame(&m.s);
        EXPECT_EQ(m.at(0x9000) & 0x1F, 0x1F) << "no key held";
        return std::pair<int, int>{m.at(0x9000) & 0x40, m.at(0x9001) & 0x40};
    };
    EXPECT_EQ(bit6(SPECTRUM_EAR_UNPLUGGED), (std::pair<int, int>{0x00, 0x40})); // the output
    EXPECT_EQ(bit6(SPECTRUM_EAR_HIGH), (std::pair<int, int>{0x40, 0x40}));
    EXPECT_EQ(bit6(SPECTRUM_EAR_LOW), (std::pair<int, int>{0x00, 0x00}));
    // Unplugged again, bit 6 follows the output it last wrote.
    Machine m;
    m.start(program, 1);
    spectrum_set_ear(&m.s, SPECTRUM_EAR_LOW);
    spectrum_port_out(&m.s, 0x00FE, 0x10);
    spectrum_set_ear(&m.s, SPECTRUM_EAR_UNPLUGGED);
    EXPECT_EQ(spectrum_port_in(&m.s, 0x7FFE) & 0x40, 0x40);
}

TEST(SpectrumMachine, EveryScreenByteMarksItsOwnRowOnly) {
    Machine m;
    m.start({}, 1);
    EXPECT_EQ(spectrum_take_changed_rows(&m.s), 0xFFFFFFu) << "a load redraws every row";
    EXPECT_EQ(spectrum_take_changed_rows(&m.s), 0u);
    // Bitmap address 010T TLLL RRRC CCCC: character row = third * 8 + R (L is the pixel line).
    for (unsigned a = 0x4000; a < 0x5B00; a++) {
        unsigned off = a - 0x4000;
        unsigned row =
            off < 0x1800 ? ((off >> 11) & 3) * 8 + ((off >> 5) & 7) : (off - 0x1800) / 32;
        const std::uint8_t code[] = {0x21, std::uint8_t(a), std::uint8_t(a >> 8), 0x77, 0x76};
        std::copy(std::begin(code), std::end(code), m.ram.begin() + 0x4000); // at 0x8000
        Z80Regs r;
        z80_get_regs(&m.s.cpu, &r);
        r.pc = 0x8000, r.halted = 0;
        z80_set_regs(&m.s.cpu, &r);
        z80_run(&m.s.cpu, z80_tstates(&m.s.cpu) + 17);
        ASSERT_EQ(spectrum_take_changed_rows(&m.s), 1u << row) << "address " << a;
    }
    m.ram[0x1B00] = 0; // past the screen: 0x5B00
    const std::uint8_t past[] = {0x32, 0x00, 0x5B, 0x32, 0xFF, 0x3F, 0x76}; // and the ROM
    std::copy(std::begin(past), std::end(past), m.ram.begin() + 0x4000);
    Z80Regs r;
    z80_get_regs(&m.s.cpu, &r);
    r.pc = 0x8000;
    z80_set_regs(&m.s.cpu, &r);
    z80_run(&m.s.cpu, z80_tstates(&m.s.cpu) + 26);
    EXPECT_EQ(spectrum_take_changed_rows(&m.s), 0u);
}

// A front end that must act inside a frame (a tape into EAR) runs the machine in pieces; the
// frames come out as whole ones do.
TEST(SpectrumMachine, RunningInPiecesMatchesWholeFrames) {
    // IM 2 handler counting interrupts at 0x9000 while the main loop counts in BC.
    std::vector<std::uint8_t> program(0x400, 0);
    const std::uint8_t loop[] = {0xFB, 0x03, 0x18, 0xFD}; // EI; INC BC; JR -3
    std::copy(std::begin(loop), std::end(loop), program.begin());
    for (int i = 0x100; i <= 0x200; ++i)
        program[static_cast<std::size_t>(i)] = 0x83;
    const std::uint8_t handler[] = {0x2A, 0x00, 0x90, 0x23, 0x22, 0x00, 0x90, 0xFB, 0xED, 0x4D};
    std::copy(std::begin(handler), std::end(handler), program.begin() + 0x383);
    Machine whole, pieces;
    whole.start(program, 2, 0x81);
    pieces.start(program, 2, 0x81);
    for (int f = 0; f < 5; ++f)
        spectrum_run_frame(&whole.s);
    // Pieces across frame ends (1 inside the interrupt's window), up to 200 T-states before the
    // fifth frame's end; spectrum_run_frame then finishes the frame they began.
    const std::int32_t steps[] = {1000, 1, 20000, 69888, 7, 31, 100000};
    std::int32_t run = 0;
    for (int i = 0; run < 5 * SPECTRUM_FRAME_TSTATES - 200; ++i) {
        std::int32_t step = std::min(steps[i % 7], 5 * SPECTRUM_FRAME_TSTATES - 200 - run);
        std::int32_t done = spectrum_run(&pieces.s, step);
        EXPECT_GE(done, step);
        EXPECT_LT(done, step + 64) << "late by an instruction, or a frame's interrupt, at most";
        run += done;
    }
    EXPECT_EQ(pieces.s.frames, 4u);
    spectrum_run_frame(&pieces.s);
    EXPECT_EQ(pieces.s.frames, 5u);
    EXPECT_EQ(pieces.s.interrupts, whole.s.interrupts);
    EXPECT_EQ(pieces.at(0x9000) | pieces.at(0x9001) << 8, 5);
    EXPECT_EQ(spectrum_frame_tstate(&pieces.s), spectrum_frame_tstate(&whole.s));
    Z80Regs a, b;
    z80_get_regs(&whole.s.cpu, &a);
    z80_get_regs(&pieces.s.cpu, &b);
    EXPECT_EQ(a.bc, b.bc);
    EXPECT_EQ(a.pc, b.pc);
}

// A run that stops inside a frame leaves the port's value as of where it stopped (a snapshot
// taken there keeps its border), and the frame's edges come out once each.
TEST(SpectrumMachine, ARunStoppedInsideAFrameLeavesThePortAsWritten) {
    Machine m;
    // DI; ten NOPs (past the interrupt's window); LD A,15h; OUT (FEh),A (I/O at 51 + 7, ends at
    // 62); LD A,02h; OUT (FEh),A (I/O at 69 + 7, ends at 80); JR $
    std::vector<std::uint8_t> program = {0xF3};
    program.resize(11, 0x00);
    program.insert(program.end(), {0x3E, 0x15, 0xD3, 0xFE, 0x3E, 0x02, 0xD3, 0xFE, 0x18, 0xFE});
    m.start(program, 1);
    spectrum_run(&m.s, 60);
    EXPECT_EQ(spectrum_frame_tstate(&m.s), 62);
    EXPECT_EQ(m.s.border, 5);
    EXPECT_EQ(m.s.ula & 0x10, 0x10);
    spectrum_run(&m.s, 10);
    EXPECT_EQ(m.s.border, 2);
    spectrum_run_frame(&m.s);
    EXPECT_EQ(m.s.border, 2);
    ASSERT_EQ(m.s.edge_count, 2u);
    EXPECT_EQ(m.s.edges[0], 58);
    EXPECT_EQ(m.s.edges[1], 76);
}

// Counts interrupts into (0x9000) with a handler reached through IM 1 or IM 2; the main program
// halts in a loop.
const std::vector<std::uint8_t> kHaltLoop = {0xFB, 0x76, 0x18, 0xFD}; // EI; HALT; JR -3

TEST(SpectrumMachine, OneInterruptPerFrameInIm1AndIm2) {
    {
        Machine m;
        m.start(kHaltLoop, 1);
        for (int f = 0; f < 150; ++f)
            spectrum_run_frame(&m.s);
        EXPECT_EQ(m.s.interrupts, 150u);
        EXPECT_EQ(m.s.frames, 150u);
    }
    {
        Machine m;
        // Vector table at 0x8100 (I = 0x81, bus 0xFF: 0x81FF/0x8200) -> handler 0x8383.
        std::vector<std::uint8_t> program(0x400, 0);
        std::copy(kHaltLoop.begin(), kHaltLoop.end(), program.begin());
        for (int i = 0x100; i <= 0x200; ++i)
            program[static_cast<std::size_t>(i)] = 0x83;
        const std::uint8_t handler[] = {0x2A, 0x00, 0x90,  // LD HL,(0x9000)
                                        0x23,              // INC HL
                                        0x22, 0x00, 0x90,  // LD (0x9000),HL
                                        0xFB, 0xED, 0x4D}; // EI; RETI
        std::copy(std::begin(handler), std::end(handler), program.begin() + 0x383);
        m.start(program, 2, 0x81);
        for (int f = 0; f < 100; ++f)
            spectrum_run_frame(&m.s);
        EXPECT_EQ(m.at(0x9000) | m.at(0x9001) << 8, 100);
    }
    {
        Machine m; // DI; HALT: no interrupt is taken, the frame still ends
        m.start({0xF3, 0x76}, 1);
        for (int f = 0; f < 10; ++f)
            spectrum_run_frame(&m.s);
        EXPECT_EQ(m.s.interrupts, 0u);
        EXPECT_EQ(m.s.frames, 10u);
    }
}

// Each edge is dated to the start of its OUT's I/O cycle; a frame holds every edge a program can
// make (more than a music engine's), and an OUT whose I/O cycle falls past the frame's end opens
// the next frame.
TEST(SpectrumMachine, BeeperEdgesAreExactAndNoneIsLost) {
    Machine m;
    // DI; LD A,10h; OUT (FEh),A (I/O at 11 + 7); XOR A; OUT (FEh),A (at 26 + 7); LD BC,00FEh;
    // then a 31-T-state loop: XOR 10h; OUT (C),A; JR loop (one edge each pass).
    m.start({0xF3, 0x3E, 0x10, 0xD3, 0xFE, 0xAF, 0xD3, 0xFE, 0x01, 0xFE, 0x00, 0xEE, 0x10, 0xED,
             0x79, 0x18, 0xFA},
            1);
    spectrum_run_frame(&m.s);
    EXPECT_EQ(m.s.frame_level, 0);
    ASSERT_GT(m.s.edge_count, 2000u);
    EXPECT_EQ(m.s.edges[0], 18);
    EXPECT_EQ(m.s.edges[1], 33);
    EXPECT_EQ(m.s.edges[2], 37 + 10 + 7 + 8) << "LD BC,nn; XOR n; then OUT (C),A's I/O cycle";
    // The loop's edges over five frames, in Spectrum time: 31 T-states apart without a gap,
    // whatever frame they fall in, and each frame's level the one its edges leave.
    std::int64_t previous = m.s.edges[2];
    int level = 0, crossed = 0;
    for (int frame = 0; frame < 5; ++frame) {
        if (frame)
            spectrum_run_frame(&m.s);
        EXPECT_EQ(m.s.frame_level, level) << "frame " << frame;
        crossed += m.s.late_edges;
        for (std::uint32_t k = 0; k < m.s.edge_count; ++k) {
            std::int32_t t = m.s.edges[k];
            ASSERT_LT(t, SPECTRUM_FRAME_TSTATES);
            level ^= 1;
            if (frame == 0 && k <= 2)
                continue;
            std::int64_t at = std::int64_t(frame) * SPECTRUM_FRAME_TSTATES + t;
            ASSERT_EQ(at - previous, 31) << "frame " << frame << " edge " << k;
            previous = at;
        }
    }
    EXPECT_GE(crossed, 1) << "the loop's phase puts an I/O cycle past some frame's end";
}

} // namespace
