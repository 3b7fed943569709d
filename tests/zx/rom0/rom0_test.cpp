// ROM 0 of the 128K machine on the host Z80 core: the hand-over to ROM 1 at reset, and the IM 1
// handler at 0x0038 against ROM 1's own (OpenSE BASIC) for the same frames and keys.
#include "z80/z80.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

constexpr uint16_t kKstate = 23552, kLastK = 23560, kRepdel = 23561, kRepper = 23562,
                   kFlags = 23611, kMode = 23617, kFlags2 = 23658, kFrames = 23672;

// Half-row and bit of each key (half-row 0 is port 0xFEFE).
struct Key {
    int row, bit;
};
constexpr Key kCaps{0, 0}, kSymbol{7, 1};

// Just enough of a Spectrum 128 for ROM code: ROM 0 / ROM 1 switched by port 0x7FFD bit 4,
// 48 KiB of RAM, a keyboard on port 0xFE.
class Machine {
  public:
    Machine(std::vector<uint8_t> rom0, std::vector<uint8_t> rom1)
        : rom0_(std::move(rom0)), rom1_(std::move(rom1)), ram_(0xC000, 0) {
        z80_init(&cpu);
        z80_set_io(&cpu, in, out, this);
        z80_map_page(&cpu, 0, rom0_.data(), nullptr);
        for (int page = 1; page < 4; ++page) {
            uint8_t* bank = ram_.data() + (page - 1) * 0x4000;
            z80_map_page(&cpu, page, bank, bank);
        }
    }

    uint8_t& mem(uint16_t address) { return ram_[address - 0x4000u]; }
    uint32_t frames() {
        return mem(kFrames) | (mem(kFrames + 1) << 8) | (uint32_t(mem(kFrames + 2)) << 16);
    }

    void press(Key k) { rows_[k.row] |= uint8_t(1 << k.bit); }
    void releaseAll() { rows_.fill(0); }

    // One frame: the interrupt at its start, then `length` T-states.
    void frame(int32_t length = 20000) {
        z80_interrupt(&cpu, 0xFF);
        z80_run(&cpu, length);
        z80_set_tstates(&cpu, z80_tstates(&cpu) - length);
    }

    Z80 cpu;
    std::vector<uint8_t> pagingWrites;
    bool rom1Paged = false;

  private:
    static uint8_t in(void* user, uint16_t port) {
        auto* m = static_cast<Machine*>(user);
        if (port & 1)
            return 0xFF;
        uint8_t value = 0x1F;
        for (int row = 0; row < 8; ++row)
            if (!(port & (0x100 << row)))
                value &= uint8_t(~m->rows_[size_t(row)]);
        return value | 0xE0;
    }
    static void out(void* user, uint16_t port, uint8_t value) {
        auto* m = static_cast<Machine*>(user);
        if ((port & 0x8002) == 0) { // 0x7FFD as a 128K decodes it
            m->pagingWrites.push_back(value);
            m->rom1Paged = value & 0x10;
            z80_map_page(&m->cpu, 0, m->rom1Paged ? m->rom1_.data() : m->rom0_.data(), nullptr);
        }
    }

    std::vector<uint8_t> rom0_, rom1_, ram_;
    std::array<uint8_t, 8> rows_{};
};

class Rom0 : public ::testing::Test {
  protected:
    void SetUp() override {
        rom0_ = readFile(ZX_ROM0_IMAGE);
        opense_ = readFile(TAPELOOM_OPENSE_ROM);
        ASSERT_EQ(rom0_.size(), 16384u);
        ASSERT_EQ(opense_.size(), 16384u);
    }

    // A machine whose ROM at 0x0000 is `rom`, with the system variables the handler uses set as
    // BASIC leaves them and a program that waits for keys (HALT, then FLAGS bit 5) and logs each
    // LAST_K it sees from 0x9000 on.
    Machine prepared(const std::vector<uint8_t>& rom) {
        Machine m(rom, opense_);
        m.mem(kKstate) = m.mem(kKstate + 4) = 0xFF;
        m.mem(kRepdel) = 35;
        m.mem(kRepper) = 5;
        m.mem(kFrames) = 0xFE;
        m.mem(kFrames + 1) = 0xFF;
        m.mem(kFrames + 2) = 0xFF;
        const uint8_t program[] = {
            0x76,             // loop: HALT
            0x21, 0x3B, 0x5C, //       LD HL,FLAGS
            0xCB, 0x6E,       //       BIT 5,(HL)
            0x28, 0xF8,       //       JR Z,loop
            0xCB, 0xAE,       //       RES 5,(HL)
            0x3A, 0x08, 0x5C, //       LD A,(LAST_K)
            0x12,             //       LD (DE),A
            0x13,             //       INC DE
            0x18, 0xF0,       //       JR loop
        };
        for (size_t i = 0; i < sizeof program; ++i)
            m.mem(uint16_t(0x8000 + i)) = program[i];
        Z80Regs r{};
        z80_get_regs(&m.cpu, &r);
        r.pc = 0x8000;
        r.sp = 0xFF00;
        r.de = 0x9000;
        r.iy = 0x5C3A; // ROM 1's handler reaches FLAGS, MODE and FLAGS2 through IY
        r.im = 1;
        r.iff1 = r.iff2 = 1;
        z80_set_regs(&m.cpu, &r);
        return m;
    }

    std::vector<uint8_t> rom0_, opense_;
};

TEST_F(Rom0, ResetHandsOverToRom1) {
    EXPECT_EQ(rom0_[0x0038], 0xF5) << "no handler at 0x0038";
    Machine m(rom0_, opense_);
    for (int frame = 0; frame < 150; ++frame) // ROM 1 clears and tests RAM, then starts BASIC
        m.frame(70908);
    ASSERT_FALSE(m.pagingWrites.empty());
    EXPECT_EQ(m.pagingWrites.front(), 0x10);
    EXPECT_TRUE(m.rom1Paged);
    // ROM 1 came up: its start-up set the character set pointer and the top of RAM, and its own
    // interrupts count frames.
    EXPECT_EQ(m.mem(23606) | (m.mem(23607) << 8), 0x3C00);
    EXPECT_EQ(m.mem(23732) | (m.mem(23733) << 8), 0xFFFF);
    EXPECT_GT(m.frames(), 10u);

    // A program that pages ROM 0 in (XOR A : OUT (0xFD),A) and goes on under IM 1 keeps running:
    // FRAMES counts and the program's own loop goes round.
    const uint8_t program[] = {
        0xF3,             // DI
        0xAF,             // XOR A
        0xD3, 0xFD,       // OUT (0xFD),A
        0xED, 0x56,       // IM 1
        0xFB,             // EI
        0x76,             // loop: HALT
        0x21, 0x00, 0xA0, //       LD HL,0xA000
        0x34,             //       INC (HL)
        0x18, 0xF9,       //       JR loop
    };
    for (size_t i = 0; i < sizeof program; ++i)
        m.mem(uint16_t(0x9000 + i)) = program[i];
    Z80Regs r{};
    z80_get_regs(&m.cpu, &r);
    r.pc = 0x9000;
    z80_set_regs(&m.cpu, &r);
    uint32_t framesBefore = m.frames();
    for (int frame = 0; frame < 50; ++frame)
        m.frame(70908);
    EXPECT_FALSE(m.rom1Paged);
    EXPECT_EQ(m.frames(), framesBefore + 50);
    EXPECT_EQ(m.mem(0xA000), 49); // the first interrupt came before the program's loop
}

TEST_F(Rom0, InterruptKeepsEveryRegister) {
    Machine m(rom0_, opense_);
    m.press(Key{2, 0}); // Q: a new key, so the whole keyboard path runs
    m.mem(kKstate) = m.mem(kKstate + 4) = 0xFF;
    m.mem(0x8000) = 0x76; // HALT
    Z80Regs before{};
    z80_get_regs(&m.cpu, &before);
    before.af = 0x1234;
    before.bc = 0x5678;
    before.de = 0x9ABC;
    before.hl = 0xDEF0;
    before.af_ = 0x1111;
    before.bc_ = 0x2222;
    before.de_ = 0x3333;
    before.hl_ = 0x4444;
    before.ix = 0x5555;
    before.iy = 0x6666; // not the system variables' base: the handler must not need it
    before.sp = 0xF000;
    before.i = 0x3F;
    before.im = 1;
    before.iff1 = before.iff2 = 1;
    before.pc = 0x8000;
    z80_set_regs(&m.cpu, &before);
    z80_run(&m.cpu, 4); // into HALT
    z80_interrupt(&m.cpu, 0xFF);
    int32_t limit = z80_tstates(&m.cpu);
    Z80Regs after{};
    do { // until the handler has returned to the HALT's successor
        limit += 4;
        z80_run(&m.cpu, limit);
        z80_get_regs(&m.cpu, &after);
    } while (after.pc != 0x8001 && limit < 10000);
    ASSERT_EQ(after.pc, 0x8001);
    EXPECT_EQ(m.mem(kLastK), 'q');
    EXPECT_EQ(m.frames(), 1u);
    EXPECT_EQ(after.af, before.af);
    EXPECT_EQ(after.bc, before.bc);
    EXPECT_EQ(after.de, before.de);
    EXPECT_EQ(after.hl, before.hl);
    EXPECT_EQ(after.af_, before.af_);
    EXPECT_EQ(after.bc_, before.bc_);
    EXPECT_EQ(after.de_, before.de_);
    EXPECT_EQ(after.hl_, before.hl_);
    EXPECT_EQ(after.ix, before.ix);
    EXPECT_EQ(after.iy, before.iy);
    EXPECT_EQ(after.sp, before.sp);
    EXPECT_EQ(after.i, before.i);
    EXPECT_EQ(after.iff1, 1);
    EXPECT_EQ(after.iff2, 1);
    // Nothing written outside the handler's variables (IY pointed elsewhere) but the stack.
    for (uint16_t a = 0x6600; a < 0x6700; ++a)
        ASSERT_EQ(m.mem(a), 0) << a;
}

// The same frames and keys through both handlers: KSTATE, LAST_K, REPDEL/REPPER, FLAGS, FRAMES
// after every interrupt, and the keys the waiting program saw.
void expectSameAsRom1(Machine& ours, Machine& theirs, const std::string& what, int frame) {
    for (uint16_t a = kKstate; a <= kRepper; ++a)
        ASSERT_EQ(ours.mem(a), theirs.mem(a)) << what << ", frame " << frame << ", address " << a;
    ASSERT_EQ(ours.mem(kFlags), theirs.mem(kFlags)) << what << ", frame " << frame;
    ASSERT_EQ(ours.frames(), theirs.frames()) << what << ", frame " << frame;
    Z80Regs a{}, b{};
    z80_get_regs(&ours.cpu, &a);
    z80_get_regs(&theirs.cpu, &b);
    ASSERT_EQ(a.de, b.de) << what << ", frame " << frame << ": keys logged";
    for (uint16_t p = 0x9000; p < a.de; ++p)
        ASSERT_EQ(ours.mem(p), theirs.mem(p)) << what << ", key " << (p - 0x9000);
}

TEST_F(Rom0, HandlerMatchesRom1ForEveryKeyAndShift) {
    for (int capsLock = 0; capsLock < 2; ++capsLock) {
        Machine ours = prepared(rom0_), theirs = prepared(opense_);
        ours.mem(kFlags2) = theirs.mem(kFlags2) = uint8_t(capsLock ? 0x08 : 0);
        int frame = 0;
        for (int shift = 0; shift < 3; ++shift) {
            for (int row = 0; row < 8; ++row) {
                for (int bit = 0; bit < 5; ++bit) {
                    for (Machine* m : {&ours, &theirs}) {
                        m->releaseAll();
                        m->press(Key{row, bit});
                        if (shift == 1)
                            m->press(kCaps);
                        if (shift == 2)
                            m->press(kSymbol);
                    }
                    for (int f = 0; f < 8; ++f, ++frame) { // held 2 frames, then freed
                        if (f == 2) {
                            ours.releaseAll();
                            theirs.releaseAll();
                        }
                        ours.frame();
                        theirs.frame();
                        expectSameAsRom1(ours, theirs, "caps lock " + std::to_string(capsLock),
                                         frame);
                    }
                }
            }
        }
        // Every key gave a code with each shift, bar the shift keys on their own.
        Z80Regs r{};
        z80_get_regs(&ours.cpu, &r);
        EXPECT_EQ(r.de - 0x9000, 3 * 40 - 4);
    }
}

TEST_F(Rom0, HandlerMatchesRom1ForHeldRepeatedAndOverlappingKeys) {
    Machine ours = prepared(rom0_), theirs = prepared(opense_);
    ours.mem(kMode) = theirs.mem(kMode) = 0;
    const Key a{1, 0}, s{1, 1}, q{2, 0}, w{2, 1}, e{2, 2}, enter{6, 0};
    // Frame by frame, the keys held.
    std::vector<std::vector<Key>> script;
    auto hold = [&](std::vector<Key> keys, int frames) {
        for (int f = 0; f < frames; ++f)
            script.push_back(keys);
    };
    hold({a}, 60);    // first press, the delay, then repeats
    hold({}, 3);      // released for less than the timeout
    hold({a}, 4);     // the same key again: still in its slot, no new press
    hold({}, 8);      // freed
    hold({a, s}, 1);  // two keys (no shift): no key at all
    hold({q}, 3);     // Q takes a slot ...
    hold({q, w}, 2);  // ... W joins with Q held: more than one key, ignored
    hold({w}, 3);     // W alone while Q's slot times out
    hold({q}, 3);     // Q while W still has its slot: the other slot
    hold({e}, 3);     // both slots taken: E waits
    hold({}, 6);      // both free
    hold({e}, 2);     // now E
    hold({kCaps}, 3); // shifts alone
    hold({kSymbol}, 3);
    hold({kCaps, kSymbol}, 2); // extend mode
    hold({}, 8);
    hold({enter, kSymbol}, 40);
    hold({a, kCaps, kSymbol}, 2); // three keys
    hold({}, 10);
    for (size_t f = 0; f < script.size(); ++f) {
        for (Machine* m : {&ours, &theirs}) {
            m->releaseAll();
            for (Key k : script[f])
                m->press(k);
            m->frame();
        }
        if (f == 40) { // other repeat settings on the way
            ours.mem(kRepper) = theirs.mem(kRepper) = 2;
            ours.mem(kRepdel) = theirs.mem(kRepdel) = 10;
        }
        expectSameAsRom1(ours, theirs, "script", int(f));
    }
    // FRAMES started at 0xFFFFFE and carried through all three bytes.
    EXPECT_EQ(ours.frames(), uint32_t(script.size()) - 2);
    Z80Regs r{};
    z80_get_regs(&ours.cpu, &r);
    EXPECT_GT(r.de - 0x9000, 10); // a, its repeats, q, w, e, extend, enter + repeats
    EXPECT_EQ(ours.mem(0x9000), 'a');
}

} // namespace
