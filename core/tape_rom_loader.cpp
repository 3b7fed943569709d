#include "tape_rom_loader.h"

#include <algorithm>

namespace tapeloom::rom_loader {

namespace {

// Addresses in LD-BYTES.
constexpr std::uint16_t kEntry = 0x0556;       // DI; INC D; EX AF,AF'; DEC D; ...
constexpr std::uint16_t kPushed = 0x0562;      // SA/LD-RET is on the stack from here on
constexpr std::uint16_t kReadingData = 0x05A9; // LD-LOOP: the leader and sync are over
constexpr std::uint16_t kEdges = 0x05E3;       // LD-EDGE-2, then LD-EDGE-1, to 0x0604
constexpr std::uint16_t kWrongFlag = 0x05B5;   // XOR L; RET NZ in LD-FLAG
constexpr std::uint16_t kChecksum = 0x05DF;    // LD A,H; CP 1; RET

// The loader's first bytes: DI, INC D, EX AF,AF', DEC D, LD A,0F, OUT (FE),A, LD HL,053F, PUSH HL
constexpr std::uint8_t kEntryBytes[] = {0xF3, 0x14, 0x08, 0x15, 0x3E, 0x0F,
                                        0xD3, 0xFE, 0x21, 0x3F, 0x05, 0xE5};
// ... and its end: LD A,H; CP 1; RET, then LD-EDGE-2: CALL LD-EDGE-1; RET NC
constexpr std::uint8_t kChecksumBytes[] = {0x7C, 0xFE, 0x01, 0xC9, 0xCD, 0xE7, 0x05, 0xD0};
// LD-FLAG's XOR L; RET NZ
constexpr std::uint8_t kWrongFlagBytes[] = {0xAD, 0xC0};

std::uint8_t readByte(const Spectrum& machine, std::uint16_t address) {
    return address < 0x4000 ? machine.rom[address] : machine.ram[address - 0x4000];
}

std::uint16_t readWord(const Spectrum& machine, std::uint16_t address) {
    return static_cast<std::uint16_t>(readByte(machine, address) |
                                      readByte(machine, static_cast<std::uint16_t>(address + 1))
                                          << 8);
}

bool matches(std::span<const std::uint8_t> rom, std::uint16_t at,
             std::span<const std::uint8_t> bytes) {
    return std::equal(bytes.begin(), bytes.end(), rom.begin() + at);
}

} // namespace

bool romHasLoader(std::span<const std::uint8_t> rom) {
    return rom.size() >= 0x4000 && matches(rom, kEntry, kEntryBytes) &&
           matches(rom, kChecksum, kChecksumBytes) && matches(rom, kWrongFlag, kWrongFlagBytes);
}

void restoreReturnAt0052(std::span<std::uint8_t> rom) {
    // OpenSE: ... EI; RET at 0x004F, then the spare "JG", then ERROR-2 (POP HL; LD L,(HL)).
    constexpr std::uint8_t kSpare[] = {0xFB, 0xC9, 'J', 'G', 0xE1, 0x6E};
    if (rom.size() >= 0x4000 && matches(rom, 0x004F, kSpare))
        rom[0x0052] = 0xC9;
}

std::optional<std::uint16_t> waitingForLeader(const Spectrum& machine) {
    std::uint16_t at = z80_pc(&machine.cpu);
    if (!inLoader(at))
        return std::nullopt;
    Z80Regs regs;
    z80_get_regs(&machine.cpu, &regs);
    std::uint16_t sp = regs.sp;
    // Inside the edge routines (LD-EDGE-2 calls LD-EDGE-1): step out to the code that called them.
    for (int depth = 0; at >= kEdges; ++depth) {
        if (depth == 2)
            return std::nullopt;
        at = readWord(machine, sp);
        sp = static_cast<std::uint16_t>(sp + 2);
        if (!inLoader(at))
            return std::nullopt;
    }
    if (at < kPushed || at >= kReadingData)
        return std::nullopt;
    return sp;
}

HandOver handOver(Spectrum& machine, std::span<const std::uint8_t> block) {
    std::optional<std::uint16_t> sp = waitingForLeader(machine);
    if (!sp || block.empty())
        return HandOver::Declined;
    Z80Regs regs;
    z80_get_regs(&machine.cpu, &regs);
    const bool load = (regs.af_ & 1) != 0;
    const std::uint8_t flag = static_cast<std::uint8_t>(regs.af_ >> 8);
    // With D = 0xFF on entry the loader takes the flag byte for data: leave that to the signal.
    if (!load || (regs.de >> 8) == 0xFF)
        return HandOver::Declined;
    regs.sp = *sp;
    if (block[0] != flag) {
        // As LD-LOOP does before it looks at the flag: AF and AF' swapped, the byte in L.
        std::swap(regs.af, regs.af_);
        regs.hl = static_cast<std::uint16_t>((regs.hl & 0xFF00) | block[0]);
        regs.pc = kWrongFlag;
        z80_set_regs(&machine.cpu, &regs);
        return HandOver::Skipped;
    }
    const std::size_t length = regs.de;
    if (block.size() < length + 2)
        return HandOver::Declined;
    std::uint8_t parity = 0;
    for (std::size_t i = 0; i < length + 2; ++i)
        parity ^= block[i];
    std::uint16_t to = regs.ix;
    for (std::size_t i = 1; i <= length; ++i, ++to)
        if (to >= 0x4000)
            machine.ram[to - 0x4000] = block[i];
    machine.changed_rows = (1u << SPECTRUM_SCREEN_ROWS) - 1;
    regs.ix = to;
    regs.de = 0;
    regs.hl = static_cast<std::uint16_t>(parity << 8 | block[length + 1]);
    regs.pc = kChecksum;
    z80_set_regs(&machine.cpu, &regs);
    return HandOver::Loaded;
}

} // namespace tapeloom::rom_loader
