// The hand-over to the ROM's loader with any block and any machine state: the CPU stopped
// anywhere in LD-BYTES with any registers and return addresses on the stack, on a 48K or on a
// 128K with any bank paged at 0xC000. Whatever it does, it stays inside the block and the
// machine's memory, and leaves the CPU in LD-BYTES.
#include "tape_rom_loader.h"
#include "tape_snapshots.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tapeloom;
    constexpr std::size_t kState = 12; // PC, SP, AF', DE, IX, two words on the stack
    if (size < kState)
        return 0;
    static const ByteView rom = tapeRom(), rom0 = tapeRom0();
    static std::vector<std::uint8_t> ram(SPECTRUM_128_RAM_SIZE);
    static std::vector<std::int32_t> edges(BEEPER_MAX_EDGES);
    static AyChip ay;
    std::fill(ram.begin(), ram.end(), 0);
    Spectrum machine;
    // The input's last byte with bit 7 set: a 128K with the bank of its low bits at 0xC000.
    const std::uint8_t model = data[size - 1];
    if (model & 0x80) {
        spectrum_init_128(&machine, rom0.data(), rom.data(), ram.data(), &ay, edges.data());
        spectrum_power_on(&machine, SPECTRUM_128K);
        spectrum_128_port_out(&machine, 0x7FFD, static_cast<std::uint8_t>(0x10 | (model & 7)));
        --size;
    } else {
        spectrum_init(&machine, rom.data(), ram.data(), edges.data());
    }
    if (size < kState)
        return 0;
    auto word = [&](std::size_t at) {
        return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
    };
    Z80Regs regs;
    z80_get_regs(&machine.cpu, &regs);
    regs.pc = static_cast<std::uint16_t>(0x0556 + word(0) % (0x0605 - 0x0556));
    regs.sp = static_cast<std::uint16_t>(0x4000 + word(2) % 0xBFFF);
    regs.af_ = word(4);
    regs.de = word(6);
    regs.ix = word(8);
    z80_set_regs(&machine.cpu, &regs);
    // Memory as the CPU sees it (0x4000 on).
    auto poke = [&](std::uint16_t at, std::uint8_t value) {
        if (at >= 0xC000 && machine.model == SPECTRUM_128K)
            spectrum_bank(&machine, machine.paging & SPECTRUM_PAGING_BANK)[at - 0xC000] = value;
        else
            ram[at - 0x4000] = value;
    };
    // What the stack holds: return addresses into the loader, or anything.
    const std::uint16_t stacked = word(10);
    for (int i = 0; i < 3; ++i) {
        std::uint16_t at = static_cast<std::uint16_t>(regs.sp + 2 * i);
        if (at >= 0x4000 && at < 0xFFFF) {
            std::uint16_t value =
                i < 2 ? static_cast<std::uint16_t>(0x0556 + (stacked >> (8 * i)) % 0xAF) : 0x053F;
            poke(at, static_cast<std::uint8_t>(value));
            poke(static_cast<std::uint16_t>(at + 1), static_cast<std::uint8_t>(value >> 8));
        }
    }
    std::vector<std::uint8_t> block(data + kState, data + size); // exactly the block's bytes
    rom_loader::HandOver result = rom_loader::handOver(machine, block);
    z80_get_regs(&machine.cpu, &regs);
    if (result != rom_loader::HandOver::Declined && !rom_loader::inLoader(regs.pc))
        std::abort();
    return 0;
}
