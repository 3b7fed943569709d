// The hand-over to the ROM's loader with any block and any machine state: the CPU stopped
// anywhere in LD-BYTES with any registers and return addresses on the stack. Whatever it does,
// it stays inside the block and the machine's memory, and leaves the CPU in LD-BYTES.
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
    static const ByteView rom = tapeRom();
    static std::vector<std::uint8_t> ram(0xC000);
    static std::vector<std::int32_t> edges(BEEPER_MAX_EDGES);
    std::fill(ram.begin(), ram.end(), 0);
    Spectrum machine;
    spectrum_init(&machine, rom.data(), ram.data(), edges.data());
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
    // What the stack holds: return addresses into the loader, or anything.
    const std::uint16_t stacked = word(10);
    for (int i = 0; i < 3; ++i) {
        std::uint16_t at = static_cast<std::uint16_t>(regs.sp + 2 * i);
        if (at >= 0x4000 && at < 0xFFFF) {
            std::uint16_t value =
                i < 2 ? static_cast<std::uint16_t>(0x0556 + (stacked >> (8 * i)) % 0xAF) : 0x053F;
            ram[at - 0x4000] = static_cast<std::uint8_t>(value);
            ram[at + 1 - 0x4000] = static_cast<std::uint8_t>(value >> 8);
        }
    }
    std::vector<std::uint8_t> block(data + kState, data + size); // exactly the block's bytes
    rom_loader::HandOver result = rom_loader::handOver(machine, block);
    z80_get_regs(&machine.cpu, &regs);
    if (result != rom_loader::HandOver::Declined && !rom_loader::inLoader(regs.pc))
        std::abort();
    return 0;
}
