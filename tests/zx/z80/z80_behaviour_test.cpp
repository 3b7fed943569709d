// What the instruction vectors leave open: interrupts and their timing, HALT, the R register
// across prefixes, page mapping and the watched writes the machine relies on.
#include "z80/z80.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

class Z80Machine : public ::testing::Test {
  protected:
    void SetUp() override {
        z80_init(&z);
        for (int page = 0; page < 4; page++)
            z80_map_page(&z, page, &ram[page * 0x4000], &ram[page * 0x4000]);
    }
    void load(unsigned address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes)
            ram[address++ & 0xFFFF] = b;
    }
    Z80Regs regs() const {
        Z80Regs r;
        z80_get_regs(&z, &r);
        return r;
    }
    void setPc(uint16_t pc) {
        Z80Regs r = regs();
        r.pc = pc;
        r.sp = 0xF000;
        z80_set_regs(&z, &r);
    }
    unsigned stackTop() const { return ram[regs().sp] | (ram[(regs().sp + 1) & 0xFFFF] << 8); }

    Z80 z;
    std::vector<uint8_t> ram = std::vector<uint8_t>(0x10000, 0);
};

TEST_F(Z80Machine, InterruptIsHeldOffForOneInstructionAfterEi) {
    load(0x8000, {0xF3, 0xFB, 0x00, 0x00}); // DI; EI; NOP; NOP
    setPc(0x8000);
    z80_run(&z, 1);
    EXPECT_EQ(z80_interrupt(&z, 0xFF), 0) << "accepted with IFF1 clear";
    z80_run(&z, 5);
    EXPECT_EQ(regs().iff1, 1);
    EXPECT_EQ(z80_interrupt(&z, 0xFF), 0) << "accepted straight after EI";
    z80_set_tstates(&z, z80_tstates(&z) - 69888); // the machine's frame wrap keeps the delay
    EXPECT_EQ(z80_interrupt(&z, 0xFF), 0);
    z80_run(&z, z80_tstates(&z) + 1); // the NOP after EI
    EXPECT_EQ(z80_interrupt(&z, 0xFF), 13);
    EXPECT_EQ(regs().pc, 0x0038);
    EXPECT_EQ(stackTop(), 0x8003u);
}

TEST_F(Z80Machine, Im1TakesThirteenTStatesAndClearsBothIffs) {
    Z80Regs r = regs();
    r.pc = 0x1234, r.sp = 0x9000, r.iff1 = r.iff2 = 1, r.im = 1, r.r = 0xFF;
    z80_set_regs(&z, &r);
    z80_set_tstates(&z, 100);
    EXPECT_EQ(z80_interrupt(&z, 0xFF), 13);
    EXPECT_EQ(z80_tstates(&z), 113);
    r = regs();
    EXPECT_EQ(r.pc, 0x0038);
    EXPECT_EQ(r.wz, 0x0038);
    EXPECT_EQ(r.iff1, 0);
    EXPECT_EQ(r.iff2, 0);
    EXPECT_EQ(r.r, 0x80) << "R counts 7 bits and keeps bit 7";
    EXPECT_EQ(stackTop(), 0x1234u);
}

TEST_F(Z80Machine, Im2ReadsTheVectorAtIAndTheFloatingBus) {
    // I = 0x80 with bus 0xFF: the vector word straddles 0x80FF/0x8100, as on a Spectrum.
    load(0x80FF, {0x34, 0x92});
    Z80Regs r = regs();
    r.pc = 0x6000, r.sp = 0x9000, r.iff1 = r.iff2 = 1, r.im = 2, r.i = 0x80;
    z80_set_regs(&z, &r);
    EXPECT_EQ(z80_interrupt(&z, 0xFF), 19);
    EXPECT_EQ(z80_tstates(&z), 19);
    EXPECT_EQ(regs().pc, 0x9234);
    EXPECT_EQ(stackTop(), 0x6000u);
}

TEST_F(Z80Machine, Im0RunsTheRstOnTheBus) {
    Z80Regs r = regs();
    r.pc = 0x6000, r.sp = 0x9000, r.iff1 = r.iff2 = 1, r.im = 0;
    z80_set_regs(&z, &r);
    EXPECT_EQ(z80_interrupt(&z, 0xD7), 13); // RST 10h
    EXPECT_EQ(regs().pc, 0x0010);
}

TEST_F(Z80Machine, InterruptLeavesHaltPastTheHaltInstruction) {
    load(0x8000, {0xFB, 0x76}); // EI; HALT
    setPc(0x8000);
    z80_run(&z, 101);
    Z80Regs r = regs();
    EXPECT_EQ(r.halted, 1);
    EXPECT_EQ(r.pc, 0x8001) << "PC stays on the HALT while halted";
    // EI (4) then HALT repeated every 4 T-states until 101 is passed: 25 HALTs, R steps each.
    EXPECT_EQ(z80_tstates(&z), 104);
    EXPECT_EQ(r.r, 26);
    EXPECT_EQ(z80_interrupt(&z, 0xFF), 13);
    EXPECT_EQ(regs().halted, 0);
    EXPECT_EQ(stackTop(), 0x8002u) << "return address is the instruction after HALT";
}

TEST_F(Z80Machine, NmiKeepsIff2SoRetnRestoresInterrupts) {
    load(0x0066, {0xED, 0x45}); // RETN
    load(0x7000, {0x76});       // HALT
    Z80Regs r = regs();
    r.pc = 0x7000, r.sp = 0x9000, r.iff1 = r.iff2 = 1, r.im = 1;
    z80_set_regs(&z, &r);
    z80_run(&z, 10);
    int32_t before = z80_tstates(&z);
    EXPECT_EQ(z80_nmi(&z), 11);
    EXPECT_EQ(z80_tstates(&z), before + 11);
    r = regs();
    EXPECT_EQ(r.pc, 0x0066);
    EXPECT_EQ(r.iff1, 0);
    EXPECT_EQ(r.iff2, 1);
    EXPECT_EQ(r.halted, 0);
    z80_run(&z, z80_tstates(&z) + 1);
    EXPECT_EQ(regs().pc, 0x7001);
    EXPECT_EQ(regs().iff1, 1);
}

TEST_F(Z80Machine, RCountsOneStepPerOpcodeFetchIncludingPrefixes) {
    load(0x8000, {
                     0xDD, 0x21, 0x00, 0x90, // LD IX,9000h      2 steps
                     0xFD, 0xCB, 0x05, 0x46, // BIT 0,(IY+5)     2 steps (d and op are not M1)
                     0xCB, 0x00,             // RLC B            2 steps
                     0xDD, 0xDD, 0x00,       // DD DD NOP        3 steps
                     0xED, 0xB0,             // LDIR, BC = 3     2 steps per iteration
                 });
    Z80Regs r = regs();
    r.pc = 0x8000, r.sp = 0xF000, r.bc = 3, r.hl = 0xA000, r.de = 0xB000, r.r = 0xFE;
    z80_set_regs(&z, &r);
    z80_run(&z, 14 + 20 + 8 + 12 + 21 + 21 + 16 - 1);
    r = regs();
    EXPECT_EQ(r.pc, 0x800F);
    EXPECT_EQ(r.bc, 0);
    EXPECT_EQ(r.r, 0x80 | ((0x7E + 2 + 2 + 2 + 3 + 6) & 0x7F));
}

struct PortLog {
    Z80* z = nullptr;
    std::vector<int32_t> times;
};

uint8_t logIn(void* user, uint16_t) {
    auto* log = static_cast<PortLog*>(user);
    log->times.push_back(z80_tstates(log->z));
    return 0xFF;
}

void logOut(void* user, uint16_t, uint8_t) {
    auto* log = static_cast<PortLog*>(user);
    log->times.push_back(z80_tstates(log->z));
}

// The beeper dates its edges by asking the core for the time from inside the port handler.
TEST_F(Z80Machine, PortHandlersSeeTheTimeOfTheirIoCycle) {
    load(0x8000, {
                     0x00,       // NOP              0- 4
                     0xD3, 0xFE, // OUT (FEh),A      4-15, I/O from 11
                     0xED, 0x79, // OUT (C),A       15-27, I/O from 23
                     0xDB, 0xFE, // IN A,(FEh)      27-38, I/O from 34
                     0xED, 0xA3, // OUTI            38-54, I/O from 50
                 });
    setPc(0x8000);
    PortLog log;
    log.z = &z;
    z80_set_io(&z, logIn, logOut, &log);
    z80_set_tstates(&z, 1000);
    z80_run(&z, 1000 + 54);
    EXPECT_EQ(log.times, (std::vector<int32_t>{1011, 1023, 1034, 1050}));
    EXPECT_EQ(z80_tstates(&z), 1054);
}

TEST_F(Z80Machine, RomPagesDiscardWritesAndFetchesWrapPastFFFF) {
    std::vector<uint8_t> rom(0x4000, 0);
    rom[0x0000] = 0x34; // the operand bytes of LD BC,nn at FFFF
    rom[0x0001] = 0x12;
    z80_map_page(&z, 0, rom.data(), nullptr);
    load(0xFFFF, {0x01});                                           // LD BC,1234h
    load(0x8000, {0x21, 0x00, 0x00, 0x36, 0x55, 0xC3, 0xFF, 0xFF}); // LD HL,0; LD (HL),55h; JP FFFF
    setPc(0x8000);
    z80_run(&z, 1 + 10 + 10 + 10);
    EXPECT_EQ(rom[0], 0x34) << "write reached the ROM page";
    EXPECT_EQ(ram[0], 0x00) << "write went to the RAM behind the ROM page";
    Z80Regs r = regs();
    EXPECT_EQ(r.bc, 0x1234);
    EXPECT_EQ(r.pc, 0x0002);
}

// One bit per 32-byte block: bit k for block k of the watched range.
const std::vector<uint32_t> kBlockBits = [] {
    std::vector<uint32_t> masks(Z80_WATCH_MAX_SIZE / Z80_WATCH_BLOCK);
    for (size_t k = 0; k < masks.size(); k++)
        masks[k] = 1u << (k % 32);
    return masks;
}();

TEST_F(Z80Machine, WatchedWritesAddTheirBlocksMask) {
    ASSERT_TRUE(z80_watch_writes(&z, 0x4000, 0x0400, kBlockBits.data()));
    load(0x8000, {
                     0x32, 0x00, 0x40, // LD (4000h),A   block 0
                     0x32, 0xE0, 0x40, // LD (40E0h),A   block 7
                     0x32, 0xFF, 0x43, // LD (43FFh),A   block 31, the last byte watched
                     0x32, 0x00, 0x44, // LD (4400h),A   past the range
                     0x32, 0xFF, 0x3F, // LD (3FFFh),A   before it
                     0x31, 0x21, 0x40, // LD SP,4021h
                     0xC5,             // PUSH BC        4020h and 401Fh: blocks 1 and 0
                 });
    setPc(0x8000);
    z80_run(&z, 5 * 13 + 10 + 11);
    EXPECT_EQ(z80_take_watched(&z), (1u << 0) | (1u << 1) | (1u << 7) | (1u << 31));
    EXPECT_EQ(z80_take_watched(&z), 0u) << "taking the bits clears them";

    z80_map_page(&z, 1, &ram[0x4000], nullptr);
    load(0x8000, {0x32, 0x00, 0x40});
    setPc(0x8000);
    z80_run(&z, z80_tstates(&z) + 1);
    EXPECT_EQ(z80_take_watched(&z), 0u) << "a write-protected page changed nothing";
}

TEST_F(Z80Machine, WatchAnywhereOrNowhereAndRefuseWhatCannotBeWatched) {
    ASSERT_TRUE(z80_watch_writes(&z, 0xE500, 0x1B00, kBlockBits.data())); // up to FFFFh
    load(0x8000, {0x32, 0xFF, 0xFF, 0x32, 0xFF, 0xE4}); // LD (FFFFh),A; LD (E4FFh),A
    setPc(0x8000);
    z80_run(&z, 26);
    EXPECT_EQ(z80_take_watched(&z), 1u << (215 % 32));

    ASSERT_TRUE(z80_watch_writes(&z, 0, 0, nullptr)); // nothing watched
    setPc(0x8000);
    z80_run(&z, z80_tstates(&z) + 26);
    EXPECT_EQ(z80_take_watched(&z), 0u);

    EXPECT_FALSE(z80_watch_writes(&z, 0x4010, 0x1B00, kBlockBits.data())) << "base not x * 256";
    EXPECT_FALSE(z80_watch_writes(&z, 0x4000, 0x1B20, kBlockBits.data())) << "size not x * 256";
    EXPECT_FALSE(z80_watch_writes(&z, 0x4000, 0x1C00, kBlockBits.data())) << "too large";
    EXPECT_FALSE(z80_watch_writes(&z, 0xF000, 0x1B00, kBlockBits.data())) << "past FFFFh";
    EXPECT_FALSE(z80_watch_writes(&z, 0x4000, 0x1B00, nullptr)) << "no masks";
}

} // namespace

namespace {

// LDIR and LDDR copy whole runs at once inside their handler; one instruction at a time must give
// the very same machine (registers, R, MEMPTR, T-states, memory, screen rows).
struct BlockCopy {
    const char* what;
    uint8_t op; // B0 LDIR, B8 LDDR, B1 CPIR, B9 CPDR
    uint16_t hl, de, bc;
};

struct Machine {
    std::vector<uint8_t> ram = std::vector<uint8_t>(0x10000);
    std::vector<uint8_t> rom = std::vector<uint8_t>(0x4000, 0xAA);
    Z80 z;
    Z80Regs regs{};
};

void startBlockCopy(Machine& m, const BlockCopy& c, bool romAtZero) {
    for (size_t a = 0; a < m.ram.size(); a++)
        m.ram[a] = uint8_t(a * 7 + (a >> 8));
    m.ram[0x8000] = 0xED;
    m.ram[0x8001] = c.op;
    m.ram[0x8002] = 0x76; // HALT
    z80_init(&m.z);
    for (int page = 0; page < 4; page++)
        z80_map_page(&m.z, page, &m.ram[page * 0x4000], &m.ram[page * 0x4000]);
    if (romAtZero)
        z80_map_page(&m.z, 0, m.rom.data(), nullptr);
    z80_get_regs(&m.z, &m.regs);
    m.regs.pc = 0x8000, m.regs.hl = c.hl, m.regs.de = c.de, m.regs.bc = c.bc, m.regs.af = 0x3C00;
    m.regs.r = 0x85;
    z80_set_regs(&m.z, &m.regs);
    z80_set_tstates(&m.z, 0);
    z80_watch_writes(&m.z, 0x4000, 0x1B00, kBlockBits.data());
}

TEST(Z80BlockCopy, WholeRunsMatchOneInstructionAtATime) {
    const BlockCopy cases[] = {
        {"plain copy", 0xB0, 0x9000, 0xA000, 0x0300},
        {"source and destination cross pages", 0xB0, 0xBF80, 0x7FC0, 0x0100},
        {"overlapping fill", 0xB0, 0x9000, 0x9001, 0x0200},
        {"downwards across a page", 0xB8, 0x8110, 0x4050, 0x0180},
        {"into the screen", 0xB0, 0x9000, 0x4000, 0x1B00},
        {"over its own opcode", 0xB0, 0xC000, 0x7FF0, 0x0040},
        {"downwards over its own opcode", 0xB8, 0xC000, 0x8010, 0x0040},
        {"into ROM", 0xB0, 0x9000, 0x3F00, 0x0200},
        {"BC = 0 copies 64 KiB", 0xB0, 0x9000, 0x9100, 0x0000},
        {"search finds A", 0xB1, 0x9000, 0x0000, 0x0300},
        {"search runs out", 0xB1, 0x9000, 0x0000, 0x0010},
        {"search downwards across a page", 0xB9, 0x4080, 0x0000, 0x0200},
        {"search with BC = 0 wraps past FFFF", 0xB1, 0xFF00, 0x0000, 0x0000},
    };
    for (const BlockCopy& c : cases) {
        for (int32_t budget : {50, 3000, 200000}) {
            Machine bulk, stepped;
            bool rom = std::string(c.what) == "into ROM";
            startBlockCopy(bulk, c, rom);
            startBlockCopy(stepped, c, rom);
            for (int32_t limit = 1000; limit < budget + 1000; limit += 1000)
                z80_run(&bulk.z, std::min(limit, budget));
            while (z80_tstates(&stepped.z) < budget)
                z80_run(&stepped.z, z80_tstates(&stepped.z) + 1);
            Z80Regs a, b;
            z80_get_regs(&bulk.z, &a);
            z80_get_regs(&stepped.z, &b);
            SCOPED_TRACE(std::string(c.what) + ", budget " + std::to_string(budget));
            EXPECT_EQ(z80_tstates(&bulk.z), z80_tstates(&stepped.z));
            EXPECT_EQ(a.pc, b.pc);
            EXPECT_EQ(a.hl, b.hl);
            EXPECT_EQ(a.de, b.de);
            EXPECT_EQ(a.bc, b.bc);
            EXPECT_EQ(a.af, b.af);
            EXPECT_EQ(a.wz, b.wz);
            EXPECT_EQ(a.r, b.r);
            EXPECT_EQ(a.halted, b.halted);
            EXPECT_TRUE(bulk.ram == stepped.ram);
            EXPECT_TRUE(bulk.rom == stepped.rom);
            EXPECT_EQ(z80_take_watched(&bulk.z), z80_take_watched(&stepped.z));
        }
    }
}

} // namespace
